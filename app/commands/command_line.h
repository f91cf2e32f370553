#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "settings.h"

namespace quorra {

// What the command line asks for.
struct TCommandLine {
    std::vector<std::string> Arguments;
    // The file to open: the first argument that is not a switch.
    std::string FileName;
    bool Help = false;
    bool Version = false;
    // A usage error (unknown switch or format, /E without a format), said in full; the program then prints it with
    // the usage and ends with status 2.
    std::string UsageError;
    // Export mode: "FILE /E FORMAT [OUTPUT]".
    bool ExportMode = false;
    std::string ExportFormat; // "." and the format in upper case: ".HTM", ".XML", ".EML", ".MSG", ".TXT", ...
    // As given ("-" for standard output), or the input path with its extension replaced by the format.
    std::string OutputPath;
    // "/ATTACHMENTS[=FOLDER]": write every attachment into a folder (by default one beside the message).
    bool SaveAttachments = false;
    std::string AttachmentFolder; // as given; empty for the default
    // "/VCARD3": a vCard export writes vCard 3.0 for older address books instead of 4.0.
    bool VCard3 = false;
    // "/FILTER": a mail on standard input unwrapped to standard output; with two paths, an mbox file or a Maildir
    // folder into another (FilterInput, FilterOutput).
    bool Filter = false;
    std::string FilterInput;
    std::string FilterOutput;
    // "FILE FILE... /E pdf|webpage [FOLDER]": every file converted in one run (OutputPath is then the folder, or
    // empty for beside each file). Empty for a single file.
    std::vector<std::string> BatchFiles;
};

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The export formats, as "/E" takes them (lower case): txt, text, htm, html, xml, eml, msg, ics, vcf, pdf, webpage.
const std::vector<std::string>& ExportFormats();

// Whether an export format (".PDF", as TCommandLine::ExportFormat holds it) is one the message is laid out for as
// the preview shows it, with Qt: ".PDF" and ".WEBPAGE" (the self-contained web page; its OUTPUT defaults to FILE
// with ".HTML").
bool IsRenderedFormat(const std::string& format);

// The input path with its extension (if any) replaced by the format (".HTM").
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// An absolute, normalised form of a path given on the command line.
std::string ExpandFileName(const std::string& path);

// Puts a path at the head of the recent list (moving it there when it is already in the list).
void AddRecentFile(TSettings& settings, const std::string& path);

// Loads the file and saves it in the export format; the error text and the load's warnings go to `errors`.
// Returns the exit status: 0 when the output file was written from a sound input, 3 when it was written but the
// input was damaged (or, for ics, held a damaged recurrence or time zone), 1 when nothing was written.
int RunExport(TSettings& settings, const TCommandLine& commandLine, std::ostream& errors);

// Loads the file and writes every attachment into the folder the command line names (SaveAllAttachments), printing
// each path written on `out`. Returns 0 when every attachment was written, 3 when they were but the input was
// damaged, 1 otherwise.
int RunSaveAttachments(const TCommandLine& commandLine, std::ostream& out, std::ostream& errors);

// "/E eml" on a single mail (not an mbox): writes the mail with its TNEF parts unwrapped (UnwrapTnefParts). Returns
// the exit status as RunExport does; a mail without TNEF parts, or one that cannot be unwrapped, writes nothing (1).
int RunUnwrapMail(const std::string& input, const std::string& output, std::ostream& errors);

// The usage text for --help.
std::string UsageText();

} // namespace quorra
