// window-pictures: opens the viewer on a file, as quorra does, and saves a picture of every page and of every
// page of the options dialog (for the screenshot script, under Xvfb).
// Usage: window-pictures OUTPUT-FOLDER PREFIX [quorra arguments...]

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "main_window.h"
#include "options_dialog.h"
#include "viewer_app.h"

using namespace quorra;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: window-pictures OUTPUT-FOLDER PREFIX [quorra arguments...]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    std::vector<std::string> arguments(argv + 3, argv + argc);
    int qtArgc = 1;
    int status = 0;
    auto save = [&](QWidget& w, const QString& name) {
        QString path = QDir(folder).filePath(prefix + "-" + name + ".png");
        if (!w.grab().save(path, "PNG"))
            status = 1;
        std::printf("%s\n", qPrintable(path));
    };
    int result = RunViewer(qtArgc, argv, arguments, [&](TfrmMain& window) {
        QTimer::singleShot(500, &window, [&] {
            QTabWidget* pages = window.PageControl();
            for (int i = 0; i < pages->count(); ++i) {
                if (!pages->isTabVisible(i))
                    continue;
                pages->setCurrentIndex(i);
                QApplication::processEvents();
                save(window, pages->widget(i)->objectName());
            }
            TfrmOptions options(&window);
            options.SetFromSettings(window.Settings());
            window.TranslateForm(&options);
            options.show();
            QTabWidget* tabs = options.findChild<QTabWidget*>("pcOptions");
            for (int i = 0; i < tabs->count(); ++i) {
                tabs->setCurrentIndex(i);
                QApplication::processEvents();
                save(options, "options-" + tabs->widget(i)->objectName());
            }
            window.close();
        });
    });
    return result != 0 ? result : status;
}
