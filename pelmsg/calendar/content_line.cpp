#include "calendar/content_line.h"

namespace pelmsg {

namespace {

// The length of the UTF-8 sequence that starts with the byte, 0 for a byte that starts none.
size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// The valid UTF-8 sequence at the position, or 0.
size_t ValidSequenceAt(std::string_view text, size_t at)
{
    const size_t n = SequenceLength(static_cast<unsigned char>(text[at]));
    if (n == 0 || at + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80)
            return 0;
    const auto b0 = static_cast<unsigned char>(text[at]);
    const auto b1 = n > 1 ? static_cast<unsigned char>(text[at + 1]) : 0;
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 >= 0xA0) || (b0 == 0xF0 && b1 < 0x90)
        || (b0 == 0xF4 && b1 >= 0x90))
        return 0;
    return n;
}

} // namespace

void TContentLines::Line(std::string_view name, std::string_view value)
{
    std::string line;
    line.reserve(name.size() + 1 + value.size());
    line.append(name);
    line += ':';
    line.append(value);
    size_t used = 0; // octets on the current output line
    size_t at = 0;
    while (at < line.size()) {
        size_t n = SequenceLength(static_cast<unsigned char>(line[at]));
        if (n == 0 || at + n > line.size())
            n = 1;
        if (used + n > kMaxContentLineOctets) {
            text_ += "\r\n ";
            used = 1;
        }
        text_.append(line, at, n);
        used += n;
        at += n;
    }
    text_ += "\r\n";
}

std::string EscapeText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const char c = utf8[at];
        if (c == '\r' || c == '\n') {
            out += "\\n";
            at += (c == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n') ? 2u : 1u;
            continue;
        }
        if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += c;
            ++at;
            continue;
        }
        const size_t n = ValidSequenceAt(utf8, at);
        if (n == 0) {
            ++at;
            continue;
        }
        if (n == 1 && ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)) {
            ++at;
            continue;
        }
        out.append(utf8, at, n);
        at += n;
    }
    return out;
}

std::string ParameterValue(std::string_view utf8)
{
    std::string out;
    bool quote = false;
    for (size_t at = 0; at < utf8.size();) {
        const size_t n = ValidSequenceAt(utf8, at);
        if (n == 0) {
            ++at;
            continue;
        }
        const char c = utf8[at];
        if (n == 1 && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '"')) {
            ++at;
            continue;
        }
        if (c == ':' || c == ';' || c == ',')
            quote = true;
        out.append(utf8, at, n);
        at += n;
    }
    return quote ? "\"" + out + "\"" : out;
}

} // namespace pelmsg
