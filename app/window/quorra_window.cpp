// quorra-window: the Tessaly viewer window. The front, quorra, starts it for every start that opens the window
// and names itself in QUORRA_PROGRAM; run on its own, it takes the same command line as the front.

#include <cstdlib>

#include "quorra_main.h"
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
            return quorra::RunViewer(windowArgc, windowArgv, arguments);
        });
}
