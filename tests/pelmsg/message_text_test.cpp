// Texts of a message decoded by the code page they are written in: the HTML taken out of an RTF body from the
// stored bytes, an HTML body stored as bytes in its own charset; and the one rule that names a property.

#include <gtest/gtest.h>

#include "external_readers.h"
#include "lzfu.h"
#include "mini_json.h"
#include "pelmsg.h"
#include "test_support.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::unique_ptr<TPelTNEFFile> Load(const TnefPropList& props)
{
    const std::string bytes = TnefBuilder().Version().MessageClass("IPM.Note").MapiProps(props).Bytes();
    auto file = std::make_unique<TPelTNEFFile>();
    TSpanStream stream(bytes);
    file->LoadFromStream(stream);
    return file;
}

const TMSGProperty* FindById(const TMSGProperties& c, uint16_t id)
{
    return c.FindProperty(MakeTag(id, 0), true, true);
}

// PSETID_Common as stored (little-endian GUID).
constexpr std::array<uint8_t, 16> kCommonSet
    = { 0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

} // namespace

// Item 2: raw 8-bit characters of an RTF body are in the RTF's code page, not the message's; the HTML taken out
// of it (the preview's and the .eml's) starts from the stored bytes.
TEST(RtfBodyBytes, RawCharactersReachTheHtmlInTheRtfCodePage)
{
    const std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                            "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <body>}caf\xE9 caf\\'e9{\\*\\htmltag27 </html>}}";
    // The message's own strings are Cyrillic: through its code page the raw byte would read "й".
    auto file
        = Load(std::move(TnefPropList().Long(kIdMessageCodePage, 1251).Binary(kIdRtfCompressed, CompressRtfLzfu(rtf))));
    const TMSGProperties& message = file->Properties();
    EXPECT_EQ(message.RtfBodyBytes(), rtf);
    EXPECT_EQ(ExtractHtmlFromRtf(message.RtfBodyBytes()), " <html> <body>café café </html>");

    if (!ToolAvailable(kPython))
        GTEST_SKIP() << kPython << " not found: the mail file is not read back";
    TMemoryStream out;
    SaveToEML(message, &out);
    const Json eml = EmlSummaryOfBytes(out.TakeBytes());
    ASSERT_EQ(eml["type"].string, "text/html");
    EXPECT_NE(eml["text"].string.find("café café"), std::string::npos) << eml["text"].string;
}

// Item 3: an HTML body stored as bytes is in the charset its meta tag declares, else in the code page of the
// message's Internet form (INTERNET_CPID), else in the message's code page; the body, the value as text and the
// listings all read it so, while the message's other strings keep the message's code page.
TEST(HtmlBodyCodePage, TheBodyIsDecodedByItsOwnCharset)
{
    struct Row {
        int32_t messageCodePage; // 0: none
        int32_t internetCodePage; // 0: none
        std::string html;
        const char16_t* text;
        int32_t codePage;
        const char* shown; // what the HTML writer's page holds in UTF-8
    };
    const Row rows[] = {
        { 1252, 65001, "<p>Z\xC3\xBCrich \xE2\x82\xAC</p>", u"<p>Zürich €</p>", 65001, "Zürich €" },
        { 1251, 1252, "<p>Z\xFCrich</p>", u"<p>Zürich</p>", 1252, "Zürich" },
        { 1252, 0, "<meta charset=\"utf-8\"><p>Z\xC3\xBC</p>", u"<meta charset=\"utf-8\"><p>Zü</p>", 65001, "Zü" },
        { 0, 1252, "<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">\xE2\x82\xAC",
            u"<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">€", 65001, "€" },
        { 0, 0, "<p>Z\xFC</p>", u"<p>Zü</p>", 1252, "Zü" },
        { 1251, 0, "<p>\xCF\xF0\xE8</p>", u"<p>При</p>", 1251, "При" },
        // A code page nothing converts counts as none.
        { 1252, 999999, "<p>Z\xFC</p>", u"<p>Zü</p>", 1252, "Zü" },
    };
    for (const Row& row : rows) {
        TnefPropList props;
        if (row.messageCodePage)
            props.Long(kIdMessageCodePage, row.messageCodePage);
        if (row.internetCodePage)
            props.Long(kIdInternetCodePage, row.internetCodePage);
        props.String8(kIdSubject, "\xC0");
        props.Binary(kIdBodyHtml, row.html);
        auto file = Load(props);
        const TMSGProperties& message = file->Properties();
        const TMSGProperty* node = FindById(message, kIdBodyHtml);
        ASSERT_NE(node, nullptr);
        SCOPED_TRACE(row.html);
        EXPECT_EQ(node->ValueCodePage(), row.codePage);
        EXPECT_EQ(message.HtmlBody(), row.text);
        EXPECT_EQ(node->ValueText(), row.text);
        // The subject stays in the message's code page.
        const TMSGProperty* subject = FindById(message, kIdSubject);
        ASSERT_NE(subject, nullptr);
        EXPECT_EQ(subject->ValueCodePage(), message.TextCodePage());

        // The HTML writer shows the body itself.
        TMemoryStream out;
        SaveToHTML(message, &out, false);
        const std::string page = out.TakeBytes();
        EXPECT_NE(page.find(row.shown), std::string::npos) << page;
    }
}

TEST(HtmlBodyCodePage, AStringHtmlBodyIsListedInItsCharset)
{
    auto file = Load(std::move(TnefPropList()
                                   .Long(kIdMessageCodePage, 1252)
                                   .Long(kIdInternetCodePage, 65001)
                                   .String8(kIdBodyHtml, "<p>Z\xC3\xBCrich</p>")));
    const TMSGProperty* node = FindById(file->Properties(), kIdBodyHtml);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ListingValueText(*node, node->Collection()->TextCodePage()), u"<p>Zürich</p>");
}

// Item 4: a named property is called by its name and property set, in the window's tree and in pelmsg-dump
// alike; the dictionary's names for identifiers from 0x8000 belong to address-book properties.
TEST(PropertyNodeName, NamedPropertiesAreCalledByTheirNames)
{
    auto file = Load(std::move(TnefPropList()
                                   .NamedLong(0x8003, kCommonSet, 0x8501, 15)
                                   .NamedString8(0x8005, kCommonSet, "Keywords", "x")
                                   .String8(kIdSubject, "Hi")));
    const TMSGProperties& message = file->Properties();
    struct Row {
        uint16_t id;
        const char* name;
    };
    for (const Row& row : { Row { 0x8003, "0x8501 (PSETID_Common)" }, Row { 0x8005, "Keywords (PSETID_Common)" },
             Row { kIdSubject, "SUBJECT" } }) {
        const TMSGProperty* node = FindById(message, row.id);
        ASSERT_NE(node, nullptr) << row.name;
        EXPECT_EQ(PropertyNodeName(*node), row.name);
    }
#ifdef PELMSG_DUMP
    TempDir dir;
    const std::string path = dir.File("named.tnef");
    WriteFileBytes(path,
        TnefBuilder()
            .Version()
            .MessageClass("IPM.Note")
            .MapiProps(std::move(TnefPropList().NamedLong(0x8003, kCommonSet, 0x8501, 15)))
            .Bytes());
    const CommandResult run = RunCommand(std::string(PELMSG_DUMP) + " " + ShellQuote(path));
    EXPECT_NE(run.Output.find("0x8501 (PSETID_Common)"), std::string::npos) << run.Output;
    EXPECT_EQ(run.Output.find("AUTHENTICATION_WARNING"), std::string::npos) << run.Output;
#endif
}

// Item 9: the zero date-time (a date that could not be read, or none) is no date: its value text is empty, and no
// writer prints it as 30 December 1899, in the message's header lines or in the property listings.
TEST(ZeroDate, IsNoDateInTheValueTextAndTheWriters)
{
    const std::string zeroShown = WideToUtf8(LocaleDateTimeText(0));
    ASSERT_FALSE(zeroShown.empty());
    TPelTNEFFile file;
    TMSGProperty* sent = file.Properties().Add();
    sent->TagID = 0x00390040;
    sent->Value = TDateTime { 0 };
    TMSGProperty* subject = file.Properties().Add();
    subject->TagID = 0x0037001F;
    subject->Value = WideString(u"No date");
    EXPECT_EQ(sent->ValueText(), u"");
    EXPECT_EQ(ListingValueText(*sent, 1252), u"");
    // A real date is still shown.
    sent->Value = TDateTime { 2.5 };
    EXPECT_EQ(sent->ValueText(), LocaleDateTimeText(2.5));
    sent->Value = TDateTime { 0 };

    const TMSGProperties& message = file.Properties();
    for (int format = 0; format < 3; ++format) {
        TMemoryStream out;
        if (format == 0)
            SaveToText(message, &out, true);
        else if (format == 1)
            SaveToHTML(message, &out, true);
        else
            SaveToXML(message, &out, true);
        const std::string text = out.TakeBytes();
        EXPECT_NE(text.find("No date"), std::string::npos) << format;
        EXPECT_EQ(text.find(zeroShown), std::string::npos) << format << "\n" << text;
        EXPECT_EQ(text.find("1899"), std::string::npos) << format;
        EXPECT_EQ(text.find("Sent:"), std::string::npos) << format;
    }
}
