#include "viewer_app.h"

#include <QApplication>

#include "main_window.h"
#include "settings.h"

namespace quorra {

std::string InstalledLanguageFolder() { return ProgramFolder() + "/../share/quorra/languages"; }

int RunViewer(int& argc, char** argv, const std::vector<std::string>& arguments,
    const std::function<void(TfrmMain&)>& onCreated)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorra"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaly"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));

    TfrmMain::TStartup startup;
    startup.Arguments = arguments;
    startup.InstalledLanguageFolder = InstalledLanguageFolder();
    TfrmMain window(startup);
    if (onCreated)
        onCreated(window);
    window.ShowPlaced();
    return QApplication::exec();
}

} // namespace quorra
