// The update document fetched from the network: the version after its tag, and its comparison with a local
// version and with itself.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "update_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string remote = quorra::VersionAfterMarker(text, "<Program_Version>", '<');
    const std::string local = quorra::VersionAfterMarker(text, " v", ' ');
    const auto order = quorra::CompareVersionTexts(remote, "v2.6");
    const auto self = quorra::CompareVersionTexts(remote, remote);
    // A text compares equal to itself whenever it is a version at all.
    if (order.has_value() != self.has_value() || (self && *self != 0))
        __builtin_trap();
    (void)quorra::CompareVersionTexts(text, local);
    return 0;
}
