#pragma once

// Independent readers of calendar files: python3-icalendar and python3-dateutil (tests/pelmsg/tools/ics_summary.py)
// for iCalendar, python3-vobject (tests/pelmsg/tools/vcard_summary.py) for vCard. Tests skip themselves when the
// Python modules are missing.

#include <stdexcept>
#include <string>

#include "external_readers.h"
#include "mini_json.h"
#include "test_support.h"

namespace pelmsg::test {

inline bool CalendarReadersAvailable()
{
    return ToolAvailable(kPython)
        && RunCommand(std::string(kPython) + " -c 'import icalendar, vobject, dateutil' 2>&1").ExitCode == 0;
}

inline std::string CalendarTool(const char* name)
{
    return std::string(TESSALY_SOURCE_DIR) + "/tests/pelmsg/tools/" + name;
}

// What python3-icalendar reads in an iCalendar file, with the first `instances` instances of each recurring
// series as python3-dateutil expands them. Throws std::runtime_error with the parser's message when it fails.
inline Json IcsSummary(const std::string& path, int instances = 0)
{
    std::string command
        = std::string(kPython) + " " + ShellQuote(CalendarTool("ics_summary.py")) + " " + ShellQuote(path);
    if (instances > 0)
        command += " --instances " + std::to_string(instances);
    CommandResult r = RunCommand(command + " 2>&1");
    if (r.ExitCode != 0)
        throw std::runtime_error("ics_summary.py: " + r.Output);
    return Json::Parse(r.Output);
}

inline Json IcsSummaryOfText(const std::string& text, int instances = 0)
{
    TempDir dir;
    WriteFileBytes(dir.File("item.ics"), text);
    return IcsSummary(dir.File("item.ics"), instances);
}

// What the tool (a Python script of tests/pelmsg/tools/) prints as JSON for the bytes, written to a file of the
// name. Throws std::runtime_error with the tool's message when it fails.
inline Json ToolSummaryOfBytes(const char* tool, const char* fileName, const std::string& bytes)
{
    TempDir dir;
    WriteFileBytes(dir.File(fileName), bytes);
    CommandResult r = RunCommand(
        std::string(kPython) + " " + ShellQuote(CalendarTool(tool)) + " " + ShellQuote(dir.File(fileName)) + " 2>&1");
    if (r.ExitCode != 0)
        throw std::runtime_error(std::string(tool) + ": " + r.Output);
    return Json::Parse(r.Output);
}

// What python3-vobject reads in a vCard.
inline Json VCardSummaryOfText(const std::string& text)
{
    return ToolSummaryOfBytes("vcard_summary.py", "contact.vcf", text);
}

} // namespace pelmsg::test
