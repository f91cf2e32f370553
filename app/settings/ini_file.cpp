#include "ini_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "pelmsg.h"

namespace quorra {

namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

} // namespace

TIniFile::TIniFile(std::string fileName)
    : fileName_(std::move(fileName))
{
    sections_.push_back({});
    std::ifstream in(fileName_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string trimmed = Trim(line);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.find(']') != std::string::npos) {
            sections_.push_back({ Trim(trimmed.substr(1, trimmed.find(']') - 1)), {} });
            continue;
        }
        TLine entry { line, {}, {} };
        size_t eq = line.find('=');
        if (eq != std::string::npos && !trimmed.empty() && trimmed[0] != ';') {
            entry.key = Trim(line.substr(0, eq));
            entry.value = Trim(line.substr(eq + 1));
        }
        sections_.back().lines.push_back(std::move(entry));
    }
}

const TIniFile::TLine* TIniFile::Find(const std::string& section, const std::string& key) const
{
    for (const TSection& s : sections_) {
        if (s.name.empty() || !pelmsg::EqualsIgnoringAsciiCase(s.name, section))
            continue;
        for (const TLine& l : s.lines)
            if (!l.key.empty() && pelmsg::EqualsIgnoringAsciiCase(l.key, key))
                return &l;
    }
    return nullptr;
}

std::string TIniFile::ReadString(
    const std::string& section, const std::string& key, const std::string& defaultValue) const
{
    const TLine* l = Find(section, key);
    return l ? l->value : defaultValue;
}

long TIniFile::ReadInteger(const std::string& section, const std::string& key, long defaultValue) const
{
    const TLine* l = Find(section, key);
    if (!l || l->value.empty())
        return defaultValue;
    const char* text = l->value.c_str();
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
    TSection* target = nullptr;
    for (TSection& s : sections_) {
        if (!s.name.empty() && pelmsg::EqualsIgnoringAsciiCase(s.name, section)) {
            target = &s;
            break;
        }
    }
    if (!target) {
        sections_.push_back({ section, {} });
        target = &sections_.back();
    }
    for (TLine& l : target->lines) {
        if (!l.key.empty() && pelmsg::EqualsIgnoringAsciiCase(l.key, key)) {
            l.value = clean;
            l.text = l.key + "=" + clean;
            return;
        }
    }
    // New keys go after the section's last key, before trailing blank lines.
    size_t at = target->lines.size();
    while (at > 0 && Trim(target->lines[at - 1].text).empty())
        --at;
    target->lines.insert(target->lines.begin() + static_cast<long>(at), TLine { key + "=" + clean, key, clean });
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

} // namespace quorra
