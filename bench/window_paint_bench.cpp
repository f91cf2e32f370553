// The viewer window with the bundled sample, from starting the process to its pages painted on the screen, against
// an empty Qt window (a QWidget in a QApplication, nothing of the program) started the same way in the same run:
// x_ref is the ratio. It needs an X display; run it under Xvfb:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/release/bench/window_paint_bench
//
// Each iteration starts this program anew as a child ("--child sample" or "--child empty"), which writes one line
// to a pipe once its first paint has reached the screen.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include "main_window.h"
#include "reference.h"
#include "viewer_app.h"

namespace {

std::string selfPath;
std::string homeFolder;

// Says "painted" after the first paint of a watched widget (for the viewer: once a message is loaded).
class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(quorra::TfrmMain* window)
        : window_(window)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !reported_ && (!window_ || window_->Message())) {
            reported_ = true;
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    quorra::TfrmMain* window_;
    bool reported_ = false;
};

void Watch(QWidget* target, TFirstPaint* watch)
{
    target->installEventFilter(watch);
    for (QWidget* child : target->findChildren<QWidget*>())
        child->installEventFilter(watch);
}

int RunChild(char** argv, bool sample)
{
    int qtArgc = 1;
    if (sample)
        return quorra::RunViewer(
            qtArgc, argv, { TESSALY_SOURCE_DIR "/samples/winmail.dat", "/NOINI" }, [](quorra::TfrmMain& window) {
                auto* watch = new TFirstPaint(&window);
                watch->setParent(&window);
                Watch(window.PageControl(), watch);
            });
    QApplication app(qtArgc, argv);
    QWidget window;
    window.resize(960, 700);
    TFirstPaint watch(nullptr);
    Watch(&window, &watch);
    window.show();
    return QApplication::exec();
}

double StartOnce(const char* what)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        setenv("HOME", homeFolder.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (homeFolder + "/config").c_str(), 1);
        execl(selfPath.c_str(), selfPath.c_str(), "--child", what, static_cast<char*>(nullptr));
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

// The sample's window, each start followed by one of the empty Qt window: x_ref is the ratio the goal is set on
// (at most 1.3).
void BM_SampleWindowAgainstEmptyQtWindow(benchmark::State& state)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    double total = 0, reference = 0;
    for (auto _ : state) {
        const double seconds = StartOnce("sample");
        const double empty = StartOnce("empty");
        if (seconds < 0 || empty < 0) {
            state.SkipWithError("a window did not paint");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        reference += empty;
    }
    tessaly_bench::ReportAgainst(
        state, total, reference / static_cast<double>(state.iterations()), "start of an empty Qt window");
}

BENCHMARK(BM_SampleWindowAgainstEmptyQtWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argv, std::strcmp(argv[2], "sample") == 0);
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    selfPath = n > 0 ? std::string(buffer, size_t(n)) : argv[0];
    char folder[] = "/tmp/window-paint-bench-XXXXXX";
    homeFolder = mkdtemp(folder) ? folder : "/tmp";
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const std::string remove = "rm -rf '" + homeFolder + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}
