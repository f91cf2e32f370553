#include "rtf/compressed_rtf.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/byte_order.h"
#include "core/byte_reader.h"

namespace pelmsg {

namespace {

constexpr uint32_t kMagicCompressed = 0x75465A4C; // "LZFu"
constexpr uint32_t kMagicUncompressed = 0x414C454D; // "MELA"
constexpr size_t kHeaderSize = 16;
constexpr size_t kDictionarySize = 4096;

// The dictionary's initial contents (207 bytes); decoding starts writing right after it.
constexpr std::string_view kPrefix = "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss "
                                     "\\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier"
                                     "{\\colortbl\\red0\\green0\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab"
                                     "\\tx";
static_assert(kPrefix.size() == 207);

ByteString Decompress(std::string_view bytes, uint32_t compressedSize, uint32_t rawSize)
{
    // The output never exceeds twice the raw size minus one; nor can it exceed what the input can expand to
    // (a 2-byte reference gives at most 17 bytes), so a hostile raw size cannot make us reserve memory.
    uint64_t capacity = rawSize > 0 ? 2ULL * rawSize - 1 : 0;
    size_t end = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(compressedSize) + 4, bytes.size()));
    size_t pos = kHeaderSize;
    if (end < pos)
        end = pos;
    uint64_t bound = static_cast<uint64_t>(end - pos) * 9;
    capacity = std::min(capacity, bound);
    const size_t cap = static_cast<size_t>(capacity);

    std::array<char, kDictionarySize> dict {};
    std::memcpy(dict.data(), kPrefix.data(), kPrefix.size());
    size_t writePos = kPrefix.size();
    constexpr size_t kMask = kDictionarySize - 1;
    static_assert((kDictionarySize & kMask) == 0);

    // Written through a pointer into a buffer sized for the raw size the header gives (grown when it lies), then
    // cut to what was written: decoding runs at hundreds of megabytes a second.
    ByteString out(static_cast<size_t>(std::min<uint64_t>(rawSize, cap)), '\0');
    size_t size = 0;
    auto room = [&](size_t need) {
        if (size + need > out.size())
            out.resize(std::min(cap, std::max(out.size() * 2, size + need)));
    };
    auto finish = [&]() {
        out.resize(size);
        return std::move(out);
    };
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());

    while (pos < end) {
        unsigned control = in[pos++];
        for (int bit = 0; bit < 8; ++bit) {
            if ((control & (1u << bit)) == 0) {
                if (pos >= end)
                    return finish();
                char c = static_cast<char>(in[pos++]);
                if (size >= cap)
                    return finish(); // nothing more can be written; the rest of the input changes nothing
                room(1);
                out[size++] = c;
                if (size <= kDictionarySize)
                    dict[writePos] = c;
                writePos = (writePos + 1) & kMask;
            } else {
                if (pos + 1 >= end)
                    return finish();
                unsigned word = (static_cast<unsigned>(in[pos]) << 8) | in[pos + 1];
                pos += 2;
                size_t offset = word >> 4;
                size_t length = (word & 0xF) + 2;
                if (offset == writePos)
                    return finish();
                size_t n = std::min(length, cap - size);
                room(n);
                char* o = out.data() + size;
                if (size >= kDictionarySize) {
                    // Once a whole dictionary's worth has been written, the dictionary is the last 4096 bytes of
                    // the output: copy from there (overlapping copies repeat, as they must).
                    const size_t distance = (writePos - offset) & kMask;
                    const char* from = o - distance;
                    if (distance >= n)
                        std::memcpy(o, from, n);
                    else
                        for (size_t i = 0; i < n; ++i)
                            o[i] = from[i];
                    writePos = (writePos + n) & kMask;
                } else {
                    for (size_t i = 0; i < n; ++i) {
                        char c = dict[(offset + i) & kMask];
                        o[i] = c;
                        dict[writePos] = c;
                        writePos = (writePos + 1) & kMask;
                    }
                }
                size += n;
                if (n < length)
                    return finish();
            }
        }
    }
    return finish();
}

} // namespace

bool HasCompressedRtfHeader(std::string_view bytes)
{
    if (bytes.size() <= kHeaderSize)
        return false;
    const uint32_t magic = TByteView(bytes).U32(8);
    return magic == kMagicCompressed || magic == kMagicUncompressed;
}

TCompressedRtf DecodeCompressedRtf(std::string_view bytes)
{
    TCompressedRtf result;
    if (bytes.size() <= kHeaderSize || !HasCompressedRtfHeader(bytes)) {
        // No usable header: keep every byte rather than guess where the text starts.
        result.Text.assign(bytes);
        result.RecordedSize = static_cast<uint32_t>(std::min<size_t>(bytes.size(), UINT32_MAX));
        return result;
    }
    TByteReader header(bytes);
    const uint32_t compressedSize = header.U32LE();
    const uint32_t rawSize = header.U32LE();
    const uint32_t magic = header.U32LE();
    result.RecordedSize = rawSize > UINT32_MAX / 2 ? UINT32_MAX : rawSize * 2;
    if (magic == kMagicUncompressed) {
        result.Kind = TCompressedRtfKind::Uncompressed;
        result.Text.assign(bytes.substr(kHeaderSize, rawSize));
    } else {
        result.Kind = TCompressedRtfKind::Compressed;
        result.Text = Decompress(bytes, compressedSize, rawSize);
    }
    return result;
}

ByteString UncompressedRtfStream(std::string_view text, bool withHeader)
{
    if (!withHeader)
        return ByteString(text);
    auto n = static_cast<uint32_t>(text.size());
    ByteString out;
    out.reserve(kHeaderSize + text.size());
    for (uint32_t field : { n + 12, n, kMagicUncompressed, Crc32OfText(text) })
        AppendLE32(out, field);
    out.append(text);
    return out;
}

uint32_t Crc32OfText(std::string_view text)
{
    static const auto table = [] {
        std::array<uint32_t, 256> t {};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : text)
        crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace pelmsg
