#pragma once

// Little-endian loads and stores on byte buffers whose bounds the caller has checked (see TByteView for
// untrusted input).

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/byte_order.h"
#include "core/errors.h"

namespace pelmsg::cfb {

using pelmsg::LoadLE16;
using pelmsg::LoadLE32;
using pelmsg::LoadLE64;
using pelmsg::StoreLE16;
using pelmsg::StoreLE32;
using pelmsg::StoreLE64;

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
