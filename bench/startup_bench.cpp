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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QTabWidget>
#include <QTimer>

#include "main_window.h"
#include "reference.h"
#include "viewer_app.h"

namespace {

std::string selfPath;
std::string homeFolder;

// Reports the first paint inside the page control once the pages are filled.
class TPaintWatch : public QObject {
public:
    TPaintWatch(quorra::TfrmMain& window, bool needPages)
        : window_(window)
        , needPages_(needPages)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !reported_ && (!needPages_ || window_.Message())) {
            reported_ = true;
            // The paint that is under way ends with the window's contents on the screen; report after it.
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    quorra::TfrmMain& window_;
    bool needPages_;
    bool reported_ = false;
};

int RunChild(int argc, char** argv)
{
    std::vector<std::string> arguments;
    bool withFile = argc > 2 && std::strlen(argv[2]) > 0;
    if (withFile)
        arguments.push_back(argv[2]);
    arguments.push_back("/NOINI");
    int qtArgc = 1;
    return quorra::RunViewer(qtArgc, argv, arguments, [withFile](quorra::TfrmMain& window) {
        auto* watch = new TPaintWatch(window, withFile);
        watch->setParent(&window);
        QWidget* target = withFile ? static_cast<QWidget*>(window.PageControl()) : static_cast<QWidget*>(&window);
        target->installEventFilter(watch);
        for (QWidget* child : target->findChildren<QWidget*>())
            child->installEventFilter(watch);
    });
    (void)argc;
}

// One start of the child up to its "painted" line; the time in seconds, or a negative value on failure.
double StartOnce(const std::string& file)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        setenv("HOME", homeFolder.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (homeFolder + "/config").c_str(), 1);
        execl(selfPath.c_str(), selfPath.c_str(), "--child", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char line[32] = {};
    ssize_t n = read(fds[0], line, sizeof line - 1);
    auto end = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (n <= 0 || std::strncmp(line, "painted", 7) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

// Each start with a file is followed by a start of the empty window, the reference measured in the same run: the
// ratio is what opening the file adds to the start-up of the window alone.
void Measure(benchmark::State& state, const std::string& file)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    double total = 0, reference = 0;
    for (auto _ : state) {
        double seconds = StartOnce(file);
        if (seconds < 0) {
            state.SkipWithError("the viewer did not paint its pages");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        if (!file.empty())
            reference += StartOnce("");
    }
    if (!file.empty())
        tessaly_bench::ReportAgainst(
            state, total, reference / static_cast<double>(state.iterations()), "start of the empty window");
}

void BM_StartToPaintedSample(benchmark::State& state) { Measure(state, TESSALY_SOURCE_DIR "/samples/winmail.dat"); }
// The reference itself, alone.
void BM_StartToPaintedEmptyWindow(benchmark::State& state) { Measure(state, ""); }

// One run of a program to its end, with standard output and error discarded; the time in seconds, or a negative
// value when it did not end with status 0.
double RunOnce(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

// A conversion from the command line ("quorra winmail.dat /E eml OUT"), which a mail filter may run for every mail:
// the front starts without the window's libraries. The reference is pelmsg-dump listing the same file.
void BM_ConvertSampleToEml(benchmark::State& state)
{
    const std::string sample = TESSALY_SOURCE_DIR "/samples/winmail.dat";
    const std::string output = homeFolder + "/sample.eml";
    double total = 0, reference = 0;
    for (auto _ : state) {
        const double seconds = RunOnce({ QUORRA_BINARY, sample, "/E", "eml", output, "/NOINI" });
        const double dump = RunOnce({ PELMSG_DUMP_BINARY, sample });
        if (seconds < 0 || dump < 0) {
            state.SkipWithError("quorra or pelmsg-dump failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        reference += dump;
    }
    tessaly_bench::ReportAgainst(
        state, total, reference / static_cast<double>(state.iterations()), "pelmsg-dump of the sample");
}

BENCHMARK(BM_ConvertSampleToEml)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_StartToPaintedSample)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StartToPaintedEmptyWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    selfPath = n > 0 ? std::string(buffer, size_t(n)) : argv[0];
    char folder[] = "/tmp/startup-bench-XXXXXX";
    homeFolder = mkdtemp(folder) ? folder : "/tmp";
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::string remove = "rm -rf '" + homeFolder + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}
