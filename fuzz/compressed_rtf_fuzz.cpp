// libFuzzer target: the compressed-RTF decoder on any bytes.
//
// Inputs whose first byte is odd get a well-formed "LZFu" header in front of the rest (sizes from the input),
// so that most runs reach the decompressor instead of stopping at the header checks.

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rtf/compressed_rtf.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string LittleEndian32(uint32_t v)
{
    std::string s(4, '\0');
    for (size_t i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

// The decoder written plainly, byte by byte, for comparison with the library's.
std::string ReferenceDecode(std::string_view bytes)
{
    static constexpr std::string_view kPrefix
        = "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman "
          "\\fswiss \\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New "
          "RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
          "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        for (size_t i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        return v;
    };
    uint32_t compressedSize = u32(0), rawSize = u32(4);
    size_t end = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(compressedSize) + 4, bytes.size()));
    size_t pos = 16;
    end = std::max(end, pos);
    uint64_t cap = std::min<uint64_t>(rawSize > 0 ? 2ULL * rawSize - 1 : 0, static_cast<uint64_t>(end - pos) * 9);
    std::string dict(4096, '\0');
    dict.replace(0, kPrefix.size(), kPrefix);
    size_t writePos = kPrefix.size();
    std::string out;
    while (pos < end) {
        unsigned control = static_cast<unsigned char>(bytes[pos++]);
        for (int bit = 0; bit < 8; ++bit) {
            if ((control & (1u << bit)) == 0) {
                if (pos >= end)
                    return out;
                char c = bytes[pos++];
                if (out.size() < cap) {
                    out.push_back(c);
                    dict[writePos] = c;
                    writePos = (writePos + 1) % 4096;
                }
            } else {
                if (pos + 1 >= end)
                    return out;
                unsigned word = static_cast<unsigned>(static_cast<unsigned char>(bytes[pos])) << 8
                    | static_cast<unsigned char>(bytes[pos + 1]);
                pos += 2;
                size_t offset = word >> 4, length = (word & 0xF) + 2;
                if (offset == writePos)
                    return out;
                for (size_t i = 0; i < length && out.size() < cap; ++i) {
                    char c = dict[(offset + i) % 4096];
                    out.push_back(c);
                    dict[writePos] = c;
                    writePos = (writePos + 1) % 4096;
                }
            }
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string bytes;
    if (!input.empty() && (input[0] & 1) != 0 && input.size() >= 5) {
        uint32_t rawSize = static_cast<uint32_t>(static_cast<unsigned char>(input[1]))
            | static_cast<uint32_t>(static_cast<unsigned char>(input[2])) << 8
            | static_cast<uint32_t>(static_cast<unsigned char>(input[3])) << 16;
        std::string_view body = input.substr(4);
        bool magicMela = (input[0] & 2) != 0;
        bytes = LittleEndian32(static_cast<uint32_t>(body.size() + 12)) + LittleEndian32(rawSize)
            + (magicMela ? "MELA" : "LZFu") + LittleEndian32(pelmsg::Crc32OfText(body)) + std::string(body);
    } else {
        bytes.assign(input);
    }

    pelmsg::TCompressedRtf decoded = pelmsg::DecodeCompressedRtf(bytes);
    const bool header = pelmsg::HasCompressedRtfHeader(bytes);
    if (!header) {
        // Without a header the bytes are the text.
        Check(decoded.Kind == pelmsg::TCompressedRtfKind::NoHeader);
        Check(decoded.Text == bytes);
    } else if (decoded.Kind == pelmsg::TCompressedRtfKind::Uncompressed) {
        Check(std::string_view(bytes).substr(16).substr(0, decoded.Text.size()) == decoded.Text);
    } else {
        Check(decoded.Kind == pelmsg::TCompressedRtfKind::Compressed);
        Check(decoded.Text == ReferenceDecode(bytes));
        // A 2-byte reference gives at most 17 bytes and one control byte leads 8 items: the output is bounded by
        // the input, whatever the header claims.
        Check(decoded.Text.size() <= (bytes.size() - 16) * 9);
    }
    return 0;
}
