#pragma once

#include <string>
#include <vector>

namespace quorra {

// An INI file read and written the way the Windows private-profile functions do: "[Section]" lines followed by
// "Key=Value" lines; section and key names compared without regard to case; a value runs to the end of its line
// (surrounding blanks dropped); reading a key that is missing gives the caller's default.
class TIniFile {
public:
    // Reads the file if it exists; a missing or unreadable file is an empty one.
    explicit TIniFile(std::string fileName);

    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // A decimal integer; the default when the key is missing or its value is not a number.
    long ReadInteger(const std::string& section, const std::string& key, long defaultValue) const;
    // True when the value is a number other than 0; the default when missing or not a number.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    bool KeyExists(const std::string& section, const std::string& key) const;

    // Changes or adds a key (and its section); the file is written by UpdateFile.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, long value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Writes the file (through a temporary file renamed into place). Returns false when it cannot be written.
    bool UpdateFile() const;

    const std::string& FileName() const { return fileName_; }

private:
    struct TLine {
        std::string text; // the line as read (comments, blank lines and section headers kept as they are)
        std::string key; // for "Key=Value" lines: the key
        std::string value;
    };
    struct TSection {
        std::string name;
        std::vector<TLine> lines;
    };
    const TLine* Find(const std::string& section, const std::string& key) const;

    std::string fileName_;
    std::vector<TSection> sections_; // the first one has an empty name: lines before any section header
};

} // namespace quorra
