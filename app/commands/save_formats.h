#pragma once

// Saving the whole message in the format a file name's extension names: the Save As command and the command
// line's export share this.

#include <stdexcept>
#include <string>
#include <vector>

namespace pelmsg {
class TMSGProperties;
class TPelMessage;
} // namespace pelmsg

namespace quorra {

// Raised when the chosen output is the very file the message was read from (the same file also through another
// name or a link): saving over it would lose the message. what() names the file.
class ESameFile : public std::runtime_error {
public:
    explicit ESameFile(const std::string& fileName);
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

// Whether two paths name the same existing file (same device and inode, links followed).
bool IsSameFile(const std::string& a, const std::string& b);

// The extension of each entry of the Save As dialog's filter, in order: ".txt", ".htm", ".xml", ".eml", ".msg";
// then ".ics" when the message is a calendar item or a task, ".vcf" when it is a contact; and "" for "All files",
// which is always last.
std::vector<std::string> SaveAsExtensions(const pelmsg::TMSGProperties& message);

// The extension of a file name (no folder part taken into account) in upper case with its dot: "out.html" gives
// ".HTML", "notes" and "dir.d/notes" give "".
std::string UpperExtension(const std::string& fileName);

// The name typed in the Save As dialog after the user picked a filter whose extension is `extension`: the typed
// name with that extension in place of its own (or added when it has none). An empty extension ("All files") or an
// empty name keeps the name as it is.
std::string TypeChangedName(const std::string& typed, const std::string& extension);

// Saves the message as fileName in the format of `extension` (upper case with its dot, as UpperExtension gives):
// ".HTM" or ".HTML" HTML, ".XML" the XML data packet, ".EML" a MIME mail, ".MSG" an Outlook message, ".ICS"
// iCalendar for a calendar item or task, ".VCF" a vCard for a contact; any other extension (also none, and ".ICS"
// or ".VCF" for a message of another kind) plain text. withProperties: all original properties
// (TSaveMode::AllProperties) rather than the common ones only; the MIME mail, iCalendar and vCard are the same either
// way. Raises ESameFile, before anything is written, when fileName is the file openFile names; the writers' errors pass
// unchanged. What the iCalendar writer left out of a damaged item goes into calendarWarnings when given.
void SaveInFormat(const pelmsg::TPelMessage& message, const std::string& fileName, const std::string& extension,
    bool withProperties, const std::string& openFile, std::vector<std::string>* calendarWarnings = nullptr);

} // namespace quorra
