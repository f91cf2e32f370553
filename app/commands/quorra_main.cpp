#include "quorra_main.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "batch_export.h"
#include "command_line.h"
#include "mail_filter.h"
#include "settings.h"
#include "version.h"

namespace quorra {

namespace {

bool HasDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::string(platform).rfind("offscreen", 0) == 0)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

} // namespace

int RunQuorra(int argc, char** argv, const TWindowRunner& openWindow)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    TCommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.Help) {
        std::cout << UsageText();
        return 0;
    }
    if (commandLine.Version) {
        std::cout << "quorra (Tessaly) " << kTessalyVersion << "\n";
        return 0;
    }
    if (!commandLine.UsageError.empty()) {
        std::cerr << "quorra: " << commandLine.UsageError << "\n\n" << UsageText();
        return 2;
    }
    if (commandLine.Filter) {
        // A filter run by a mail system reads and writes no settings.
        if (commandLine.FilterInput.empty())
            return FilterMail(0, 1, FilterErrorStream(1));
        return FilterMailbox(commandLine.FilterInput, commandLine.FilterOutput, std::cerr);
    }
    if (!commandLine.ExportMode && !commandLine.SaveAttachments) {
        if (!HasDisplay()) {
            std::cerr << "quorra: no display is available, so no window can open. To convert without a window: "
                         "quorra FILE /E FORMAT [OUTPUT] (see --help).\n";
            return 2;
        }
        // The window reads and writes the settings itself.
        return openWindow(argc, argv, arguments);
    }

    // The rendered formats are laid out with Qt, offscreen: the window program writes them, without a window.
    if (commandLine.ExportMode && IsRenderedFormat(commandLine.ExportFormat) && !commandLine.FileName.empty()) {
        if (commandLine.BatchFiles.empty())
            return openWindow(argc, argv, arguments);
        // Many files: each in a process of its own, started as the single conversion is.
        return RunBatchExport(
            commandLine,
            [&](const std::vector<std::string>& one) {
                std::vector<std::string> words = { argv[0] };
                words.insert(words.end(), one.begin(), one.end());
                std::vector<char*> childArgv;
                for (std::string& word : words)
                    childArgv.push_back(word.data());
                childArgv.push_back(nullptr);
                int childArgc = int(words.size());
                return openWindow(childArgc, childArgv.data(), one);
            },
            std::cerr, ::isatty(2) != 0);
    }

    TSettings settings;
    LoadSettings(settings, false);
    ApplyExtendedSettings(settings);
    for (const std::string& argument : arguments)
        ApplySwitch(settings, argument);

    if (commandLine.FileName.empty()) {
        std::cerr << "quorra: no message file given\n\n" << UsageText();
        return 2;
    }
    int status = 0;
    if (commandLine.ExportMode)
        status = RunExport(settings, commandLine, std::cerr);
    if (commandLine.SaveAttachments && status != 1) {
        const int saved = RunSaveAttachments(commandLine, std::cout, std::cerr);
        if (saved != 0)
            status = saved;
    }
    if (settings.UseIniFile && !SaveSettings(settings))
        std::cerr << "quorra: the settings file could not be written\n";
    return status;
}

} // namespace quorra
