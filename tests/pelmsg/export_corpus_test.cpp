// Real readers judge what the writers make of real messages: the bundled sample and every TNEF file of the corpus
// that loads. xmllint reads the XML and HTML files, Python's email package the mail files; the attachments the
// mail carries are compared with our own attachment data and with what the independent TNEF tool extracted.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "export/writer_support.h"
#include "external_readers.h"
#include "mini_json.h"
#include "pelmsg.h"
#include "rtf/rtf_html.h"
#include "sha256.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

struct Sample {
    std::string name;
    std::string path;
};

std::vector<Sample> Samples()
{
    std::vector<Sample> samples
        = { { "samples/winmail.dat", std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat" } };
    if (CorpusAvailable()) {
        std::vector<Sample> corpus;
        for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("tnef")))
            corpus.push_back({ entry.path().filename().string(), entry.path().string() });
        std::sort(corpus.begin(), corpus.end(), [](const Sample& a, const Sample& b) { return a.name < b.name; });
        samples.insert(samples.end(), corpus.begin(), corpus.end());
    }
    return samples;
}

// Text as a reader shows it, for comparing: without blanks and control characters, which markup and header
// folding move about.
std::string Squeezed(const std::string& utf8)
{
    std::string out;
    for (char c : utf8)
        if (static_cast<unsigned char>(c) > 0x20)
            out += c;
    return out;
}

// What a header field holds after our writer made it safe: control characters are blanks.
std::string HeaderView(const WideString& text)
{
    WideString safe = text;
    for (char16_t& c : safe)
        if ((c < 0x20 && c != u'\t') || c == 0x7F)
            c = u' ';
    return U8(safe);
}

// The body texts the mail should carry, in order, as the writer's layout table gives them.
struct Expectation {
    std::string topType;
    std::vector<std::pair<std::string, std::string>> bodies; // subtype, text
    bool alternative = false;
};

Expectation Expect(const TMSGProperties& message)
{
    Expectation e;
    std::string plain = U8(message.PlainBody()), rtf = U8(message.RtfBody()), html = U8(message.HtmlBody());
    int n = !plain.empty() + !rtf.empty() + !html.empty();
    int a = message.AttachmentCount();
    std::string extracted = html.empty() && !rtf.empty() ? ExtractHtmlFromRtf(rtf) : std::string();
    if (a == 0 && n <= 1) {
        if (!plain.empty())
            e.bodies.push_back({ "plain", plain });
        else if (!html.empty())
            e.bodies.push_back({ "html", html });
        else if (!extracted.empty())
            e.bodies.push_back({ "html", extracted });
        else if (!rtf.empty())
            e.bodies.push_back({ "rtf", rtf });
        e.topType = "text/" + (e.bodies.empty() ? std::string("plain") : e.bodies[0].first);
        return e;
    }
    if (!plain.empty())
        e.bodies.push_back({ "plain", plain });
    if (!rtf.empty())
        e.bodies.push_back({ "rtf", rtf });
    if (!html.empty())
        e.bodies.push_back({ "html", html });
    else if (!extracted.empty())
        e.bodies.push_back({ "html", extracted });
    e.alternative = a == 0;
    e.topType = a == 0 ? "multipart/alternative" : "multipart/related";
    return e;
}

struct OracleFile {
    std::string name;
    size_t size = 0;
    std::string sha256;
};

std::vector<OracleFile> OracleAttachments(const std::string& file)
{
    std::string path = CorpusPath("oracle/" + file + ".json");
    if (!std::filesystem::exists(path))
        return {};
    Json oracle = Json::Parse(ReadFileBytes(path));
    if (oracle["tnef_extract"]["rc"].number != 0)
        return {};
    std::vector<OracleFile> out;
    for (const Json& f : oracle["tnef_extract"]["files"].array) {
        const std::string& name = f["name"].string;
        if (name != "message.rtf" && name != "message.html" && name != "message.txt")
            out.push_back({ name, static_cast<size_t>(f["size"].number), f["sha256"].string });
    }
    return out;
}

// Whether the tool's file holds our attachment's bytes: the same bytes, or for an object the 16-byte interface
// identifier that precedes it in the TNEF stream and then the same bytes.
bool OracleHolds(const OracleFile& x, const std::string& data, const std::string& raw)
{
    if (x.sha256 == Sha256Hex(data))
        return true;
    if (x.size != data.size() + 16 || data.empty())
        return false;
    size_t at = raw.find(data);
    return at != std::string::npos && at >= 16 && Sha256Hex(raw.substr(at - 16, 16 + data.size())) == x.sha256;
}

} // namespace

TEST(ExportCorpus, RealReadersAcceptWhatTheWritersMake)
{
    if (!ToolAvailable(kXmllint) || !ToolAvailable(kPython))
        GTEST_SKIP() << "xmllint or " << kPython << " not found";
    if (!CorpusAvailable())
        std::printf("corpus not found at %s: only the bundled sample is checked\n", CorpusPath("").c_str());
    ScopedTimeZone zone("Europe/Berlin");
    TempDir dir;
    int exported = 0, attachmentsCompared = 0, oracleMatches = 0;
    std::vector<std::string> notLoaded, withoutOracle;
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        TPelTNEFFile file;
        try {
            file.LoadFromFile(sample.path);
        } catch (const EPelMsgError& e) {
            notLoaded.push_back(sample.name + ": " + e.what());
            continue;
        }
        ++exported;
        const TMSGProperties& message = file.Properties();
        const std::string base = dir.File("out");

        // XML, with and without the property listing.
        for (bool withProperties : { false, true }) {
            file.SaveToXMLFile(base + ".xml", withProperties);
            CommandResult lint = XmlLint(base + ".xml");
            EXPECT_EQ(lint.ExitCode, 0) << lint.Output;
            EXPECT_EQ(lint.Output, "");
        }

        // HTML: the message's own page and the generated page; both show the sender and the subject.
        for (bool withProperties : { false, true }) {
            SCOPED_TRACE(withProperties ? "generated page" : "message page");
            file.SaveToHTMLFile(base + ".html", withProperties);
            CommandResult lint = XmlLint(base + ".html", true);
            EXPECT_EQ(lint.ExitCode, 0) << lint.Output;
            std::string text = Squeezed(HtmlTextContent(base + ".html"));
            EXPECT_NE(text.find(Squeezed("Subject: " + U8(message.Subject()))), std::string::npos);
            EXPECT_NE(text.find(Squeezed("From: " + U8(message.From()))), std::string::npos);
        }

        file.SaveToTextFile(base + ".txt", true);

        // Mail.
        file.SaveToEMLFile(base + ".eml");
        Json mail = EmlSummary(base + ".eml");
        Expectation expected = Expect(message);
        EXPECT_EQ(mail["type"].string, expected.topType) << MimeTree(mail);
        EXPECT_EQ(mail["headers"]["subject"]["text"].string, HeaderView(message.Subject()));
        std::function<void(const Json&)> noDefects = [&](const Json& part) {
            EXPECT_TRUE(part["defects"].array.empty()) << part["type"].string;
            for (const Json& child : part["parts"].array)
                noDefects(child);
        };
        noDefects(mail);

        // The parts in order: bodies (those of a nested alternative part first), then attachments.
        std::vector<const Json*> parts;
        if (mail["parts"].IsNull()) {
            parts.push_back(&mail);
        } else {
            for (const Json& part : mail["parts"].array) {
                if (part["type"].string == "multipart/alternative" && &part == &mail["parts"].array[0])
                    for (const Json& body : part["parts"].array)
                        parts.push_back(&body);
                else
                    parts.push_back(&part);
            }
        }
        const size_t attachments = static_cast<size_t>(message.AttachmentCount());
        ASSERT_EQ(parts.size(), expected.bodies.size() + attachments + (expected.bodies.empty() && !attachments))
            << MimeTree(mail);
        for (size_t i = 0; i < expected.bodies.size(); ++i) {
            const Json& part = *parts[i];
            EXPECT_EQ(part["type"].string, "text/" + expected.bodies[i].first);
            bool last = expected.alternative && i + 1 == expected.bodies.size();
            EXPECT_EQ(part["text"].string, expected.bodies[i].second + (last ? "" : "\r\n"))
                << "charset " << part["charset"].string << " " << part["text_error"].string;
        }

        const std::string raw = ReadFileBytes(sample.path);
        std::vector<OracleFile> oracle = OracleAttachments(sample.name);
        if (oracle.empty() && attachments > 0)
            withoutOracle.push_back(sample.name);
        for (size_t i = 0; i < attachments; ++i) {
            SCOPED_TRACE("attachment " + std::to_string(i));
            const Json& part = *parts[expected.bodies.size() + i];
            const TMSGProperty* node = message.Attachments(static_cast<int>(i));
            ASSERT_TRUE(node);
            EXPECT_EQ(part["filename"].string, node->AttachmentFileName(static_cast<int>(i)));
            const TMSGProperty* data = node->AttachmentDataNode();
            if (node->IsEmbeddedMessage() && data && !data->SubProperties.Empty()) {
                EXPECT_EQ(part["type"].string, "message/rfc822");
                EXPECT_EQ(
                    part["message"]["headers"]["subject"]["text"].string, HeaderView(data->SubProperties.Subject()));
                continue;
            }
            std::string bytes = data ? ValueAsBytes(data->Value) : std::string();
            EXPECT_EQ(part["sha256"].string, Sha256Hex(bytes));
            ++attachmentsCompared;
            if (!oracle.empty()) {
                bool held = std::any_of(
                    oracle.begin(), oracle.end(), [&](const OracleFile& x) { return OracleHolds(x, bytes, raw); });
                oracleMatches += held;
                EXPECT_TRUE(held) << "the TNEF tool extracted no file with these bytes";
            }
        }
    }
    std::printf("%d messages exported; %d attachments compared, %d of them with the TNEF tool's files\n", exported,
        attachmentsCompared, oracleMatches);
    for (const std::string& line : notLoaded)
        std::printf("not loaded: %s\n", line.c_str());
    // The tool extracts nothing from these (checksum errors, see tnef_corpus_test), or the file is our own sample.
    for (const std::string& name : withoutOracle)
        std::printf("attachments compared with our own data only: %s\n", name.c_str());
    if (CorpusAvailable()) {
        EXPECT_GE(exported, 40);
        EXPECT_GE(oracleMatches, 40);
    }
}
