#include "lzfu.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace pelmsg::test {

namespace {

constexpr std::string_view kPrefix = "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss "
                                     "\\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier"
                                     "{\\colortbl\\red0\\green0\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab"
                                     "\\tx";

void PutLE32(std::string& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

} // namespace

std::string CompressRtfLzfu(std::string_view rtf)
{
    std::array<char, 4096> dict {};
    std::memcpy(dict.data(), kPrefix.data(), kPrefix.size());
    size_t writePos = kPrefix.size();

    std::string body;
    size_t in = 0;
    bool done = false;
    while (!done) {
        size_t controlAt = body.size();
        body.push_back('\0');
        unsigned control = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (in >= rtf.size()) {
                // End reference: the current write position.
                control |= 1u << bit;
                uint16_t word = static_cast<uint16_t>(writePos << 4);
                body.push_back(static_cast<char>(word >> 8));
                body.push_back(static_cast<char>(word & 0xFF));
                done = true;
                break;
            }
            // Longest match (2..17 bytes) anywhere in the dictionary. A match may not reach the bytes this very
            // copy overwrites, so the source stays as it is while it is copied.
            size_t bestLen = 0, bestOff = 0;
            size_t maxLen = std::min<size_t>(17, rtf.size() - in);
            for (size_t off = 0; off < 4096 && maxLen >= 2; ++off) {
                if (off == writePos)
                    continue;
                size_t limit = std::min(maxLen, (writePos + 4096 - off) % 4096);
                size_t len = 0;
                while (len < limit && dict[(off + len) % 4096] == rtf[in + len])
                    ++len;
                if (len > bestLen) {
                    bestLen = len;
                    bestOff = off;
                    if (len == maxLen)
                        break;
                }
            }
            if (bestLen >= 2) {
                control |= 1u << bit;
                uint16_t word = static_cast<uint16_t>((bestOff << 4) | (bestLen - 2));
                body.push_back(static_cast<char>(word >> 8));
                body.push_back(static_cast<char>(word & 0xFF));
                for (size_t i = 0; i < bestLen; ++i) {
                    dict[writePos] = rtf[in + i];
                    writePos = (writePos + 1) % 4096;
                }
                in += bestLen;
            } else {
                body.push_back(rtf[in]);
                dict[writePos] = rtf[in];
                writePos = (writePos + 1) % 4096;
                ++in;
            }
        }
        body[controlAt] = static_cast<char>(control);
    }
    std::string out(16, '\0');
    PutLE32(out, 0, static_cast<uint32_t>(body.size() + 12));
    PutLE32(out, 4, static_cast<uint32_t>(rtf.size()));
    PutLE32(out, 8, 0x75465A4C);
    // The format's checksum of the compressed contents: CRC-32 table, register starting at 0, no final complement.
    uint32_t crc = 0;
    for (char c : body) {
        uint32_t x = (crc ^ static_cast<unsigned char>(c)) & 0xFF;
        for (int k = 0; k < 8; ++k)
            x = (x & 1) ? 0xEDB88320u ^ (x >> 1) : x >> 1;
        crc = x ^ (crc >> 8);
    }
    PutLE32(out, 12, crc);
    return out + body;
}

} // namespace pelmsg::test
