#pragma once

#include <cstdint>
#include <string_view>

#include "model/types.h"

namespace pelmsg {

class TStream;
class TMSGPropertyCompressedRTF;

// What a compressed-RTF stream ("LZFu" compressed or "MELA" uncompressed, behind a 16-byte header) holds.
struct TCompressedRtf {
    uint8_t Kind = 0; // 0 no header recognised, 1 "LZFu", 2 "MELA"
    ByteString Text; // the RTF text
    uint32_t RecordedSize = 0; // the size a loaded node records: twice the raw size, or the stream size
};

// Whether the bytes start with a compressed-RTF header whose magic is "LZFu" or "MELA".
bool HasCompressedRtfHeader(std::string_view bytes);

// Decodes a whole compressed-RTF stream. Never fails: a short or damaged stream gives a shorter text; a stream of
// 16 bytes or fewer, or one whose magic is unknown, is taken whole as the text (Kind 0).
TCompressedRtf DecodeCompressedRtf(std::string_view bytes);

// Writes the node's text uncompressed: with a "MELA" header (compressed size n + 12, raw size n, CRC of the text)
// when the node was loaded with a recognised header, else the bare text. Returns the byte count written; 0 when
// no stream is given.
int64_t WriteCompressedRtf(const TMSGPropertyCompressedRTF& node, TStream* target);

// CRC-32 (ISO-HDLC: reflected polynomial 0xEDB88320, preset and final complement) of a byte string.
uint32_t Crc32OfText(std::string_view text);

} // namespace pelmsg
