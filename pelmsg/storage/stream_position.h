#pragma once

// Seek arithmetic shared by the stream kinds.

#include <cstdint>
#include <string>

#include "core/errors.h"
#include "storage/stat_stg.h"

namespace pelmsg::cfb {

// The position offset bytes from the origin (STREAM_SEEK_SET, _CUR or _END). Raises for an unknown origin, a
// target before the start, or one past the largest position.
inline uint64_t SeekTarget(uint64_t position, uint64_t size, int64_t offset, uint32_t origin)
{
    uint64_t base;
    switch (origin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = position;
        break;
    case STREAM_SEEK_END:
        base = size;
        break;
    default:
        throw EStorageError("Stream seek with unknown origin " + std::to_string(origin));
    }
    if (offset < 0) {
        // -(offset + 1) + 1 is |offset| without overflowing for INT64_MIN.
        uint64_t back = static_cast<uint64_t>(-(offset + 1)) + 1;
        if (back > base)
            throw EStorageError("Stream seek before the start of the stream");
        return base - back;
    }
    if (static_cast<uint64_t>(offset) > UINT64_MAX - base)
        throw EStorageError("Stream seek beyond the largest position");
    return base + static_cast<uint64_t>(offset);
}

} // namespace pelmsg::cfb
