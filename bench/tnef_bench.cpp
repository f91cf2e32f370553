// Loading a large TNEF file: throughput from a warm page cache and peak memory against the file size. The references
// measured in the same run: memcpy of the file's size, and the peer tool `tnef --list` on the same file.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pelmsg.h"
#include "reference.h"
#include "tnef_builder.h"

namespace {

constexpr int kAttachments = 4;
constexpr size_t kAttachmentSize = 45u << 20; // 45 MiB each
constexpr int kSmallProperties = 100000;

void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>(v >> (8 * i));
}

// Writes one attribute whose data comes from `produce` in pieces, so that making the file needs little memory.
class AttributeWriter {
public:
    explicit AttributeWriter(FILE* f)
        : file_(f)
    {
    }
    template <class Produce> void Write(uint8_t level, uint32_t id, uint32_t length, Produce produce)
    {
        std::string head;
        head += static_cast<char>(level);
        Put32(head, id);
        Put32(head, length);
        std::fwrite(head.data(), 1, head.size(), file_);
        uint16_t checksum = 0;
        produce([&](const std::string& piece) {
            for (char c : piece)
                checksum = static_cast<uint16_t>(checksum + static_cast<unsigned char>(c));
            std::fwrite(piece.data(), 1, piece.size(), file_);
        });
        std::fputc(checksum & 0xFF, file_);
        std::fputc(checksum >> 8, file_);
    }

private:
    FILE* file_;
};

std::string MakeFile()
{
    std::string path = (std::filesystem::temp_directory_path() / "tessaly-bench-large.tnef").string();
    if (std::filesystem::exists(path))
        return path;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::string sig;
    Put32(sig, 0x223E9F78);
    sig += std::string("\x01\x00", 2);
    std::fwrite(sig.data(), 1, sig.size(), f);
    AttributeWriter w(f);
    w.Write(1, 0x00089006, 4, [](auto emit) {
        std::string v;
        Put32(v, 0x00010000);
        emit(v);
    });
    // Many small message properties: integers and short strings.
    std::string props;
    Put32(props, kSmallProperties);
    for (int i = 0; i < kSmallProperties; ++i) {
        uint16_t id = static_cast<uint16_t>(0x6000 + (i % 0x2000));
        if (i % 2) {
            Put32(props, static_cast<uint32_t>(id) << 16 | 0x0003);
            Put32(props, static_cast<uint32_t>(i));
        } else {
            Put32(props, static_cast<uint32_t>(id) << 16 | 0x001E);
            Put32(props, 1);
            std::string text = "value " + std::to_string(i);
            text.resize(12, '\0');
            Put32(props, 12);
            props += text;
        }
    }
    w.Write(1, 0x00069003, static_cast<uint32_t>(props.size()), [&](auto emit) { emit(props); });
    // A few large attachments.
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (int a = 0; a < kAttachments; ++a) {
        w.Write(2, 0x00069002, 14, [](auto emit) { emit(std::string(14, '\0')); });
        std::string title = "attachment-" + std::to_string(a) + ".bin";
        title += '\0';
        w.Write(2, 0x00018010, static_cast<uint32_t>(title.size()), [&](auto emit) { emit(title); });
        w.Write(2, 0x0006800F, static_cast<uint32_t>(kAttachmentSize), [&](auto emit) {
            for (size_t done = 0; done < kAttachmentSize; done += block.size())
                emit(block);
        });
    }
    std::fclose(f);
    return path;
}

// Eight attachments of 25 MB each, made with the test TNEF builder, as a mail client sends them.
std::string MakeEightAttachmentsFile()
{
    std::string path = (std::filesystem::temp_directory_path() / "tessaly-bench-8x25.tnef").string();
    if (std::filesystem::exists(path))
        return path;
    constexpr size_t kSize = 25000000;
    std::string data(kSize, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    using namespace pelmsg::test;
    TnefBuilder b;
    b.Version().OemCodePage(1252).MessageClass("IPM.Note").Subject("Eight large attachments");
    b.MapiProps(TnefPropList()
                    .String8(0x0037, "Eight large attachments")
                    .String8(0x0C1A, "Sender")
                    .String8(0x0E04, "Recipient")
                    .SysTime(0x0039, FileTimeOf(2024, 5, 17, 9, 30, 0))
                    .String8(0x1000, "The files are attached."));
    for (int a = 0; a < 8; ++a) {
        const std::string name = "part-" + std::to_string(a) + ".bin";
        data[0] = static_cast<char>(a);
        b.AttachRenddata().AttachTitle(name).AttachData(data);
        b.AttachmentProps(
            TnefPropList().Long(0x3705, 1).String8(0x3707, name).String8(0x370E, "application/octet-stream"));
    }
    const std::string bytes = b.Bytes();
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

// Loads a file and writes its short text form (From, Sent, To, Subject, body) into memory.
int64_t LoadAndList(const std::string& path)
{
    pelmsg::TPelTNEFFile file;
    file.LoadFromFile(path);
    pelmsg::TMemoryStream out;
    pelmsg::WriteText(file.Properties(), out, false);
    return out.Size();
}

// What a fresh process took: real and processor seconds, and its peak resident memory.
struct TRun {
    double Seconds = 0;
    double CpuSeconds = 0;
    long MaxRssKb = 0;
    bool Ok = false;
};

// Runs a program with its output thrown away; `variable`, when given, is set to `value` in its environment.
TRun RunFresh(const std::vector<std::string>& args, const char* variable = nullptr, const std::string& value = {})
{
    tessaly_bench::TStopwatch watch;
    pid_t pid = fork();
    if (pid == 0) {
        if (variable)
            setenv(variable, value.c_str(), 1);
        if (FILE* null = std::fopen("/dev/null", "w"))
            dup2(fileno(null), STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage { };
    wait4(pid, &status, 0, &usage);
    TRun run;
    run.Seconds = watch.Seconds();
    auto seconds
        = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    run.CpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.MaxRssKb = usage.ru_maxrss;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

constexpr const char* kLoadOnlyVariable = "TESSALY_BENCH_LOAD_ONLY";
constexpr const char* kListVariable = "TESSALY_BENCH_LIST";

// Peak resident memory (kB) of a fresh run of this program that only loads the file (with `list`, loads it and
// writes its short text form; with an empty path, does nothing but start).
long MaxRssKbOfFreshProcess(const std::string& path, bool list = false)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv(list ? kListVariable : kLoadOnlyVariable, path.empty() ? "-" : path.c_str(), 1);
        execl("/proc/self/exe", "tnef_bench", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage { };
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

void BM_LoadLargeTnef(benchmark::State& state)
{
    std::string path = MakeFile();
    auto size = static_cast<int64_t>(std::filesystem::file_size(path));
    {
        pelmsg::TPelTNEFFile warm; // bring the file into the page cache
        warm.LoadFromFile(path);
    }
    tessaly_bench::TStopwatch watch;
    for (auto _ : state) {
        pelmsg::TPelTNEFFile file;
        file.LoadFromFile(path);
        benchmark::DoNotOptimize(file.Properties().Count());
    }
    tessaly_bench::ReportAgainstMemcpy(state, watch.Seconds(), static_cast<size_t>(size));
    state.SetBytesProcessed(state.iterations() * size);
    // Peak memory of a process that only loads the file, less that of one that does nothing.
    long baseline = MaxRssKbOfFreshProcess("");
    long peak = MaxRssKbOfFreshProcess(path);
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak - baseline) * 1024 / 1e6;
    state.counters["peak_per_file_size"] = static_cast<double>(peak - baseline) * 1024 / static_cast<double>(size);
}

// Eight 25 MB attachments: a fresh process that loads the file and writes its short text form, against a fresh
// `tnef --list` on the same file (a memcpy of the file's size where the tool is not installed).
void BM_LoadAndListEightAttachments(benchmark::State& state)
{
    const std::string path = MakeEightAttachmentsFile();
    const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
    LoadAndList(path); // bring the file into the page cache
    const std::vector<std::string> self = { "/proc/self/exe" };
    // Ours and the peer's in turn, so that both meet the same load of the machine; the manual time is ours alone.
    double real = 0, cpu = 0, peerSeconds = 0, peerCpu = 0;
    long peak = 0;
    bool peerRan = true;
    for (auto _ : state) {
        const TRun run = RunFresh(self, kListVariable, path);
        state.SetIterationTime(run.Seconds);
        real += run.Seconds;
        cpu += run.CpuSeconds;
        peak = std::max(peak, run.MaxRssKb);
        const TRun peer = RunFresh({ "tnef", "--list", "-f", path });
        peerRan = peerRan && peer.Ok;
        peerSeconds += peer.Seconds;
        peerCpu += peer.CpuSeconds;
    }
    const auto iterations = static_cast<double>(state.iterations());
    peerSeconds /= iterations;
    peerCpu /= iterations;
    const TRun empty = RunFresh(self, kListVariable, "-");
    state.counters["cpu_ms"] = cpu / iterations * 1e3;
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak) * 1024 / 1e6;
    state.counters["peak_per_file_size"]
        = static_cast<double>(peak - empty.MaxRssKb) * 1024 / static_cast<double>(size);
    if (peerRan) {
        tessaly_bench::ReportAgainst(state, real, peerSeconds, "tnef --list");
        state.counters["ref_cpu_ms"] = peerCpu * 1e3;
        state.counters["cpu_x_ref"] = cpu / iterations / peerCpu;
    } else {
        tessaly_bench::ReportAgainstMemcpy(state, real, static_cast<size_t>(size));
    }
    state.SetBytesProcessed(state.iterations() * size);
}

} // namespace

BENCHMARK(BM_LoadLargeTnef)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_LoadAndListEightAttachments)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

int main(int argc, char** argv)
{
    if (const char* path = std::getenv(kListVariable)) {
        if (std::string(path) != "-")
            LoadAndList(path);
        return 0;
    }
    if (const char* path = std::getenv(kLoadOnlyVariable)) {
        if (std::string(path) != "-") {
            pelmsg::TPelTNEFFile file;
            file.LoadFromFile(path);
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
