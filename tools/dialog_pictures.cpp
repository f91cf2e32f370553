// dialog-pictures: opens the viewer on a file, as quorra does, and saves pictures of the whole screen with Qt's own
// dialogs as the program shows them: the Open dialog, a Yes/No question (removing a favorite) and the print dialog
// (for the screenshot script, under Xvfb: their buttons are in the language chosen).
// Usage: dialog-pictures OUTPUT-FOLDER PREFIX [quorra arguments...]

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

#include "explorer_pane.h"
#include "main_window.h"
#include "viewer_app.h"

using namespace quorra;

namespace {

// Waits for a modal dialog of the type to come up and paint, then runs the action on it (which must close it).
template <class T> void WhenModal(const std::function<void(T*)>& action)
{
    auto* timer = new QTimer;
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        QTimer::singleShot(600, dialog, [dialog, action] { action(dialog); });
    });
    timer->start();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: dialog-pictures OUTPUT-FOLDER PREFIX FILE [quorra arguments...]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const std::string file = argv[3];
    std::vector<std::string> arguments(argv + 3, argv + argc);
    int qtArgc = 1;
    int status = 0;
    auto shoot = [&](const QString& name) {
        QApplication::processEvents();
        const QString path = QDir(folder).filePath(prefix + "-" + name + ".png");
        if (!QGuiApplication::primaryScreen()->grabWindow(0).save(path, "PNG"))
            status = 1;
        std::printf("%s\n", qPrintable(path));
    };
    int result = RunViewer(qtArgc, argv, arguments, [&](TfrmMain& window) {
        QTimer::singleShot(800, &window, [&] {
            // File > Open.
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                shoot("open");
                dialog->reject();
            });
            window.Actions().miOpen->trigger();

            // A Yes/No question: removing the file from the favorites in the explorer pane (answered No).
            window.Settings().FavoriteFiles = { file };
            window.Actions().miViewFileTree->trigger();
            TExplorerPane* pane = window.Explorer();
            pane->BuildWorkspace();
            if (QTreeWidgetItem* root = pane->FavoritesRoot(); root && root->childCount() > 0) {
                pane->Workspace()->setCurrentItem(root->child(0));
                pane->pmFileExplorerPopup(pane->Workspace());
                WhenModal<QMessageBox>([&](QMessageBox* box) {
                    shoot("question");
                    box->button(QMessageBox::No)->click();
                });
                pane->mniDeleteFromFavoritesClick();
            } else {
                status = 1;
            }

            // File > Print.
            WhenModal<QPrintDialog>([&](QPrintDialog* dialog) {
                shoot("print");
                dialog->reject();
            });
            window.Actions().miFilePrint->trigger();
            window.close();
        });
    });
    return result != 0 ? result : status;
}
