// Which properties the message fields come from, and how names and addresses are combined.

#include <gtest/gtest.h>

#include "export_fixtures.h"
#include "lzfu.h"
#include "pelmsg.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

TMSGProperty* Add(TMSGProperties& c, uint32_t tag, TValue value = {}) { return AddNode(c, tag, std::move(value)); }

TMSGProperty* Recipient(TMSGProperties& c, const std::string& name, const std::string& smtp)
{
    TMSGProperty* row = Add(c, 0x0C000000);
    Add(row->SubProperties, 0x3001001F, W(name));
    if (!smtp.empty())
        Add(row->SubProperties, 0x39FE001F, W(smtp));
    return row;
}

} // namespace

TEST(MessageFields, SubjectAndBodiesPreferWideAndStayAtTheirLevel)
{
    TPelMessage m;
    TMSGProperties& p = m.Properties();
    Add(p, 0x0070001E, ByteString("topic"));
    EXPECT_EQ(U8(p.Subject()), "topic");
    Add(p, 0x0037001E, ByteString("narrow"));
    Add(p, 0x0037001F, W("wide"));
    EXPECT_EQ(U8(p.Subject()), "wide");
    // A body of an attached message is not the message's own; asked on the attached message, it is.
    TMSGProperty* att = Add(p, 0x370A0102);
    TMSGProperty* object = Add(att->SubProperties, 0x3701000D, ByteString("x"));
    Add(object->SubProperties, 0x1000001E, ByteString("inner body"));
    EXPECT_EQ(p.PlainBody(), u"");
    EXPECT_EQ(U8(att->SubProperties.PlainBody()), "inner body");
    EXPECT_EQ(m.PlainBody(), u"");
}

TEST(MessageFields, SentDateFromTheHeaderOrTheProperties)
{
    ScopedTimeZone zone("Europe/Moscow");
    TPelMessage m;
    TMSGProperties& p = m.Properties();
    auto submit = TryEncodeDateTime(2001, 1, 2, 3, 4, 5);
    Add(p, 0x00390040, TDateTime { *submit });
    EXPECT_EQ(p.SentDate(), *submit);
    TMSGProperty* headers = Add(p, 0x007D001E, ByteString("Received: x\r\nDate: Tue, 5 Mar 2002 09:07:03 +0300\r\n"));
    TDateParts d = DecodeDateTime(p.SentDate());
    EXPECT_EQ(d.Year, 2002);
    EXPECT_EQ(d.Hour, 9); // Moscow was at +0300 on that day
    EXPECT_EQ(d.Second, 3);
    // Only "Date:" as written counts; a date without ", " or an impossible one counts as none.
    headers->Value = ByteString("date: Tue, 5 Mar 2002 09:07:03 +0300\r\n");
    EXPECT_EQ(p.SentDate(), *submit);
    headers->Value = ByteString("Date: 5 Mar 2002 09:07:03 +0300\r\n");
    EXPECT_EQ(p.SentDate(), *submit);
    headers->Value = ByteString("Date: Tue, 31 Feb 2002 09:07:03 +0300\r\n");
    EXPECT_EQ(p.SentDate(), *submit);
    p.Clear();
    EXPECT_EQ(p.SentDate(), 0.0);
}

TEST(MessageFields, ImportanceCodePageAndCharset)
{
    TPelMessage m;
    TMSGProperties& p = m.Properties();
    EXPECT_EQ(p.ImportanceLevel(), 2);
    TMSGProperty* importance = Add(p, 0x00170003, int32_t { 2 });
    EXPECT_EQ(p.ImportanceLevel(), 3);
    Add(p, 0x00260003, int32_t { -1 });
    EXPECT_EQ(p.ImportanceLevel(), 1);
    importance->Value = int32_t { 0 };
    EXPECT_EQ(p.Charset(), "windows-0");
    Add(p, 0x3FDE0003, int32_t { 65001 });
    EXPECT_EQ(p.Charset(), "utf-8");
    Add(p, 0x3FFD0003, int32_t { 1252 });
    EXPECT_EQ(p.Charset(), "Windows-1252");
    p.FindProperty(0x3FFD0003, false, false)->Value = int32_t { 50222 };
    EXPECT_EQ(p.Charset(), "iso-2022-jp");
    p.FindProperty(0x3FFD0003, false, false)->Value = int32_t { 1234 };
    EXPECT_EQ(p.Charset(), "windows-1234");
    // An attached message without a code page of its own uses the message's.
    TMSGProperty* att = Add(p, 0x370A0102);
    EXPECT_EQ(att->SubProperties.CodePage(), 1234);
}

TEST(MessageFields, RecipientListsResolveNamesToAddresses)
{
    TPelMessage m;
    TMSGProperties& p = m.Properties();
    Recipient(p, "Ann Smith", "ann@example.com");
    Recipient(p, "bob", "bob@example.com");
    Add(p, 0x0E04001F, W("Ann Smith; Carl"));
    EXPECT_EQ(U8(p.ToList()), "\"Ann Smith\" <ann@example.com>;Carl");
    Add(p, 0x0E03001E, ByteString("bob;"));
    EXPECT_EQ(U8(p.CcList()), "bob <bob@example.com>");
    EXPECT_EQ(p.BccList(), u"");
    EXPECT_EQ(p.ResolveRecipientList(u""), u"");
}

TEST(MessageFields, FromCombinesNameAndAddress)
{
    TPelMessage m;
    TMSGProperties& p = m.Properties();
    EXPECT_EQ(p.From(), u"");
    Recipient(p, "Dora", "dora@example.com");
    Add(p, 0x0042001F, W("Dora"));
    EXPECT_EQ(U8(p.From()), "Dora <dora@example.com>") << "a name without address resolves through the recipients";
    Add(p, 0x0C1F001E, ByteString("/O=EXCHANGE/CN=DORA"));
    EXPECT_EQ(U8(p.From()), "Dora </O=EXCHANGE/CN=DORA>");
    Add(p, 0x5D01001F, W("dora.real@example.com"));
    EXPECT_EQ(U8(p.From()), "Dora <dora.real@example.com>") << "the SMTP address comes first";
    p.FindProperty(0x0042001F, false, false)->Value = W("Dora D. Doe");
    EXPECT_EQ(U8(p.From()), "\"Dora D. Doe\" <dora.real@example.com>");
}

TEST(MessageFields, RtfAndHtmlBodiesAreDecoded)
{
    TPelMessage m;
    TMSGProperties& p = m.Properties();
    // A TNEF tree keeps the compressed bytes; the body is the RTF text.
    std::string rtf = "{\\rtf1\\ansi Hello &#65;}";
    Add(p, 0x10090102, ByteString(CompressRtfLzfu(rtf)));
    // RTF is never HTML: "&#65;" is text of the message.
    EXPECT_EQ(U8(p.RtfBody()), rtf);
    // An 8-bit HTML body is read in the charset it declares, else in the message's code page.
    TMSGProperty* html = Add(p, 0x10130102,
        ByteString("<html><head><meta charset=\"windows-1251\"></head><body>\xCF\xF0\xE8\xE2\xE5\xF2</body></html>"));
    EXPECT_NE(U8(p.HtmlBody()).find("Привет"), std::string::npos);
    html->Value = ByteString("<html><body>caf\xE9</body></html>");
    EXPECT_NE(U8(p.HtmlBody()).find("café"), std::string::npos);
}

TEST(MessageFields, AttachmentsAreCountedAndIndexed)
{
    TPelMessage m;
    TMSGProperties& p = m.Properties();
    Add(p, 0x370A0102); // an attachment without data has no index
    TMSGProperty* first = Add(p, 0x370A0102);
    Add(first->SubProperties, 0x37010102, ByteString("a"));
    Add(p, 0x0037001E, ByteString("not an attachment"));
    TMSGProperty* second = Add(p, 0x37000000);
    Add(second->SubProperties, 0x3701000D);
    EXPECT_EQ(p.AttachmentCount(), 2);
    EXPECT_EQ(p.Attachments(0), first);
    EXPECT_EQ(p.Attachments(1), second);
    EXPECT_EQ(p.Attachments(2), nullptr);
    EXPECT_EQ(p.Attachments(-1), nullptr);
}
