#include "command_line.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "attachment_export.h"
#include "pelmsg.h"
#include "save_formats.h"

namespace quorra {

namespace {

bool IsExportSwitch(const std::string& a)
{
    return IsSwitch(a)
        && (pelmsg::UpperAscii(a) == "/E" || pelmsg::UpperAscii(a) == "-E" || pelmsg::UpperAscii(a) == "--E");
}

// "/ATTACHMENTS" or "/ATTACHMENTS=FOLDER" (also with "-" or "--"): the folder, or empty; nothing for another text.
std::optional<std::string> AttachmentsSwitch(const std::string& a)
{
    if (!IsSwitch(a))
        return std::nullopt;
    const size_t start = a.rfind("--", 0) == 0 ? 2 : 1;
    const size_t eq = a.find('=');
    const std::string name
        = pelmsg::UpperAscii(a.substr(start, eq == std::string::npos ? std::string::npos : eq - start));
    if (name != "ATTACHMENTS")
        return std::nullopt;
    return eq == std::string::npos ? std::string() : a.substr(eq + 1);
}

void PrintWarnings(const std::vector<pelmsg::TReadWarning>& warnings, std::ostream& errors)
{
    for (const pelmsg::TReadWarning& w : warnings) {
        errors << "quorra: warning: " << w.Text;
        if (w.Offset >= 0)
            errors << " (byte " << w.Offset << ")";
        errors << "\n";
    }
}

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    TCommandLine c;
    c.Arguments = arguments;
    std::vector<std::string> before, after;
    bool seenExport = false;
    for (const std::string& a : arguments) {
        if (a == "--help" || a == "-h" || a == "/?") {
            c.Help = true;
            continue;
        }
        if (a == "--version") {
            c.Version = true;
            continue;
        }
        if (IsExportSwitch(a)) {
            seenExport = true;
            continue;
        }
        if (auto folder = AttachmentsSwitch(a)) {
            c.SaveAttachments = true;
            c.AttachmentFolder = *folder;
            continue;
        }
        if (IsSwitch(a))
            continue;
        (seenExport ? after : before).push_back(a);
    }
    if (!before.empty())
        c.FileName = before.front();
    else if (seenExport && !after.empty() && arguments.size() > 0 && !IsSwitch(arguments[0]))
        c.FileName = after.front();
    if (seenExport && !before.empty() && !after.empty()) {
        c.ExportMode = true;
        c.ExportFormat = pelmsg::UpperAscii(after[0]).insert(0, 1, '.');
        // The output path is kept as given: on a case-sensitive file system another case is another file.
        c.OutputPath = after.size() > 1 ? after[1] : ReplaceExtension(ExpandFileName(c.FileName), c.ExportFormat);
    }
    return c;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension)
{
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        return path.substr(0, dot) + extension;
    return path + extension;
}

std::string ExpandFileName(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec)
        return path;
    return absolute.lexically_normal().string();
}

void AddRecentFile(TSettings& settings, const std::string& path)
{
    auto& list = settings.RecentFiles;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == path) {
            list.erase(it);
            break;
        }
    }
    list.insert(list.begin(), path);
}

int RunExport(TSettings& settings, const TCommandLine& commandLine, std::ostream& errors)
{
    std::string input = ExpandFileName(commandLine.FileName);
    AddRecentFile(settings, input);
    std::unique_ptr<pelmsg::TPelMessage> messageHolder = pelmsg::CreateMessageForFile(input);
    pelmsg::TPelMessage& message = *messageHolder;
    try {
        message.LoadFromFile(input);
    } catch (const pelmsg::EPelMsgError& e) {
        errors << "quorra: " << e.what() << "\n";
        return 1;
    }
    const std::string& format = commandLine.ExportFormat;
    const std::string& output = commandLine.OutputPath;
    const bool withProperties = settings.SaveMode == 0;
    std::vector<std::string> calendarWarnings;
    try {
        if (format == ".ICS" || format == ".VCF") {
            // Calendar items, contacts and tasks; any other message is refused before a file is made.
            if (IsSameFile(output, input))
                throw ESameFile(output);
            if (format == ".ICS")
                pelmsg::SaveToICalendarFile(message.Properties(), output, &calendarWarnings);
            else
                pelmsg::SaveToVCardFile(message.Properties(), output);
        } else {
            SaveInFormat(message, output, format, withProperties, input);
        }
    } catch (const std::exception& e) {
        errors << "quorra: " << e.what() << "\n";
        return 1;
    }
    PrintWarnings(message.Warnings(), errors);
    for (const std::string& w : calendarWarnings)
        errors << "quorra: warning: " << w << "\n";
    return message.Warnings().empty() && calendarWarnings.empty() ? 0 : 3;
}

int RunSaveAttachments(const TCommandLine& commandLine, std::ostream& out, std::ostream& errors)
{
    std::string input = ExpandFileName(commandLine.FileName);
    std::unique_ptr<pelmsg::TPelMessage> message = pelmsg::CreateMessageForFile(input);
    try {
        message->LoadFromFile(input);
    } catch (const pelmsg::EPelMsgError& e) {
        errors << "quorra: " << e.what() << "\n";
        return 1;
    }
    const std::string folder
        = commandLine.AttachmentFolder.empty() ? DefaultAttachmentFolder(input) : commandLine.AttachmentFolder;
    const int status = SaveAllAttachments(message->Properties(), folder, out, errors);
    PrintWarnings(message->Warnings(), errors);
    if (status != 0)
        return status;
    return message->Warnings().empty() ? 0 : 3;
}

std::string UsageText()
{
    return "Usage: quorra [OPTIONS] [FILE]\n"
           "       quorra FILE /E FORMAT [OUTPUT]\n"
           "       quorra FILE /ATTACHMENTS[=FOLDER]\n"
           "\n"
           "Opens a TNEF message (winmail.dat, .tnef) or converts it without a window.\n"
           "\n"
           "Export: FORMAT is txt, htm, html, xml, eml or msg; ics for a calendar item, meeting or task\n"
           "(iCalendar), vcf for a contact (vCard). OUTPUT defaults to FILE with the format as its extension.\n"
           "A message of the wrong kind for ics or vcf is refused.\n"
           "/ATTACHMENTS writes every attachment into FOLDER (by default a folder named after FILE, beside it);\n"
           "attached messages become .msg files, no file is replaced, and each path written is printed.\n"
           "\n"
           "Exit status: 0 when everything was written; 3 when it was, but the input was damaged (the\n"
           "warnings on standard error); 1 when something was not written; 2 for a usage error.\n"
           "\n"
           "Options (\"/\", \"-\" or \"--\" in front, any case):\n"
           "  /ALL            save all original properties\n"
           "  /NOINI          do not write the settings file at exit\n"
           "  /NOLOGO         hide the logo\n"
           "  /NOMENU         hide the menu and the tool bar\n"
           "  /BASIC          basic view\n"
           "  /SIMPLE         simple view\n"
           "  /DEFFORMAT=F    preferred body format: HTML, RTF or TEXT\n"
           "  /LANG=FILE      language file in the program's folder\n"
           "  /LEFT=N /TOP=N /WIDTH=N /HEIGHT=N   window placement\n"
           "  --help          this text\n"
           "  --version       the version\n";
}

} // namespace quorra
