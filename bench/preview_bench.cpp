// The message preview under an X display (run under Xvfb):
//   xvfb-run -a -s "-screen 0 1024x768x24" build/release/bench/preview_bench
// PreviewOfSample: the bundled sample's preview filled, its HTML loaded in the web view and its inline images
// served. LargeHtmlBody: a 20 MB HTML body shown; the counter max_stall_ms is the longest time the window's event
// loop did not run (a timer ticking every 10 ms measures the gaps) while the page loaded. FillBesideHiddenRichText:
// the UI thread's processor time to fill a preview not on the screen with the sample (its HTML tab shown).

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include "html_view.h"
#include "message_preview.h"
#include "pelmsg.h"
#include "settings.h"
#include "viewer_app.h"

namespace {

quorra::TSettings settings;

double ThreadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

bool WaitForLoad(quorra::THtmlView* view, int timeoutMs)
{
    QSignalSpy loaded(view, &quorra::THtmlView::LoadFinished);
    return loaded.wait(timeoutMs) || !loaded.isEmpty();
}

void PreviewOfSample(benchmark::State& state)
{
    auto message = pelmsg::CreateMessageForFile(TESSALY_SOURCE_DIR "/samples/winmail.dat");
    message->LoadFromFile(TESSALY_SOURCE_DIR "/samples/winmail.dat");
    quorra::TfrmMessage form(settings);
    form.resize(1000, 700);
    form.show();
    form.FillPreview(&message->Properties());
    WaitForLoad(form.HtmlView(), 30000); // the web engine's start-up is not part of a fill
    for (auto _ : state) {
        state.PauseTiming();
        form.FillPreview(nullptr);
        WaitForLoad(form.HtmlView(), 10000); // the emptied page, so that its signal is not taken for the next
        state.ResumeTiming();
        form.FillPreview(&message->Properties());
        if (!form.HtmlView() || !WaitForLoad(form.HtmlView(), 10000))
            state.SkipWithError("the page did not load");
    }
    state.counters["images"] = form.HtmlView() ? form.HtmlView()->ServedImageCount() : 0;
}
BENCHMARK(PreviewOfSample)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// The UI thread's processor time in the fill of a preview that is not on the screen (so that no web view starts and
// no tab stands in for the HTML one) with the sample, whose HTML tab is then the one shown: the rich-text tab beside
// it costs only the reading of its document, which its view lays out once the tab shows.
void FillBesideHiddenRichText(benchmark::State& state)
{
    auto message = pelmsg::CreateMessageForFile(TESSALY_SOURCE_DIR "/samples/winmail.dat");
    message->LoadFromFile(TESSALY_SOURCE_DIR "/samples/winmail.dat");
    quorra::TfrmMessage form(settings);
    form.resize(1000, 700);
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        form.FillPreview(&message->Properties());
        state.SetIterationTime(ThreadCpuSeconds() - start);
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(FillBesideHiddenRichText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void LargeHtmlBody(benchmark::State& state)
{
    std::string body = "<html><body>";
    while (body.size() < (20u << 20))
        body += "<p>Lorem ipsum dolor sit amet, <b>consectetur</b> adipiscing elit, sed do eiusmod tempor.</p>\n";
    body += "</body></html>";
    quorra::TfrmMessage form(settings);
    form.resize(1000, 700);
    form.show();
    form.CreateBrowser();
    double worst = 0;
    for (auto _ : state) {
        QElapsedTimer gap;
        gap.start();
        double stall = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            stall = std::max(stall, double(gap.restart()));
        });
        tick.start(10);
        form.ShowHtml(QStringLiteral("utf-8"), QString::fromStdString(body));
        if (!WaitForLoad(form.HtmlView(), 120000))
            state.SkipWithError("the page did not load");
        stall = std::max(stall, double(gap.elapsed()));
        worst = std::max(worst, stall);
    }
    state.counters["max_stall_ms"] = worst;
}
BENCHMARK(LargeHtmlBody)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
