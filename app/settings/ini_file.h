#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorra {

// An INI file read and written the way the Windows private-profile functions do: "[Section]" lines followed by
// "Key=Value" lines; section and key names compared without regard to case; a value runs to the end of its line
// (surrounding blanks dropped); reading a key that is missing gives the caller's default.
//
// The file is read once into an index, so a lookup costs the same whatever the file holds. A reader that needs only
// some keys passes a filter: the lines it rejects are passed over and not kept (such a file is read only, and
// UpdateFile refuses to write it, unless it was read to be rewritten without them), so a settings file of
// millions of lines costs one pass and no memory.
class TIniFile {
public:
    // Which "Key=Value" lines of which section a read-only reader keeps.
    using TKeyFilter = std::function<bool(std::string_view section, std::string_view key)>;

    // Reads the file if it exists; a missing or unreadable file is an empty one.
    explicit TIniFile(std::string fileName);
    // ReadOnly: only the keys the filter accepts are kept, and the file is never written back. Rewrite: the file
    // keeps everything but the keys the filter rejects, which writing it back drops.
    enum class TFilterUse { ReadOnly, Rewrite };
    // Reads only the keys the filter accepts.
    TIniFile(std::string fileName, const TKeyFilter& keep, TFilterUse use = TFilterUse::ReadOnly);

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

    // Whether a write changed a value or added a key since the file was read.
    bool Changed() const { return changed_; }

    // Writes the file (through a temporary file renamed into place). Returns false when it cannot be written.
    bool UpdateFile() const;

    const std::string& FileName() const { return fileName_; }

    // Lines kept, and the keys compared with a looked-up one so far: what tests count instead of time.
    size_t LineCount() const;
    uint64_t KeyComparisons() const { return keyComparisons_; }

private:
    // A line as read (comments, blank lines kept as they are); for "Key=Value" lines where its trimmed key and
    // value stand in it.
    struct TLine {
        std::string text;
        uint32_t keyBegin = 0, keyLength = 0;
        uint32_t valueBegin = 0, valueLength = 0;
        std::string_view Key() const { return std::string_view(text).substr(keyBegin, keyLength); }
        std::string_view Value() const { return std::string_view(text).substr(valueBegin, valueLength); }
    };
    struct TSection {
        std::string name;
        std::vector<TLine> lines;
    };
    // Where a key's line is, filed under the hash of its section and key (ASCII case folded).
    struct TIndexEntry {
        uint64_t hash;
        uint32_t section;
        uint32_t line;
        bool operator<(const TIndexEntry& o) const
        {
            return hash != o.hash ? hash < o.hash : section != o.section ? section < o.section : line < o.line;
        }
    };

    void Read(const TKeyFilter* keep);
    static TLine MakeLine(std::string text);
    static uint64_t KeyHash(std::string_view section, std::string_view key);
    const TLine* Find(const std::string& section, const std::string& key) const;
    TSection* FindSection(const std::string& section);

    std::string fileName_;
    bool readOnly_ = false;
    std::vector<TSection> sections_; // the first one has an empty name: lines before any section header
    std::vector<TIndexEntry> index_; // sorted: every key line read, the first of equal keys first
    std::vector<TIndexEntry> added_; // keys added since, in the order added
    mutable uint64_t keyComparisons_ = 0;
    bool changed_ = false;
};

// The text without the blanks and tabs at either end.
std::string TrimBlanks(const std::string& s);

} // namespace quorra
