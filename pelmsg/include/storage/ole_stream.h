#pragma once

// A storage stream seen as the library's TStream, so that the readers and writers that take a TStream can
// work inside compound files.

#include <memory>

#include "core/stream.h"
#include "storage/storage_interfaces.h"

namespace pelmsg {

class TOleStream final : public TStream {
public:
    // Uses a stream the caller keeps alive.
    explicit TOleStream(IStream& stream)
        : stream_(stream)
    {
    }
    // Owns the stream.
    explicit TOleStream(std::unique_ptr<IStream> stream);

    // Read and Write return the byte count done; Seek returns the new position. A failing call raises (a seek
    // before the start too: the stream refuses it rather than clamping).
    size_t Read(void* buffer, size_t count) override { return stream_.Read(buffer, count); }
    size_t Write(const void* buffer, size_t count) override { return stream_.Write(buffer, count); }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override;
    int64_t Position() const override;

private:
    std::unique_ptr<IStream> owned_;
    IStream& stream_;
};

} // namespace pelmsg
