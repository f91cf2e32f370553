#include "viewer_app.h"

#include <unistd.h>

#include <QApplication>

#include "html_view.h"
#include "main_window.h"
#include "settings.h"

namespace quorra {

std::string InstalledLanguageFolder() { return ProgramFolder() + "/../share/quorra/languages"; }

void PrepareWebEngine()
{
    // The web view needs these before the application object exists; as root its sandbox cannot start.
    RegisterCidScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

int RunViewer(int& argc, char** argv, const std::vector<std::string>& arguments,
    const std::function<void(TfrmMain&)>& onCreated)
{
    PrepareWebEngine();
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
