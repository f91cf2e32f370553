// Transfer decoding of mail bodies, lenient as mail readers are.

#include "mime/transfer_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "text/ascii_case.h"

namespace pelmsg {

namespace {

constexpr std::array<int8_t, 256> MakeBase64Table()
{
    std::array<int8_t, 256> table {};
    for (auto& v : table)
        v = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr std::array<int8_t, 256> kBase64 = MakeBase64Table();

} // namespace

std::string DecodeBase64Lenient(std::string_view text, size_t maxBytes)
{
    // The output never holds more than three bytes for every four letters, so it is sized once and written
    // through a pointer; four letters in a row (most of a body) become three bytes at a time.
    std::string out(std::min(maxBytes, text.size() / 4 * 3 + 3), '\0');
    char* const begin = out.data();
    char* o = begin;
    char* const limit = begin + out.size();
    uint32_t bits = 0;
    int count = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        if (count == 0 && end - p >= 4 && limit - o >= 3) {
            const int8_t a = kBase64[p[0]], b = kBase64[p[1]], c = kBase64[p[2]], d = kBase64[p[3]];
            if ((a | b | c | d) >= 0) {
                const uint32_t group = static_cast<uint32_t>(a) << 18 | static_cast<uint32_t>(b) << 12
                    | static_cast<uint32_t>(c) << 6 | static_cast<uint32_t>(d);
                o[0] = static_cast<char>((group >> 16) & 0xFF);
                o[1] = static_cast<char>((group >> 8) & 0xFF);
                o[2] = static_cast<char>(group & 0xFF);
                o += 3;
                p += 4;
                continue;
            }
        }
        if (o == limit || *p == '=')
            break;
        const int8_t v = kBase64[*p++];
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if (++count == 4) {
            *o++ = static_cast<char>((bits >> 16) & 0xFF);
            if (o < limit)
                *o++ = static_cast<char>((bits >> 8) & 0xFF);
            if (o < limit)
                *o++ = static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    // A last group of two or three characters still carries one or two bytes.
    if (count >= 2 && o < limit)
        *o++ = static_cast<char>((bits >> (count == 2 ? 4 : 10)) & 0xFF);
    if (count == 3 && o < limit)
        *o++ = static_cast<char>((bits >> 2) & 0xFF);
    out.resize(static_cast<size_t>(o - begin));
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text, size_t maxBytes)
{
    std::string out;
    out.reserve(std::min(maxBytes, text.size()));
    size_t i = 0;
    while (i < text.size() && out.size() < maxBytes) {
        const char c = text[i];
        if (c == '=') {
            // A soft line break: "=", optional blanks, then the line end.
            size_t j = i + 1;
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t'))
                ++j;
            if (j < text.size() && (text[j] == '\n' || (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n'))) {
                i = j + (text[j] == '\r' ? 2 : 1);
                continue;
            }
            if (j == text.size()) {
                i = j;
                continue;
            }
            if (i + 2 < text.size() && AsciiHexValue(text[i + 1]) >= 0 && AsciiHexValue(text[i + 2]) >= 0) {
                out += static_cast<char>(AsciiHexValue(text[i + 1]) * 16 + AsciiHexValue(text[i + 2]));
                i += 3;
                continue;
            }
            out += c;
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t') {
            // Blanks at a line end were added in transport.
            size_t j = i;
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t'))
                ++j;
            if (j == text.size() || text[j] == '\n' || (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n')) {
                i = j;
                continue;
            }
            out.append(text.substr(i, std::min(j - i, maxBytes - out.size())));
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::string DecodeTransfer(std::string_view encoding, std::string_view body, size_t maxBytes)
{
    if (encoding == "base64")
        return DecodeBase64Lenient(body, maxBytes);
    if (encoding == "quoted-printable")
        return DecodeQuotedPrintable(body, maxBytes);
    return std::string(body.substr(0, std::min(body.size(), maxBytes)));
}

} // namespace pelmsg
