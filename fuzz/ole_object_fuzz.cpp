// Reads the input as the streams of an embedded OLE object: as an Ole10Native package and as a CompObj stream.
// A package that is read holds no more data than the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "storage/ole_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const auto package = pelmsg::ReadOle10Native(input))
        if (package->Data.size() + package->Label.size() > size)
            std::abort();
    const pelmsg::TOleCompObj compObj = pelmsg::ReadOleCompObj(input);
    if (compObj.UserType.size() + compObj.ProgId.size() > size)
        std::abort();
    return 0;
}
