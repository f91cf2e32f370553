// quorra-window: the Tessaly viewer window. The front, quorra, starts it for every start that opens the window
// and names itself in QUORRA_PROGRAM; run on its own, it takes the same command line as the front.

#include <cstdlib>

#include "command_line.h"
#include "quorra_main.h"
#include "render_export.h"
#include "settings.h"
#include "viewer_app.h"

int main(int argc, char** argv)
{
    // Only the front's own start sets this; the programs the window starts do not inherit it.
    if (const char* front = std::getenv(quorra::kFrontProgramVariable)) {
        if (*front == '/')
            quorra::SetProgramPath(front);
        ::unsetenv(quorra::kFrontProgramVariable);
    }
    return quorra::RunQuorra(
        argc, argv, [](int& windowArgc, char** windowArgv, const std::vector<std::string>& arguments) {
            const quorra::TCommandLine commandLine = quorra::ParseCommandLine(arguments);
            if (commandLine.ExportMode && quorra::IsRenderedFormat(commandLine.ExportFormat))
                return quorra::RunRenderedExport(windowArgc, windowArgv, commandLine);
            return quorra::RunViewer(windowArgc, windowArgv, arguments);
        });
}
