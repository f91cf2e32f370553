#pragma once

// Start-up benchmarks time whole processes: a program run to its end, or this benchmark program started again as
// a child ("--child ...") that says "painted" on its standard output once its window is on the screen. The
// children run in a home folder of their own, so that no settings of the machine's user are read or written.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "reference.h"

namespace tessaly_bench {

// Seconds for one run of a program to its end, with its output discarded; negative when it did not end with
// status 0.
inline double RunOnce(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

// The program itself and the home folder its children run in.
struct TChildStart {
    std::string Self;
    std::string Home;
};

inline TChildStart& ChildStart()
{
    static TChildStart start;
    return start;
}

// Seconds from starting this program again as "--child ARGUMENT" (in the children's home folder) to its line
// "painted"; negative when it ends without one.
inline double StartUntilPainted(const std::string& argument)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const TChildStart& child = ChildStart();
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        setenv("HOME", child.Home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (child.Home + "/config").c_str(), 1);
        execl(child.Self.c_str(), child.Self.c_str(), "--child", argument.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char line[32] = {};
    const ssize_t n = read(fds[0], line, sizeof line - 1);
    const auto end = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (n <= 0 || std::strncmp(line, "painted", 7) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

// Each iteration times `measured` and then `reference` (functions returning seconds, negative on failure, which
// stops the benchmark with `failure`); the iteration's time is the measured one, and the reference's mean is
// reported beside it as ref_ms and x_ref. x_ref_median is the median of the iterations' own ratios: a start slowed
// by a busy machine counts once, not by its length.
template <class TMeasured, class TReference>
void MeasureAgainst(
    benchmark::State& state, TMeasured measured, TReference reference, const std::string& name, const char* failure)
{
    double total = 0, referenceTotal = 0;
    std::vector<double> ratios;
    for (auto _ : state) {
        const double seconds = measured();
        const double referenceSeconds = reference();
        if (seconds < 0 || referenceSeconds < 0) {
            state.SkipWithError(failure);
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        referenceTotal += referenceSeconds;
        if (referenceSeconds > 0)
            ratios.push_back(seconds / referenceSeconds);
    }
    ReportAgainst(state, total, referenceTotal / static_cast<double>(state.iterations()), name);
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        const size_t middle = ratios.size() / 2;
        state.counters["x_ref_median"] = ratios.size() % 2 ? ratios[middle] : (ratios[middle - 1] + ratios[middle]) / 2;
    }
}

// The main program of a start-up benchmark: "--child ..." runs `child` (the program started by
// StartUntilPainted); otherwise the benchmarks run, with a home folder for the children made from `folderPattern`
// (as mkdtemp takes it) and removed at the end.
template <class TChild> int StartupBenchmarkMain(int argc, char** argv, char* folderPattern, TChild child)
{
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0)
        return child(argv, std::string(argv[2]));
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    TChildStart& start = ChildStart();
    start.Self = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : argv[0];
    if (!mkdtemp(folderPattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    start.Home = folderPattern;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const std::string remove = "rm -rf '" + start.Home + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}

} // namespace tessaly_bench
