// quorra: the Tessaly program's front. It converts messages ("FILE /E FORMAT [OUTPUT]") and writes their
// attachments ("FILE /ATTACHMENTS[=FOLDER]") itself, without loading the window's libraries (a mail filter may
// run it for every mail), and hands every start that opens the window to the window program, quorra-window, with
// the same arguments, in the same process.

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "quorra_main.h"
#include "settings.h"

namespace {

// quorra-window: beside the front in the build tree; in the installation's private program folder, at
// QUORRA_WINDOW_INSTALLED from the front's folder.
std::string WindowProgram(const std::string& frontFolder)
{
    for (const char* relative : { "quorra-window", QUORRA_WINDOW_INSTALLED }) {
        std::string path = frontFolder + "/" + relative;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

int ExecWindow(int& argc, char** argv, const std::vector<std::string>&)
{
    const std::string front = quorra::ProgramPath();
    const std::string window = WindowProgram(quorra::ProgramFolder());
    if (window.empty()) {
        std::cerr << "quorra: the window program quorra-window is missing beside " << front << "\n";
        return 1;
    }
    ::setenv(quorra::kFrontProgramVariable, front.c_str(), 1);
    std::vector<char*> windowArgv(argv, argv + argc);
    std::string windowName = window;
    windowArgv[0] = windowName.data();
    windowArgv.push_back(nullptr);
    ::execv(window.c_str(), windowArgv.data());
    std::cerr << "quorra: " << window << " could not be started: " << std::strerror(errno) << "\n";
    return 1;
}

} // namespace

int main(int argc, char** argv) { return quorra::RunQuorra(argc, argv, ExecWindow); }
