// The viewer window with the bundled sample, from starting the process to its pages painted on the screen, against
// an empty Qt window (a QWidget in a QApplication, nothing of the program) started the same way in the same run:
// x_ref is the ratio. It needs an X display; run it under Xvfb:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/release/bench/window_paint_bench
//
// Each iteration starts this program anew as a child ("--child sample" or "--child empty"), which writes one line
// to a pipe once its first paint has reached the screen.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include <QApplication>
#include <QTabWidget>
#include <QWidget>

#include "first_paint.h"
#include "main_window.h"
#include "process_start.h"
#include "viewer_app.h"

namespace {

// The child: the viewer with the sample (reported once the message is loaded), or the empty Qt window.
int RunChild(char** argv, const std::string& what)
{
    int qtArgc = 1;
    if (what == "sample")
        return quorra::RunViewer(
            qtArgc, argv, { TESSALY_SOURCE_DIR "/samples/winmail.dat", "/NOINI" }, [](quorra::TfrmMain& window) {
                tessaly_bench::ReportFirstPaint(
                    window.PageControl(), [&window] { return window.Message() != nullptr; });
            });
    QApplication app(qtArgc, argv);
    QWidget window;
    window.resize(960, 700);
    tessaly_bench::ReportFirstPaint(&window);
    window.show();
    return QApplication::exec();
}

// The sample's window, each start followed by one of the empty Qt window: x_ref is the ratio the goal is set on
// (at most 1.3).
void BM_SampleWindowAgainstEmptyQtWindow(benchmark::State& state)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    tessaly_bench::MeasureAgainst(
        state, [] { return tessaly_bench::StartUntilPainted("sample"); },
        [] { return tessaly_bench::StartUntilPainted("empty"); }, "start of an empty Qt window",
        "a window did not paint");
}

BENCHMARK(BM_SampleWindowAgainstEmptyQtWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

} // namespace

int main(int argc, char** argv)
{
    char folder[] = "/tmp/window-paint-bench-XXXXXX";
    return tessaly_bench::StartupBenchmarkMain(argc, argv, folder, RunChild);
}
