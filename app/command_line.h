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
    // Export mode: "FILE /E FORMAT [OUTPUT]".
    bool ExportMode = false;
    std::string ExportFormat; // "." and the format in upper case: ".HTM", ".XML", ".EML", ".MSG", ".TXT", ...
    std::string OutputPath; // as given, or the input path with its extension replaced by the format
};

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The input path with its extension (if any) replaced by the format (".HTM").
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// An absolute, normalised form of a path given on the command line.
std::string ExpandFileName(const std::string& path);

// Puts a path at the head of the recent list (moving it there when it is already in the list).
void AddRecentFile(TSettings& settings, const std::string& path);

// Loads the file and saves it in the export format; the error text goes to `errors`. Returns the exit status:
// 0 only when the output file was written.
int RunExport(TSettings& settings, const TCommandLine& commandLine, std::ostream& errors);

// The usage text for --help.
std::string UsageText();

} // namespace quorra
