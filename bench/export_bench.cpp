// The exporters on large messages: the .eml of a message with 100 MB of attachments, and the listings of a message
// with 100 000 properties.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "pelmsg.h"
#include "reference.h"

using namespace pelmsg;

namespace {

constexpr int kAttachments = 10;
constexpr size_t kAttachmentSize = 10u << 20; // 10 MiB each, 100 MiB in all
constexpr int kProperties = 100000;

// A stream that only counts: the writer's own cost, without a copy into memory or a file.
class TCountingStream final : public TStream {
public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t count) override
    {
        size_ += static_cast<int64_t>(count);
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return size_; }
    int64_t Size() const override { return size_; }
    int64_t Position() const override { return size_; }

private:
    int64_t size_ = 0;
};

TMSGProperty* AddNode(TMSGProperties& collection, uint32_t tag, TValue value)
{
    TMSGProperty* node = collection.Add();
    node->TagID = tag;
    node->Value = std::move(value);
    return node;
}

// Pseudo-random bytes (xorshift), so that nothing in the encoders meets only one byte value.
std::string Noise(size_t size, uint64_t seed)
{
    std::string bytes(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ULL + 1;
    for (size_t i = 0; i < size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        for (size_t k = 0; k < 8 && i + k < size; ++k)
            bytes[i + k] = static_cast<char>(x >> (8 * k));
    }
    return bytes;
}

const TPelTNEFFile& LargeAttachments()
{
    static const std::unique_ptr<TPelTNEFFile> message = [] {
        auto m = std::make_unique<TPelTNEFFile>();
        TMSGProperties& p = m->Properties();
        AddNode(p, 0x3FFD0003, int32_t { 1252 });
        AddNode(p, 0x0037001F, WideString(u"Quarterly figures"));
        AddNode(p, 0x0042001F, WideString(u"Ann Lee"));
        AddNode(p, 0x5D01001F, WideString(u"ann@example.org"));
        AddNode(p, 0x1000001F, WideString(u"The figures are attached.\r\n"));
        for (int i = 0; i < kAttachments; ++i) {
            TMSGProperty* attachment = AddNode(p, kTagTnefAttachment, ByteString());
            AddNode(attachment->SubProperties, 0x3707001F, u"figures-" + std::u16string(1, u'0' + i) + u".bin");
            AddNode(attachment->SubProperties, 0x370E001E, ByteString("application/octet-stream"));
            TMSGProperty* data = AddNode(
                attachment->SubProperties, kTagAttachDataBinary, Noise(kAttachmentSize, static_cast<uint64_t>(i) + 1));
            data->DataSize = kAttachmentSize;
        }
        return m;
    }();
    return *message;
}

// Properties of the kinds messages carry, in the proportions a large message has them: numbers, flags, texts in
// both string types, short binaries, some dates.
const TPelTNEFFile& ManyProperties()
{
    static const std::unique_ptr<TPelTNEFFile> message = [] {
        auto m = std::make_unique<TPelTNEFFile>();
        TMSGProperties& p = m->Properties();
        AddNode(p, 0x3FFD0003, int32_t { 1252 });
        AddNode(p, 0x0037001F, WideString(u"Many properties"));
        for (int i = 0; m->Properties().Count() < kProperties; ++i) {
            auto id = static_cast<uint32_t>(0x8000 + i % 0x7000) << 16;
            switch (i % 10) {
            case 0:
            case 1:
            case 2:
                AddNode(p, id | 0x0003, int32_t { i });
                break;
            case 3:
                AddNode(p, id | 0x000B, (i & 1) != 0);
                break;
            case 4:
            case 5:
                AddNode(p, id | 0x001F, u"Value number " + std::u16string(1, u'a' + i % 26) + u" with some text");
                break;
            case 6:
            case 7:
                AddNode(p, id | 0x001E, ByteString("Caf\xE9 au lait, item ") + std::to_string(i));
                break;
            case 8:
                AddNode(p, id | 0x0102, Noise(16, static_cast<uint64_t>(i)));
                break;
            default:
                AddNode(p, id | 0x0040, TDateTime { 37320.5 + i / 1000.0 });
                break;
            }
        }
        return m;
    }();
    return *message;
}

void BM_EmlExport(benchmark::State& state)
{
    const TPelTNEFFile& message = LargeAttachments();
    tessaly_bench::TStopwatch watch;
    int64_t written = 0;
    for (auto _ : state) {
        TCountingStream out;
        SaveToEML(message.Properties(), &out);
        benchmark::DoNotOptimize(out.Size());
        written = out.Size();
    }
    tessaly_bench::ReportAgainstMemcpy(state, watch.Seconds(), static_cast<size_t>(written));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kAttachments * kAttachmentSize));
}
BENCHMARK(BM_EmlExport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_EmlExportToFile(benchmark::State& state)
{
    const TPelTNEFFile& message = LargeAttachments();
    const std::string path = (std::filesystem::temp_directory_path() / "tessaly-bench-export.eml").string();
    tessaly_bench::TStopwatch watch;
    for (auto _ : state)
        SaveToEMLFile(message.Properties(), path);
    const double seconds = watch.Seconds();
    tessaly_bench::ReportAgainstFileWrite(state, seconds, std::filesystem::temp_directory_path().string(),
        static_cast<size_t>(std::filesystem::file_size(path)));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kAttachments * kAttachmentSize));
    std::filesystem::remove(path);
}
BENCHMARK(BM_EmlExportToFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

template <class Write> void Listing(benchmark::State& state, Write write)
{
    const TPelTNEFFile& message = ManyProperties();
    tessaly_bench::TStopwatch watch;
    int64_t written = 0;
    for (auto _ : state) {
        TMemoryStream out;
        write(message.Properties(), out);
        benchmark::DoNotOptimize(out.Size());
        written = out.Size();
    }
    tessaly_bench::ReportAgainstMemcpy(state, watch.Seconds(), static_cast<size_t>(written));
    state.SetItemsProcessed(state.iterations() * message.Properties().Count());
}

void BM_TextListing(benchmark::State& state)
{
    Listing(state, [](const TMSGProperties& p, TStream& out) { SaveToText(p, &out, true); });
}
BENCHMARK(BM_TextListing)->Unit(benchmark::kMillisecond);

void BM_HtmlListing(benchmark::State& state)
{
    Listing(state, [](const TMSGProperties& p, TStream& out) { SaveToHTML(p, &out, true); });
}
BENCHMARK(BM_HtmlListing)->Unit(benchmark::kMillisecond);

void BM_XmlListing(benchmark::State& state)
{
    Listing(state, [](const TMSGProperties& p, TStream& out) { SaveToXML(p, &out, true); });
}
BENCHMARK(BM_XmlListing)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
