// How much memory the .eml export of a large compressed-RTF body takes, counted by this program's own allocation
// functions (every operator new of the test passes through them): the peak of live bytes while the mail is
// written, above what the loaded message already holds.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "lzfu.h"
#include "pelmsg.h"
#include "tnef_builder.h"

namespace {

std::atomic<size_t> gLive { 0 };
std::atomic<size_t> gPeak { 0 };

// Each block carries its size in front of it (16 bytes, to keep the alignment malloc gives).
void* Allocate(size_t size)
{
    auto* block = static_cast<size_t*>(std::malloc(size + 16));
    if (!block)
        throw std::bad_alloc();
    block[0] = size;
    size_t live = gLive += size;
    size_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) { }
    return block + 2;
}

void Release(void* pointer) noexcept
{
    if (!pointer)
        return;
    size_t* block = static_cast<size_t*>(pointer) - 2;
    gLive -= block[0];
    std::free(block);
}

} // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }

namespace pelmsg::test {
namespace {

// A stream that only counts what is written to it.
class TCountingStream final : public TStream {
public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t count) override
    {
        written_ += count;
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(written_); }
    int64_t Size() const override { return static_cast<int64_t>(written_); }
    int64_t Position() const override { return static_cast<int64_t>(written_); }
    size_t Written() const { return written_; }

private:
    size_t written_ = 0;
};

// RTF that wraps HTML, of about `size` bytes: the paragraphs repeat, so that it compresses several times.
std::string LargeHtmlRtf(size_t size)
{
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\*\\htmltag19 <html>}{\\*\\htmltag34 <body>}\r\n";
    for (int i = 0; rtf.size() < size; ++i)
        rtf += "{\\*\\htmltag84 <p>}Paragraph " + std::to_string(i % 10)
            + " of the long body text\\htmlrtf \\par\r\n\\htmlrtf0 {\\*\\htmltag92 </p>}\r\n";
    return rtf + "{\\*\\htmltag42 </body>}{\\*\\htmltag27 </html>}}";
}

TEST(EmlMemory, LargeCompressedRtfBodyWithoutWholeExtraCopies)
{
    const std::string rtf = LargeHtmlRtf(8 << 20);
    const std::string compressed = CompressRtfLzfu(rtf);
    ASSERT_LT(compressed.size() * 4, rtf.size()) << "the body expands several times";
    TnefPropList props;
    props.String8(kIdSubject, "large").String8(kIdBody, "short plain body").Binary(kIdRtfCompressed, compressed);
    const std::string input = TnefBuilder().Version().MapiProps(props).Bytes();

    TPelTNEFFile file;
    {
        TMemoryStream stream(input);
        file.LoadFromStream(stream);
    }
    const size_t before = gLive.load();
    gPeak = before;
    TCountingStream out;
    SaveToEML(file.Properties(), &out);
    const size_t extra = gPeak.load() - before;
    EXPECT_GT(out.Written(), rtf.size());
    // Writing the mail takes less than three times the decompressed body above the loaded message.
    EXPECT_LT(extra, 3 * rtf.size()) << "peak " << extra << " for a body of " << rtf.size();
    std::printf("body %zu bytes, compressed %zu, peak while writing the mail %zu (%.2f x the body)\n", rtf.size(),
        compressed.size(), extra, static_cast<double>(extra) / static_cast<double>(rtf.size()));
}

} // namespace
} // namespace pelmsg::test
