// How long the main window stops answering while it opens large messages (run under Xvfb):
//   xvfb-run -a -s "-screen 0 1024x768x24" build/release/bench/responsiveness_bench
// OpenLargeFile: a 200 MB TNEF file (eight attachments of 25 MB) opened in the window, until its pages are
// filled and painted. OpenLargeHtml: a message with a 20 MB HTML body opened, until the web view has loaded the
// body and the window has painted it (OpenLargeHtmlWarm: after a small HTML message, so that the web engine runs
// already). OpenSmallHtmlCold: a small HTML message as the first HTML of the process, so that the web engine starts
// for it (run it alone: --benchmark_filter=OpenSmallHtmlCold; OpenLargeHtml's first iteration is cold too when it
// runs first). PrintLargeFile and PrintLargeHtml print the message shown to a PDF file, from the print command to the
// end of the print.
// OpenLargeRtfHtml: a message whose only body is RTF encapsulating 20 MB of HTML, until the HTML is shown (the web
// engine running already). FallbackLargeHtml: the 20 MB HTML body shown, its renderer ended, until the rich-text
// view that stands in shows it and has laid it out (layout_ms: until its last block is laid out). ShowLargeRtfTab:
// the RTF-encapsulated body shown, then its Rich text tab brought up, until the tab's view has laid out the rest.
// OpenAttachedLargeRtf: a message with an attached message whose body is 20 MB of RTF (argument 0: a TNEF file, 1:
// an Outlook .msg file); from the double-click on the
// attachment to the attached message's window showing the whole body in its rich-text view, painted.
// SaveLargeFile: the 200 MB message saved as .msg through Save As, until the box that says it was saved; with
// TESSALY_SHOTS set to a folder, the save's progress dialog is photographed there once it shows, in English and
// in German (progress-save-english.png, progress-save-german.png).
// The argument says how the file is read (and saved, printed): 1 in a worker (as the window does for large files),
// 0 at once on the UI thread (as it does for small ones). The counter max_stall_ms is the longest time the window's
// event loop did not run: a heartbeat timer every 5 ms records the longest gap between its ticks, the open call
// included. On a machine other work shares, a gap is also the time the UI thread waited for a processor; max_busy_ms is
// the most processor time the UI thread itself spent within one gap (its own work between two turns of the event loop).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>

#include <signal.h>
#include <time.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QScreen>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextEdit>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "html_view.h"
#include "mail_builder.h"
#include "main_window.h"
#include "message_preview.h"
#include "pelmsg.h"
#include "tnef_builder.h"
#include "viewer_app.h"
#include "window_test_support.h"
#include "work_progress.h"

namespace {

using pelmsg::test::TnefBuilder;
using pelmsg::test::TnefPropList;

std::string WriteOnce(const std::string& name, const std::function<std::string()>& make)
{
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    if (std::filesystem::exists(path))
        return path;
    const std::string bytes = make();
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

TnefBuilder Header(const std::string& subject, const TnefPropList& extra)
{
    TnefBuilder b;
    b.Version().OemCodePage(1252).MessageClass("IPM.Note").Subject(subject);
    TnefPropList props = extra;
    props.String8(0x0037, subject).String8(0x0C1A, "Sender").String8(0x0E04, "Recipient");
    b.MapiProps(props);
    return b;
}

std::string LargeFile()
{
    return WriteOnce("tessaly-bench-responsive-200mb.tnef", [] {
        std::string data(25000000, '\0');
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>((i * 2654435761u) >> 13);
        TnefBuilder b = Header("Eight large attachments", TnefPropList().String8(0x1000, "The files are attached."));
        for (int a = 0; a < 8; ++a) {
            const std::string name = "part-" + std::to_string(a) + ".bin";
            data[0] = static_cast<char>(a);
            b.AttachRenddata().AttachTitle(name).AttachData(data);
            b.AttachmentProps(TnefPropList().Long(0x3705, 1).String8(0x3707, name));
        }
        return b.Bytes();
    });
}

std::string LargeHtml()
{
    return WriteOnce("tessaly-bench-responsive-20mb-html.tnef", [] {
        std::string html = "<html><body>";
        while (html.size() < (20u << 20))
            html += "<p>Lorem ipsum dolor sit amet, <b>consectetur</b> adipiscing elit, sed do eiusmod tempor.</p>\n";
        html += "</body></html>";
        return Header("A large HTML body", TnefPropList().Binary(0x1013, html)).Bytes();
    });
}

// The UI thread's time waiting for a processor so far (the scheduler's run-queue delay), in milliseconds.
double RunQueueWaitMs()
{
    double ns = 0;
    if (FILE* f = std::fopen("/proc/thread-self/schedstat", "r")) {
        unsigned long long run = 0, wait = 0;
        if (std::fscanf(f, "%llu %llu", &run, &wait) == 2)
            ns = double(wait);
        std::fclose(f);
    }
    return ns / 1e6;
}

double ThreadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The event loop's heartbeat: the longest gap between two ticks, and the most processor time of the UI thread
// within one gap. With TESSALY_BENCH_GAPS set, every gap over 50 ms is written to standard error with the
// processor time the UI thread used in it and the time it waited for a processor.
struct THeartbeat {
    QElapsedTimer Gap;
    QElapsedTimer Since;
    QTimer Timer;
    double Stall = 0;
    double Busy = 0;
    double Cpu = 0;
    double Wait = 0;
    bool Log = qEnvironmentVariableIsSet("TESSALY_BENCH_GAPS");
    void Start()
    {
        QObject::connect(&Timer, &QTimer::timeout, [this] { Tick(); });
        Timer.start(5);
        Gap.start();
        Since.start();
        Cpu = ThreadCpuMs();
        Wait = RunQueueWaitMs();
    }
    void Tick()
    {
        const double gap = double(Gap.restart());
        Stall = std::max(Stall, gap);
        const double cpu = ThreadCpuMs();
        const double wait = RunQueueWaitMs();
        Busy = std::max(Busy, cpu - Cpu);
        if (Log && gap > 50)
            std::fprintf(stderr, "gap %.0f ms at %lld ms: UI thread busy %.0f ms, waiting for a processor %.0f ms\n",
                gap, Since.elapsed() - qint64(gap), cpu - Cpu, wait - Wait);
        Cpu = cpu;
        Wait = wait;
    }
};

// Waits until the window has painted what it shows now, and the event loop has turned once after that.
bool WaitForPaint(QWidget& window)
{
    struct TPaintSeen : QObject {
        bool Seen = false;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Paint)
                Seen = true;
            return false;
        }
    } seen;
    window.installEventFilter(&seen);
    window.update();
    const bool painted = QTest::qWaitFor([&] { return seen.Seen; }, 60000);
    window.removeEventFilter(&seen);
    QTest::qWait(20);
    return painted;
}

// Runs the event loop until the condition holds (checked every 10 ms), without the test library's sleeps between
// its turns (which would hold back work done a turn at a time); false when it still does not after timeoutMs.
bool RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(10);
    if (!done())
        loop.exec();
    return done();
}

struct TStall {
    double Stall = -1;
    double Busy = -1;
};

std::string SmallHtml()
{
    return WriteOnce("tessaly-bench-responsive-small-html.tnef", [] {
        return Header("A small HTML body", TnefPropList().Binary(0x1013, "<html><body><p>Hello</p></body></html>"))
            .Bytes();
    });
}

// A fresh window in a folder of its own, without an INI file, 1000 x 700 and shown; files from workBytes up are
// opened and saved in a worker. The folder's languages/ holds the German language file (for "/LANG=german.lng").
struct TBenchWindow {
    TBenchWindow(const QTemporaryDir& folder, qint64 workBytes, std::vector<std::string> arguments = { "/NOINI" })
    {
        QDir(folder.path()).mkpath(QStringLiteral("languages"));
        QFile::copy(QStringLiteral(TESSALY_SOURCE_DIR "/resources/languages/german.lng"),
            folder.path() + QStringLiteral("/languages/german.lng"));
        quorra::TfrmMain::TStartup startup;
        startup.Arguments = std::move(arguments);
        startup.ProgramFolder = folder.path().toStdString();
        startup.CurrentFolder = folder.path().toStdString();
        Window = std::make_unique<quorra::TfrmMain>(startup);
        Window->Beep = [] {};
        Window->SetBackgroundWorkBytes(workBytes);
        Window->resize(1000, 700);
        Window->show();
    }
    std::unique_ptr<quorra::TfrmMain> Window;
};

// Opens the file in a fresh window and waits until it is shown; returns the longest gap of the event loop. warm:
// a message with a small HTML body is shown first, so that the web engine has started before the measured open.
TStall LongestStall(const std::string& path, bool inWorker, bool waitForHtml, bool warm = false)
{
    QTemporaryDir folder;
    TBenchWindow bench(folder, inWorker ? 0 : std::numeric_limits<qint64>::max());
    quorra::TfrmMain& window = *bench.Window;
    QSignalSpy filled(&window, &quorra::TfrmMain::PagesFilled);
    if (!QTest::qWaitForWindowExposed(&window) || !WaitForPaint(window))
        return {};
    if (warm) {
        QSignalSpy loaded(window.Preview(), &quorra::TfrmMessage::HtmlLoaded);
        window.OpenFile(QString::fromStdString(SmallHtml()));
        if (!loaded.wait(120000) || !WaitForPaint(window))
            return {};
        filled.clear();
    }

    THeartbeat heartbeat;
    QSignalSpy htmlLoaded(window.Preview(), &quorra::TfrmMessage::HtmlLoaded);
    heartbeat.Start();
    window.OpenFile(QString::fromStdString(path));
    if (filled.isEmpty() && !filled.wait(300000))
        return {};
    // With TESSALY_SHOTS set to a folder, the screen is photographed while the body loads and once it is shown.
    const QString shots = waitForHtml && warm ? qEnvironmentVariable("TESSALY_SHOTS") : QString();
    if (!shots.isEmpty() && htmlLoaded.isEmpty() && WaitForPaint(window))
        QGuiApplication::primaryScreen()->grabWindow(0).save(shots + QStringLiteral("/html-20mb-loading.png"));
    if (waitForHtml && htmlLoaded.isEmpty() && !htmlLoaded.wait(300000))
        return {};
    if (!WaitForPaint(window))
        return {};
    heartbeat.Tick();
    if (!shots.isEmpty())
        QGuiApplication::primaryScreen()->grabWindow(0).save(shots + QStringLiteral("/html-20mb-loaded.png"));
    return { heartbeat.Stall, heartbeat.Busy };
}

void Report(benchmark::State& state, const std::function<TStall()>& measure)
{
    TStall worst { 0, 0 };
    for (auto _ : state) {
        const TStall stall = measure();
        if (stall.Stall < 0)
            state.SkipWithError("the document was not shown");
        worst.Stall = std::max(worst.Stall, stall.Stall);
        worst.Busy = std::max(worst.Busy, stall.Busy);
    }
    state.counters["max_stall_ms"] = worst.Stall;
    state.counters["max_busy_ms"] = worst.Busy;
}

void Run(benchmark::State& state, const std::string& path, bool waitForHtml)
{
    Report(state, [&] { return LongestStall(path, state.range(0) != 0, waitForHtml); });
}

void OpenLargeFile(benchmark::State& state) { Run(state, LargeFile(), false); }
BENCHMARK(OpenLargeFile)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void OpenLargeHtml(benchmark::State& state) { Run(state, LargeHtml(), true); }
BENCHMARK(OpenLargeHtml)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// A small HTML body as the first HTML the program shows: the web engine starts for it (the same for any size).
void OpenSmallHtmlCold(benchmark::State& state)
{
    Report(state, [&] { return LongestStall(SmallHtml(), state.range(0) != 0, true); });
}
BENCHMARK(OpenSmallHtmlCold)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The 20 MB body after a small HTML message: the web engine runs already (its start is the window's, not the body's).
void OpenLargeHtmlWarm(benchmark::State& state)
{
    Report(state, [&] { return LongestStall(LargeHtml(), state.range(0) != 0, true, true); });
}
BENCHMARK(OpenLargeHtmlWarm)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Prints the message of the file, shown in a fresh window, to a PDF file; returns the longest gap of the event loop
// from the print command (after the print dialog) to the end of the print. inWorker false: printed on the UI
// thread (as a preview that has no open document to hold does).
TStall PrintStall(const std::string& path, bool inWorker)
{
    QTemporaryDir folder;
    TBenchWindow bench(folder, 0);
    quorra::TfrmMain& window = *bench.Window;
    QSignalSpy filled(&window, &quorra::TfrmMain::PagesFilled);
    QSignalSpy htmlLoaded(window.Preview(), &quorra::TfrmMessage::HtmlLoaded);
    window.OpenFile(QString::fromStdString(path));
    if (filled.isEmpty() && !filled.wait(300000))
        return {};
    // An HTML body is loaded first: the web engine's start is not the print's.
    if ((window.Preview()->HtmlPending() || !window.Preview()->HtmlText().isEmpty()) && htmlLoaded.isEmpty()
        && !htmlLoaded.wait(300000))
        return {};
    if (!WaitForPaint(window))
        return {};
    quorra::TfrmMessage* preview = window.Preview();
    if (!inWorker)
        preview->SetMessageKeeper(nullptr);
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(folder.filePath(QStringLiteral("printed.pdf")));
    QSignalSpy ended(preview, &quorra::TfrmMessage::PrintEnded);
    THeartbeat heartbeat;
    heartbeat.Start();
    preview->StartPrint(std::move(printer));
    if (ended.isEmpty() && !ended.wait(300000))
        return {};
    heartbeat.Tick();
    if (!ended[0][0].toBool() || QFileInfo(folder.filePath(QStringLiteral("printed.pdf"))).size() < 1000)
        return {};
    return { heartbeat.Stall, heartbeat.Busy };
}

void PrintLargeFile(benchmark::State& state)
{
    Report(state, [&] { return PrintStall(LargeFile(), state.range(0) != 0); });
}
BENCHMARK(PrintLargeFile)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void PrintLargeHtml(benchmark::State& state)
{
    Report(state, [&] { return PrintStall(LargeHtml(), state.range(0) != 0); });
}
BENCHMARK(PrintLargeHtml)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Saves the large file as .msg through Save As in a window started with the arguments; returns the longest gap
// of the event loop from the Save As command to the box that reports the save.
double SaveStall(bool inWorker, const std::vector<std::string>& arguments, const QString& shot)
{
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("languages"));
    QFile::copy(QStringLiteral(TESSALY_SOURCE_DIR "/resources/languages/german.lng"),
        folder.path() + QStringLiteral("/languages/german.lng"));
    quorra::TfrmMain::TStartup startup;
    startup.Arguments = arguments;
    startup.ProgramFolder = folder.path().toStdString();
    startup.CurrentFolder = folder.path().toStdString();
    quorra::TfrmMain window(startup);
    window.Beep = [] {};
    window.SetBackgroundWorkBytes(inWorker ? 0 : std::numeric_limits<qint64>::max());
    window.resize(1000, 700);
    window.show();
    QSignalSpy filled(&window, &quorra::TfrmMain::PagesFilled);
    window.OpenFile(QString::fromStdString(LargeFile()));
    if (filled.isEmpty() && !filled.wait(300000))
        return -1;

    const QString target = folder.path() + QStringLiteral("/saved.msg");
    bool reported = false;
    bool photographed = shot.isEmpty();
    quorra_test::TModalHandler dialogs([&](QDialog* d) {
        if (auto* fd = qobject_cast<QFileDialog*>(d)) {
            fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(target);
            QMetaObject::invokeMethod(fd, "accept");
            return;
        }
        if (qobject_cast<quorra::TWorkProgress*>(d)) {
            if (!photographed)
                QTimer::singleShot(400, [&] {
                    QGuiApplication::primaryScreen()->grabWindow(0).save(shot);
                    photographed = true;
                });
            return;
        }
        reported = true;
        quorra_test::TModalHandler::CloseAll(d);
    });
    QElapsedTimer gap;
    double stall = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { stall = std::max(stall, double(gap.restart())); });
    QTimer::singleShot(0, [&] {
        heartbeat.start(5);
        gap.start();
    });
    QTimer::singleShot(0, [&] { window.Actions().miFileSaveAs->trigger(); });
    if (!QTest::qWaitFor([&] { return reported && photographed; }, 300000))
        return -1;
    return std::max(stall, double(gap.elapsed()));
}

void SaveLargeFile(benchmark::State& state)
{
    const QString shots = qEnvironmentVariable("TESSALY_SHOTS");
    double worst = 0;
    for (auto _ : state) {
        const bool inWorker = state.range(0) != 0;
        double stall = SaveStall(inWorker, { "/NOINI" },
            inWorker && !shots.isEmpty() ? shots + QStringLiteral("/progress-save-english.png") : QString());
        if (inWorker && !shots.isEmpty())
            stall = std::max(stall,
                SaveStall(true, { "/NOINI", "/LANG=german.lng" }, shots + QStringLiteral("/progress-save-german.png")));
        if (stall < 0)
            state.SkipWithError("the save did not end");
        worst = std::max(worst, stall);
    }
    state.counters["max_stall_ms"] = worst;
}
BENCHMARK(SaveLargeFile)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A message whose only body is RTF that encapsulates 20 MB of HTML (as Outlook stores HTML mail in RTF), stored
// uncompressed in the compressed-RTF header ("MELA"), as some writers do.
std::string LargeRtfHtml()
{
    return WriteOnce("tessaly-bench-responsive-20mb-rtf-html.tnef", [] {
        std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
                          "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <body>}\r\n";
        while (rtf.size() < (20u << 20))
            rtf += "{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 Lorem ipsum dolor sit amet, {\\*\\htmltag84 <b>}"
                   "\\htmlrtf {\\b \\htmlrtf0 consectetur{\\*\\htmltag92 </b>}\\htmlrtf }\\htmlrtf0  adipiscing "
                   "elit.{\\*\\htmltag72 </p>}\\htmlrtf \\par }\\htmlrtf0\r\n";
        rtf += "{\\*\\htmltag42 </body>}{\\*\\htmltag27 </html>}}";
        const std::string stored = pelmsg::UncompressedRtfStream(rtf, true);
        return Header("A large RTF body from HTML", TnefPropList().Binary(0x1009, stored)).Bytes();
    });
}

// The RTF-encapsulated body after a small HTML message (the web engine runs): from the open to the HTML shown.
void OpenLargeRtfHtml(benchmark::State& state)
{
    Report(state, [&] { return LongestStall(LargeRtfHtml(), state.range(0) != 0, true, true); });
}
BENCHMARK(OpenLargeRtfHtml)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The 20 MB HTML body shown, then its renderer ended (as a memory limit ends it): from the renderer's end to the
// rich-text view that stands in for the web view showing the whole text, painted.
TStall FallbackStall(benchmark::State& state)
{
    QTemporaryDir folder;
    TBenchWindow bench(folder, 0);
    quorra::TfrmMain& window = *bench.Window;
    QSignalSpy htmlLoaded(window.Preview(), &quorra::TfrmMessage::HtmlLoaded);
    window.OpenFile(QString::fromStdString(LargeHtml()));
    if (!htmlLoaded.wait(300000) || !WaitForPaint(window))
        return {};
    quorra::THtmlView* view = window.Preview()->HtmlView();
    const qint64 pid = view->View()->page()->renderProcessPid();
    if (pid <= 0)
        return {};
    QSignalSpy filled(view, &quorra::THtmlView::FallbackFilled);
    THeartbeat heartbeat;
    QElapsedTimer ended;
    heartbeat.Start();
    ended.start();
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    if (!filled.wait(300000) || !WaitForPaint(window))
        return {};
    // layout_ms: from the renderer's end until the view has laid out its last block.
    const QTextBlock last = view->FallbackView()->document()->lastBlock();
    if (!RunUntil([&] { return last.layout()->lineCount() > 0; }, 300000))
        return {};
    state.counters["layout_ms"] = double(ended.elapsed());
    // The view lays a long document out in steps after it is shown: until its size has stayed for a second.
    QElapsedTimer settled;
    settled.start();
    QObject::connect(view->FallbackView()->document()->documentLayout(),
        &QAbstractTextDocumentLayout::documentSizeChanged, [&] { settled.restart(); });
    if (!QTest::qWaitFor([&] { return settled.elapsed() > 1000; }, 300000))
        return {};
    heartbeat.Tick();
    if (!view->FallbackView()->document()->toPlainText().endsWith(QStringLiteral("tempor.")))
        return {};
    return { heartbeat.Stall, heartbeat.Busy };
}

void FallbackLargeHtml(benchmark::State& state)
{
    Report(state, [&] { return FallbackStall(state); });
}
BENCHMARK(FallbackLargeHtml)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// An mbox of 2,100 mails, each with a winmail.dat that holds one attachment: about 200 MB (attachments of 72 KB,
// mails of 97 KB), or for the photographs of the listing's progress about 1 GB (attachments of 360 KB).
std::string LargeMbox(int megabytes)
{
    return WriteOnce("tessaly-bench-responsive-" + std::to_string(megabytes) + "mb.mbox", [megabytes] {
        std::string data(static_cast<size_t>(megabytes) * 360, '\0');
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>((i * 2654435761u) >> 13);
        std::string mbox;
        for (int m = 1; m <= 2100; ++m) {
            TnefBuilder b = Header("Report " + std::to_string(m), TnefPropList().String8(0x1000, "It is attached."));
            b.AttachRenddata().AttachTitle("report.bin").AttachData(data);
            mbox += "From ann@example.org Tue Mar  3 10:00:00 2026\nFrom: Ann <ann@example.org>\nSubject: Report\n"
                    "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\n"
                    "It is attached.\n--b\nContent-Type: application/ms-tnef; name=\"winmail.dat\"\n"
                    "Content-Transfer-Encoding: base64\n\n"
                + pelmsg::test::Base64Lines(b.Bytes(), "\n") + "--b--\n\n";
        }
        return mbox;
    });
}

// Opens the mbox in a fresh window started with the arguments; returns the longest gap of the event loop from the
// open to the TNEF part chooser up (which is then cancelled). With shot set, the listing's progress dialog is
// photographed there once it has shown for 0.4 seconds.
TStall ListStall(const std::string& path, bool inWorker, const std::vector<std::string>& arguments, const QString& shot)
{
    QTemporaryDir folder;
    TBenchWindow bench(folder, inWorker ? 0 : std::numeric_limits<qint64>::max(), arguments);
    quorra::TfrmMain& window = *bench.Window;
    if (!QTest::qWaitForWindowExposed(&window) || !WaitForPaint(window))
        return {};
    THeartbeat heartbeat;
    TStall stall;
    bool photographed = shot.isEmpty();
    quorra_test::TModalHandler dialogs([&](QDialog* d) {
        if (qobject_cast<quorra::TWorkProgress*>(d)) {
            if (!photographed)
                QTimer::singleShot(
                    400, [&] { photographed = QGuiApplication::primaryScreen()->grabWindow(0).save(shot); });
            return;
        }
        heartbeat.Tick();
        stall = { heartbeat.Stall, heartbeat.Busy };
        d->reject();
    });
    heartbeat.Start();
    window.OpenFile(QString::fromStdString(path));
    if (!QTest::qWaitFor([&] { return stall.Stall >= 0 && photographed; }, 600000))
        return {};
    return stall;
}

// The 200 MB mbox's TNEF parts listed until the chooser is up: in a worker (1) or on the UI thread (0, as the window
// lists a small file). With TESSALY_SHOTS set to a folder, the listing of the 1 GB mbox in a worker is photographed
// there once, in English and in German (progress-listing-english.png, progress-listing-german.png); the photographs
// take the UI thread for a while, so those runs are not measured.
void ListLargeMbox(benchmark::State& state)
{
    const bool inWorker = state.range(0) != 0;
    Report(state, [&] { return ListStall(LargeMbox(200), inWorker, { "/NOINI" }, QString()); });
    const QString shots = qEnvironmentVariable("TESSALY_SHOTS");
    if (!inWorker || shots.isEmpty())
        return;
    // English first: the texts of a language stay in the process after its window has gone.
    for (const char* language : { "english", "german" }) {
        std::vector<std::string> arguments { "/NOINI" };
        if (language == std::string("german"))
            arguments.emplace_back("/LANG=german.lng");
        if (ListStall(LargeMbox(1000), true, arguments, shots + "/progress-listing-" + language + ".png").Stall < 0)
            state.SkipWithError("the listing's progress was not photographed");
    }
}
BENCHMARK(ListLargeMbox)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// A message with one attached message whose only body is 20 MB of RTF (paragraphs of text with bold words), stored
// uncompressed in the compressed-RTF header, as LargeRtfHtml's.
std::string AttachedLargeRtf()
{
    return WriteOnce("tessaly-bench-responsive-attached-20mb-rtf.tnef", [] {
        std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n";
        while (rtf.size() < (20u << 20))
            rtf += "\\pard Lorem ipsum dolor sit amet, {\\b consectetur} adipiscing elit, sed do eiusmod "
                   "tempor.\\par\r\n";
        rtf += "\\pard The last words.\\par}";
        const std::string inner
            = Header("A large RTF body", TnefPropList().Binary(0x1009, pelmsg::UncompressedRtfStream(rtf, true)))
                  .Bytes();
        TnefBuilder outer = Header("A message with an attached one", TnefPropList().String8(0x1000, "See attached."));
        outer.AttachRenddata().AttachData("This attachment is a MAPI 1.0 embedded message");
        outer.AttachmentProps(TnefPropList().Object(0x3701, inner).Long(0x3705, 5).String8(0x3001, "Attached"));
        return outer.Bytes();
    });
}

// Whether the last paragraph with text in the document is the text (without reading the whole document).
bool EndsWith(const QTextDocument& document, const QString& text)
{
    QTextBlock block = document.lastBlock();
    while (block.isValid() && block.text().isEmpty())
        block = block.previous();
    return block.isValid() && block.text() == text;
}

// The same message as an Outlook .msg file.
std::string AttachedLargeRtfMsg()
{
    std::string path
        = (std::filesystem::temp_directory_path() / "tessaly-bench-responsive-attached-20mb-rtf.msg").string();
    if (!std::filesystem::exists(path)) {
        const std::string tnef = AttachedLargeRtf();
        std::unique_ptr<pelmsg::TPelMessage> message = pelmsg::CreateMessageForFile(tnef);
        message->LoadFromFile(tnef);
        pelmsg::SaveToMSGFile(message->Properties(), path, true);
    }
    return path;
}

// The attached message opened by a double-click on its row in the preview of a fresh window, until its window has
// painted the whole RTF body in the rich-text view; the longest gap of the event loop from the double-click on.
TStall AttachedStall(const std::string& path)
{
    QTemporaryDir folder;
    TBenchWindow bench(folder, 0);
    quorra::TfrmMain& window = *bench.Window;
    QSignalSpy filled(&window, &quorra::TfrmMain::PagesFilled);
    window.OpenFile(QString::fromStdString(path));
    if ((filled.isEmpty() && !filled.wait(300000)) || !WaitForPaint(window))
        return {};
    auto* list = window.Preview()->findChild<QListWidget*>(QStringLiteral("lvAttachments"));
    if (!list || list->count() != 1)
        return {};
    THeartbeat heartbeat;
    TStall result;
    bool closed = false;
    quorra_test::TModalHandler dialogs([&](QDialog* dialog) {
        auto* form = dialog->findChild<quorra::TfrmMessage*>();
        auto* rich = dialog->findChild<QTextEdit*>(QStringLiteral("reRTFBody"));
        if (dialog->objectName() == QLatin1String("frmMessageWindow") && form && rich
            && QTest::qWaitFor([&] { return EndsWith(*rich->document(), QStringLiteral("The last words.")); }, 300000)
            && WaitForPaint(*dialog)) {
            heartbeat.Tick();
            result = { heartbeat.Stall, heartbeat.Busy };
        }
        closed = true;
        quorra_test::TModalHandler::CloseAll(dialog);
    });
    const QPoint at = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    heartbeat.Start();
    QTimer::singleShot(0, [&] { QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at); });
    if (!QTest::qWaitFor([&] { return closed; }, 600000))
        return {};
    return result;
}

// OpenAttachedLargeRtf: the attached message's window, from the double-click to its 20 MB RTF body shown; the
// message in a TNEF file (argument 0) or in an Outlook .msg file (1).
void OpenAttachedLargeRtf(benchmark::State& state)
{
    const std::string path = state.range(0) != 0 ? AttachedLargeRtfMsg() : AttachedLargeRtf();
    Report(state, [&] { return AttachedStall(path); });
}
BENCHMARK(OpenAttachedLargeRtf)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The RTF-encapsulated body shown (the Rich text tab is shown while the HTML is taken out of the RTF, and laid out
// while it is), then its Rich text tab brought up again: from the tab's switch until its view has laid the rest of
// the document out (its last block), painted. layout_ms is that time.
TStall RichTabStall(benchmark::State& state)
{
    QTemporaryDir folder;
    TBenchWindow bench(folder, 0);
    quorra::TfrmMain& window = *bench.Window;
    QSignalSpy htmlLoaded(window.Preview(), &quorra::TfrmMessage::HtmlLoaded);
    window.OpenFile(QString::fromStdString(LargeRtfHtml()));
    if (!htmlLoaded.wait(300000) || !WaitForPaint(window))
        return {};
    auto* tabs = window.Preview()->findChild<QTabWidget*>(QStringLiteral("pcBody"));
    auto* rich = window.Preview()->findChild<QTextEdit*>(QStringLiteral("reRTFBody"));
    if (!tabs || !rich || rich->document()->isEmpty())
        return {};
    THeartbeat heartbeat;
    QElapsedTimer shown;
    heartbeat.Start();
    shown.start();
    tabs->setCurrentWidget(rich->parentWidget());
    const QTextBlock last = rich->document()->lastBlock();
    if (!RunUntil([&] { return last.layout()->lineCount() > 0; }, 300000))
        return {};
    state.counters["layout_ms"] = double(shown.elapsed());
    if (!WaitForPaint(window))
        return {};
    heartbeat.Tick();
    // With TESSALY_SHOTS set to a folder, the screen is photographed with the tab shown.
    if (const QString shots = qEnvironmentVariable("TESSALY_SHOTS"); !shots.isEmpty())
        QGuiApplication::primaryScreen()->grabWindow(0).save(shots + QStringLiteral("/rtf-20mb-rich-text.png"));
    return { heartbeat.Stall, heartbeat.Busy };
}

void ShowLargeRtfTab(benchmark::State& state)
{
    Report(state, [&] { return RichTabStall(state); });
}
BENCHMARK(ShowLargeRtfTab)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    quorra::PrepareWebEngine();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
