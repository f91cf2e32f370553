// Base64 (RFC 4648 alphabet, "=" padding) broken into MIME lines of 76 characters.

#include "text/base64.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace pelmsg {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineChars = 76;
constexpr size_t kLineBytes = kLineChars / 4 * 3; // 57

// Two output characters for every 12-bit value, so a group of three bytes takes two lookups.
const std::array<std::array<char, 2>, 4096>& PairTable()
{
    static const auto table = [] {
        std::array<std::array<char, 2>, 4096> t {};
        for (size_t v = 0; v < t.size(); ++v)
            t[v] = { kAlphabet[v >> 6], kAlphabet[v & 0x3F] };
        return t;
    }();
    return table;
}

inline void EncodeGroup(const unsigned char* in, char* out, const std::array<std::array<char, 2>, 4096>& pairs)
{
    uint32_t v = static_cast<uint32_t>(in[0]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[2];
    std::memcpy(out, pairs[v >> 12].data(), 2);
    std::memcpy(out + 2, pairs[v & 0xFFF].data(), 2);
}

// Two groups (6 bytes to 8 characters) from one 8-byte load; the two bytes after the six must be readable.
inline void EncodeTwoGroups(const unsigned char* in, char* out, const std::array<std::array<char, 2>, 4096>& pairs)
{
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i)
        v = v << 8 | in[i];
    std::memcpy(out, pairs[(v >> 36) & 0xFFF].data(), 2);
    std::memcpy(out + 2, pairs[(v >> 24) & 0xFFF].data(), 2);
    std::memcpy(out + 4, pairs[(v >> 12) & 0xFFF].data(), 2);
    std::memcpy(out + 6, pairs[v & 0xFFF].data(), 2);
}

} // namespace

ByteString EncodeBase64(std::string_view bytes)
{
    const size_t n = bytes.size();
    if (n == 0)
        return {};
    const size_t chars = (n + 2) / 3 * 4;
    const size_t breaks = (chars - 1) / kLineChars;
    ByteString out(chars + breaks * 2, '\0');
    const auto& pairs = PairTable();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char* o = out.data();

    size_t pos = 0;
    // Whole lines: 57 bytes give 76 characters, then CR LF unless the text ends there.
    while (n - pos >= kLineBytes) {
        size_t g = 0;
        for (; g + 6 <= kLineBytes; g += 6)
            EncodeTwoGroups(in + pos + g, o + g / 3 * 4, pairs);
        for (; g < kLineBytes; g += 3)
            EncodeGroup(in + pos + g, o + g / 3 * 4, pairs);
        pos += kLineBytes;
        o += kLineChars;
        if (pos < n) {
            o[0] = '\r';
            o[1] = '\n';
            o += 2;
        }
    }
    // The last, shorter line.
    for (; n - pos >= 3; pos += 3, o += 4)
        EncodeGroup(in + pos, o, pairs);
    if (size_t left = n - pos; left > 0) {
        uint32_t v = static_cast<uint32_t>(in[pos]) << 16 | (left == 2 ? static_cast<uint32_t>(in[pos + 1]) << 8 : 0);
        o[0] = kAlphabet[v >> 18];
        o[1] = kAlphabet[(v >> 12) & 0x3F];
        o[2] = left == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=';
        o[3] = '=';
    }
    return out;
}

} // namespace pelmsg
