// libFuzzer target: the compressed-RTF decoder on any bytes.
//
// Inputs whose first byte is odd get a well-formed "LZFu" header in front of the rest (sizes from the input),
// so that most runs reach the decompressor instead of stopping at the header checks.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "compressed_rtf.h"

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
        Check(decoded.Kind == 0);
        Check(decoded.Text == bytes);
    } else if (decoded.Kind == 2) {
        Check(std::string_view(bytes).substr(16).substr(0, decoded.Text.size()) == decoded.Text);
    } else {
        Check(decoded.Kind == 1);
        // A 2-byte reference gives at most 17 bytes and one control byte leads 8 items: the output is bounded by
        // the input, whatever the header claims.
        Check(decoded.Text.size() <= (bytes.size() - 16) * 9);
    }
    return 0;
}
