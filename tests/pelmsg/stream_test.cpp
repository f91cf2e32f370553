// Large values read from streams: the bytes arrive whole, and fresh memory for them is mapped in at once rather
// than faulted in page by page.

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/resource.h>

#include "core/stream.h"
#include "model/message.h"
#include "model/tags.h"
#include "test_support.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::string Pattern(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 2654435761u + seed) >> 11);
    return bytes;
}

long MinorFaults()
{
    struct rusage usage { };
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Whether this system maps in a range on request (Linux 5.14 and later).
bool CanPopulate()
{
#if defined(MADV_POPULATE_WRITE)
    void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return false;
    const bool ok = madvise(page, 4096, MADV_POPULATE_WRITE) == 0;
    munmap(page, 4096);
    return ok;
#else
    return false;
#endif
}

} // namespace

// Attachments just below, at and above the size from which memory is asked for in one go, and one of odd length:
// each reads back byte for byte from a file.
TEST(LargeValues, AttachmentsOfEverySizeReadBackWhole)
{
    const std::vector<size_t> sizes = { (4u << 20) - 1, 4u << 20, (9u << 20) + 5 };
    TnefBuilder b;
    b.Version();
    for (size_t i = 0; i < sizes.size(); ++i)
        b.AttachRenddata().AttachTitle("part" + std::to_string(i)).AttachData(Pattern(sizes[i], unsigned(i)));
    TempDir dir;
    const std::string path = dir.File("large.tnef");
    WriteFileBytes(path, b.Bytes());

    TPelTNEFFile file;
    file.LoadFromFile(path);
    size_t found = 0;
    for (const TMSGProperty* attachment : file.Properties()) {
        if (attachment->TagID != kTagTnefAttachment)
            continue;
        const TMSGProperty* data = attachment->SubProperties.FindProperty(kTagAttachDataBinary, false, false);
        ASSERT_NE(data, nullptr);
        const auto* bytes = std::get_if<ByteString>(&data->Value);
        ASSERT_NE(bytes, nullptr);
        ASSERT_LT(found, sizes.size());
        EXPECT_EQ(bytes->size(), sizes[found]);
        EXPECT_TRUE(*bytes == Pattern(sizes[found], unsigned(found))) << "attachment " << found;
        ++found;
    }
    EXPECT_EQ(found, sizes.size());
}

// A 32 MB value is 8192 pages of 4 KB: faulted in one by one, each costs a trap into the system, which made up most
// of the time of loading a file with large attachments.
TEST(LargeValues, FreshMemoryIsMappedInOneGo)
{
    if (!CanPopulate())
        GTEST_SKIP() << "the system does not map memory in on request";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer faults its shadow of every buffer in page by page, whatever the buffer does";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer faults its shadow of every buffer in page by page, whatever the buffer does";
#endif
#endif
    const std::string source = Pattern(32u << 20, 7);
    TSpanStream stream(source);
    const long before = MinorFaults();
    const std::string bytes = stream.ReadString(source.size());
    const long faults = MinorFaults() - before;
    EXPECT_TRUE(bytes == source);
    // Page by page it would be 8192 faults; mapped in at once, a few hundred at most (the pages around the buffer).
    EXPECT_LT(faults, 2048);
    // Small values take the ordinary way and are whole as well.
    TSpanStream small(std::string_view(source).substr(0, 100));
    EXPECT_EQ(small.ReadString(1000), source.substr(0, 100));
}
