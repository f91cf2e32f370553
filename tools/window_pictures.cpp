// window-pictures: opens the viewer on a file, as quorra does, and saves a picture of every page and of every
// page of the options dialog (for the screenshot script, under Xvfb).
// Usage: window-pictures OUTPUT-FOLDER PREFIX [quorra arguments...]

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "main_window.h"
#include "options_dialog.h"
#include "pelmsg.h"
#include "property_pages.h"
#include <QTreeView>
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
        // PICTURES_PALETTE=dark: the pictures in a dark palette, as a dark desktop gives it.
        if (qgetenv("PICTURES_PALETTE") == "dark") {
            QPalette dark;
            dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
            dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
            dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
            dark.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x33));
            dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
            dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
            dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
            dark.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3a));
            dark.setColor(QPalette::ToolTipText, QColor(0xee, 0xee, 0xee));
            dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
            dark.setColor(QPalette::HighlightedText, Qt::white);
            dark.setColor(QPalette::Link, QColor(0x7a, 0xb4, 0xff));
            dark.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
            for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
                dark.setColor(QPalette::Disabled, role, QColor(0x88, 0x88, 0x88));
            QApplication::setPalette(dark);
        }
        QTimer::singleShot(500, &window, [&] {
            QTabWidget* pages = window.PageControl();
            for (int i = 0; i < pages->count(); ++i) {
                if (!pages->isTabVisible(i))
                    continue;
                pages->setCurrentIndex(i);
                QApplication::processEvents();
                save(window, pages->widget(i)->objectName());
            }
            // The Properties page with the detail panel on an attachment's data (or another binary value), as
            // text and as a hex dump.
            if (TPropertiesPage* page = window.PropertiesPage(); pages->isTabVisible(pages->indexOf(page))) {
                pages->setCurrentWidget(page);
                TPropertyTreeModel* model = page->Model();
                QModelIndex chosen;
                std::function<void(const QModelIndex&)> find = [&](const QModelIndex& parent) {
                    for (int row = 0; row < model->rowCount(parent) && !chosen.isValid(); ++row) {
                        QModelIndex index = model->index(row, 0, parent);
                        const pelmsg::TMSGProperty* p = model->Property(index);
                        if (p && pelmsg::PropType(p->TagID) == pelmsg::PT_BINARY && p->DataSize > 64)
                            chosen = index;
                        find(index);
                    }
                };
                find(QModelIndex());
                if (chosen.isValid()) {
                    page->Tree()->expand(chosen.parent());
                    page->Tree()->setCurrentIndex(chosen);
                    page->Tree()->scrollTo(chosen);
                    QApplication::processEvents();
                    save(window, "tsProperties-value");
                    page->findChild<QTabWidget*>("pcValue")->setCurrentIndex(1);
                    QApplication::processEvents();
                    save(window, "tsProperties-hex");
                }
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
