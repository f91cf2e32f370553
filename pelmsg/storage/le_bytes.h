#pragma once

// Little-endian loads and stores on byte buffers whose bounds the caller has checked (see TByteView for
// untrusted input).

#include <cstddef>
#include <cstdint>
#include <string>

#include "errors.h"

namespace pelmsg::cfb {

inline uint16_t LoadLE16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t LoadLE32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16
        | static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t LoadLE64(const unsigned char* p)
{
    return static_cast<uint64_t>(LoadLE32(p)) | static_cast<uint64_t>(LoadLE32(p + 4)) << 32;
}

inline void StoreLE16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void StoreLE32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void StoreLE64(unsigned char* p, uint64_t v)
{
    StoreLE32(p, static_cast<uint32_t>(v));
    StoreLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Read-only access to untrusted bytes: every load checks that the field lies inside the buffer.
class TByteView {
public:
    TByteView(const unsigned char* data, size_t size)
        : data_(data)
        , size_(size)
    {
    }
    explicit TByteView(const std::string& bytes)
        : TByteView(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())
    {
    }

    size_t Size() const { return size_; }
    uint8_t U8(size_t offset) const { return *At(offset, 1); }
    uint16_t U16(size_t offset) const { return LoadLE16(At(offset, 2)); }
    uint32_t U32(size_t offset) const { return LoadLE32(At(offset, 4)); }
    uint64_t U64(size_t offset) const { return LoadLE64(At(offset, 8)); }
    // The address of count bytes at offset.
    const unsigned char* At(size_t offset, size_t count) const
    {
        if (offset > size_ || count > size_ - offset)
            throw EStorageError("Compound file structure read out of bounds");
        return data_ + offset;
    }

private:
    const unsigned char* data_;
    size_t size_;
};

} // namespace pelmsg::cfb
