#pragma once

// The command line's rendered formats, "/E pdf" and "/E webpage": the message laid out as the preview shows it, with
// Qt but without a window or a display (the offscreen platform), in the window program.

#include <string>

#include "command_line.h"

namespace quorra {

struct TRenderOptions;

// The rendering options of the settings: the body form DefaultFormat prefers, the captions of the language file
// in use (English without one).
TRenderOptions RenderOptionsFromSettings(const TSettings& settings);

// Loads the file and writes it as PDF or as the self-contained web page (commandLine.ExportFormat ".PDF" or
// ".WEBPAGE"); errors and the load's warnings go to standard error. Creates the application object itself, on the
// offscreen platform. Returns the exit status as RunExport does: 0, 3 for a damaged input, 1 when nothing was
// written.
int RunRenderedExport(int& argc, char** argv, const TCommandLine& commandLine);

} // namespace quorra
