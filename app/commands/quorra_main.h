#pragma once

// The program's command line, run the same way by both programs: quorra, the small front without Qt that converts
// messages and otherwise starts the window program, and quorra-window, the viewer itself.

#include <functional>
#include <string>
#include <vector>

namespace quorra {

// Opens the window for the command line: argc and argv as the program got them, and the arguments without the
// program name. Returns the exit status.
using TWindowRunner = std::function<int(int& argc, char** argv, const std::vector<std::string>& arguments)>;

// Answers --help and --version, reports usage errors, converts ("FILE /E FORMAT [OUTPUT]") and writes attachments
// ("FILE /ATTACHMENTS[=FOLDER]"), and otherwise, when there is a display, calls openWindow. Returns the exit status.
int RunQuorra(int argc, char** argv, const TWindowRunner& openWindow);

// The environment variable through which the front tells the window program its own path: the window's program
// folder (languages, manual, "/LANG=") and the program a registration as default viewer starts are the front's.
inline constexpr const char* kFrontProgramVariable = "QUORRA_PROGRAM";

} // namespace quorra
