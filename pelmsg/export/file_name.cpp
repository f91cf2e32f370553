#include "export/file_name.h"

#include <sys/stat.h>

#include <array>
#include <string_view>

#include "export/value_listing.h"
#include "text/ascii_case.h"

namespace pelmsg {

namespace {

// Length of the UTF-8 sequence that starts at text[i], or 0 when the bytes there are not a valid sequence.
size_t Utf8SequenceLength(std::string_view text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsForbiddenAscii(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<'
        || c == '>' || c == '|';
}

// Unicode bidi controls (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069): in a file name they only
// serve to make "invoice\u202Egnp.exe" read as "invoice" "exe.png", so they are dropped.
bool IsBidiControl(std::string_view name, size_t i, size_t length)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(name[i + k]); };
    if (length == 2)
        return byte(0) == 0xD8 && byte(1) == 0x9C;
    if (length != 3)
        return false;
    if (byte(0) != 0xE2)
        return false;
    if (byte(1) == 0x80)
        return byte(2) == 0x8E || byte(2) == 0x8F || (byte(2) >= 0xAA && byte(2) <= 0xAE);
    return byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9;
}

// Replaces what may not stand in a file name; invalid UTF-8 and C1 controls become "_", bidi controls go.
std::string ReplaceForbidden(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const size_t length = Utf8SequenceLength(name, i);
        if (length == 0) {
            out += '_';
            ++i;
        } else if (length == 1) {
            const auto c = static_cast<unsigned char>(name[i]);
            out += IsForbiddenAscii(c) ? '_' : name[i];
            ++i;
        } else {
            // U+0080..U+009F are control characters too (C2 80 .. C2 9F).
            const bool c1Control = length == 2 && static_cast<unsigned char>(name[i]) == 0xC2
                && static_cast<unsigned char>(name[i + 1]) <= 0x9F;
            if (c1Control)
                out += '_';
            else if (IsBidiControl(name, i, length))
                ; // dropped
            else
                out.append(name.substr(i, length));
            i += length;
        }
    }
    return out;
}

// Without leading blanks and dots (a name never becomes a hidden file) and trailing blanks and dots.
std::string Trimmed(std::string text)
{
    size_t begin = 0;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '.'))
        ++begin;
    size_t end = text.size();
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '.'))
        --end;
    return text.substr(begin, end - begin);
}

bool IsDeviceName(std::string_view name)
{
    // The part before the first dot decides ("nul.txt" is the device NUL on Windows).
    const std::string stem = UpperAscii(name.substr(0, name.find('.')));
    static constexpr std::array<std::string_view, 4> kPlain = { "CON", "PRN", "AUX", "NUL" };
    for (std::string_view device : kPlain)
        if (stem == device)
            return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1'
        && stem[3] <= '9';
}

// Cuts a name to maxBytes, keeping its extension. A cut never makes an extension the name did not have
// ("A…A.desktopXXXX" cut after ".desktop"): a dot that would end up starting a new one becomes "_".
std::string CutToLength(const std::string& name, size_t maxBytes)
{
    if (name.size() <= maxBytes)
        return name;
    const std::string_view extension = FileNameExtension(name);
    const std::string_view stem = std::string_view(name).substr(0, name.size() - extension.size());
    std::string cut(Utf8Prefix(stem, maxBytes - extension.size()));
    while (extension.empty()) {
        const std::string_view made = FileNameExtension(cut);
        if (made.empty())
            break;
        cut[cut.size() - made.size()] = '_';
    }
    return cut + std::string(extension);
}

std::string MakeSafe(std::string_view name)
{
    std::string safe = Trimmed(ReplaceForbidden(name));
    if (safe.empty())
        return safe;
    if (IsDeviceName(safe))
        safe = "_" + safe;
    return Trimmed(CutToLength(safe, kMaxFileNameBytes));
}

bool Exists(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

std::string_view FileNameExtension(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot > kMaxFileExtensionBytes || dot + 1 == name.size())
        return {};
    for (size_t i = dot + 1; i < name.size(); ++i)
        if (!IsAsciiAlnum(name[i]))
            return {};
    // The stem must hold more than dots and blanks: ".pdf" and "..pdf" are names, not extensions.
    const std::string_view stem = name.substr(0, dot);
    if (stem.find_first_not_of(". ") == std::string_view::npos)
        return {};
    return name.substr(dot);
}

std::string SafeFileName(std::string_view name, std::string_view fallback)
{
    std::string safe = MakeSafe(name);
    if (safe.empty())
        safe = MakeSafe(fallback);
    return safe.empty() ? std::string("attachment") : safe;
}

std::string FirstFreeFilePath(const std::string& folder, const std::string& name)
{
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    if (!Exists(prefix + name))
        return prefix + name;
    // The number goes before the extension ("report (2).pdf"), else at the end.
    const std::string_view extension = FileNameExtension(name);
    const std::string_view stem = std::string_view(name).substr(0, name.size() - extension.size());
    for (unsigned number = 2;; ++number) {
        const std::string suffix = " (" + std::to_string(number) + ")" + std::string(extension);
        const std::string candidate = std::string(Utf8Prefix(stem, kMaxFileNameBytes - suffix.size())) + suffix;
        if (!Exists(prefix + candidate))
            return prefix + candidate;
    }
}

} // namespace pelmsg
