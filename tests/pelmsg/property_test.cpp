#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "export_fixtures.h"
#include "pelmsg.h"
#include "test_support.h"

using namespace pelmsg;
using pelmsg::test::AddNode;
using pelmsg::test::ScopedTimeZone;
using pelmsg::test::U8;
using pelmsg::test::W;

namespace {

TMSGProperty* ReadNode(TMSGProperties& c, uint32_t tag, const std::string& bytes, uint32_t size)
{
    TMSGProperty* n = AddNode(c, tag);
    TSpanStream s(bytes);
    n->ReadValue(s, size);
    return n;
}

} // namespace

TEST(FindProperty, OwnLevelFirstThenChildrenInOrder)
{
    TMSGProperties root;
    TMSGProperty* first = AddNode(root, 0x3001001E, ByteString("eight-bit"));
    AddNode(root, 0x3001001F, W("wide"));
    EXPECT_EQ(root.FindProperty(0x3001001F, true, false), first);
    EXPECT_EQ(root.FindProperty(0x3001001F, false, false), root.Items(1));
    EXPECT_EQ(root.FindProperty(0x3002001E, true, false), nullptr);

    // A deep match under an earlier child beats a shallow match under a later child.
    TMSGProperties tree;
    TMSGProperty* a = AddNode(tree, 0x37000000);
    TMSGProperty* aChild = AddNode(a->SubProperties, 0x1);
    TMSGProperty* deep = AddNode(aChild->SubProperties, 0x0037001E, ByteString("deep"));
    TMSGProperty* b = AddNode(tree, 0x37000000);
    AddNode(b->SubProperties, 0x0037001E, ByteString("shallow"));
    EXPECT_EQ(tree.FindProperty(0x0037001E, false, true), deep);
    EXPECT_EQ(tree.FindProperty(0x0037001E, false, false), nullptr);
    // A match at this level beats everything below.
    TMSGProperty* top = AddNode(tree, 0x0037001E, ByteString("top"));
    EXPECT_EQ(tree.FindProperty(0x0037001E, false, true), top);
    EXPECT_EQ(U8(tree.GetPropertyText(0x0037001E, false, true)), "top");
    EXPECT_EQ(tree.GetPropertyText(0x0099001E, false, true), u"");
}

TEST(Category, RangesAndEdges)
{
    struct Row {
        uint16_t id;
        TMSGPropertyCategory category;
    };
    using C = TMSGPropertyCategory;
    const Row rows[] = { { 0x0000, C::mpcGeneral }, { 0xFFFF, C::mpcGeneral }, { 0x0001, C::mpcEnvelope },
        { 0x0BFF, C::mpcEnvelope }, { 0x0C00, C::mpcRecipient }, { 0x0E00, C::mpcNonTransmittable },
        { 0x3000, C::mpcMessage }, { 0x33FF, C::mpcMessage }, { 0x3701, C::mpcAttachment },
        { 0x4000, C::mpcTransportEnvelope }, { 0x7FFF, C::mpcMessageClassNonTransmittable },
        { 0x8000, C::mpcUserProperty }, { 0xFFFE, C::mpcUserProperty } };
    for (const auto& r : rows)
        EXPECT_EQ(CategoryOfIdentifier(r.id), r.category) << std::hex << r.id;
    EXPECT_STREQ(CategoryName(C::mpcAttachment), "mpcAttachment");
    EXPECT_STREQ(CategoryName(C::mpcStatus), "mpcStatus");
}

TEST(ReadValue, FixedSizeTypesAndDefaults)
{
    TMSGProperties c;
    TMSGProperty* i2 = ReadNode(c, 0x00010002, std::string("\xFE\xFF", 2), 0);
    EXPECT_EQ(std::get<int32_t>(i2->Value), -2);
    EXPECT_EQ(i2->DataSize, 2u);
    TMSGProperty* b = ReadNode(c, 0x0001000B, std::string("\x00\x01", 2), 0);
    EXPECT_TRUE(std::get<bool>(b->Value));
    TMSGProperty* cur = ReadNode(c, 0x00010006, std::string("\x10\x27\0\0\0\0\0\0", 8), 0);
    EXPECT_EQ(std::get<TCurrency>(cur->Value).Scaled, 10000);
    TMSGProperty* i8 = ReadNode(c, 0x00010014, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 8), 0);
    EXPECT_EQ(std::get<int64_t>(i8->Value), INT64_MAX); // exact, not through a double
    EXPECT_EQ(U8(i8->ValueText()), "9223372036854775807");
    TMSGProperty* guid = ReadNode(
        c, 0x00010048, std::string("\x07\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16), 0);
    EXPECT_EQ(std::get<ByteString>(guid->Value), "{00020307-0000-0000-C000-000000000046}");
    // A stored size replaces the default; missing bytes read as zero.
    TMSGProperty* shortLong = ReadNode(c, 0x00010003, std::string("\x05", 1), 7);
    EXPECT_EQ(std::get<int32_t>(shortLong->Value), 5);
    EXPECT_EQ(shortLong->DataSize, 7u);
    TMSGProperty* unknown = ReadNode(c, 0x000100FB, "abc", 3);
    EXPECT_EQ(std::get<ByteString>(unknown->Value), "");
}

TEST(ReadValue, StringsKeepTerminatorsAndStopAtTheEnd)
{
    TMSGProperties c;
    TMSGProperty* s8 = ReadNode(c, 0x0037001E, std::string("Hello\0", 6), 6);
    EXPECT_EQ(std::get<ByteString>(s8->Value), std::string("Hello\0", 6));
    EXPECT_EQ(s8->DataSize, 6u);
    EXPECT_EQ(U8(s8->ValueText()), "Hello"); // the terminator never reaches a view
    TMSGProperty* w = ReadNode(c, 0x0037001F, std::string("a\0b\0c\0d", 7), 7);
    EXPECT_EQ(std::get<WideString>(w->Value), u"abc");
    // A length beyond the data reads what is there and records it, without reserving the claimed size.
    TMSGProperty* cut = ReadNode(c, 0x37010102, "xyz", 0xFFFFFFF0u);
    EXPECT_EQ(std::get<ByteString>(cut->Value), "xyz");
    EXPECT_EQ(cut->DataSize, 3u);
}

TEST(ReadValue, BodyKindFollowsBodies)
{
    TMSGProperties c;
    ReadNode(c, 0x1000001E, "text", 4);
    EXPECT_EQ(c.BodyKind, TBodyKind::PlainText);
    ReadNode(c, 0x10130102, "<html>", 6);
    EXPECT_EQ(c.BodyKind, TBodyKind::Html);
    ReadNode(c, 0x1000001F, std::string("a\0", 2), 2);
    EXPECT_EQ(c.BodyKind, TBodyKind::Html);
    c.Clear();
    EXPECT_EQ(c.BodyKind, TBodyKind::None);
}

TEST(ReadValue, SysTimeUsesTheOffsetInForceAtThatDate)
{
    ScopedTimeZone zone("America/New_York");
    TMSGProperties c;
    auto fileTime = [](int64_t unixSeconds) {
        uint64_t ft = static_cast<uint64_t>((unixSeconds + 11644473600LL) * 10000000LL);
        std::string bytes;
        for (int i = 0; i < 8; ++i)
            bytes += static_cast<char>(ft >> (8 * i));
        return bytes;
    };
    // 2002-07-05 13:00:00 UTC is 09:00 EDT; 2002-01-05 13:00:00 UTC is 08:00 EST.
    TMSGProperty* summer = ReadNode(c, 0x00390040, fileTime(1025874000), 0);
    TMSGProperty* winter = ReadNode(c, 0x00390040, fileTime(1010235600), 0);
    TDateParts s = DecodeDateTime(std::get<TDateTime>(summer->Value).Days);
    TDateParts w = DecodeDateTime(std::get<TDateTime>(winter->Value).Days);
    EXPECT_EQ(s.Hour, 9);
    EXPECT_EQ(w.Hour, 8);
    EXPECT_EQ(LocalDateTimeToFileTime(std::get<TDateTime>(summer->Value).Days),
        static_cast<uint64_t>((1025874000 + 11644473600LL) * 10000000LL));
}

TEST(ValueText, ByteStringsDecodeWithTheMessageCodePage)
{
    TPelMessage message;
    TMSGProperties& root = message.Properties();
    TMSGProperty* subject = AddNode(root, 0x0037001E, ByteString("\xCF\xF0\xE8\xE2\xE5\xF2", 6));
    // Without a declared code page, Windows-1252.
    EXPECT_EQ(U8(subject->ValueText()), "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2");
    AddNode(root, 0x3FFD0003, int32_t { 1251 });
    EXPECT_EQ(U8(subject->ValueText()), "Привет");
    // Children of an attachment use the message's code page too.
    TMSGProperty* att = AddNode(root, 0x370A0102);
    TMSGProperty* name = AddNode(att->SubProperties, 0x3704001E, ByteString("\xD4\xE0\xE9\xEB", 4));
    EXPECT_EQ(U8(name->ValueText()), "Файл");
    // A code page nothing can convert counts as none.
    root.Items(1)->Value = int32_t { 4242 };
    EXPECT_EQ(U8(subject->ValueText()).substr(0, 2), "\xC3\x8F");
    EXPECT_EQ(U8(AddNode(root, 0x0E080003, int32_t { -17 })->ValueText()), "-17");
    EXPECT_EQ(U8(AddNode(root, 0x0E1B000B, true)->ValueText()), "True");
    EXPECT_EQ(AddNode(root, 0x0E1B000B, TNull {})->ValueText(), u"");
}

TEST(TextCodePage, TheNearestDeclarationThatConvertsCounts)
{
    // Each collection may declare its own code page; one that cannot be converted, or that is no number, does not
    // count, and the enclosing collection's does.
    TMSGProperties root;
    AddNode(root, kTagInternetCodePage, int32_t { 1250 });
    TMSGProperty* a = AddNode(root, kTagTnefAttachment);
    AddNode(a->SubProperties, kTagMessageCodePage, int32_t { 1251 });
    TMSGProperty* aa = AddNode(a->SubProperties, kTagAttachDataObject);
    AddNode(aa->SubProperties, kTagMessageCodePage, int32_t { 99999 });
    TMSGProperty* aaa = AddNode(aa->SubProperties, kTagTnefAttachment);
    TMSGProperty* b = AddNode(root, kTagRecipientRow);
    AddNode(b->SubProperties, kTagMessageCodePage, W("1253"));
    AddNode(b->SubProperties, kTagInternetCodePage, int32_t { 1253 });
    TMSGProperties bare;
    const std::pair<const TMSGProperties*, int32_t> rows[] = { { &root, 1250 }, { &a->SubProperties, 1251 },
        { &aa->SubProperties, 1251 }, { &aaa->SubProperties, 1251 }, { &b->SubProperties, 1253 }, { &bare, 1252 } };
    for (const auto& [collection, codePage] : rows)
        EXPECT_EQ(collection->TextCodePage(), codePage);

    // What a collection remembers follows what is added and changed after it was asked.
    AddNode(aaa->SubProperties, kTagMessageCodePage, int32_t { 1253 });
    EXPECT_EQ(aaa->SubProperties.TextCodePage(), 1253);
    aaa->SubProperties.Items(0)->Value = int32_t { 1257 };
    EXPECT_EQ(aaa->SubProperties.TextCodePage(), 1257);
    root.Clear();
    EXPECT_EQ(root.TextCodePage(), 1252);
}

TEST(DisplayName, DictionaryAndContainers)
{
    TMSGProperties c;
    TMSGProperty* group = AddNode(c, 0);
    AddNode(group->SubProperties, 0x0037001E);
    EXPECT_EQ(group->DisplayName(false, false), "Properties");
    TMSGProperty* storage = AddNode(c, 0x37000000, W("__attach_version1.0_#00000000"));
    AddNode(storage->SubProperties, 0x3701000D);
    EXPECT_EQ(storage->DisplayName(false, false), "__attach_version1.0_#00000000");
    EXPECT_EQ(storage->DisplayName(false, true), "ATTACHMENT_X400_PARAMETERS");
    EXPECT_EQ(AddNode(c, 0x3701000D)->DisplayName(true, true), "ATTACH_DATA_OBJ (Attach Data Obj)");
    EXPECT_EQ(AddNode(c, 0x3001001F)->DisplayName(false, true), "DISPLAY_NAME");
    EXPECT_EQ(AddNode(c, 0x80000003)->DisplayName(false, true), "");
    EXPECT_EQ(AddNode(c, 0x80050003)->DisplayName(false, true), "EMS_AB_MANAGER");
    EXPECT_EQ(AddNode(c, 0x3A0B001E)->DisplayName(false, true), "KEYWORD");
    EXPECT_EQ(AddNode(c, 0x360B0003)->DisplayName(false, true), "STATUS");
    EXPECT_EQ(AddNode(c, 0x3A0E0003)->DisplayName(true, true), "MAIL_PERMISSION (Mail Persmission)");
    EXPECT_EQ(AddNode(c, 0x0FFF0102)->DisplayName(true, true), "ENTRYID (Entry ID)");
    EXPECT_EQ(TagRowCount(), 527u);
}

TEST(Attachment, NamesAndKinds)
{
    TPelMessage message;
    TMSGProperty* att = AddNode(message.Properties(), 0x370A0102);
    EXPECT_EQ(att->AttachmentFileName(0), "Attachment 1");
    EXPECT_EQ(att->AttachmentDisplayName(4), "Attachment 5");
    EXPECT_EQ(att->AttachmentKind(), TAttachmentKind::None);
    AddNode(att->SubProperties, 0x3707001E, ByteString(" \r\n", 3)); // blank long name falls through
    AddNode(att->SubProperties, 0x3704001E, ByteString("SHORT~1.TXT"));
    EXPECT_EQ(att->AttachmentFileName(0), "SHORT~1.TXT");
    AddNode(att->SubProperties, 0x37010102, ByteString("data"));
    EXPECT_EQ(att->AttachmentKind(), TAttachmentKind::FileData);
    AddNode(att->SubProperties, 0x3001001F, W("Shown name"));
    EXPECT_EQ(att->AttachmentDisplayName(0), "Shown name");

    TMSGProperty* ole = AddNode(message.Properties(), 0x370A0102);
    TMSGProperty* obj = AddNode(ole->SubProperties, 0x3701000D, ByteString("\xD0\xCF"));
    EXPECT_EQ(ole->AttachmentKind(), TAttachmentKind::OleObject);
    AddNode(obj->SubProperties, 0x001A001F, W("IPM.Note"));
    EXPECT_EQ(ole->AttachmentKind(), TAttachmentKind::EmbeddedMessage);
    EXPECT_TRUE(ole->IsEmbeddedMessage());
}

TEST(Collections, AssignCopiesAPlainSubtree)
{
    TMSGProperties source;
    auto* header = source.AddNode<TMSGPropertyTopLevel>();
    header->Header = std::string(32, 'h');
    MsgRecordOf(*header).EntryFlags = 7;
    TMSGProperty* child = AddNode(header->SubProperties, 0x0037001E, ByteString("s"));
    child->NamedId = std::make_unique<TNamedPropertyId>();
    child->NamedId->Number = 0x8501;
    TMSGProperties copy;
    copy.Assign(source);
    ASSERT_EQ(copy.Count(), 1);
    EXPECT_EQ(dynamic_cast<TMSGPropertyWithHeader*>(copy.Items(0)), nullptr);
    EXPECT_EQ(copy.Items(0)->MsgRecord, nullptr) << "the copy is no element of a .msg file";
    ASSERT_EQ(copy.Items(0)->SubProperties.Count(), 1);
    const TMSGProperty* copied = copy.Items(0)->SubProperties.Items(0);
    EXPECT_EQ(std::get<ByteString>(copied->Value), "s");
    ASSERT_TRUE(copied->NamedId);
    EXPECT_EQ(copied->NamedId->Number, 0x8501u);
    EXPECT_EQ(copied->SubProperties.ParentProperty(), copied);
    EXPECT_EQ(copy.Items(5), nullptr);
}

TEST(Collections, TopLevelAndOwner)
{
    TPelMessage message;
    EXPECT_STREQ(message.About(), "1.50b");
    EXPECT_TRUE(message.Properties().IsTopLevel());
    TMSGProperty* att = AddNode(message.Properties(), 0x370A0102);
    EXPECT_FALSE(att->SubProperties.IsTopLevel());
    EXPECT_EQ(att->SubProperties.Owner(), &message);
    EXPECT_EQ(&att->SubProperties.Root(), &message.Properties());
}

TEST(TextHelpers, WideStringsTrimAndQuote)
{
    TWideStrings list;
    EXPECT_EQ(list.Add(u"a"), 0);
    list.Add(u"b");
    EXPECT_EQ(list.Get(1), u"b");
    EXPECT_EQ(list.Get(2), u"");
    EXPECT_EQ(list.Text(), u"a\r\nb\r\n");
    EXPECT_EQ(TrimControls(u"\t  x y \r\n"), u"x y");
    EXPECT_EQ(TrimControls(u" \x01 "), u"");
    EXPECT_EQ(QuoteDisplayName(u"Ann Smith"), u"\"Ann Smith\"");
    EXPECT_EQ(QuoteDisplayName(u"ann"), u"ann");
    EXPECT_EQ(QuoteDisplayName(u"a.b"), u"\"a.b\"");
}

TEST(Guid, TextRoundTrip)
{
    const uint8_t raw[16]
        = { 0x07, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };
    std::string text = GuidToText(raw);
    auto back = GuidFromText(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::memcmp(back->data(), raw, 16), 0);
    EXPECT_FALSE(GuidFromText("{00020307-0000-0000-C000-00000000004}"));
    EXPECT_FALSE(GuidFromText("{00020307-0000-0000-C000-0000000000G6}"));
}

TEST(ValueText, DatesOutsideTheCalendarStayNumbers)
{
    // A damaged file can hold any double as a date-time; it must neither overflow nor pretend to be a date.
    TMSGProperties c;
    TMSGProperty* huge = AddNode(c, 0x00010007, TDateTime { 7.09312e+160 });
    EXPECT_EQ(U8(huge->ValueText()).find('/'), std::string::npos);
    EXPECT_FALSE(IsValidDateTime(7.09312e+160));
    EXPECT_FALSE(IsValidDateTime(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_TRUE(IsValidDateTime(0));
    TDateParts p = DecodeDateTime(-1e300);
    EXPECT_EQ(p.Year, 1899);
}

TEST(StoredValueBytes, EachKindInTheFormItIsStored)
{
    ScopedTimeZone zone("Europe/Berlin");
    TMSGProperties c;
    std::string scratch;
    // Read values come back as the very bytes they were read from.
    struct {
        uint32_t tag;
        std::string bytes;
    } stored[] = {
        { 0x00010002, std::string("\xFE\xFF", 2) },
        { 0x00010003, std::string("\x11\x22\x33\x44", 4) },
        { 0x00010005, std::string("\0\0\0\0\0\0\xF0\x3F", 8) },
        { 0x00010006, std::string("\x10\x27\0\0\0\0\0\0", 8) },
        { 0x0001000B, std::string("\x01\x00", 2) },
        { 0x00010014, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 8) },
        // A date-time goes back to its FILETIME exactly to the millisecond (2002-07-05 13:00:00.125 UTC).
        { 0x00390040, std::string("\xD0\x9A\xDC\xDE\x23\x24\xC2\x01", 8) },
        { 0x00010048, std::string("\x07\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16) },
        { 0x00010102, std::string("\x00\x01\x02\xFF\x00", 5) },
        { 0x0037001E, std::string("Caf\xE9\0", 5) },
        { 0x0037001F, std::string("Z\0\xFC\0\0\0", 6) },
    };
    for (const auto& s : stored) {
        TMSGProperty* node = ReadNode(c, s.tag, s.bytes, static_cast<uint32_t>(s.bytes.size()));
        EXPECT_EQ(StoredValueBytes(*node, scratch), s.bytes) << std::hex << s.tag;
    }
    // A byte string is shown where it is, not copied.
    TMSGProperty* big = AddNode(c, 0x37010102, ByteString(1 << 20, 'x'));
    EXPECT_EQ(StoredValueBytes(*big, scratch).data(), std::get<ByteString>(big->Value).data());
    // Nothing for an empty or Null value; a number in a node of another type takes its own kind's form.
    EXPECT_TRUE(StoredValueBytes(*AddNode(c, 0x00010102), scratch).empty());
    EXPECT_TRUE(StoredValueBytes(*AddNode(c, 0x00010003, TNull {}), scratch).empty());
    EXPECT_EQ(StoredValueBytes(*AddNode(c, 0x00010102, int32_t(0x01020304)), scratch), std::string("\x04\x03\x02\x01"));
}
