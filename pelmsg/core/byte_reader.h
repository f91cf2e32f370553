#pragma once

// Reading untrusted bytes: every read checks that what it reads lies inside the data before it touches it, and an
// offset plus a length is computed without overflow. A read beyond the end raises the error of the format being
// read, with the offset where it happened. Readers of streams that count missing bytes as zero (the TNEF reader,
// the property values) read through the TStream functions at the end instead.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/byte_order.h"
#include "core/errors.h"
#include "core/stream.h"

namespace pelmsg {

// What a read beyond the end raises; called with the offset of the read. Never returns.
using TOutOfBounds = void (*)(uint64_t offset);

// Raises EFormatError "Data ends too early" with the offset.
[[noreturn]] void ThrowDataEndsTooEarly(uint64_t offset);

// Read-only, random access to bytes someone else owns.
class TByteView {
public:
    TByteView(const void* data, size_t size, TOutOfBounds outOfBounds = ThrowDataEndsTooEarly)
        : data_(static_cast<const unsigned char*>(data))
        , size_(size)
        , outOfBounds_(outOfBounds)
    {
    }
    explicit TByteView(std::string_view bytes, TOutOfBounds outOfBounds = ThrowDataEndsTooEarly)
        : TByteView(bytes.data(), bytes.size(), outOfBounds)
    {
    }

    size_t Size() const { return size_; }
    // Whether count bytes at offset lie inside the data, for a reader that passes over what is not there.
    bool Contains(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }
    // The address of count bytes at offset.
    const unsigned char* At(size_t offset, size_t count) const
    {
        if (!Contains(offset, count))
            outOfBounds_(offset);
        return data_ + offset;
    }
    std::string_view Bytes(size_t offset, size_t count) const
    {
        return { reinterpret_cast<const char*>(At(offset, count)), count };
    }
    uint8_t U8(size_t offset) const { return *At(offset, 1); }
    uint16_t U16(size_t offset) const { return LoadLE16(At(offset, 2)); }
    uint32_t U32(size_t offset) const { return LoadLE32(At(offset, 4)); }
    uint64_t U64(size_t offset) const { return LoadLE64(At(offset, 8)); }

private:
    const unsigned char* data_;
    size_t size_;
    TOutOfBounds outOfBounds_;
};

// Reads a view from the front: each read takes what it reads off.
class TByteReader {
public:
    explicit TByteReader(TByteView view)
        : view_(view)
    {
    }
    explicit TByteReader(std::string_view bytes, TOutOfBounds outOfBounds = ThrowDataEndsTooEarly)
        : view_(bytes, outOfBounds)
    {
    }

    size_t Position() const { return position_; }
    size_t Remaining() const { return view_.Size() - position_; }
    uint8_t U8() { return view_.U8(Advance(1)); }
    uint16_t U16LE() { return view_.U16(Advance(2)); }
    uint32_t U32LE() { return view_.U32(Advance(4)); }
    uint64_t U64LE() { return view_.U64(Advance(8)); }
    std::string_view Bytes(size_t count) { return view_.Bytes(Advance(count), count); }
    void Skip(size_t count) { Advance(count); }

private:
    // Checks that count bytes follow, moves past them and returns where they start.
    size_t Advance(size_t count)
    {
        size_t at = position_;
        view_.At(at, count);
        position_ += count;
        return at;
    }

    TByteView view_;
    size_t position_ = 0;
};

// ---- Streams that count missing bytes as zero ----

// A little-endian number at the stream's position; bytes beyond the end of the stream count as zero.
uint16_t ReadLE16(TStream& stream);
uint32_t ReadLE32(TStream& stream);
uint64_t ReadLE64(TStream& stream);

} // namespace pelmsg
