#pragma once

// The description of a storage element (STATSTG) and the constants that go with it.

#include <array>
#include <cstdint>
#include <string>

namespace pelmsg {

// A class identifier (GUID) as its 16 bytes on disk.
using TClassId = std::array<uint8_t, 16>;

// Element types.
inline constexpr uint32_t STGTY_STORAGE = 1;
inline constexpr uint32_t STGTY_STREAM = 2;
inline constexpr uint32_t STGTY_LOCKBYTES = 3;
inline constexpr uint32_t STGTY_PROPERTY = 4;

// Open modes reported in STATSTG::grfMode.
inline constexpr uint32_t STGM_READ = 0x00000000;
inline constexpr uint32_t STGM_WRITE = 0x00000001;
inline constexpr uint32_t STGM_READWRITE = 0x00000002;
inline constexpr uint32_t STGM_SHARE_EXCLUSIVE = 0x00000010;
inline constexpr uint32_t STGM_SHARE_DENY_WRITE = 0x00000020;
inline constexpr uint32_t STGM_CREATE = 0x00001000;
inline constexpr uint32_t STGM_TRANSACTED = 0x00010000;

// Seek origins of IStream::Seek.
inline constexpr uint32_t STREAM_SEEK_SET = 0;
inline constexpr uint32_t STREAM_SEEK_CUR = 1;
inline constexpr uint32_t STREAM_SEEK_END = 2;

// What a storage or stream says about itself or about one of its elements. Times are FILETIME values (100 ns
// ticks since 1601-01-01 UTC); compound files keep creation and modification times for storages only, and no
// access times, so those read as 0. Region locking is not offered, so grfLocksSupported is 0.
struct STATSTG {
    std::u16string pwcsName;
    uint32_t type = 0;
    uint64_t cbSize = 0;
    uint64_t mtime = 0;
    uint64_t ctime = 0;
    uint64_t atime = 0;
    uint32_t grfMode = 0;
    uint32_t grfLocksSupported = 0;
    TClassId clsid {};
    uint32_t grfStateBits = 0;
    uint32_t reserved = 0;

    bool operator==(const STATSTG&) const = default;
};

} // namespace pelmsg
