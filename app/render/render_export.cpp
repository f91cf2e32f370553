#include "render_export.h"

#include <iostream>
#include <memory>
#include <utility>

#include <QGuiApplication>
#include <QLocale>

#include "message_render.h"
#include "pelmsg.h"
#include "render_files.h"
#include "settings.h"
#include "viewer_app.h"
#include "viewer_support.h"

namespace quorra {

TRenderOptions RenderOptionsFromSettings(const TSettings& settings)
{
    TRenderOptions options;
    // The body the preview opens with; for any body (TDefaultFormat::Any) the best one, the default.
    const std::pair<TDefaultFormat, TRenderBody> kBodies[] = { { TDefaultFormat::Text, TRenderBody::Plain },
        { TDefaultFormat::RichText, TRenderBody::RichText }, { TDefaultFormat::Html, TRenderBody::Html } };
    for (const auto& [format, body] : kBodies)
        if (settings.DefaultFormat == format)
            options.Body = body;
    const std::string language
        = ResolveLanguageFile(settings.LangFile, LanguageFolder(ProgramFolder(), InstalledLanguageFolder()));
    options.Texts = RenderTextsFromLanguageFile(
        language.empty() || IsEnglishLanguageFile(language) ? QString() : QString::fromStdString(language));
    return options;
}

int RunRenderedExport(int& argc, char** argv, const TCommandLine& commandLine)
{
    // Laid out offscreen: no display is needed, and one that is there is not used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    TSettings settings;
    LoadSettings(settings, false);
    ApplyExtendedSettings(settings);
    for (const std::string& argument : commandLine.Arguments)
        ApplySwitch(settings, argument);
    const std::string input = ExpandFileName(commandLine.FileName);
    AddRecentFile(settings, input);
    std::unique_ptr<pelmsg::TPelMessage> message = pelmsg::CreateMessageForFile(input);
    try {
        message->LoadFromFile(input);
    } catch (const std::exception& e) {
        const std::string text = e.what();
        std::cerr << "quorra: " << (text.find(input) == std::string::npos ? input + ": " : std::string()) << text
                  << "\n";
        return 1;
    }
    try {
        SaveRenderedMessage(message->Properties(), RenderOptionsFromSettings(settings), commandLine.OutputPath,
            commandLine.ExportFormat == ".PDF", input, DefaultPageSize(QLocale::system()));
    } catch (const std::exception& e) {
        std::cerr << "quorra: " << e.what() << "\n";
        return 1;
    }
    for (const pelmsg::TReadWarning& w : message->Warnings()) {
        // Named after the file: in a run of many files the warnings of several conversions meet here.
        std::cerr << "quorra: warning: " << input << ": " << w.Text;
        if (w.Offset >= 0)
            std::cerr << " (byte " << w.Offset << ")";
        std::cerr << "\n";
    }
    if (settings.UseIniFile && !SaveSettings(settings))
        std::cerr << "quorra: the settings file could not be written\n";
    return message->Warnings().empty() ? 0 : 3;
}

} // namespace quorra
