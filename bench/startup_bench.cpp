// Start-up of the program. A conversion from the command line, from starting the process to its end, against
// pelmsg-dump on the same file; and the viewer: the time from starting the process to the pages of the bundled
// sample being filled and painted on the screen, which needs an X display; run it under Xvfb:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/release/bench/startup_bench
//
// Each iteration starts this program anew as a child ("--child FILE"), which runs the viewer's own start-up
// (application, main window, settings, language, loading and filling the pages, showing the window) and writes
// one line to a pipe when the first paint of the page control has reached the screen; the time is taken from
// just before the child is started to that line.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <QTabWidget>

#include "first_paint.h"
#include "main_window.h"
#include "process_start.h"
#include "viewer_app.h"

namespace {

// The child: the viewer with the file (reported at the first paint inside the page control once the pages are
// filled), or without one (an empty argument: the first paint of the window).
int RunChild(char** argv, const std::string& file)
{
    std::vector<std::string> arguments;
    const bool withFile = !file.empty();
    if (withFile)
        arguments.push_back(file);
    arguments.push_back("/NOINI");
    int qtArgc = 1;
    return quorra::RunViewer(qtArgc, argv, arguments, [withFile](quorra::TfrmMain& window) {
        if (withFile)
            tessaly_bench::ReportFirstPaint(window.PageControl(), [&window] { return window.Message() != nullptr; });
        else
            tessaly_bench::ReportFirstPaint(&window);
    });
}

// Each start with the sample is followed by a start of the empty window, the reference measured in the same run:
// the ratio is what opening the file adds to the start-up of the window alone.
void BM_StartToPaintedSample(benchmark::State& state)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    tessaly_bench::MeasureAgainst(
        state, [] { return tessaly_bench::StartUntilPainted(TESSALY_SOURCE_DIR "/samples/winmail.dat"); },
        [] { return tessaly_bench::StartUntilPainted(""); }, "start of the empty window",
        "the viewer did not paint its pages");
}

// The reference itself, alone.
void BM_StartToPaintedEmptyWindow(benchmark::State& state)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    for (auto _ : state) {
        const double seconds = tessaly_bench::StartUntilPainted("");
        if (seconds < 0) {
            state.SkipWithError("the viewer did not paint its window");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

// A conversion from the command line ("quorra winmail.dat /E eml OUT"), which a mail filter may run for every mail:
// the front starts without the window's libraries. The reference is pelmsg-dump listing the same file.
void BM_ConvertSampleToEml(benchmark::State& state)
{
    const std::string sample = TESSALY_SOURCE_DIR "/samples/winmail.dat";
    const std::string output = tessaly_bench::ChildStart().Home + "/sample.eml";
    tessaly_bench::MeasureAgainst(
        state,
        [&] {
            return tessaly_bench::RunOnce({ QUORRA_BINARY, sample, "/E", "eml", output, "/NOINI" });
        },
        [&] {
            return tessaly_bench::RunOnce({ PELMSG_DUMP_BINARY, sample });
        },
        "pelmsg-dump of the sample", "quorra or pelmsg-dump failed");
}

BENCHMARK(BM_ConvertSampleToEml)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_StartToPaintedSample)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StartToPaintedEmptyWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    char folder[] = "/tmp/startup-bench-XXXXXX";
    return tessaly_bench::StartupBenchmarkMain(argc, argv, folder, RunChild);
}
