// Real readers judge what the writers make of real messages: the bundled sample and every TNEF file of the corpus
// that loads. xmllint reads the XML and HTML files, Python's email package the mail files; the attachments the
// mail carries are compared with our own attachment data and with what the independent TNEF tool extracted.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "calendar/appointment.h"
#include "export/invitation_part.h"
#include "export/writer_support.h"
#include "external_readers.h"
#include "mini_json.h"
#include "pelmsg.h"
#include "rtf/rtf_html.h"
#include "sha256.h"
#include "test_support.h"
#include "text/ascii_case.h"

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
    // A meeting message or task request carries its item as a text/calendar alternative after the others, beside
    // a plain body (made from the RTF one when it has none).
    const std::optional<TInvitationPart> invitation = InvitationPart(message);
    if (invitation)
        ++n;
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
    if (invitation) {
        if (const std::string text = U8(ItemBodyText(message)); plain.empty() && !text.empty())
            e.bodies.insert(e.bodies.begin(), { "plain", text });
        e.bodies.push_back({ "calendar", invitation->Text });
    }
    e.alternative = a == 0;
    e.topType = a == 0 ? "multipart/alternative" : "multipart/mixed";
    return e;
}

// The charset an HTML document's meta tag names ("charset=" up to a quote, ";", blank or ">"), and the document
// with that name taken out.
std::pair<size_t, size_t> MetaCharsetSpan(const std::string& html)
{
    std::string lower = LowerAscii(html.substr(0, 64 * 1024));
    for (size_t meta = lower.find("<meta"); meta != std::string::npos; meta = lower.find("<meta", meta + 5)) {
        size_t end = lower.find('>', meta);
        size_t at = lower.find("charset", meta);
        if (at == std::string::npos || at > end)
            continue;
        at += 7;
        while (at < end && (lower[at] == ' ' || lower[at] == '=' || lower[at] == '"' || lower[at] == '\''))
            ++at;
        size_t stop = lower.find_first_of("\"'; />", at);
        return { at, stop };
    }
    return { std::string::npos, std::string::npos };
}

std::string MetaCharset(const std::string& html)
{
    auto [at, stop] = MetaCharsetSpan(html);
    return at == std::string::npos ? std::string() : html.substr(at, stop - at);
}

std::string WithoutMetaCharset(std::string html)
{
    auto [at, stop] = MetaCharsetSpan(html);
    if (at != std::string::npos)
        html.erase(at, stop - at);
    return html;
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
            SaveToXMLFile(file.Properties(), base + ".xml", withProperties);
            CommandResult lint = XmlLint(base + ".xml");
            EXPECT_EQ(lint.ExitCode, 0) << lint.Output;
            EXPECT_EQ(lint.Output, "");
        }

        // HTML: the message's own page and the generated page; both show the sender and the subject.
        for (bool withProperties : { false, true }) {
            SCOPED_TRACE(withProperties ? "generated page" : "message page");
            SaveToHTMLFile(file.Properties(), base + ".html", withProperties);
            CommandResult lint = XmlLint(base + ".html", true);
            EXPECT_EQ(lint.ExitCode, 0) << lint.Output;
            std::string text = Squeezed(HtmlTextContent(base + ".html"));
            EXPECT_NE(text.find(Squeezed("Subject: " + U8(message.Subject()))), std::string::npos);
            EXPECT_NE(text.find(Squeezed("From: " + U8(message.From()))), std::string::npos);
        }

        SaveToTextFile(file.Properties(), base + ".txt", true);

        // Mail.
        SaveToEMLFile(file.Properties(), base + ".eml");
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

        // The leaf parts in order (attached messages count as one): the bodies first (inside an alternative or a
        // related part when there are several), then the attachments, those the HTML shows beside it first.
        std::vector<const Json*> parts;
        std::function<void(const Json&)> leaves = [&](const Json& part) {
            if (part["parts"].IsNull()) {
                parts.push_back(&part);
                return;
            }
            for (const Json& child : part["parts"].array)
                leaves(child);
        };
        leaves(mail);
        const size_t attachments = static_cast<size_t>(message.AttachmentCount());
        ASSERT_EQ(parts.size(), expected.bodies.size() + attachments + (expected.bodies.empty() && !attachments))
            << MimeTree(mail);
        // Every attachment is one the mail reader offers as such.
        if (attachments > 0) {
            EXPECT_EQ(mail["attachments"].array.size(), attachments) << MimeTree(mail);
        }
        for (size_t i = 0; i < expected.bodies.size(); ++i) {
            const Json& part = *parts[i];
            EXPECT_EQ(part["type"].string, "text/" + expected.bodies[i].first);
            bool last = expected.alternative && i + 1 == expected.bodies.size();
            std::string text = part["text"].string, body = expected.bodies[i].second;
            if (expected.bodies[i].first == "html") {
                // The HTML's own charset declaration is made to name the part's charset.
                EXPECT_EQ(LowerAscii(MetaCharset(text)), MetaCharset(body).empty() ? "" : part["charset"].string);
                text = WithoutMetaCharset(text);
                body = WithoutMetaCharset(body);
            }
            EXPECT_EQ(text, body + (last ? "" : "\r\n"))
                << "charset " << part["charset"].string << " " << part["text_error"].string;
        }

        const std::string raw = ReadFileBytes(sample.path);
        std::vector<OracleFile> oracle = OracleAttachments(sample.name);
        if (oracle.empty() && attachments > 0)
            withoutOracle.push_back(sample.name);
        std::vector<bool> used(parts.size(), false);
        for (size_t i = 0; i < attachments; ++i) {
            SCOPED_TRACE("attachment " + std::to_string(i));
            const TMSGProperty* node = message.Attachments(static_cast<int>(i));
            ASSERT_TRUE(node);
            const TMSGProperty* data = node->AttachmentDataNode();
            const bool isMessage = node->IsEmbeddedMessage() && data && !data->SubProperties.Empty();
            std::string fileName = node->AttachmentFileName(static_cast<int>(i));
            if (isMessage) {
                if (fileName.empty())
                    fileName = node->AttachmentDisplayName(static_cast<int>(i));
                if (fileName.size() < 4 || fileName.substr(fileName.size() - 4) != ".eml")
                    fileName += ".eml";
            }
            std::string bytes = data && !isMessage ? ValueAsBytes(data->Value) : std::string();
            // The part of this attachment: the first one not yet matched with its file name (and bytes).
            const Json* found = nullptr;
            for (size_t k = expected.bodies.size(); k < parts.size() && !found; ++k) {
                const Json& part = *parts[k];
                if (used[k] || part["filename"].string != fileName)
                    continue;
                if (isMessage ? part["type"].string != "message/rfc822" : part["sha256"].string != Sha256Hex(bytes))
                    continue;
                used[k] = true;
                found = &part;
            }
            ASSERT_TRUE(found) << fileName << " in " << MimeTree(mail);
            if (isMessage) {
                EXPECT_EQ(
                    (*found)["message"]["headers"]["subject"]["text"].string, HeaderView(data->SubProperties.Subject()));
                continue;
            }
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
