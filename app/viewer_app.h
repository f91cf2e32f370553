#pragma once

// Runs the viewer: the application object, the main window, the event loop.

#include <functional>
#include <string>
#include <vector>

namespace quorra {

class TfrmMain;

// Creates the application and the main window for the arguments, shows it and runs the event loop until the
// window closes. onCreated, when given, is called once the window exists and before it is shown. Returns the
// exit status.
int RunViewer(int& argc, char** argv, const std::vector<std::string>& arguments,
    const std::function<void(TfrmMain&)>& onCreated = {});

// The installed folder of the language files: "share/quorra/languages" beside the program's "bin" folder.
std::string InstalledLanguageFolder();

} // namespace quorra
