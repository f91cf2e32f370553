#include "storage/ole_stream.h"

#include <cstdint>

#include "core/errors.h"

namespace pelmsg {

namespace {

int64_t AsPosition(uint64_t position)
{
    if (position > static_cast<uint64_t>(INT64_MAX))
        throw EStorageError("Stream position beyond what a TStream can express");
    return static_cast<int64_t>(position);
}

IStream& Required(const std::unique_ptr<IStream>& stream)
{
    if (!stream)
        throw EStorageError("TOleStream needs a stream");
    return *stream;
}

} // namespace

TOleStream::TOleStream(std::unique_ptr<IStream> stream)
    : owned_(std::move(stream))
    , stream_(Required(owned_))
{
}

int64_t TOleStream::Seek(int64_t offset, TSeekOrigin origin)
{
    return AsPosition(stream_.Seek(offset, static_cast<uint32_t>(origin)));
}

int64_t TOleStream::Size() const { return AsPosition(stream_.Stat().cbSize); }

int64_t TOleStream::Position() const { return AsPosition(stream_.Seek(0, STREAM_SEEK_CUR)); }

} // namespace pelmsg
