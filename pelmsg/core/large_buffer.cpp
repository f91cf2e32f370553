#include "core/large_buffer.h"

#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pelmsg {

namespace {

// Below this, the few page faults cost less than the two system calls.
constexpr size_t kLargeBufferBytes = 4u << 20;

} // namespace

std::string StringWithRoomFor(size_t count)
{
    std::string bytes;
    bytes.reserve(count);
#if defined(__linux__) && defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_WRITE)
    if (count >= kLargeBufferBytes) {
        // Only whole pages inside the buffer: the memory around it may belong to something else.
        constexpr uintptr_t kPage = 4096;
        const auto address = reinterpret_cast<uintptr_t>(bytes.data());
        const size_t skip = static_cast<size_t>((kPage - address % kPage) % kPage);
        const size_t length = count > skip ? (count - skip) / kPage * kPage : 0;
        if (length > 0) {
            // Advice only: where it is refused (no huge pages, an older system), the pages come in one by one.
            ::madvise(bytes.data() + skip, length, MADV_HUGEPAGE);
            ::madvise(bytes.data() + skip, length, MADV_POPULATE_WRITE);
        }
    }
#endif
    return bytes;
}

void WriteAt(std::string& data, size_t position, const void* bytes, size_t count)
{
    if (position == data.size()) {
        data.append(static_cast<const char*>(bytes), count);
        return;
    }
    if (position + count > data.size())
        data.resize(position + count);
    std::memcpy(data.data() + position, bytes, count);
}

} // namespace pelmsg
