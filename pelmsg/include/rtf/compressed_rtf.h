#pragma once

// Compressed RTF: the stream form in which messages keep RTF bodies ("LZFu" compressed or "MELA" uncompressed,
// behind a 16-byte header).

#include <cstdint>
#include <string_view>

#include "core/strings.h"

namespace pelmsg {

// The header a compressed-RTF stream starts with.
enum class TCompressedRtfKind : uint8_t {
    NoHeader = 0, // no header recognised: the bytes are the text
    Compressed = 1, // "LZFu"
    Uncompressed = 2, // "MELA"
};

// What a compressed-RTF stream holds.
struct TCompressedRtf {
    TCompressedRtfKind Kind = TCompressedRtfKind::NoHeader;
    ByteString Text; // the RTF text
    uint32_t RecordedSize = 0; // the size a loaded node records: twice the raw size, or the stream size
};

// Whether the bytes start with a compressed-RTF header whose magic is "LZFu" or "MELA".
bool HasCompressedRtfHeader(std::string_view bytes);

// Decodes a whole compressed-RTF stream. Never fails: a short or damaged stream gives a shorter text; a stream of
// 16 bytes or fewer, or one whose magic is unknown, is taken whole as the text (NoHeader).
TCompressedRtf DecodeCompressedRtf(std::string_view bytes);

// The stream that stores the text uncompressed: a "MELA" header (compressed size n + 12, raw size n, CRC of the
// text) and the text when withHeader is set, else the bare text.
ByteString UncompressedRtfStream(std::string_view text, bool withHeader);

// CRC-32 (ISO-HDLC: reflected polynomial 0xEDB88320, preset and final complement) of a byte string.
uint32_t Crc32OfText(std::string_view text);

} // namespace pelmsg
