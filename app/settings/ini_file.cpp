#include "ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "pelmsg.h"

namespace quorra {

TIniFile::TIniFile(std::string fileName)
    : fileName_(std::move(fileName))
{
    Read(nullptr);
}

TIniFile::TIniFile(std::string fileName, const TKeyFilter& keep, TFilterUse use)
    : fileName_(std::move(fileName))
    , readOnly_(use == TFilterUse::ReadOnly)
{
    Read(&keep);
}

TIniFile::TLine TIniFile::MakeLine(std::string text)
{
    TLine line;
    line.text = std::move(text);
    const std::string_view t = line.text;
    const size_t first = t.find_first_not_of(" \t");
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos || first == std::string_view::npos || t[first] == ';')
        return line;
    auto span = [&](size_t from, size_t to, uint32_t& begin, uint32_t& length) {
        while (from < to && (t[from] == ' ' || t[from] == '\t'))
            ++from;
        while (to > from && (t[to - 1] == ' ' || t[to - 1] == '\t'))
            --to;
        begin = static_cast<uint32_t>(from);
        length = static_cast<uint32_t>(to - from);
    };
    span(0, eq, line.keyBegin, line.keyLength);
    span(eq + 1, t.size(), line.valueBegin, line.valueLength);
    return line;
}

uint64_t TIniFile::KeyHash(std::string_view section, std::string_view key)
{
    // FNV-1a over both names, ASCII case folded, with a separator no name holds.
    uint64_t h = 14695981039346656037ull;
    auto add = [&h](char c) {
        h ^= static_cast<unsigned char>(pelmsg::LowerAscii(c));
        h *= 1099511628211ull;
    };
    for (char c : section)
        add(c);
    add('\n');
    for (char c : key)
        add(c);
    return h;
}

void TIniFile::Read(const TKeyFilter* keep)
{
    sections_.push_back({});
    std::ifstream in(fileName_, std::ios::binary);
    std::string line;
    std::string section; // the name of the section the lines read belong to
    bool opened = true; // whether sections_ holds that section (a filtered reader opens one only for a line it keeps)
    auto trim = [](std::string_view text) {
        const size_t b = text.find_first_not_of(" \t");
        if (b == std::string_view::npos)
            return std::string_view();
        return text.substr(b, text.find_last_not_of(" \t") - b + 1);
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string_view trimmed = trim(line);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.find(']') != std::string_view::npos) {
            section = std::string(trim(trimmed.substr(1, trimmed.find(']') - 1)));
            opened = !keep || !readOnly_;
            if (opened)
                sections_.push_back({ section, {} });
            continue;
        }
        if (keep) {
            // Looked at in place: a line passed over costs no copy.
            const size_t eq = line.find('=');
            const bool keyed = eq != std::string::npos && !trimmed.empty() && trimmed.front() != ';'
                && !trim(std::string_view(line).substr(0, eq)).empty();
            if (keyed ? !(*keep)(section, trim(std::string_view(line).substr(0, eq))) : readOnly_)
                continue;
            if (!opened) {
                sections_.push_back({ section, {} });
                opened = true;
            }
        }
        sections_.back().lines.push_back(MakeLine(std::move(line)));
        line = std::string();
    }
    for (size_t s = 1; s < sections_.size(); ++s) {
        if (sections_[s].name.empty())
            continue;
        const std::vector<TLine>& lines = sections_[s].lines;
        for (size_t l = 0; l < lines.size(); ++l)
            if (lines[l].keyLength > 0)
                index_.push_back({ KeyHash(sections_[s].name, lines[l].Key()), static_cast<uint32_t>(s),
                    static_cast<uint32_t>(l) });
    }
    std::sort(index_.begin(), index_.end());
}

size_t TIniFile::LineCount() const
{
    size_t count = 0;
    for (const TSection& s : sections_)
        count += s.lines.size();
    return count;
}

const TIniFile::TLine* TIniFile::Find(const std::string& section, const std::string& key) const
{
    // The first line of the key in file order: sections in order, lines in order; keys added since go after the
    // lines of their section that were read, and never into a section that already had the key.
    const uint64_t hash = KeyHash(section, key);
    const TIndexEntry* best = nullptr;
    auto consider = [&](const TIndexEntry& e) {
        if (e.hash != hash || (best && !(e.section < best->section || (e.section == best->section && e.line < best->line))))
            return;
        ++keyComparisons_;
        const TSection& s = sections_[e.section];
        if (pelmsg::EqualsIgnoringAsciiCase(s.name, section)
            && pelmsg::EqualsIgnoringAsciiCase(s.lines[e.line].Key(), key))
            best = &e;
    };
    for (auto it = std::lower_bound(index_.begin(), index_.end(), TIndexEntry { hash, 0, 0 });
         it != index_.end() && it->hash == hash && !best; ++it)
        consider(*it);
    for (const TIndexEntry& e : added_)
        consider(e);
    return best ? &sections_[best->section].lines[best->line] : nullptr;
}

std::string TIniFile::ReadString(
    const std::string& section, const std::string& key, const std::string& defaultValue) const
{
    const TLine* l = Find(section, key);
    return l ? std::string(l->Value()) : defaultValue;
}

long TIniFile::ReadInteger(const std::string& section, const std::string& key, long defaultValue) const
{
    const TLine* l = Find(section, key);
    if (!l || l->valueLength == 0)
        return defaultValue;
    const std::string value(l->Value());
    const char* text = value.c_str();
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0')
        return defaultValue;
    return v;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::KeyExists(const std::string& section, const std::string& key) const
{
    return Find(section, key) != nullptr;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    // Values are single lines: a line break would start a new key.
    std::string clean;
    for (char c : value)
        clean += (c == '\r' || c == '\n') ? ' ' : c;
    size_t target = 0;
    for (size_t s = 1; s < sections_.size() && target == 0; ++s)
        if (!sections_[s].name.empty() && pelmsg::EqualsIgnoringAsciiCase(sections_[s].name, section))
            target = s;
    if (target == 0) {
        sections_.push_back({ section, {} });
        target = sections_.size() - 1;
    }
    std::vector<TLine>& lines = sections_[target].lines;
    if (TLine* found = const_cast<TLine*>(Find(section, key));
        found && found >= lines.data() && found < lines.data() + lines.size()) {
        if (found->Value() == clean)
            return;
        changed_ = true;
        const std::string existingKey(found->Key());
        found->text = existingKey + "=" + clean;
        found->keyBegin = 0;
        found->keyLength = static_cast<uint32_t>(existingKey.size());
        found->valueBegin = found->keyLength + 1;
        found->valueLength = static_cast<uint32_t>(clean.size());
        return;
    }
    // New keys go after the section's last key, before trailing blank lines (which hold no key, so no line of
    // the index moves).
    size_t at = lines.size();
    while (at > 0 && TrimBlanks(lines[at - 1].text).empty())
        --at;
    changed_ = true;
    TLine line;
    line.text = key + "=" + clean;
    line.keyLength = static_cast<uint32_t>(key.size());
    line.valueBegin = line.keyLength + 1;
    line.valueLength = static_cast<uint32_t>(clean.size());
    lines.insert(lines.begin() + static_cast<long>(at), std::move(line));
    added_.push_back({ KeyHash(section, key), static_cast<uint32_t>(target), static_cast<uint32_t>(at) });
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, long value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::UpdateFile() const
{
    if (readOnly_)
        return false;
    std::ostringstream out;
    for (const TSection& s : sections_) {
        if (!s.name.empty())
            out << '[' << s.name << "]\r\n";
        for (const TLine& l : s.lines)
            out << l.text << "\r\n";
    }
    const std::string data = out.str();
    try {
        pelmsg::SaveThroughTemporaryFile(fileName_, [&](pelmsg::TStream& file) { file.WriteString(data); });
    } catch (const pelmsg::EPelMsgError&) {
        return false;
    }
    return true;
}

std::string TrimBlanks(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

} // namespace quorra
