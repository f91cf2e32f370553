// The message as shown, as PDF from the command line ("quorra FILE /E pdf OUT": the front, the window program on the
// offscreen platform, loading, layout and writing): the sample, and an HTML mail of about 50 pages. The reference
// is starting the program with --version, measured in the same iterations.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pelmsg.h"
#include "process_start.h"
#include "tnef_builder.h"

namespace {

std::string folder;

// A TNEF mail whose HTML body fills about 50 A4 pages: paragraphs, a table and links.
std::string LongHtmlMail()
{
    std::string html = "<html><body><h1>Quarterly report</h1>";
    for (int i = 0; i < 1700; ++i) {
        html += "<p>Paragraph " + std::to_string(i)
            + ": the figures of the quarter, with <b>bold</b>, <i>italic</i> "
              "and <a href=\"https://example.com/item/"
            + std::to_string(i) + "\">a link</a> words that fill the line.</p>";
        if (i % 50 == 0)
            html += "<table border=1><tr><td>North</td><td>12 500</td></tr><tr><td>South</td><td>9 "
                    "800</td></tr></table>";
    }
    html += "</body></html>";
    pelmsg::test::TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("Quarterly report");
    pelmsg::test::TnefPropList props;
    props.String8(pelmsg::kIdSentRepresentingName, "Anna");
    props.Binary(pelmsg::kIdBodyHtml, html);
    b.MapiProps(props);
    return b.Bytes();
}

size_t PageCount(const std::string& pdf)
{
    std::ifstream file(pdf, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    size_t pages = 0;
    for (size_t at = bytes.find("/Type /Page"); at != std::string::npos; at = bytes.find("/Type /Page", at + 1))
        if (at + 11 < bytes.size() && bytes[at + 11] != 's')
            ++pages;
    return pages;
}

void ConvertToPdf(benchmark::State& state, const std::string& input)
{
    const std::string output = folder + "/out.pdf";
    tessaly_bench::MeasureAgainst(
        state,
        [&] {
            return tessaly_bench::RunOnce({ QUORRA_BINARY, input, "/E", "pdf", output, "/NOINI" });
        },
        [] {
            return tessaly_bench::RunOnce({ QUORRA_BINARY, "--version" });
        },
        "quorra --version", "quorra failed");
    if (state.error_occurred())
        return;
    state.counters["pages"] = static_cast<double>(PageCount(output));
    state.counters["pdf_kB"] = static_cast<double>(std::filesystem::file_size(output)) / 1e3;
}

void BM_SampleToPdf(benchmark::State& state) { ConvertToPdf(state, TESSALY_SOURCE_DIR "/samples/winmail.dat"); }

void BM_FiftyPageHtmlToPdf(benchmark::State& state)
{
    const std::string input = folder + "/long.dat";
    std::ofstream(input, std::ios::binary) << LongHtmlMail();
    ConvertToPdf(state, input);
}

BENCHMARK(BM_SampleToPdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FiftyPageHtmlToPdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    char name[] = "/tmp/render_bench.XXXXXX";
    if (!mkdtemp(name))
        return 1;
    folder = name;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(folder);
    return 0;
}
