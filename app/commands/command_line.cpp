#include "command_line.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "attachment_export.h"
#include "pelmsg.h"
#include "quorra_usage.h"
#include "save_formats.h"

namespace quorra {

namespace {

bool IsExportSwitch(const std::string& a)
{
    return IsSwitch(a)
        && (pelmsg::UpperAscii(a) == "/E" || pelmsg::UpperAscii(a) == "-E" || pelmsg::UpperAscii(a) == "--E");
}

bool IsVCard3Switch(const std::string& a)
{
    const std::string upper = pelmsg::UpperAscii(a);
    return upper == "/VCARD3" || upper == "-VCARD3" || upper == "--VCARD3";
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

// An error about a file names it: a reader's text that does not already ("Invalid TNEF signature") gets the
// path in front.
void PrintFileError(const std::string& path, const std::exception& e, std::ostream& errors)
{
    const std::string text = e.what();
    if (text.find(path) != std::string::npos)
        errors << "quorra: " << text << "\n";
    else
        errors << "quorra: " << path << ": " << text << "\n";
}

// Loads the message of a command-line run; false (the error printed) when it cannot be read.
bool LoadForRun(pelmsg::TPelMessage& message, const std::string& input, std::ostream& errors)
{
    try {
        message.LoadFromFile(input);
    } catch (const std::exception& e) {
        PrintFileError(input, e, errors);
        return false;
    }
    return true;
}

// A mail file that is one mail, not an mbox of many.
bool IsSingleMail(const std::string& path)
{
    if (!pelmsg::IsMailFile(path))
        return false;
    std::ifstream file(path, std::ios::binary);
    char head[5] = {};
    file.read(head, sizeof head);
    return std::string_view(head, static_cast<size_t>(file.gcount())) != "From ";
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

const std::vector<std::string>& ExportFormats()
{
    static const std::vector<std::string> formats { "txt", "text", "htm", "html", "xml", "eml", "msg", "ics", "vcf",
        "pdf", "webpage" };
    return formats;
}

bool IsRenderedFormat(const std::string& format) { return format == ".PDF" || format == ".WEBPAGE"; }

namespace {

// The name of a switch-like argument without its "/", "-" or "--", in upper case ("--Help" gives "HELP").
std::string SwitchName(const std::string& a)
{
    const size_t start = a.rfind("--", 0) == 0 ? 2 : 1;
    return pelmsg::UpperAscii(
        a.substr(start, a.find('=') == std::string::npos ? std::string::npos : a.find('=') - start));
}

bool IsHelpSwitch(const std::string& a)
{
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-'))
        return false;
    const std::string name = SwitchName(a);
    return name == "?" || name == "H" || name == "HELP";
}

bool IsFilterSwitch(const std::string& a)
{
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-'))
        return false;
    return SwitchName(a) == "FILTER" && a.find('=') == std::string::npos;
}

bool IsVersionSwitch(const std::string& a)
{
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-'))
        return false;
    const std::string name = SwitchName(a);
    return name == "V" || name == "VERSION";
}

// An argument meant as a switch that is none of ours: anything else that starts with "-" (but "-" alone, standard
// output), and a "/NAME" without a further "/" or a "." that names no existing file. A path such as
// "/home/ann/x.dat", "/x.dat" or an existing "/x" is a file.
bool LooksLikeUnknownSwitch(const std::string& a)
{
    if (a.size() < 2 || IsSwitch(a))
        return false;
    if (a[0] == '-')
        return true;
    if (a[0] != '/' || a.find_first_of("/.", 1) != std::string::npos)
        return false;
    std::error_code ec;
    return !std::filesystem::exists(a, ec);
}

std::string FormatList() { return "txt (or text), htm (or html), xml, eml, msg, ics, vcf, pdf, webpage"; }

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    TCommandLine c;
    c.Arguments = arguments;
    std::vector<std::string> before, after;
    bool seenExport = false;
    // The switches that only say yes to something.
    const std::pair<bool (*)(const std::string&), bool*> kFlags[]
        = { { IsHelpSwitch, &c.Help }, { IsVersionSwitch, &c.Version }, { IsExportSwitch, &seenExport },
              { IsVCard3Switch, &c.VCard3 }, { IsFilterSwitch, &c.Filter } };
    for (const std::string& a : arguments) {
        const auto* flag
            = std::find_if(std::begin(kFlags), std::end(kFlags), [&a](const auto& known) { return known.first(a); });
        if (flag != std::end(kFlags)) {
            *flag->second = true;
            continue;
        }
        if (auto folder = AttachmentsSwitch(a)) {
            c.SaveAttachments = true;
            c.AttachmentFolder = *folder;
            continue;
        }
        if (IsSwitch(a))
            continue;
        if (LooksLikeUnknownSwitch(a)) {
            if (c.UsageError.empty())
                c.UsageError = "unknown switch " + a;
            continue;
        }
        (seenExport ? after : before).push_back(a);
    }
    if (c.Filter && c.UsageError.empty()) {
        if (seenExport || c.SaveAttachments)
            c.UsageError = "/FILTER goes with no other command: quorra /FILTER [INPUT OUTPUT]";
        else if (before.size() == 2) {
            c.FilterInput = before[0];
            c.FilterOutput = before[1];
        } else if (!before.empty()) {
            c.UsageError = "/FILTER takes no path (standard input to standard output) or two: an mbox file or a "
                           "Maildir folder, and where the result goes";
        }
        return c;
    }
    if (!before.empty())
        c.FileName = before.front();
    else if (seenExport && !after.empty() && arguments.size() > 0 && !IsSwitch(arguments[0]))
        c.FileName = after.front();
    if (seenExport && c.UsageError.empty()) {
        if (before.empty() || after.empty()) {
            c.UsageError = "/E needs a file before it and a format after it: FILE /E FORMAT [OUTPUT]";
        } else {
            const std::string& format = after[0];
            const auto& known = ExportFormats();
            if (std::find(known.begin(), known.end(), pelmsg::LowerAscii(format)) == known.end()) {
                c.UsageError = "unknown export format \"" + format + "\"; the formats are " + FormatList();
            } else {
                c.ExportMode = true;
                c.ExportFormat = pelmsg::UpperAscii(format).insert(0, 1, '.');
                // The output path is kept as given: on a case-sensitive file system another case is another file.
                // The web page as shown is an HTML file.
                const std::string extension = c.ExportFormat == ".WEBPAGE" ? ".HTML" : c.ExportFormat;
                c.OutputPath = after.size() > 1 ? after[1] : ReplaceExtension(ExpandFileName(c.FileName), extension);
                // Several files for a rendered format: all of them, into the folder given or each beside its file.
                if (IsRenderedFormat(c.ExportFormat) && before.size() > 1) {
                    c.BatchFiles = before;
                    c.OutputPath = after.size() > 1 ? after[1] : std::string();
                }
                if (after.size() > 2)
                    c.UsageError = "unexpected argument " + after[2];
            }
        }
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
    // A mail (not an mbox) saved as mail is the same mail with its TNEF parts unwrapped.
    if (commandLine.ExportFormat == ".EML" && IsSingleMail(input))
        return RunUnwrapMail(input, commandLine.OutputPath, errors);
    std::unique_ptr<pelmsg::TPelMessage> messageHolder = pelmsg::CreateMessageForFile(input);
    pelmsg::TPelMessage& message = *messageHolder;
    if (!LoadForRun(message, input, errors))
        return 1;
    const std::string& format = commandLine.ExportFormat;
    const std::string& output = commandLine.OutputPath;
    if (IsRenderedFormat(format)) {
        // The window program lays these out (RunRenderedExport); the front hands them over before it gets here.
        errors << "quorra: " << input << ": the " << pelmsg::LowerAscii(format.substr(1))
               << " format is written by the window program quorra-window\n";
        return 1;
    }
    const bool withProperties = settings.SaveMode == TSaveMode::AllProperties && !settings.CommonPropertiesOnly;
    std::vector<std::string> calendarWarnings;
    try {
        if (format == ".ICS" || format == ".VCF") {
            // Calendar items, contacts and tasks; any other message is refused before a file is made.
            if (format == ".ICS")
                pelmsg::SaveToICalendarFile(message.Properties(), output, &calendarWarnings);
            else
                pelmsg::SaveToVCardFile(
                    message.Properties(), output, pelmsg::TVCardOptions { commandLine.VCard3 ? 3 : 4 });
        } else {
            // The library's save refuses the file the message was read from (also through links).
            SaveInFormat(message, output, format, withProperties, {});
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
    if (!LoadForRun(*message, input, errors))
        return 1;
    const std::string folder
        = commandLine.AttachmentFolder.empty() ? DefaultAttachmentFolder(input) : commandLine.AttachmentFolder;
    // The default folder is a name beside the message, where whoever sent the message may have put a link (to the
    // autostart folder, say): it is used only as a real folder. A folder the user names is the user's choice.
    if (commandLine.AttachmentFolder.empty())
        if (const std::string target = SymbolicLinkTarget(folder); !target.empty()) {
            errors << "quorra: the folder " << folder << " is a symbolic link to " << target
                   << "; no attachment was written. Name a folder with /ATTACHMENTS=FOLDER.\n";
            return 1;
        }
    const int status = SaveAllAttachments(message->Properties(), folder, out, errors);
    PrintWarnings(message->Warnings(), errors);
    if (status != 0)
        return status;
    return message->Warnings().empty() ? 0 : 3;
}

int RunUnwrapMail(const std::string& input, const std::string& output, std::ostream& errors)
{
    try {
        pelmsg::TFileStream file(input, pelmsg::TFileStream::Mode::OpenRead);
        if (file.Size() > static_cast<int64_t>(pelmsg::TMboxReader::kMaxMailBytes))
            throw pelmsg::EFormatError("the mail is longer than " + std::to_string(pelmsg::TMboxReader::kMaxMailBytes)
                + " bytes");
        const std::string mail = file.ReadString(static_cast<size_t>(file.Size()));
        const pelmsg::TUnwrapResult result = pelmsg::UnwrapTnefParts(mail);
        if (!result.Changed) {
            errors << "quorra: " << input << ": nothing written: " << result.Reason << "\n";
            return 1;
        }
        pelmsg::TSaveOptions options;
        if (auto id = pelmsg::TFileIdentity::Of(input))
            options.Protected.push_back(*id);
        pelmsg::SaveThroughTemporaryFile(
            output, [&](pelmsg::TStream& out) { out.WriteString(result.Mail); }, options);
    } catch (const std::bad_alloc&) {
        errors << "quorra: " << input << ": not enough memory to unwrap the mail\n";
        return 1;
    } catch (const std::exception& e) {
        PrintFileError(input, e, errors);
        return 1;
    }
    return 0;
}

std::string UsageText() { return tessaly::RenderHelp(QuorraUsage()); }

} // namespace quorra
