#include "core/byte_reader.h"

namespace pelmsg {

namespace {

template <class T> T ReadPadded(TStream& stream)
{
    unsigned char bytes[sizeof(T)] = {};
    stream.Read(bytes, sizeof bytes);
    if constexpr (sizeof(T) == 2)
        return LoadLE16(bytes);
    else if constexpr (sizeof(T) == 4)
        return LoadLE32(bytes);
    else
        return LoadLE64(bytes);
}

} // namespace

void ThrowDataEndsTooEarly(uint64_t offset) { throw EFormatError("Data ends too early", static_cast<int64_t>(offset)); }

uint16_t ReadLE16(TStream& stream) { return ReadPadded<uint16_t>(stream); }
uint32_t ReadLE32(TStream& stream) { return ReadPadded<uint32_t>(stream); }
uint64_t ReadLE64(TStream& stream) { return ReadPadded<uint64_t>(stream); }

} // namespace pelmsg
