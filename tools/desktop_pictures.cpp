// desktop-pictures: opens the viewer on a file, as quorra does, shows the explorer pane and saves pictures of it
// with the Workspace and the Files tab, and of the About box and the proxy logon dialog (for the screenshot
// script, under Xvfb). The home folder's "mail" folder is opened in the file tree; the files named after the
// arguments' "--recent=" and "--favorite=" fill the lists.
// Usage: desktop-pictures OUTPUT-FOLDER PREFIX [--recent=PATH...] [--favorite=PATH...] [quorra arguments...]

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <QLineEdit>
#include <QTreeWidget>
#include <cstdio>

#include "about_dialog.h"
#include "explorer_pane.h"
#include "icons.h"
#include "main_window.h"
#include "program_texts.h"
#include "proxy_logon.h"
#include "update_check.h"
#include "viewer_app.h"

using namespace quorra;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: desktop-pictures OUTPUT-FOLDER PREFIX [quorra arguments...]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    std::vector<std::string> arguments, recent, favorites;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--recent=", 0) == 0)
            recent.push_back(a.substr(9));
        else if (a.rfind("--favorite=", 0) == 0)
            favorites.push_back(a.substr(11));
        else
            arguments.push_back(a);
    }
    int qtArgc = 1;
    int status = 0;
    auto save = [&](QWidget& w, const QString& name) {
        QString path = QDir(folder).filePath(prefix + "-" + name + ".png");
        if (!w.grab().save(path, "PNG"))
            status = 1;
        std::printf("%s\n", qPrintable(path));
    };
    int result = RunViewer(qtArgc, argv, arguments, [&](TfrmMain& window) {
        for (auto it = recent.rbegin(); it != recent.rend(); ++it)
            window.Settings().RecentFiles.push_back(*it);
        window.Settings().FavoriteFiles = favorites;
        window.RefreshRecent();
        QTimer::singleShot(500, &window, [&] {
            window.Actions().miViewFileTree->trigger();
            TExplorerPane* pane = window.Explorer();
            auto* tabs = pane->findChild<QTabWidget*>("pcExplorer");
            tabs->setCurrentIndex(0);
            QApplication::processEvents();
            save(window, "explorer-workspace");
            tabs->setCurrentIndex(1);
            QTreeWidgetItem* home = pane->Files()->topLevelItem(0);
            home->setExpanded(true);
            pane->FinishListing();
            for (int i = 0; i < home->childCount(); ++i) {
                if (home->child(i)->text(0) == "mail") {
                    home->child(i)->setExpanded(true);
                    pane->FinishListing();
                    pane->Files()->setCurrentItem(home->child(i)->child(0));
                }
            }
            QApplication::processEvents();
            save(window, "explorer-files");

            TfrmAbout about(&window, LogoPixmap(96), CurrentVersionText(), window.Internet().HomePage,
                window.Internet().ContactMail);
            window.TranslateForm(&about);
            about.show();
            QApplication::processEvents();
            save(about, "about");
            about.close();

            TfrmPelILogon logon(&window);
            window.TranslateForm(&logon);
            logon.setWindowTitle(strPelInProxyLogon());
            logon.Login()->setText("ann");
            logon.Password()->setText("secret");
            logon.show();
            QApplication::processEvents();
            save(logon, "proxy-logon");
            logon.close();
            window.close();
        });
    });
    return result != 0 ? result : status;
}
