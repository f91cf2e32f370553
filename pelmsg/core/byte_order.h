#pragma once

// Little-endian loads and stores on memory whose bounds the caller has checked, and appends to byte strings.
// The formats this library reads and writes (TNEF, compound files, .msg streams, compressed RTF) are all
// little-endian.

#include <cstdint>
#include <cstring>
#include <string>

namespace pelmsg {

inline uint16_t LoadLE16(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t LoadLE32(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16
        | static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t LoadLE64(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<uint64_t>(LoadLE32(p)) | static_cast<uint64_t>(LoadLE32(p + 4)) << 32;
}

inline void StoreLE16(void* at, uint16_t v)
{
    auto* p = static_cast<unsigned char*>(at);
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void StoreLE32(void* at, uint32_t v)
{
    auto* p = static_cast<unsigned char*>(at);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void StoreLE64(void* at, uint64_t v)
{
    auto* p = static_cast<unsigned char*>(at);
    StoreLE32(p, static_cast<uint32_t>(v));
    StoreLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline void AppendLE16(std::string& out, uint16_t v)
{
    char b[2];
    StoreLE16(b, v);
    out.append(b, 2);
}

inline void AppendLE32(std::string& out, uint32_t v)
{
    char b[4];
    StoreLE32(b, v);
    out.append(b, 4);
}

inline void AppendLE64(std::string& out, uint64_t v)
{
    char b[8];
    StoreLE64(b, v);
    out.append(b, 8);
}

} // namespace pelmsg
