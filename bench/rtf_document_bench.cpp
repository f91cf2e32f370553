// The rich-text view's RTF reader on a 10 MB mail RTF: paragraphs with fonts and colours, escaped accented text,
// "\u" escapes, a table and a small picture, as Outlook writes them. Reports bytes per second.

#include <benchmark/benchmark.h>

#include <string>

#include "rtf/rtf_document.h"

namespace {

std::string MailRtf(size_t size)
{
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
                      "{\\f1\\fnil\\fcharset2 Symbol;}{\\f2\\fswiss\\fcharset204 Arial CYR;}}"
                      "{\\colortbl ;\\red0\\green0\\blue255;\\red31\\green73\\blue125;}"
                      "{\\*\\generator Riched20 14.0.7268.5000;}\\viewkind4\\uc1\n";
    const std::string paragraph
        = "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22 Sehr geehrte Damen und Herren, anbei die \\b \\'dcbersicht\\b0  "
          "f\\'fcr das {\\cf1\\ul Quartal}\\cf0\\ulnone . Mit freundlichen Gr\\'fc\\'dfen {\\f2 \\'cf\\'f0\\'e8\\'e2\\'e5"
          "\\'f2} \\u8364?\\u8211? {\\field{\\*\\fldinst{HYPERLINK \"http://example.com/\"}}{\\fldrslt{\\cf2\\ul "
          "example.com}}}\\par\n"
          "\\trowd\\cellx2000\\cellx4000\\pard\\intbl Umsatz\\cell 1.234\\cell\\row\\pard\\par\n"
          "{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\fi-360\\li720 Punkt\\par\n"
          "{\\pict\\pngblip\\picw2\\pich2\\picwgoal30\\pichgoal30 89504e470d0a1a0a0000000d4948445200000002}\\par\n";
    while (rtf.size() < size)
        rtf += paragraph;
    rtf += "}";
    return rtf;
}

void RtfReader10MB(benchmark::State& state)
{
    const std::string rtf = MailRtf(10u << 20);
    for (auto _ : state) {
        pelmsg::TRtfDocument document = pelmsg::ReadRtfDocument(std::string_view(rtf));
        benchmark::DoNotOptimize(document.Blocks.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rtf.size()));
}
BENCHMARK(RtfReader10MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
