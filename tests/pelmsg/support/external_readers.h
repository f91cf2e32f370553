#pragma once

// Independent readers that judge what the writers make: xmllint (libxml2) for XML and HTML, and Python's standard
// email package (through tests/tools/eml_summary.py) for mail files. Tests skip themselves when a reader is absent.

#include <stdexcept>
#include <string>
#include <vector>
#include <unistd.h>

#include "mini_json.h"
#include "test_support.h"

namespace pelmsg::test {

inline constexpr const char* kXmllint = "/usr/bin/xmllint";
inline constexpr const char* kPython = "/usr/bin/python3";

inline bool ToolAvailable(const char* path) { return ::access(path, X_OK) == 0; }

inline std::string EmlSummaryScript() { return std::string(TESSALY_SOURCE_DIR) + "/tests/tools/eml_summary.py"; }

// xmllint's verdict on an XML file (html: as HTML): exit code 0 and no message means well-formed.
inline CommandResult XmlLint(const std::string& path, bool html = false)
{
    return RunCommand(std::string(kXmllint) + (html ? " --html" : "") + " --noout " + ShellQuote(path) + " 2>&1");
}

// The text content of an HTML file as xmllint's HTML parser reads it (entities and charset decoded), in UTF-8.
inline std::string HtmlTextContent(const std::string& path)
{
    return RunCommand(std::string(kXmllint) + " --html --xpath 'string(/)' " + ShellQuote(path) + " 2>&1").Output;
}

// What Python's email package reads in a mail file (see tests/tools/eml_summary.py).
inline Json EmlSummary(const std::string& path)
{
    CommandResult r
        = RunCommand(std::string(kPython) + " " + ShellQuote(EmlSummaryScript()) + " " + ShellQuote(path) + " 2>&1");
    if (r.ExitCode != 0)
        throw std::runtime_error("eml_summary.py failed on " + path + ": " + r.Output);
    return Json::Parse(r.Output);
}

// The MIME tree of a summary in one line: "multipart/related[text/plain,message/rfc822{text/plain}]".
inline std::string MimeTree(const Json& part)
{
    std::string out = part["type"].string;
    if (!part["parts"].IsNull()) {
        out += "[";
        for (size_t i = 0; i < part["parts"].array.size(); ++i) {
            if (i)
                out += ",";
            out += MimeTree(part["parts"].array[i]);
        }
        out += "]";
    }
    if (!part["message"].IsNull())
        out.append("{").append(MimeTree(part["message"])).append("}");
    return out;
}

// The summaries of several mail files, read by one run of the script (one JSON line per file).
inline std::vector<Json> EmlSummaries(const std::vector<std::string>& paths)
{
    std::string command = std::string(kPython) + " " + ShellQuote(EmlSummaryScript());
    for (const std::string& path : paths)
        command.append(" ").append(ShellQuote(path));
    CommandResult r = RunCommand(command + " 2>&1");
    if (r.ExitCode != 0)
        throw std::runtime_error("eml_summary.py failed: " + r.Output);
    std::vector<Json> summaries;
    for (size_t from = 0; from < r.Output.size();) {
        size_t end = r.Output.find('\n', from);
        end = end == std::string::npos ? r.Output.size() : end;
        if (end > from)
            summaries.push_back(Json::Parse(r.Output.substr(from, end - from)));
        from = end + 1;
    }
    return summaries;
}

inline Json EmlSummaryOfBytes(const std::string& bytes)
{
    TempDir dir;
    WriteFileBytes(dir.File("message.eml"), bytes);
    return EmlSummary(dir.File("message.eml"));
}

} // namespace pelmsg::test
