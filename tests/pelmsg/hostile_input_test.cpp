// Crafted inputs of the shapes that made the library slow, hungry or wrong: growth is checked by counting work
// (never by a clock), and each output is read back as a mail program or a person would.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <new>
#include <string>
#include <vector>

#include "export_fixtures.h"
#include "external_readers.h"
#include "lzfu.h"
#include "mini_json.h"
#include "model/lookup_work.h"
#include "pelmsg.h"
#include "sha256.h"
#include "test_support.h"
#include "tnef_builder.h"

namespace pelmsg::test {
namespace {

std::string EmlOf(const TMSGProperties& message)
{
    TMemoryStream out;
    SaveToEML(message, &out);
    return out.TakeBytes();
}

void LoadTnef(TPelTNEFFile& file, const std::string& bytes)
{
    TMemoryStream stream(bytes);
    file.LoadFromStream(stream);
}

std::string Numbered(const char* prefix, int i) { return prefix + std::to_string(i); }

// A TNEF message whose DISPLAY_TO names n recipients, each with a row of its own.
std::string RecipientMessage(int n, const std::string& sameName = {})
{
    std::string to;
    std::vector<TnefPropList> rows;
    for (int i = 0; i < n; ++i) {
        std::string name = sameName.empty() ? Numbered("Person ", i) : sameName;
        to += (i ? ";" : "") + name;
        TnefPropList row;
        row.String8(kIdDisplayName, name).String8(kIdSmtpAddress, Numbered("p", i) + "@example.org");
        rows.push_back(row);
    }
    TnefPropList props;
    props.String8(kIdDisplayTo, to).String8(kIdSubject, "many");
    return TnefBuilder().Version().MapiProps(props).RecipientTable(rows).Bytes();
}

uint64_t ResolutionWork(int n)
{
    TPelTNEFFile file;
    LoadTnef(file, RecipientMessage(n));
    LookupWork() = {};
    WideString list = file.Properties().ToList();
    EXPECT_NE(list.find(W("\"Person " + std::to_string(n - 1) + "\" <p" + std::to_string(n - 1) + "@example.org>")),
        WideString::npos);
    return LookupWork().NodesExamined;
}

TEST(HostileTime, RecipientResolutionIsLinear)
{
    const uint64_t small = ResolutionWork(500), large = ResolutionWork(4000);
    // Each row's few properties are looked at once: eight times the recipients, about eight times the work.
    EXPECT_LE(large, 9 * small) << small << " " << large;
}

TEST(HostileWrongOutput, EqualDisplayNamesPairWithRowsInOrderAndNeverNest)
{
    TPelTNEFFile file;
    LoadTnef(file, RecipientMessage(3, "Bob"));
    EXPECT_EQ(U8(file.Properties().ToList()), "Bob <p0@example.org>;Bob <p1@example.org>;Bob <p2@example.org>");
    // The mail program sees each address once.
    Json mail = EmlSummaryOfBytes(EmlOf(file.Properties()));
    const Json& to = mail["headers"]["to"]["addresses"];
    ASSERT_EQ(to.array.size(), 3u) << mail["headers"]["to"]["text"].string;
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(to.array[i].array[1].string, std::string("p").append(std::to_string(i)).append("@example.org"));
    // A name mentioned more often than rows carry it keeps the last row's address; other names stay as they are.
    TMSGProperties tree;
    TMSGProperty* row = AddNode(tree, kTagRecipientRow);
    AddNode(row->SubProperties, kTagDisplayName, ByteString("Ann"));
    AddNode(row->SubProperties, MakeTag(kIdSmtpAddress, PT_STRING8), ByteString("ann@example.org"));
    EXPECT_EQ(U8(tree.ResolveRecipientList(u"Ann; Ann;Carl")),
        "Ann <ann@example.org>;Ann <ann@example.org>;Carl");
}

// A message block of n legacy date records (14 bytes each) besides its properties.
uint64_t DeferredDateWork(int n)
{
    TnefBuilder builder;
    builder.Version();
    for (int i = 0; i < n; ++i)
        builder.DateRecord(1, 0x00038005, 2020, 1, 1 + i % 28, 10, 0, 0);
    TnefPropList props;
    for (int i = 0; i < n; ++i)
        props.Long(static_cast<uint16_t>(0x6000 + i % 0x100), i);
    builder.MapiProps(props);
    TPelTNEFFile file;
    LookupWork() = {};
    LoadTnef(file, builder.Bytes());
    // The first record is kept once, as a date the message had no other of.
    int dates = 0;
    for (const TMSGProperty* node : file.Properties())
        dates += node->TagID == 0x00390040;
    EXPECT_EQ(dates, 1);
    return LookupWork().NodesExamined;
}

TEST(HostileTime, DeferredLegacyDatesAreCollectedOnce)
{
    const uint64_t small = DeferredDateWork(1000), large = DeferredDateWork(8000);
    EXPECT_LE(large, 9 * small + 100) << small << " " << large;
}

TEST(HostileTime, MimeBoundaryIsChosenInOnePass)
{
    // Bodies full of boundary-like lines, and an attached message that quotes the boundary prefix.
    std::string text = std::string(200000, 'x') + "\r\n";
    for (int i = 0; i < 2000; ++i)
        text += "--AB9DB43ABB3246E63E5_" + std::to_string(i) + "\r\n----=_Part_" + std::to_string(i) + "\r\n";
    TPelTNEFFile file;
    TnefPropList props;
    props.String8(kIdSubject, "boundaries").String8(kIdBody, text).String8(kIdBodyHtml, "<p>" + text + "</p>");
    TnefPropList attachment;
    attachment.String8(kIdAttachLongFileName, "a.txt").Binary(kIdAttachDataObject, text);
    LoadTnef(file, TnefBuilder().Version().MapiProps(props).AttachRenddata().AttachmentProps(attachment).Bytes());
    LookupWork() = {};
    const std::string eml = EmlOf(file.Properties());
    EXPECT_EQ(LookupWork().BoundaryPasses, 1u);
    Json mail = EmlSummaryOfBytes(eml);
    ASSERT_EQ(mail["type"].string, "multipart/mixed") << MimeTree(mail);
    const Json& body = mail["parts"].array[0];
    ASSERT_EQ(body["type"].string, "multipart/alternative") << MimeTree(mail);
    EXPECT_EQ(body["parts"].array[0]["text"].string, text + "\r\n");
    EXPECT_EQ(mail["parts"].array[1]["sha256"].string, Sha256Hex(text));
}

// ---- Memory ----

TEST(HostileMemory, NodesAreLimitedByTheInputSize)
{
    // Properties of four bytes each: far more nodes than a file of this size can honestly hold.
    TnefPropList props;
    const int count = 60000;
    for (int i = 0; i < count; ++i)
        props.Raw(MakeTag(static_cast<uint16_t>(0x6000 + i % 0x100), 0x0001), "");
    const std::string bytes = TnefBuilder().Version().MapiProps(props).Bytes();
    ASSERT_GT(static_cast<size_t>(count), TPelMessage::NodeLimitFor(static_cast<int64_t>(bytes.size())));
    TPelTNEFFile file;
    try {
        LoadTnef(file, bytes);
        FAIL() << "loaded " << file.Properties().Count() << " nodes";
    } catch (const EFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("more properties than a file of its size can"), std::string::npos);
    }
    // The sample and every honest message stay far below the limit.
    TPelTNEFFile sample;
    sample.LoadFromFile(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    EXPECT_GT(sample.Properties().Count(), 0);
}

// A stream whose writes fail as memory does.
class TExhaustedStream final : public TStream {
public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t) override { throw std::bad_alloc(); }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    int64_t Size() const override { return 0; }
    int64_t Position() const override { return 0; }
};

TEST(HostileMemory, AllocationFailureIsTheLibrarysError)
{
    TMSGProperties tree;
    AddNode(tree, MakeTag(kIdSubject, PT_STRING8), ByteString("x"));
    TExhaustedStream stream;
    const std::vector<std::pair<const char*, std::function<void()>>> saves = {
        { "write the mail", [&] { SaveToEML(tree, &stream); } },
        { "write the text", [&] { SaveToText(tree, &stream, true); } },
        { "write the page", [&] { SaveToHTML(tree, &stream, true); } },
        { "write the XML", [&] { SaveToXML(tree, &stream, true); } },
        { "write the .msg file", [&] { SaveToMSG(tree, stream, true); } },
    };
    for (const auto& [what, save] : saves) {
        try {
            save();
            ADD_FAILURE() << what;
        } catch (const EPelMsgError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Not enough memory to ") + what);
        }
    }
}

// A chain of attached messages, the innermost carrying a file.
std::string NestedMessages(int depth, const std::string& data)
{
    TnefPropList attachment;
    attachment.String8(kIdAttachLongFileName, "data.bin").Binary(kIdAttachDataObject, data);
    std::string inner = TnefBuilder()
                            .Version()
                            .MapiProps(TnefPropList().String8(kIdSubject, "level " + std::to_string(depth)))
                            .AttachRenddata()
                            .AttachmentProps(attachment)
                            .Bytes();
    for (int level = depth - 1; level >= 0; --level) {
        TnefPropList holder;
        holder.String8(kIdAttachLongFileName, "message " + std::to_string(level)).Object(kIdAttachDataObject, inner);
        inner = TnefBuilder()
                    .Version()
                    .MapiProps(TnefPropList().String8(kIdSubject, "level " + std::to_string(level)))
                    .AttachRenddata()
                    .AttachmentProps(holder)
                    .Bytes();
    }
    return inner;
}

TEST(HostileMemory, NestedAttachedMessagesAreListedOnce)
{
    const std::string data(1 << 20, '\x7F');
    TPelTNEFFile file;
    LoadTnef(file, NestedMessages(7, data));
    for (bool xml : { false, true }) {
        SCOPED_TRACE(xml ? "xml" : "text");
        const std::string listing = xml ? XmlOf(file.Properties(), true) : TextOf(file.Properties(), true);
        // Every level's parsed properties are there, the raw bytes of none.
        EXPECT_LT(listing.size(), 64u * 1024) << listing.substr(0, 2000);
        EXPECT_NE(listing.find("level 7"), std::string::npos);
        EXPECT_NE(listing.find("attached message, "), std::string::npos);
        EXPECT_NE(listing.find("7F 7F 7F 7F ... (1,048,576 bytes)"), std::string::npos);
    }
}

// ---- Output that must be right ----

TEST(HostileWrongOutput, ListingsShowBinaryValuesAsBoundedHexadecimal)
{
    TMSGProperties tree;
    AddNode(tree, MakeTag(kIdSubject, PT_STRING8), ByteString("bin"));
    AddNode(tree, MakeTag(0x0FF9, PT_BINARY), ByteString(std::string("\x00\x01\xAB\xFF", 4)));
    AddNode(tree, MakeTag(0x0FFA, PT_BINARY), ByteString(std::string(5000, '\0')));
    AddNode(tree, MakeTag(0x0FFB, PT_CLSID),
        ByteString(std::string("\x86\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16)));
    const std::string text = TextOf(tree, true), html = HtmlOf(tree, true), xml = XmlOf(tree, true);
    for (const std::string* listing : { &text, &html, &xml }) {
        EXPECT_EQ(listing->find('\0'), std::string::npos);
        EXPECT_NE(listing->find("00 01 AB FF"), std::string::npos);
        EXPECT_NE(listing->find("00 00 ... (5,000 bytes)"), std::string::npos);
        EXPECT_NE(listing->find("{00020386-0000-0000-C000-000000000046}"), std::string::npos);
    }
    // The sample's text export is text: no NUL byte, no other control byte but TAB, CR and LF.
    TPelTNEFFile sample;
    sample.LoadFromFile(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    const std::string sampleText = TextOf(sample.Properties(), true);
    EXPECT_TRUE(std::none_of(sampleText.begin(), sampleText.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n';
    }));
}

TEST(HostileWrongOutput, Utf8IsCutAtCharacterBoundaries)
{
    const std::string text = "ab\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::pair<size_t, size_t> rows[] = { { 0, 0 }, { 2, 2 }, { 3, 2 }, { 4, 4 }, { 5, 4 }, { 6, 4 }, { 7, 7 },
        { 9, 7 }, { 10, 7 }, { 11, 11 }, { 50, 11 } };
    for (auto [limit, expected] : rows)
        EXPECT_EQ(Utf8Prefix(text, limit).size(), expected) << limit;
}

TEST(HostileWrongOutput, RtfTextIsNeverHtmlUnescaped)
{
    const std::string rtf = "{\\rtf1\\ansi Use &lt;b&gt;; &amp;amp; &#65; &copy;\\par}";
    TPelTNEFFile file;
    TnefPropList props;
    props.String8(kIdSubject, "rtf").Binary(kIdRtfCompressed, CompressRtfLzfu(rtf));
    LoadTnef(file, TnefBuilder().Version().MapiProps(props).Bytes());
    EXPECT_EQ(U8(file.Properties().RtfBody()), rtf);
    Json mail = EmlSummaryOfBytes(EmlOf(file.Properties()));
    EXPECT_EQ(mail["type"].string, "text/rtf");
    EXPECT_EQ(mail["text"].string, rtf + "\r\n");
}

// The Internet headers' property set, little-endian as stored.
constexpr std::array<uint8_t, 16> kInternetHeaders
    = { 0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };
constexpr std::array<uint8_t, 16> kPublicStrings
    = { 0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

TEST(HostileWrongOutput, AuthenticationWarningOnlyFromThatInternetHeader)
{
    // A custom property that happens to get identifier 0x8003.
    TnefPropList custom;
    custom.String8(kIdSubject, "s").NamedString8(0x8003, kPublicStrings, "Project", "Falcon");
    TPelTNEFFile file;
    LoadTnef(file, TnefBuilder().Version().MapiProps(custom).Bytes());
    std::string eml = EmlOf(file.Properties());
    EXPECT_EQ(eml.find("X-Authentication-Warning"), std::string::npos) << eml;
    EXPECT_EQ(eml.find("Falcon"), std::string::npos);
    // The real header, under whatever identifier the message gave it.
    TnefPropList real;
    real.String8(kIdSubject, "s").NamedString8(0x8111, kInternetHeaders, "x-authentication-warning", "host: a b");
    LoadTnef(file, TnefBuilder().Version().MapiProps(real).Bytes());
    eml = EmlOf(file.Properties());
    EXPECT_NE(eml.find("\r\nX-Authentication-Warning: host: a b\r\n"), std::string::npos) << eml;
}

TEST(HostileWrongOutput, HeaderLinesStayWithinWhatMailAllows)
{
    const std::string longName = std::string(4000, 'n') + ".txt";
    const std::string longWord = std::string(3000, 'w');
    TPelTNEFFile file;
    TnefPropList props;
    props.String8(kIdSubject, "x " + longWord + " y").String8(kIdBody, "b");
    TnefPropList attachment;
    attachment.String8(kIdAttachLongFileName, longName).Binary(kIdAttachDataObject, "data");
    LoadTnef(file, TnefBuilder().Version().MapiProps(props).AttachRenddata().AttachmentProps(attachment).Bytes());
    const std::string eml = EmlOf(file.Properties());
    size_t longest = 0;
    for (size_t from = 0; from < eml.size();) {
        size_t end = eml.find("\r\n", from);
        end = end == std::string::npos ? eml.size() : end;
        longest = std::max(longest, end - from);
        from = end + 2;
    }
    EXPECT_LE(longest, 998u);
    Json mail = EmlSummaryOfBytes(eml);
    EXPECT_EQ(mail["headers"]["subject"]["text"].string, "x " + longWord + " y");
    ASSERT_EQ(mail["attachments"].array.size(), 1u);
    EXPECT_EQ(mail["attachments"].array[0]["filename"].string, longName);
}

TEST(HostileWrongOutput, EightBitHtmlNeverReadAsUtf16)
{
    TMSGProperties tree;
    AddNode(tree, kTagMessageCodePage, int32_t { 1252 });
    AddNode(tree, MakeTag(kIdBodyHtml, PT_BINARY),
        ByteString("<html><head><meta charset=\"utf-16\"></head><body>caf\xE9</body></html>"));
    EXPECT_EQ(U8(tree.HtmlBody()), "<html><head><meta charset=\"utf-16\"></head><body>caf\xC3\xA9</body></html>");
}

TEST(HostileWrongOutput, MessagePageHeaderGoesAfterTheRealBodyTag)
{
    TMSGProperties tree;
    AddNode(tree, MakeTag(kIdSubject, PT_STRING8), ByteString("Subj"));
    AddNode(tree, MakeTag(kIdBodyHtml, PT_STRING8),
        ByteString("<html><head><meta charset=\"utf-8\"><!-- <body> --></head><body\tclass=\"x\"><p>text</p>"
                   "</body></html>"));
    const std::string page = HtmlOf(tree, false);
    const size_t header = page.find("<p><b>Subject:</b> Subj</p>");
    ASSERT_NE(header, std::string::npos);
    EXPECT_GT(header, page.find("<body\tclass=\"x\">"));
    EXPECT_LT(header, page.find("<p>text</p>"));
}

TEST(MailStructure, AttachmentsAroundTheBodyAndInlineImagesBesideIt)
{
    TMSGProperties tree;
    AddNode(tree, kTagMessageCodePage, int32_t { 1252 });
    AddNode(tree, MakeTag(kIdSubject, PT_STRING8), ByteString("structure"));
    AddNode(tree, MakeTag(kIdBody, PT_STRING8), ByteString("plain caf\xE9"));
    AddNode(tree, MakeTag(kIdBodyHtml, PT_STRING8),
        ByteString("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>"
                   "<body>caf\xC3\xA9 <img src=\"cid:Logo@1\"></body></html>"));
    auto attach = [&](const char* name, const char* type, const char* contentId, const std::string& data) {
        TMSGProperty* node = AddNode(tree, kTagTnefAttachment);
        AddNode(node->SubProperties, kTagAttachLongFileName, ByteString(name));
        AddNode(node->SubProperties, MakeTag(kIdAttachMimeTag, PT_STRING8), ByteString(type));
        if (contentId)
            AddNode(node->SubProperties, MakeTag(kIdAttachContentId, PT_STRING8), ByteString(contentId));
        AddNode(node->SubProperties, kTagAttachDataBinary, ByteString(data));
        return node;
    };
    attach("logo.png", "image/png", "logo@1", "PNG");
    attach("report.pdf", "application/pdf", "unused@2", "PDF");
    // An attached message.
    TMSGProperty* holder = AddNode(tree, kTagTnefAttachment);
    AddNode(holder->SubProperties, kTagAttachLongFileName, ByteString("Original request"));
    TMSGProperty* object = AddNode(holder->SubProperties, kTagAttachDataObject, ByteString("raw"));
    AddNode(object->SubProperties, MakeTag(0x001A, PT_STRING8), ByteString("IPM.Note"));
    AddNode(object->SubProperties, MakeTag(kIdSubject, PT_STRING8), ByteString("inner"));

    Json mail = EmlSummaryOfBytes(EmlOf(tree));
    EXPECT_EQ(MimeTree(mail),
        "multipart/mixed[multipart/related[multipart/alternative[text/plain,text/html],image/png],application/pdf,"
        "message/rfc822{text/plain}]");
    EXPECT_TRUE(mail["parts"].array[0]["defects"].array.empty());
    const std::string eml = EmlOf(tree);
    EXPECT_NE(eml.find("type=\"multipart/alternative\""), std::string::npos) << "the related part's root type";
    // Every attachment is one a mail program lists, the image shown inline too.
    ASSERT_EQ(mail["attachments"].array.size(), 3u);
    EXPECT_EQ(mail["attachments"].array[0]["filename"].string, "report.pdf");
    EXPECT_EQ(mail["attachments"].array[1]["filename"].string, "Original request.eml");
    EXPECT_EQ(mail["attachments"].array[1]["type"].string, "message/rfc822");
    EXPECT_EQ(mail["attachments"].array[2]["filename"].string, "logo.png");
    // The HTML part's charset and its meta declaration agree.
    const Json& html = mail["parts"].array[0]["parts"].array[0]["parts"].array[1];
    EXPECT_EQ(html["charset"].string, "windows-1252");
    std::string lower = html["text"].string;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_NE(lower.find("charset=windows-1252\""), std::string::npos) << html["text"].string;
    EXPECT_NE(html["text"].string.find("caf\xC3\xA9"), std::string::npos);
}

TEST(HostileWrongOutput, ImportanceIsClamped)
{
    const std::pair<int32_t, const char*> rows[] = { { 300, "2" }, { -5, "4" }, { 2, "2" }, { 0, "4" }, { 1, "3" } };
    for (auto [importance, priority] : rows) {
        TMSGProperties tree;
        AddNode(tree, kTagImportance, importance);
        const std::string eml = EmlOf(tree);
        EXPECT_NE(eml.find(std::string("\r\nX-Priority: ") + priority + "\r\n"), std::string::npos) << importance;
    }
    // PRIORITY reaches the lowest and highest levels (-2 and 2) the preview's banner shows, and no further.
    const std::pair<int32_t, const char*> priorityRows[] = { { 300, "1" }, { 2, "1" }, { 1, "2" }, { -2, "5" },
        { -300, "5" } };
    for (auto [value, priority] : priorityRows) {
        TMSGProperties tree;
        AddNode(tree, kTagPriority, value);
        const std::string eml = EmlOf(tree);
        EXPECT_NE(eml.find(std::string("\r\nX-Priority: ") + priority + "\r\n"), std::string::npos) << value;
    }
}

} // namespace
} // namespace pelmsg::test
