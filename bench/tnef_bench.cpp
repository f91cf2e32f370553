// Loading a large TNEF file: throughput from a warm page cache and peak memory against the file size.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pelmsg.h"

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

constexpr const char* kLoadOnlyVariable = "TESSALY_BENCH_LOAD_ONLY";

// Peak resident memory (kB) of a fresh run of this program that only loads the file (or, with an empty path,
// does nothing but start).
long MaxRssKbOfFreshProcess(const std::string& path)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv(kLoadOnlyVariable, path.empty() ? "-" : path.c_str(), 1);
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
    for (auto _ : state) {
        pelmsg::TPelTNEFFile file;
        file.LoadFromFile(path);
        benchmark::DoNotOptimize(file.Properties().Count());
    }
    state.SetBytesProcessed(state.iterations() * size);
    // Peak memory of a process that only loads the file, less that of one that does nothing.
    long baseline = MaxRssKbOfFreshProcess("");
    long peak = MaxRssKbOfFreshProcess(path);
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak - baseline) * 1024 / 1e6;
    state.counters["peak_per_file_size"] = static_cast<double>(peak - baseline) * 1024 / static_cast<double>(size);
}

} // namespace

BENCHMARK(BM_LoadLargeTnef)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char** argv)
{
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
