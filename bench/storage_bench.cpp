// Reading and writing a compound file of about 500 MB (streams of 1 to 100 MB, some in a nested storage): our
// reader against libgsf's on the same file, and our writer. The file is made in a temporary folder at start and
// removed at the end; both readers find it in the page cache.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

#include "reference.h"
#include "storage/storage.h"

namespace {

using namespace pelmsg;

constexpr size_t kMB = 1000 * 1000;
constexpr size_t kReadBlock = 1 << 20;
// Stream sizes in MB: 500 MB in all.
const std::vector<size_t> kStreamSizes = { 100, 80, 64, 50, 40, 32, 25, 20, 20, 16, 12, 10, 8, 6, 5, 4, 3, 2, 1, 1, 1 };

std::string gFolder;
std::string gFile;
std::string gData; // the bytes every stream is a prefix of
uint64_t gTotalBytes = 0;

std::u16string StreamName(size_t index)
{
    return u"__substg1.0_" + std::u16string(1, static_cast<char16_t>(u'A' + index));
}

// Writes the benchmark file: the first half of the streams at the root, the rest in a storage.
void WriteFile(const std::string& file)
{
    auto root = StgCreateDocfile(file);
    auto nested = root->CreateStorage(u"__attach_version1.0_#00000000");
    for (size_t i = 0; i < kStreamSizes.size(); ++i) {
        IStorage& parent = i < kStreamSizes.size() / 2 ? *root : *nested;
        auto stream = parent.CreateStream(StreamName(i));
        stream->Write(gData.data(), kStreamSizes[i] * kMB);
    }
    root->Commit();
}

uint64_t ReadOurs(IStorage& storage, std::string& buffer)
{
    uint64_t total = 0;
    auto elements = storage.EnumElements();
    for (STATSTG element; elements->Next(element);) {
        if (element.type == STGTY_STORAGE) {
            total += ReadOurs(*storage.OpenStorage(element.pwcsName), buffer);
            continue;
        }
        auto stream = storage.OpenStream(element.pwcsName);
        for (size_t n; (n = stream->Read(buffer.data(), buffer.size())) > 0;)
            total += n;
        benchmark::DoNotOptimize(buffer.data());
    }
    return total;
}

uint64_t ReadGsf(GsfInfile* storage, std::string& buffer)
{
    uint64_t total = 0;
    int count = gsf_infile_num_children(storage);
    for (int i = 0; i < count; ++i) {
        GsfInput* child = gsf_infile_child_by_index(storage, i);
        if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) > 0) {
            total += ReadGsf(GSF_INFILE(child), buffer);
        } else {
            for (gsf_off_t left = gsf_input_size(child); left > 0;) {
                auto n = static_cast<size_t>(std::min<gsf_off_t>(left, static_cast<gsf_off_t>(buffer.size())));
                if (!gsf_input_read(child, n, reinterpret_cast<guint8*>(buffer.data())))
                    std::abort();
                left -= static_cast<gsf_off_t>(n);
                total += n;
            }
            benchmark::DoNotOptimize(buffer.data());
        }
        g_object_unref(child);
    }
    return total;
}

void SetRate(benchmark::State& state, uint64_t bytesPerIteration)
{
    state.SetBytesProcessed(static_cast<int64_t>(bytesPerIteration) * state.iterations());
    state.counters["MB/s"] = benchmark::Counter(
        static_cast<double>(bytesPerIteration) / kMB, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadOurs(benchmark::State& state)
{
    std::string buffer(kReadBlock, '\0');
    tessaly_bench::TStopwatch watch;
    for (auto _ : state) {
        auto root = StgOpenStorage(gFile);
        if (ReadOurs(*root, buffer) != gTotalBytes)
            state.SkipWithError("wrong byte count");
    }
    const double seconds = watch.Seconds();
    // The peer reader on the same file, as often.
    tessaly_bench::TStopwatch peerWatch;
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i) {
        GError* error = nullptr;
        GsfInput* input = gsf_input_stdio_new(gFile.c_str(), &error);
        GsfInfile* root = input ? gsf_infile_msole_new(input, &error) : nullptr;
        if (!root)
            break;
        ReadGsf(root, buffer);
        g_object_unref(root);
        g_object_unref(input);
    }
    tessaly_bench::ReportAgainst(
        state, seconds, peerWatch.Seconds() / static_cast<double>(state.iterations()), "libgsf");
    SetRate(state, gTotalBytes);
}

void BM_ReadGsf(benchmark::State& state)
{
    std::string buffer(kReadBlock, '\0');
    tessaly_bench::TStopwatch watch;
    for (auto _ : state) {
        GError* error = nullptr;
        GsfInput* input = gsf_input_stdio_new(gFile.c_str(), &error);
        GsfInfile* root = input ? gsf_infile_msole_new(input, &error) : nullptr;
        if (!root) {
            state.SkipWithError("libgsf cannot open the file");
            break;
        }
        if (ReadGsf(root, buffer) != gTotalBytes)
            state.SkipWithError("wrong byte count");
        g_object_unref(root);
        g_object_unref(input);
    }
    tessaly_bench::ReportAgainstMemcpy(state, watch.Seconds(), gTotalBytes);
    SetRate(state, gTotalBytes);
}

// Timed: building the tree in memory and committing it to a file. The previous run's file is removed and dirty
// pages are flushed outside the timing, so that the file system freeing or writing back 500 MB of an earlier run
// is not charged to the writer.
void BM_WriteOurs(benchmark::State& state)
{
    std::string file = gFolder + "/written.cfb";
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(file);
        sync();
        state.ResumeTiming();
        tessaly_bench::TStopwatch watch;
        WriteFile(file);
        seconds += watch.Seconds();
    }
    tessaly_bench::ReportAgainstFileWrite(
        state, seconds, gFolder, static_cast<size_t>(std::filesystem::file_size(file)));
    SetRate(state, gTotalBytes);
}

BENCHMARK(BM_ReadOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_ReadGsf)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_WriteOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

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
    gFile = gFolder + "/streams.cfb";
    gData.resize(100 * kMB);
    uint32_t x = 12345;
    for (char& c : gData) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    for (size_t size : kStreamSizes)
        gTotalBytes += size * kMB;
    WriteFile(gFile);
    sync();
    std::printf("%s: %.0f MB of streams, file %.0f MB\n", gFile.c_str(), static_cast<double>(gTotalBytes) / kMB,
        static_cast<double>(std::filesystem::file_size(gFile)) / kMB);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(gFolder);
    return 0;
}
