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

// What the preview's web view needs before the QApplication is created: the "cid" scheme and shared OpenGL
// contexts (and no sandbox when running as root, where it cannot start).
void PrepareWebEngine();

// The installed folder of the language files: "share/quorra/languages" beside the program's "bin" folder.
std::string InstalledLanguageFolder();

} // namespace quorra
