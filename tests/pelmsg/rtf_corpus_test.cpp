// The compressed-RTF decoder and the HTML extraction on the real-world corpus, against what independent tools
// saved from the same files.

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/message.h"
#include "rtf/compressed_rtf.h"
#include "rtf/rtf_html.h"
#include "test_support.h"
#include "text/codepage.h"
#include "text/html_escape.h"

using namespace pelmsg;
using pelmsg::test::CorpusAvailable;
using pelmsg::test::CorpusPath;
using pelmsg::test::ReadFileBytes;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kTagRtfCompressed = 0x10090102;

// ---- SHA-256, to compare with the digests the oracle recorded ----

std::string Sha256Hex(const std::string& data)
{
    static constexpr std::array<uint32_t, 64> k = { 0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b,
        0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc,
        0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1,
        0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08,
        0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814,
        0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2 };
    std::array<uint32_t, 8> h
        = { 0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19 };
    auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
    std::string msg = data;
    const uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
    msg.push_back(static_cast<char>(0x80));
    while (msg.size() % 64 != 56)
        msg.push_back('\0');
    for (int i = 7; i >= 0; --i)
        msg.push_back(static_cast<char>(bits >> (8 * i)));
    for (size_t block = 0; block < msg.size(); block += 64) {
        std::array<uint32_t, 64> w {};
        for (size_t i = 0; i < 16; ++i)
            for (size_t b = 0; b < 4; ++b)
                w[i] = w[i] << 8 | static_cast<unsigned char>(msg[block + i * 4 + b]);
        for (size_t i = 16; i < 64; ++i) {
            uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        auto v = h;
        for (size_t i = 0; i < 64; ++i) {
            uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
            uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
            uint32_t t1 = v[7] + s1 + ch + k[i] + w[i];
            uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
            uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            uint32_t t2 = s0 + maj;
            v = { t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6] };
        }
        for (size_t i = 0; i < 8; ++i)
            h[i] += v[i];
    }
    std::string hex;
    char buffer[9];
    for (uint32_t x : h) {
        std::snprintf(buffer, sizeof buffer, "%08x", x);
        hex += buffer;
    }
    return hex;
}

// ---- What the oracle recorded ----

struct SavedFile {
    bool Rejected = false; // the tool refused the file (exit status not 0) and saved nothing
    uint64_t Size = 0;
    std::string Sha256;
};

// The "message.rtf" entry of "tnef_extract.files" in corpus/oracle/<file>.json (JSON as the collector wrote it:
// one key per line, string values without escapes).
std::optional<SavedFile> OracleRtf(const std::string& file)
{
    std::string json;
    try {
        json = ReadFileBytes(CorpusPath("oracle/" + file + ".json"));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    size_t section = json.find("\"tnef_extract\"");
    if (section == std::string::npos)
        return std::nullopt;
    size_t files = json.find("\"files\"", section);
    size_t next = json.find("\"tnef_debug\"", section);
    if (files == std::string::npos || (next != std::string::npos && files > next))
        return std::nullopt;
    size_t rc = json.find("\"rc\": ", section);
    if (rc != std::string::npos && rc < files && std::stoi(json.substr(rc + 6)) != 0) {
        SavedFile rejected;
        rejected.Rejected = true;
        return rejected;
    }
    size_t entry = json.find("\"name\": \"message.rtf\"", files);
    size_t close = json.find(']', files);
    if (entry == std::string::npos || entry > close)
        return std::nullopt;
    SavedFile saved;
    size_t size = json.find("\"size\": ", entry);
    size_t sha = json.find("\"sha256\": \"", entry);
    if (size == std::string::npos || sha == std::string::npos)
        return std::nullopt;
    saved.Size = std::stoull(json.substr(size + 8));
    saved.Sha256 = json.substr(sha + 11, 64);
    return saved;
}

// RTF bodies the peers ship for a file: corpus/expected/<file>/<tool>/files/*.rtf.
std::map<std::string, std::string> ExpectedRtfFiles(const std::string& file)
{
    std::map<std::string, std::string> found;
    fs::path root = CorpusPath("expected/" + file);
    std::error_code ec;
    if (!fs::is_directory(root, ec))
        return found;
    for (const auto& tool : fs::directory_iterator(root, ec)) {
        fs::path files = tool.path() / "files";
        if (!fs::is_directory(files, ec))
            continue;
        for (const auto& f : fs::directory_iterator(files, ec))
            if (f.path().extension() == ".rtf")
                found[tool.path().filename().string() + "/" + f.path().filename().string()]
                    = ReadFileBytes(f.path().string());
    }
    return found;
}

std::string CrLfToLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out.push_back(text[i]);
    return out;
}

struct CorpusRtf {
    std::string Name;
    std::string Text;
};

// The RTF bodies of the corpus TNEF files that have an RTF_COMPRESSED property.
std::vector<CorpusRtf> TnefRtfBodies(std::vector<std::string>* unreadable = nullptr)
{
    std::vector<CorpusRtf> bodies;
    std::set<fs::path> files;
    for (const auto& entry : fs::directory_iterator(CorpusPath("tnef")))
        files.insert(entry.path());
    for (const fs::path& path : files) {
        TPelTNEFFile message;
        try {
            message.LoadFromFile(path.string());
        } catch (const std::exception&) {
            if (unreadable)
                unreadable->push_back(path.filename().string());
        }
        const TMSGProperty* node = message.Properties().FindProperty(kTagRtfCompressed, false, false);
        if (!node)
            continue;
        const auto* bytes = std::get_if<ByteString>(&node->Value);
        if (!bytes)
            continue;
        // The reader may already have decoded the stream; a decoded text has no compressed-RTF header.
        std::string text = HasCompressedRtfHeader(*bytes) ? DecodeCompressedRtf(*bytes).Text : *bytes;
        bodies.push_back({ path.filename().string(), text });
    }
    return bodies;
}

// ---- Visible text ----

// What an RTF reader shows: text and escaped characters outside ignorable destinations, with "\htmlrtf" taken
// for what it is to such a reader, an unknown word. A reader of its own, independent of the extraction.
std::u16string RtfVisibleText(const std::string& rtf)
{
    struct State {
        bool Skip = false;
        bool FontTable = false;
        int Uc = 1;
        long Font = -1;
    };
    // Code pages of the font charsets the corpus uses.
    static const std::map<long, int32_t> kCharsetCodePages
        = { { 0, 1252 }, { 128, 932 }, { 129, 949 }, { 134, 936 }, { 136, 950 }, { 161, 1253 }, { 162, 1254 },
              { 177, 1255 }, { 178, 1256 }, { 186, 1257 }, { 204, 1251 }, { 222, 874 }, { 238, 1250 } };
    std::map<long, int32_t> fontCodePages;
    long definedFont = -1;
    static const std::set<std::string> kDestinations = { "fonttbl", "colortbl", "stylesheet", "info", "pict", "fldinst",
        "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "listtable", "listoverridetable",
        "rsidtbl", "generator", "mmathPr", "object", "nonshppict", "header", "footer", "pntext", "pntxta", "pntxtb",
        "filetbl", "revtbl" };
    int32_t codePage = 1252;
    if (size_t at = rtf.find("\\ansicpg"); at != std::string::npos) {
        int32_t cp = std::atoi(rtf.c_str() + at + 8);
        if (cp != 0 && IsCodePageSupported(cp))
            codePage = cp;
    }
    std::vector<State> stack(1);
    std::u16string out;
    std::string bytes;
    auto flushBytes = [&] {
        auto font = fontCodePages.find(stack.back().Font);
        if (!bytes.empty())
            out += CodePageToWide(bytes, font != fontCodePages.end() ? font->second : codePage);
        bytes.clear();
    };
    auto emit = [&](std::u16string_view s) {
        flushBytes();
        if (!stack.back().Skip)
            out += s;
    };
    int skipFallback = 0;
    const size_t n = rtf.size();
    size_t i = 0;
    while (i < n) {
        char c = rtf[i];
        if (c == '{') {
            flushBytes();
            stack.push_back(stack.back());
            ++i;
            skipFallback = 0;
            continue;
        }
        if (c == '}') {
            flushBytes();
            if (stack.size() > 1)
                stack.pop_back();
            ++i;
            skipFallback = 0;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            if (skipFallback > 0) {
                --skipFallback;
            } else if (static_cast<unsigned char>(c) >= 0x80) {
                if (!stack.back().Skip)
                    bytes.push_back(c);
            } else {
                emit(std::u16string(1, static_cast<char16_t>(c)));
            }
            ++i;
            continue;
        }
        // A control symbol or word.
        if (i + 1 >= n)
            break;
        char s = rtf[i + 1];
        if (!std::isalpha(static_cast<unsigned char>(s))) {
            i += 2;
            if (s == '\'' && i + 2 <= n) {
                int value = std::stoi(rtf.substr(i, 2), nullptr, 16);
                i += 2;
                if (skipFallback > 0)
                    --skipFallback;
                else if (!stack.back().Skip)
                    bytes.push_back(static_cast<char>(value));
            } else if (s == '*') {
                stack.back().Skip = true;
            } else if (s == '~') {
                emit(u"\u00A0");
            } else if (s == '{' || s == '}' || s == '\\') {
                emit(std::u16string(1, static_cast<char16_t>(s)));
            } else if (s == '_') {
                emit(u"-");
            }
            continue;
        }
        size_t p = i + 1;
        while (p < n && std::isalpha(static_cast<unsigned char>(rtf[p])))
            ++p;
        std::string word = rtf.substr(i + 1, p - i - 1);
        bool hasNumber = false;
        long number = 0;
        size_t numberFrom = p;
        if (p < n && (rtf[p] == '-' || std::isdigit(static_cast<unsigned char>(rtf[p])))) {
            ++p;
            while (p < n && std::isdigit(static_cast<unsigned char>(rtf[p])))
                ++p;
            hasNumber = p > numberFrom + (rtf[numberFrom] == '-' ? 1 : 0);
            if (hasNumber)
                number = std::stol(rtf.substr(numberFrom, p - numberFrom));
        }
        if (p < n && rtf[p] == ' ')
            ++p;
        i = p;
        if (word == "fonttbl") {
            stack.back().Skip = true;
            stack.back().FontTable = true;
        } else if (stack.back().FontTable) {
            if (word == "f" && hasNumber)
                definedFont = number;
            else if (word == "fcharset" && hasNumber && kCharsetCodePages.count(number))
                fontCodePages[definedFont] = kCharsetCodePages.at(number);
        } else if (word == "f" && hasNumber) {
            flushBytes();
            stack.back().Font = number;
        } else if (kDestinations.count(word)) {
            stack.back().Skip = true;
        } else if (word == "par" || word == "line") {
            emit(u"\n");
        } else if (word == "tab") {
            emit(u"\t");
        } else if (word == "uc" && hasNumber) {
            stack.back().Uc = static_cast<int>(number);
        } else if (word == "u" && hasNumber) {
            flushBytes();
            if (!stack.back().Skip)
                out.push_back(static_cast<char16_t>(number < 0 ? number + 65536 : number));
            skipFallback = stack.back().Uc;
        } else if (word == "emdash") {
            emit(u"\u2014");
        } else if (word == "endash") {
            emit(u"\u2013");
        } else if (word == "bullet") {
            emit(u"\u2022");
        } else if (word == "lquote") {
            emit(u"\u2018");
        } else if (word == "rquote") {
            emit(u"\u2019");
        } else if (word == "ldblquote") {
            emit(u"\u201C");
        } else if (word == "rdblquote") {
            emit(u"\u201D");
        }
    }
    flushBytes();
    return out;
}

// Named entities beyond the fixed list of UnescapeHtml that the corpus uses; a browser knows them all.
void DecodeMoreEntities(std::u16string& text)
{
    static const std::pair<const char16_t*, const char16_t*> kMore[]
        = { { u"&rsquo;", u"\u2019" }, { u"&lsquo;", u"\u2018" }, { u"&rdquo;", u"\u201D" }, { u"&ldquo;", u"\u201C" },
              { u"&ndash;", u"\u2013" }, { u"&mdash;", u"\u2014" }, { u"&hellip;", u"\u2026" },
              { u"&bull;", u"\u2022" }, { u"&euro;", u"\u20AC" }, { u"&middot;", u"\u00B7" } };
    for (const auto& [entity, character] : kMore)
        for (size_t at; (at = text.find(entity)) != std::u16string::npos;)
            text.replace(at, std::u16string_view(entity).size(), character);
}

std::u16string Unescaped(const std::string& utf8)
{
    WideString wide = Utf8ToWide(utf8);
    UnescapeHtml(wide);
    DecodeMoreEntities(wide);
    return wide;
}

// The value of an attribute in a tag ("alt" of "<img src=x alt="Logo">"), or nothing.
std::optional<std::string> AttributeOf(const std::string& tag, const std::string& name)
{
    std::string lower = tag;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (size_t at = lower.find(name + "="); at != std::string::npos; at = lower.find(name + "=", at + 1)) {
        if (at == 0 || !std::isspace(static_cast<unsigned char>(lower[at - 1])))
            continue;
        size_t v = at + name.size() + 1;
        if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) {
            size_t end = tag.find(tag[v], v + 1);
            return tag.substr(v + 1, end == std::string::npos ? std::string::npos : end - v - 1);
        }
        size_t end = tag.find_first_of(" \t\r\n>", v);
        return tag.substr(v, end == std::string::npos ? std::string::npos : end - v);
    }
    return std::nullopt;
}

// What a browser shows of HTML with images off: text outside the tags, an image's alternative text in its place
// (which is what the RTF rendering draws), without comments, the title, style sheets and scripts; unescaped.
std::u16string HtmlVisibleText(const std::string& html)
{
    std::u16string shown;
    std::string text;
    size_t i = 0;
    auto lowerAt = [&](size_t at, std::string_view what) {
        if (at + what.size() > html.size())
            return false;
        for (size_t k = 0; k < what.size(); ++k)
            if (std::tolower(static_cast<unsigned char>(html[at + k])) != what[k])
                return false;
        return true;
    };
    while (i < html.size()) {
        if (html.compare(i, 4, "<!--") == 0) {
            size_t end = html.find("-->", i + 4);
            i = end == std::string::npos ? html.size() : end + 3;
        } else if (lowerAt(i, "<style") || lowerAt(i, "<script") || lowerAt(i, "<title")) {
            std::string close = lowerAt(i, "<style") ? "</style" : lowerAt(i, "<script") ? "</script" : "</title";
            size_t end = i + 1;
            while (end < html.size() && !lowerAt(end, close))
                ++end;
            i = end;
            size_t gt = html.find('>', i);
            i = gt == std::string::npos ? html.size() : gt + 1;
        } else if (html[i] == '<') {
            size_t gt = html.find('>', i);
            std::string tag = html.substr(i, gt == std::string::npos ? std::string::npos : gt - i + 1);
            i = gt == std::string::npos ? html.size() : gt + 1;
            if (lowerAt(i - tag.size(), "<img")) {
                if (auto alt = AttributeOf(tag, "alt")) {
                    shown += Unescaped(text);
                    text.clear();
                    shown += Unescaped(*alt);
                }
            }
        } else {
            text.push_back(html[i++]);
        }
    }
    return shown + Unescaped(text);
}

// Whitespace left out: the extraction keeps the blank that ends each RTF word it drops and the line breaks of
// the RTF source, where an RTF reader eats both, and HTML collapses whitespace anyway. A no-break space counts as
// whitespace: "&nbsp;" is removed by the unescaping, "\~" is one to an RTF reader.
std::u16string WithoutWhitespace(const std::u16string& text)
{
    std::u16string out;
    for (char16_t c : text)
        if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n' && c != u'\u00A0')
            out.push_back(c);
    return out;
}

std::string FirstDifference(const std::u16string& a, const std::u16string& b)
{
    size_t k = 0;
    while (k < a.size() && k < b.size() && a[k] == b[k])
        ++k;
    size_t from = k > 40 ? k - 40 : 0;
    return "at " + std::to_string(k) + ":\n  rtf:  " + WideToUtf8(a.substr(from, 100))
        + "\n  html: " + WideToUtf8(b.substr(from, 100));
}

} // namespace

TEST(RtfCorpusTest, Sha256OfKnownText)
{
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(std::string(1000, 'a')).substr(0, 16), "41edece42d63e8d9");
}

TEST(RtfCorpusTest, DecompressedRtfEqualsWhatTheToolsSaved)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus not present";
    std::vector<std::string> unreadable;
    auto bodies = TnefRtfBodies(&unreadable);
    ASSERT_FALSE(bodies.empty());
    size_t compared = 0;
    std::set<std::string> withBody;
    for (const auto& body : bodies) {
        withBody.insert(body.Name);
        std::optional<SavedFile> saved = OracleRtf(body.Name);
        ASSERT_TRUE(saved) << body.Name << ": has an RTF body, but the tnef tool saved none";
        if (saved->Rejected) {
            // TNEFDecoder__invalid-checksum.tnef: both tools stop at the bad checksum; this reader goes on.
            std::printf("%s: no oracle, the tool rejected the file\n", body.Name.c_str());
            continue;
        }
        EXPECT_EQ(body.Text.size(), saved->Size) << body.Name;
        EXPECT_EQ(Sha256Hex(body.Text), saved->Sha256) << body.Name;
        ++compared;
        for (const auto& [tool, expected] : ExpectedRtfFiles(body.Name)) {
            // MimeKit saves its body in text mode, with LF line ends; the others byte for byte.
            if (tool.rfind("MimeKit/", 0) == 0 && expected.size() != body.Text.size())
                EXPECT_EQ(CrLfToLf(body.Text), expected) << body.Name << " " << tool;
            else
                EXPECT_EQ(body.Text, expected) << body.Name << " " << tool;
        }
    }
    // The other way round: every file the tool saved an RTF body from is one where we found it.
    for (const auto& entry : fs::directory_iterator(CorpusPath("tnef"))) {
        std::string name = entry.path().filename().string();
        std::optional<SavedFile> saved = OracleRtf(name);
        if (saved && !saved->Rejected && !withBody.count(name))
            ADD_FAILURE() << name << ": the tnef tool saved an RTF body that was not found";
    }
    EXPECT_GE(compared, 20u);
}

TEST(RtfCorpusTest, ExtractedHtmlShowsTheRtfText)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus not present";
    std::vector<CorpusRtf> sources = TnefRtfBodies();
    // The encapsulated-HTML bodies the .msg peers ship as .rtf files too.
    for (const auto& dir : fs::recursive_directory_iterator(CorpusPath("expected")))
        if (dir.path().extension() == ".rtf")
            sources.push_back(
                { fs::relative(dir.path(), CorpusPath("expected")).string(), ReadFileBytes(dir.path().string()) });
    size_t checked = 0;
    for (const auto& source : sources) {
        if (source.Text.find("\\fromhtml") == std::string::npos)
            continue;
        std::string html = ExtractHtmlFromRtf(source.Text);
        ASSERT_FALSE(html.empty()) << source.Name;
        EXPECT_EQ(WideToUtf8(Utf8ToWide(html)), html) << source.Name << ": not UTF-8";
        std::u16string rtfText = WithoutWhitespace(RtfVisibleText(source.Text));
        std::u16string htmlText = WithoutWhitespace(HtmlVisibleText(html));
        EXPECT_EQ(rtfText, htmlText) << source.Name << " " << FirstDifference(rtfText, htmlText);
        ++checked;
    }
    EXPECT_GE(checked, 1u);
    std::printf("%zu encapsulated-HTML bodies checked\n", checked);
}
