#pragma once

// A reference measured in the same run as a benchmark, so that its figure reads as a ratio that holds from one
// machine to the next: how long copying the same number of bytes with memcpy takes, or how long a peer tool takes
// on the same file. Each benchmark adds the reference's time per iteration ("ref_ms") and its own time over it
// ("x_ref": 2 means twice as long as the reference).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace tessaly_bench {

// Real time of a stretch of code.
class TStopwatch {
public:
    TStopwatch()
        : start_(std::chrono::steady_clock::now())
    {
    }
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    std::chrono::steady_clock::time_point start_;
};

// Seconds for one memcpy of `bytes` bytes into a buffer that has been written before (so that no page of it is
// faulted in while timing): the best of five.
inline double MemcpySeconds(size_t bytes)
{
    bytes = std::max<size_t>(bytes, 1);
    std::string from(bytes, 'x');
    std::string to(bytes, 'y');
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        from[static_cast<size_t>(run) % bytes] = static_cast<char>(run);
        TStopwatch watch;
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        best = std::min(best, watch.Seconds());
    }
    return best;
}

// Seconds for writing `bytes` bytes into a new file in `folder` in 1 MiB blocks (the best of three); an earlier
// file is removed and dirty pages flushed outside the timing, as the file-writing benchmarks do.
inline double FileWriteSeconds(const std::string& folder, size_t bytes)
{
    const std::string path = folder + "/reference-write.bin";
    const std::string block(1u << 20, 'r');
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::filesystem::remove(path);
        sync();
        TStopwatch watch;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return 0;
        for (size_t done = 0; done < bytes; done += block.size())
            std::fwrite(block.data(), 1, std::min(block.size(), bytes - done), f);
        std::fclose(f);
        best = std::min(best, watch.Seconds());
    }
    std::filesystem::remove(path);
    return best;
}

// Adds the reference's time per iteration and the benchmark's time over it; `seconds` is the real time the
// benchmark's loop took in all.
inline void ReportAgainst(benchmark::State& state, double seconds, double referenceSeconds, const std::string& name)
{
    const double perIteration
        = seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["ref_ms"] = referenceSeconds * 1e3;
    state.counters["x_ref"] = referenceSeconds > 0 ? perIteration / referenceSeconds : 0.0;
    state.SetLabel("ref: " + name);
}

// Adds memcpy of `bytes` bytes as the reference.
inline void ReportAgainstMemcpy(benchmark::State& state, double seconds, size_t bytes)
{
    ReportAgainst(state, seconds, MemcpySeconds(bytes), "memcpy of " + std::to_string(bytes / 1000) + " kB");
}

// Adds writing `bytes` bytes to a file in `folder` as the reference.
inline void ReportAgainstFileWrite(benchmark::State& state, double seconds, const std::string& folder, size_t bytes)
{
    ReportAgainst(state, seconds, FileWriteSeconds(folder, bytes),
        "writing " + std::to_string(bytes / 1000000) + " MB to a file");
}

} // namespace tessaly_bench
