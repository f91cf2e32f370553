// Writing a .msg of about 500 MB through SaveToMSGFile from a tree laid out as the TNEF reader lays out a message
// (top-level properties, recipient rows, attachments with their data), with attachments of 1 to 100 MB and one
// attached message. The tree is made once at start; the file goes to a temporary folder removed at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "pelmsg.h"
#include "reference.h"

namespace {

using namespace pelmsg;

constexpr size_t kMB = 1000 * 1000;
// Attachment sizes in MB: 500 MB in all.
const std::vector<size_t> kAttachmentSizes
    = { 100, 80, 64, 50, 40, 32, 25, 20, 20, 16, 12, 10, 8, 6, 5, 4, 3, 2, 1, 1, 1 };

std::string gFolder;
uint64_t gDataBytes = 0;

TMSGProperty* AddValue(TMSGProperties& c, uint32_t tag, TValue value)
{
    TMSGProperty* node = c.Add();
    node->TagID = tag;
    node->Value = std::move(value);
    const size_t length = ValueStringLength(node->Value);
    node->DataSize = static_cast<uint32_t>(length != 0 ? (PropType(tag) == PT_UNICODE ? 2 * length : length) : 4);
    return node;
}

void AddMessageProperties(TMSGProperties& c, const std::u16string& subject)
{
    AddValue(c, 0x001A001E, ByteString("IPM.Note"));
    AddValue(c, 0x0037001F, subject);
    AddValue(c, 0x0042001F, std::u16string(u"Anna Novák"));
    AddValue(c, 0x0C1F001F, std::u16string(u"anna.novak@example.cz"));
    AddValue(c, 0x0E04001F, std::u16string(u"Team; Bruno Keller"));
    AddValue(c, 0x00390040, TDateTime { 46210.32 });
    AddValue(c, 0x00170003, int32_t { 1 });
    AddValue(c, 0x1000001F, std::u16string(20000, u'x'));
    for (const char16_t* name : { u"Team", u"Bruno Keller" }) {
        TMSGProperty* row = c.Add();
        row->TagID = kTagRecipientRow;
        AddValue(row->SubProperties, 0x3001001F, std::u16string(name));
        AddValue(row->SubProperties, 0x3003001F, std::u16string(u"someone@example.org"));
        AddValue(row->SubProperties, 0x0C150003, int32_t { 1 });
    }
}

// The message: properties, recipients, one attachment per size (its data a slice of the shared bytes) and an
// attached message with an attachment of its own.
void BuildTree(TMSGProperties& root, const std::string& data)
{
    AddMessageProperties(root, u"Large attachments");
    for (size_t i = 0; i < kAttachmentSizes.size(); ++i) {
        TMSGProperty* attachment = root.Add();
        attachment->TagID = kTagTnefAttachment;
        TMSGProperties& a = attachment->SubProperties;
        const std::string name = "file" + std::to_string(i) + ".bin";
        AddValue(a, 0x3704001E, ByteString(name));
        AddValue(a, 0x3707001F, std::u16string(name.begin(), name.end()));
        AddValue(a, kTagAttachDataBinary, ByteString(data.substr(0, kAttachmentSizes[i] * kMB)));
        AddValue(a, 0x37050003, int32_t { 1 });
        gDataBytes += kAttachmentSizes[i] * kMB;
    }
    TMSGProperty* attached = root.Add();
    attached->TagID = kTagTnefAttachment;
    TMSGProperty* object = attached->SubProperties.Add();
    object->TagID = kTagAttachDataObject;
    AddMessageProperties(object->SubProperties, u"Attached");
}

void BM_SaveToMSGFile(benchmark::State& state)
{
    static std::string data = [] {
        std::string bytes(100 * kMB, '\0');
        uint32_t x = 12345;
        for (char& c : bytes) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        return bytes;
    }();
    TPelTNEFFile message;
    gDataBytes = 0;
    BuildTree(message.Properties(), data);
    const std::string file = gFolder + "/written.msg";
    double seconds = 0;
    for (auto _ : state) {
        // The previous file is removed and dirty pages flushed outside the timing: the file system freeing or
        // writing back 500 MB of an earlier run is not the writer's time.
        state.PauseTiming();
        std::filesystem::remove(file);
        sync();
        state.ResumeTiming();
        tessaly_bench::TStopwatch watch;
        SaveToMSGFile(message.Properties(), file, true);
        seconds += watch.Seconds();
    }
    tessaly_bench::ReportAgainstFileWrite(
        state, seconds, gFolder, static_cast<size_t>(std::filesystem::file_size(file)));
    if (std::filesystem::file_size(file) < gDataBytes)
        state.SkipWithError("the file is smaller than the attachment data");
    state.SetBytesProcessed(static_cast<int64_t>(gDataBytes) * state.iterations());
    state.counters["MB/s"]
        = benchmark::Counter(static_cast<double>(gDataBytes) / kMB, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file MB"] = static_cast<double>(std::filesystem::file_size(file)) / kMB;
}

BENCHMARK(BM_SaveToMSGFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    gFolder = pattern;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(gFolder);
    return 0;
}
