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

#include "mini_json.h"
#include "model/message.h"
#include "rtf/compressed_rtf.h"
#include "rtf/rtf_html.h"
#include "sha256.h"
#include "test_support.h"
#include "text/codepage.h"
#include "text/html_escape.h"
#include "tnef/tnef_reader.h"

using namespace pelmsg;
using pelmsg::test::CorpusAvailable;
using pelmsg::test::CorpusPath;
using pelmsg::test::Json;
using pelmsg::test::ReadFileBytes;
using pelmsg::test::Sha256Hex;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kTagRtfCompressed = 0x10090102;

// ---- What the oracle recorded ----

struct SavedFile {
    bool Rejected = false; // the tool refused the file (exit status not 0) and saved nothing
    uint64_t Size = 0;
    std::string Sha256;
};

// The "message.rtf" entry of "tnef_extract.files" in corpus/oracle/<file>.json.
std::optional<SavedFile> OracleRtf(const std::string& file)
{
    Json oracle;
    try {
        oracle = Json::Parse(ReadFileBytes(CorpusPath("oracle/" + file + ".json")));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const Json& extract = oracle["tnef_extract"];
    if (extract.IsNull())
        return std::nullopt;
    if (extract["rc"].number != 0)
        return SavedFile { true, 0, {} };
    for (const Json& saved : extract["files"].array)
        if (saved["name"].string == "message.rtf")
            return SavedFile { false, static_cast<uint64_t>(saved["size"].number), saved["sha256"].string };
    return std::nullopt;
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
    static const std::map<std::string, std::u16string_view> kSymbols
        = { { "emdash", u"\u2014" }, { "endash", u"\u2013" }, { "bullet", u"\u2022" }, { "lquote", u"\u2018" },
              { "rquote", u"\u2019" }, { "ldblquote", u"\u201C" }, { "rdblquote", u"\u201D" } };
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
        } else if (const auto symbol = kSymbols.find(word); symbol != kSymbols.end()) {
            emit(symbol->second);
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
