// Throughput of the text routines on large input: LZFu decompression, base64, the HTML extraction from RTF and
// HTML unescaping. Each reports bytes per second (MB/s) of the size named in its comment.

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "reference.h"
#include "rtf/compressed_rtf.h"
#include "rtf/rtf_html.h"
#include "text/base64.h"
#include "text/codepage.h"
#include "text/html_escape.h"

namespace {

constexpr size_t kTenMegabytes = 10u << 20;

// Deterministic pseudo-random numbers, so every run measures the same input.
struct Random {
    uint64_t State = 0x9E3779B97F4A7C15ull;
    uint32_t Next()
    {
        State ^= State << 13;
        State ^= State >> 7;
        State ^= State << 17;
        return static_cast<uint32_t>(State >> 16);
    }
};

const char* const kWords[] = { "the", "message", "attachment", "winmail", "Outlook", "meeting", "please", "find",
    "report", "quarterly", "regards", "tomorrow", "schedule", "project", "budget", "review", "customer", "delivery",
    "invoice", "update", "thanks", "colleague", "office", "phone", "conference", "agenda", "minutes", "draft" };

std::string Sentence(Random& random, size_t words)
{
    std::string s;
    for (size_t i = 0; i < words; ++i) {
        if (i > 0)
            s += ' ';
        s += kWords[random.Next() % std::size(kWords)];
    }
    return s;
}

// ---- An LZFu compressor, to make real compressed-RTF input ----

// The dictionary a compressed-RTF stream starts with; input byte k lands at dictionary position (207 + k) % 4096.
constexpr std::string_view kPrefix = "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss "
                                     "\\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier"
                                     "{\\colortbl\\red0\\green0\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab"
                                     "\\tx";

std::string LittleEndian32(uint32_t v)
{
    std::string s(4, '\0');
    for (size_t i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

// Greedy LZ77 over the 4096-byte window with hash chains: references of 2 to 17 bytes to earlier input (possibly
// overlapping the bytes they produce, as the decoder copies byte by byte), literals otherwise, and the end marker
// (a reference to the current write position).
std::string CompressLzfu(const std::string& text)
{
    constexpr size_t kWindow = 4096;
    constexpr size_t kMaxLength = 17;
    constexpr size_t kMaxDistance = kWindow - kMaxLength - 1;
    constexpr size_t kHashSize = 1 << 16;
    const size_t prefix = kPrefix.size();
    std::vector<int64_t> head(kHashSize, -1);
    std::vector<int64_t> previous(kWindow, -1); // chains only reach back one window
    auto hashAt = [&](size_t k) {
        auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(text[i])); };
        return ((b(k) << 16 | b(k + 1) << 8 | b(k + 2)) * 2654435761u) >> 16 & (kHashSize - 1);
    };
    auto insert = [&](size_t k) {
        if (k + 2 < text.size()) {
            uint32_t h = hashAt(k);
            previous[k % kWindow] = head[h];
            head[h] = static_cast<int64_t>(k);
        }
    };

    std::string body;
    size_t k = 0;
    std::string items;
    uint8_t control = 0;
    int count = 0;
    auto finishGroup = [&]() {
        body.push_back(static_cast<char>(control));
        body += items;
        items.clear();
        control = 0;
        count = 0;
    };
    auto reference = [&](size_t offset, size_t length) {
        uint16_t word = static_cast<uint16_t>(offset << 4 | (length - 2));
        items.push_back(static_cast<char>(word >> 8));
        items.push_back(static_cast<char>(word & 0xFF));
        control = static_cast<uint8_t>(control | 1u << count);
        if (++count == 8)
            finishGroup();
    };
    while (k < text.size()) {
        size_t bestLength = 0, bestFrom = 0;
        if (k + 2 < text.size()) {
            int chain = 0;
            for (int64_t j = head[hashAt(k)]; j >= 0 && chain < 24;
                 j = previous[static_cast<size_t>(j) % kWindow], ++chain) {
                size_t from = static_cast<size_t>(j);
                if (k - from > kMaxDistance)
                    break;
                size_t length = 0;
                while (length < kMaxLength && k + length < text.size() && text[from + length] == text[k + length])
                    ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestFrom = from;
                    if (length == kMaxLength)
                        break;
                }
            }
        }
        if (bestLength >= 2) {
            reference((prefix + bestFrom) % kWindow, bestLength);
            for (size_t i = 0; i < bestLength; ++i)
                insert(k + i);
            k += bestLength;
        } else {
            items.push_back(text[k]);
            insert(k);
            ++k;
            if (++count == 8)
                finishGroup();
        }
    }
    reference((prefix + text.size()) % kWindow, 2); // the end marker
    if (count > 0)
        finishGroup();
    return LittleEndian32(static_cast<uint32_t>(body.size() + 12)) + LittleEndian32(static_cast<uint32_t>(text.size()))
        + "LZFu" + LittleEndian32(pelmsg::Crc32OfText(body)) + body;
}

// ---- Inputs ----

// Plain RTF a mail client writes: paragraphs of text with formatting words, escaped bytes, and numbers (order
// numbers, amounts) that keep it from compressing better than real mail does.
std::string MakePlainRtf(size_t size)
{
    Random random;
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n";
    while (rtf.size() < size) {
        rtf += "\\pard\\plain\\f0\\fs20 " + Sentence(random, 6 + random.Next() % 10);
        rtf += " no. " + std::to_string(random.Next() % 1000000) + " caf\\'e9 {\\b " + Sentence(random, 2) + "} "
            + std::to_string(random.Next()) + "\\par\r\n";
    }
    return rtf + "}";
}

// An encapsulated-HTML RTF as Outlook writes it: tag groups, RTF-only renderings, escapes.
std::string MakeEncapsulatedRtf(size_t size)
{
    Random random;
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\fbidis \\deff0{\\fonttbl\r\n{\\f0\\fswiss Arial;}}\r\n"
                      "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n{\\*\\htmltag19 <html>}\r\n"
                      "{\\*\\htmltag34 <head>}\r\n{\\*\\htmltag241 <style>p \\{ margin: 0; \\}}\r\n"
                      "{\\*\\htmltag41 </head>}\r\n{\\*\\htmltag50 <body>}\r\n";
    while (rtf.size() < size) {
        rtf += "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 " + Sentence(random, 8);
        rtf += "\r\n{\\*\\htmltag84 &rsquo;}\\htmlrtf \\'92\\htmlrtf0 s caf\\'e9 \\u8364\\'80 ";
        rtf += "{\\*\\htmltag84 <a href=\"http://example.org/\">}\\htmlrtf {\\field{\\*\\fldinst{HYPERLINK "
               "\"http://example.org/\"}}{\\fldrslt\\cf1\\ul \\htmlrtf0 "
            + Sentence(random, 2) + "\\htmlrtf }\\htmlrtf0 \\htmlrtf }\\htmlrtf0 \r\n{\\*\\htmltag92 </a>}";
        rtf += Sentence(random, 10) + "\r\n{\\*\\htmltag72 </p>}\\htmlrtf\\par}\\htmlrtf0\r\n";
    }
    return rtf + "{\\*\\htmltag58 </body>}\r\n{\\*\\htmltag27 </html>}}";
}

// HTML text with the entities and references mail bodies carry.
std::u16string MakeEscapedHtml(size_t size)
{
    Random random;
    std::string html;
    while (html.size() < size) {
        html += "<p>" + Sentence(random, 8) + " &amp; " + Sentence(random, 3) + " &lt;tag&gt; &quot;q&quot;&nbsp;";
        html += Sentence(random, 5) + " &#233;t&#xE9; &copy; 2024 &rsquo; &#8364;</p>\r\n";
    }
    return pelmsg::Utf8ToWide(html);
}

void BM_DecodeCompressedRtf(benchmark::State& state)
{
    // Output bytes per second. About 39 MB of RTF, compressing to about 10 MB.
    static const std::string text = MakePlainRtf(37u << 20);
    static const std::string compressed = CompressLzfu(text);
    if (pelmsg::DecodeCompressedRtf(compressed).Text != text)
        throw std::runtime_error("the LZFu stream does not decode to its text");
    tessaly_bench::TStopwatch watch;
    for (auto _ : state) {
        pelmsg::TCompressedRtf decoded = pelmsg::DecodeCompressedRtf(compressed);
        benchmark::DoNotOptimize(decoded.Text.data());
    }
    tessaly_bench::ReportAgainstMemcpy(state, watch.Seconds(), text.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["compressed_MB"] = static_cast<double>(compressed.size()) / 1e6;
    state.counters["output_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_DecodeCompressedRtf)->Unit(benchmark::kMillisecond);

void BM_EncodeBase64(benchmark::State& state)
{
    // Input bytes per second.
    std::string data(kTenMegabytes, '\0');
    Random random;
    for (char& c : data)
        c = static_cast<char>(random.Next());
    tessaly_bench::TStopwatch watch;
    for (auto _ : state) {
        std::string encoded = pelmsg::EncodeBase64(data);
        benchmark::DoNotOptimize(encoded.data());
    }
    tessaly_bench::ReportAgainstMemcpy(state, watch.Seconds(), data.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_EncodeBase64)->Unit(benchmark::kMillisecond);

void BM_ExtractHtmlFromRtf(benchmark::State& state)
{
    // RTF bytes per second.
    const std::string rtf = MakeEncapsulatedRtf(kTenMegabytes);
    tessaly_bench::TStopwatch watch;
    for (auto _ : state) {
        std::string html = pelmsg::ExtractHtmlFromRtf(rtf);
        benchmark::DoNotOptimize(html.data());
    }
    tessaly_bench::ReportAgainstMemcpy(state, watch.Seconds(), rtf.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_ExtractHtmlFromRtf)->Unit(benchmark::kMillisecond);

void BM_UnescapeHtml(benchmark::State& state)
{
    // Bytes per second of the HTML as UTF-8 (10 MB); the routine works on its UTF-16 form.
    const std::u16string html = MakeEscapedHtml(kTenMegabytes);
    const size_t utf8Size = pelmsg::WideToUtf8(html).size();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::u16string text = html;
        state.ResumeTiming();
        tessaly_bench::TStopwatch watch;
        pelmsg::UnescapeHtml(text);
        benchmark::DoNotOptimize(text.data());
        seconds += watch.Seconds();
    }
    tessaly_bench::ReportAgainstMemcpy(state, seconds, utf8Size);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(utf8Size));
}
BENCHMARK(BM_UnescapeHtml)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
