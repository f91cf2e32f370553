#include <gtest/gtest.h>

#include "pelmsg.h"
#include "test_support.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

void Load(TPelTNEFFile& file, const std::string& bytes)
{
    TSpanStream stream(bytes);
    file.LoadFromStream(stream);
}

TnefBuilder Minimal() { return std::move(TnefBuilder().Version()); }

// A node of a tree listed in tree order (each node before its children).
struct TFlatNode {
    int Depth;
    uint32_t Tag;
    TValue Value;
    bool LastAtItsDepth; // the last node of its collection, whose parent is the last of its own, and so on
};

void Flatten(const TMSGProperties& c, int depth, bool lastSpine, std::vector<TFlatNode>& out)
{
    for (int i = 0; i < c.Count(); ++i) {
        const TMSGProperty* node = c.Items(i);
        const bool last = lastSpine && i == c.Count() - 1;
        out.push_back({ depth, node->TagID, node->Value, last });
        Flatten(node->SubProperties, depth + 1, last, out);
    }
}

std::vector<TFlatNode> Flatten(const TMSGProperties& c)
{
    std::vector<TFlatNode> out;
    Flatten(c, 0, true, out);
    return out;
}

const std::array<uint8_t, 16> kPsPublicStrings
    = { 0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

} // namespace

TEST(TnefFraming, SignatureVersionAndEmptyStreams)
{
    TPelTNEFFile file;
    try {
        Load(file, "not a TNEF stream");
        FAIL() << "expected an exception";
    } catch (const EFormatError& e) {
        EXPECT_STREQ(e.what(), "Invalid TNEF signature");
    }
    EXPECT_THROW(Load(file, ""), EFormatError);

    // Signature and key only: an empty tree and no error.
    EXPECT_NO_THROW(Load(file, TnefBuilder().Bytes()));
    EXPECT_EQ(file.Properties().Count(), 0);

    // A version other than 1.0 is read on, with a warning: the attributes after it are the same.
    Load(file, TnefBuilder().Version(0x00010001).Subject("x").AttachRenddata().Bytes());
    EXPECT_EQ(file.Properties().Count(), 2);
    ASSERT_EQ(file.Warnings().size(), 1u);
    EXPECT_EQ(file.Warnings()[0].Text, "unknown TNEF version 0x00010001 (expected 0x00010000); read as 1.0");
    EXPECT_EQ(file.Warnings()[0].Offset, 6);

    // A first attribute at another level is "Invalid message file", swallowed; the attachment block then reads
    // from the same place, so a level-2 attribute there lands in the root.
    Load(file, TnefBuilder().Attribute(3, 0x00089006, LE32(0x00010000)).Bytes());
    EXPECT_EQ(file.Properties().Count(), 0);
    Load(file, TnefBuilder().Attribute(2, 0x00018004, "s").Bytes());
    EXPECT_EQ(file.Properties().Count(), 1);
}

TEST(TnefFraming, MissingFileKeepsThePreviousTree)
{
    TPelTNEFFile file;
    Load(file, Minimal().Subject("kept").Bytes());
    ASSERT_EQ(file.Properties().Count(), 1);
    try {
        file.LoadFromFile("/nonexistent/winmail.dat");
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_STREQ(e.what(), "File /nonexistent/winmail.dat is not found.");
    }
    EXPECT_EQ(file.Properties().Count(), 1);
}

TEST(TnefLegacyAttributes, TagsValuesAndDates)
{
    ScopedTimeZone zone("UTC");
    TPelTNEFFile file;
    Load(file,
        Minimal()
            .Subject("Quarterly report")
            .Attribute(1, 0x0005800D, LE16(1)) // attPriority high
            .Attribute(1, 0x00068007, std::string(1, '\x20')) // attMessageStatus: read
            .DateRecord(1, 0x00038005, 2002, 10, 8, 10, 15, 35) // attDateSent, no MAPI submit time
            .DateRecord(1, 0x00038006, 2002, 10, 9, 11, 0, 1) // attDateRecd
            .Bytes());
    const TMSGProperties& p = file.Properties();
    EXPECT_EQ(U8(p.GetPropertyText(0x0037001E, false, false)), "Quarterly report");
    EXPECT_EQ(std::get<int32_t>(p.FindProperty(0x00170003, false, false)->Value), 2) << "attPriority 1 is high";
    EXPECT_EQ(std::get<int32_t>(p.FindProperty(0x0E070003, false, false)->Value) & 1, 1) << "fmsRead is read";
    const TMSGProperty* recd = p.FindProperty(0x0E060040, false, false);
    ASSERT_TRUE(recd);
    TDateParts d = DecodeDateTime(std::get<TDateTime>(recd->Value).Days);
    EXPECT_EQ(d.Year, 2002);
    EXPECT_EQ(d.Day, 9);
    EXPECT_EQ(d.Second, 1);
    // The date records stand in for dates the MAPI properties lack, after the message attributes.
    const TMSGProperty* sent = p.FindProperty(0x00390040, false, false);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent, p.Items(p.Count() - 2));
    EXPECT_EQ(DecodeDateTime(std::get<TDateTime>(sent->Value).Days).Hour, 10);

    // With the MAPI dates (exact, with their zone), the date records make no node.
    Load(file,
        Minimal()
            .DateRecord(1, 0x00038005, 2002, 10, 8, 10, 15, 35)
            .DateRecord(1, 0x00038006, 2002, 10, 8, 10, 15, 40)
            .MapiProps(TnefPropList()
                           .SysTime(0x0039, FileTimeOf(2002, 10, 8, 0, 15, 35))
                           .SysTime(0x0E06, FileTimeOf(2002, 10, 8, 0, 15, 40)))
            .Bytes());
    int dates = 0;
    for (const TMSGProperty* n : file.Properties())
        dates += n->TagID == 0x00390040 || n->TagID == 0x0E060040;
    EXPECT_EQ(dates, 2);
    EXPECT_EQ(
        DecodeDateTime(std::get<TDateTime>(file.Properties().FindProperty(0x00390040, false, false)->Value).Days).Hour,
        0);
}

TEST(TnefMapiProperties, TypesMultiValuesAndNames)
{
    TPelTNEFFile file;
    Load(file,
        Minimal()
            .MapiProps(TnefPropList()
                           .Short(0x0036, -3)
                           .MultiLong(0x6100, { 1, 2, 3 })
                           .Long(0x0E08, 4242)
                           .NamedString8(0x8101, kPsPublicStrings, "Keyword", "v")
                           .NamedLong(0x8102, kPsPublicStrings, 0x8501, 7)
                           .MultiString8(0x0E1C, { "a", "bc" }))
            .Bytes());
    const TMSGProperties& p = file.Properties();
    EXPECT_EQ(p.FindProperty(0x00360002, false, false)->TagID, 0x00360002u) << "PT_I2 keeps its own tag";
    int mv = 0;
    for (const TMSGProperty* n : p) {
        if (n->TagID == 0x61000003) {
            EXPECT_EQ(std::get<int32_t>(n->Value), ++mv);
        }
    }
    EXPECT_EQ(mv, 3);
    // "Keyword\0" is 16 bytes of UTF-16: no padding; the value that follows must still line up.
    const TMSGProperty* named = p.FindProperty(0x8101001E, false, false);
    ASSERT_TRUE(named);
    EXPECT_EQ(U8(named->ValueText()), "v");
    ASSERT_TRUE(named->NamedId);
    EXPECT_TRUE(named->NamedId->IsString);
    EXPECT_EQ(U8(named->NamedId->Name), "Keyword");
    const TMSGProperty* numbered = p.FindProperty(0x81020003, false, false);
    ASSERT_TRUE(numbered && numbered->NamedId);
    EXPECT_EQ(numbered->NamedId->Number, 0x8501u);
    EXPECT_EQ(std::get<int32_t>(numbered->Value), 7);
    EXPECT_EQ(std::get<int32_t>(p.FindProperty(0x0E080003, false, false)->Value), 4242);
    EXPECT_EQ(p.FindProperty(0x0E1C101E, false, false), nullptr) << "node tags never carry the multi-value bit";
    EXPECT_EQ(U8(p.Items(p.Count() - 1)->ValueText()), "bc");
}

TEST(TnefMapiProperties, NamePaddingAndBadKinds)
{
    // A 10-byte name is followed by 2 padding bytes.
    std::string name10 = std::string("N\0a\0m\0e\0\0\0", 10);
    std::string after = std::string(reinterpret_cast<const char*>(kPsPublicStrings.data()), 16) + LE32(1) + LE32(10)
        + name10 + std::string(2, '\0') + LE32(99);
    TPelTNEFFile file;
    Load(file, Minimal().MapiProps(TnefPropList().Raw(0x80010003, after).Long(0x0E08, 5)).Bytes());
    ASSERT_EQ(file.Properties().Count(), 2);
    EXPECT_EQ(std::get<int32_t>(file.Properties().Items(0)->Value), 99);
    EXPECT_EQ(std::get<int32_t>(file.Properties().Items(1)->Value), 5);

    // A name kind other than 0 or 1 ends the reading of that attribute, with a warning; the attributes after it
    // (the rest of the message, the attachments) are read, in either block.
    std::string badKind = std::string(16, '\0') + LE32(7);
    Load(file,
        Minimal()
            .Subject("s")
            .MapiProps(TnefPropList().Long(0x0E08, 1).Raw(0x80020003, badKind).Long(0x0E17, 2))
            .MessageClass("IPM.Note")
            .AttachRenddata()
            .AttachTitle("kept.txt")
            .AttachData("kept")
            .Bytes());
    EXPECT_EQ(file.Properties().Count(), 4) << "subject, the property before the bad one, class, attachment";
    EXPECT_EQ(file.Properties().AttachmentCount(), 1);
    ASSERT_EQ(file.Warnings().size(), 1u);
    EXPECT_EQ(file.Warnings()[0].Text, "Invalid property kind (7) in attribute 0x00069003; the rest of it is skipped");
    Load(file,
        Minimal()
            .AttachRenddata()
            .AttachData("first")
            .AttachmentProps(TnefPropList().Raw(0x80020003, badKind))
            .AttachRenddata()
            .AttachTitle("second.txt")
            .AttachData("second")
            .Bytes());
    EXPECT_EQ(file.Properties().AttachmentCount(), 2);
    EXPECT_EQ(file.Properties().Attachments(1)->AttachmentFileName(1), "second.txt");
    EXPECT_EQ(file.Warnings().size(), 1u);
}

TEST(TnefRecipients, RowsBecomeRecipientNodes)
{
    TPelTNEFFile file;
    Load(file,
        Minimal()
            .RecipientTable({ TnefPropList().String8(0x3001, "Ann Smith").String8(0x39FE, "ann@example.com"),
                TnefPropList().String8(0x3001, "Bob") })
            .Bytes());
    ASSERT_EQ(file.Properties().Count(), 2);
    EXPECT_EQ(file.Properties().Items(0)->TagID, 0x0C000000u);
    EXPECT_EQ(
        U8(file.Properties().Items(0)->SubProperties.GetPropertyText(0x39FE001E, false, false)), "ann@example.com");
    EXPECT_EQ(file.Properties().Items(1)->SubProperties.Count(), 1);
}

TEST(TnefAttachments, BlocksTitlesAndData)
{
    TPelTNEFFile file;
    Load(file,
        Minimal()
            .Subject("s")
            .Attribute(2, 0x00038013, std::string(14, '\0')) // before any rendering: goes to the root
            .AttachRenddata()
            .Attribute(2, 0x00018010, "NO-NUL.TXT") // title without a NUL
            .AttachData("file bytes")
            .AttachRenddata()
            .AttachTitle("second.bin")
            .AttachmentProps(TnefPropList().Binary(0x3701, std::string(5, 'z')).String8(0x3707, "second long.bin"))
            .Bytes());
    const TMSGProperties& p = file.Properties();
    ASSERT_EQ(p.Count(), 4);
    EXPECT_EQ(p.Items(1)->TagID, 0x30080040u);
    const TMSGProperty* first = p.Items(2);
    EXPECT_EQ(first->TagID, 0x370A0102u);
    EXPECT_EQ(first->AttachmentFileName(0), "NO-NUL.TXT");
    EXPECT_EQ(std::get<ByteString>(first->SubProperties.FindProperty(0x37010102, false, false)->Value), "file bytes");
    EXPECT_EQ(p.Items(3)->AttachmentFileName(1), "second long.bin");
    EXPECT_EQ(p.AttachmentCount(), 2);
    EXPECT_EQ(p.Attachments(1), p.Items(3));
}

TEST(TnefAttachments, AttachedMessagesAreReadIntoTheirNode)
{
    std::string inner = Minimal()
                            .MessageClass("IPM.Note")
                            .Subject("inner subject")
                            .AttachRenddata()
                            .AttachTitle("deep.txt")
                            .AttachData("deep")
                            .Bytes();
    TPelTNEFFile file;
    Load(file,
        Minimal()
            .AttachRenddata()
            .AttachmentProps(TnefPropList().Object(0x3701, inner).Long(0x3705, 5).String8(0x3001, "fwd"))
            .Bytes());
    const TMSGProperty* att = file.Properties().Items(0);
    ASSERT_TRUE(att);
    EXPECT_TRUE(att->IsEmbeddedMessage());
    const TMSGProperty* obj = att->SubProperties.FindProperty(0x3701000D, false, false);
    ASSERT_TRUE(obj);
    EXPECT_EQ(std::get<ByteString>(obj->Value), inner) << "the object's data without its interface identifier";
    EXPECT_EQ(obj->DataSize, inner.size());
    EXPECT_EQ(U8(obj->SubProperties.Subject()), "inner subject");
    EXPECT_EQ(std::get<int32_t>(att->SubProperties.FindProperty(0x37050003, false, false)->Value), 5)
        << "properties after the object are read at the right place";
    EXPECT_EQ(obj->SubProperties.AttachmentCount(), 1);
}

TEST(TnefAttachments, AttachedMessagesAreReadToTheDepthLimit)
{
    // An attached message nested `levels` deep; beyond the limit the innermost levels stay bytes.
    for (int levels : { kMaxAttachedMessageDepth - 1, kMaxAttachedMessageDepth, kMaxAttachedMessageDepth + 1 }) {
        SCOPED_TRACE(levels);
        std::string nested = Minimal().MessageClass("IPM.Note").Subject("innermost").Bytes();
        for (int level = 0; level < levels; ++level)
            nested = Minimal().AttachRenddata().AttachmentProps(TnefPropList().Object(0x3701, nested)).Bytes();
        TPelTNEFFile file;
        Load(file, nested);
        int depth = 0;
        const TMSGProperties* c = &file.Properties();
        while (c->Count() > 0) {
            const TMSGProperty* o = c->Items(0)->SubProperties.FindProperty(kTagAttachDataObject, false, false);
            if (!o || o->SubProperties.Count() == 0)
                break;
            ++depth;
            c = &o->SubProperties;
        }
        EXPECT_EQ(depth, std::min(levels, kMaxAttachedMessageDepth));
        EXPECT_EQ(U8(c->Subject()), levels <= kMaxAttachedMessageDepth ? "innermost" : "");
    }
}

TEST(TnefHostileInput, HugeLengthsAndCountsStayBounded)
{
    TPelTNEFFile file;
    // An attribute claiming 4 GiB, a property count of 2^32-1 with a type that has no size, a value claiming 2 GiB.
    std::string bytes
        = Minimal().Attribute(1, 0x00069003, LE32(0xFFFFFFFF) + LE32(0x00011001) + LE32(0xFFFFFFFF)).Bytes();
    Load(file, bytes);
    EXPECT_LE(file.Properties().Count(), 2);
    Load(file, Minimal().RawBytes(std::string("\x01\x03\x90\x06\x00\xFF\xFF\xFF\xFF", 9) + LE32(1)).Bytes());
    Load(file,
        Minimal()
            .MapiProps(TnefPropList().Raw(0x37010102, LE32(1) + LE32(0x7FFFFFF0) + "short"))
            .AttachRenddata()
            .Bytes());
    EXPECT_EQ(std::get<ByteString>(file.Properties().Items(0)->Value), "short")
        << "the attribute's data ends the value";
    ASSERT_EQ(file.Properties().Count(), 2);
    EXPECT_EQ(file.Properties().Items(1)->TagID, 0x370A0102u);
}

TEST(TnefHostileInput, EveryTruncationGivesAPrefixOfTheTree)
{
    std::string inner = Minimal().MessageClass("IPM.Note").Subject("inner").Bytes();
    std::string valid = Minimal()
                            .Subject("truncate me")
                            .MapiProps(TnefPropList()
                                           .Unicode(0x0037, "wide")
                                           .NamedString8(0x8101, kPsPublicStrings, "Name", "v")
                                           .MultiString8(0x0E1C, { "a", "b" }))
                            .RecipientTable({ TnefPropList().String8(0x3001, "Ann") })
                            .AttachRenddata()
                            .AttachTitle("a.txt")
                            .AttachmentProps(TnefPropList().Object(0x3701, inner).Long(0x3705, 5))
                            .Bytes();
    TPelTNEFFile whole;
    Load(whole, valid);
    const std::vector<TFlatNode> full = Flatten(whole.Properties());
    ASSERT_GT(full.size(), 12u);
    for (size_t n = 0; n <= valid.size(); ++n) {
        SCOPED_TRACE(n);
        TPelTNEFFile file;
        try {
            Load(file, valid.substr(0, n));
        } catch (const EFormatError& e) {
            EXPECT_STREQ(e.what(), "Invalid TNEF signature") << "only a stream too short for its signature fails";
            EXPECT_LT(n, 4u);
            continue;
        }
        // The nodes read are the first nodes of the whole tree, in tree order, and hold the same values, except
        // those still being read where the data ended: the last node at each depth.
        const std::vector<TFlatNode> cut = Flatten(file.Properties());
        ASSERT_LE(cut.size(), full.size());
        for (size_t i = 0; i < cut.size(); ++i) {
            ASSERT_EQ(cut[i].Depth, full[i].Depth) << "node " << i;
            ASSERT_EQ(cut[i].Tag, full[i].Tag) << "node " << i;
            if (!cut[i].LastAtItsDepth) {
                EXPECT_EQ(cut[i].Value, full[i].Value) << "node " << i;
            }
        }
    }
}

TEST(TnefHostileInput, EveryBitFlipLoadsOrFailsWithTheReadersError)
{
    std::string inner = Minimal().MessageClass("IPM.Note").Subject("inner").Bytes();
    std::string valid = Minimal()
                            .Subject("flip me")
                            .MapiProps(TnefPropList().Unicode(0x0037, "wide").MultiString8(0x0E1C, { "a", "b" }))
                            .RecipientTable({ TnefPropList().String8(0x3001, "Ann") })
                            .AttachRenddata()
                            .AttachmentProps(TnefPropList().Object(0x3701, inner))
                            .Bytes();
    for (size_t i = 0; i < valid.size(); ++i) {
        for (int bit : { 0, 3, 7 }) {
            std::string flipped = valid;
            flipped[i] = static_cast<char>(flipped[i] ^ (1 << bit));
            TPelTNEFFile file;
            try {
                Load(file, flipped);
            } catch (const EFormatError& e) {
                const std::string text = e.what();
                EXPECT_TRUE(text == "Invalid TNEF signature" || text.rfind("Invalid property kind (", 0) == 0)
                    << text << " at byte " << i;
            }
        }
    }
}

TEST(TnefAttachments, AttributesAreKnownByNumberAndCountOnce)
{
    // Some writers leave the attribute type out of the identifier; the number still names the attribute.
    TPelTNEFFile file;
    Load(file, Minimal().Attribute(2, 0x00009002, std::string(14, '\0')).Attribute(2, 0x0000800F, "data").Bytes());
    ASSERT_EQ(file.Properties().Count(), 1);
    EXPECT_EQ(file.Properties().AttachmentCount(), 1);
    EXPECT_EQ(file.Properties().Items(0)->SubProperties.Count(), 1);

    // An attached message carries a placeholder text and the message object: one attachment, whose data is the
    // object.
    std::string inner = Minimal().MessageClass("IPM.Task").Subject("task").Bytes();
    Load(file,
        Minimal()
            .AttachRenddata()
            .AttachData("This attachment is a MAPI 1.0 embedded message")
            .AttachmentProps(TnefPropList().Object(0x3701, inner))
            .AttachRenddata()
            .AttachData("plain")
            .Bytes());
    EXPECT_EQ(file.Properties().AttachmentCount(), 2);
    const TMSGProperty* first = file.Properties().Attachments(0);
    ASSERT_TRUE(first && first->AttachmentDataNode());
    EXPECT_EQ(first->AttachmentDataNode()->TagID, 0x3701000Du);
    EXPECT_EQ(file.Properties().Attachments(1), file.Properties().Items(1));
    EXPECT_EQ(file.Properties().Attachments(2), nullptr);
}

TEST(TnefDamage, EveryCutOrSkipIsAWarningWithItsOffset)
{
    const std::string head = Minimal().Subject("s").AttachRenddata().Bytes();
    const int64_t next = static_cast<int64_t>(head.size()); // where an attribute appended to `head` starts
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<TReadWarning> warnings;
    };
    std::string badChecksum = Minimal().Subject("checked").Bytes();
    const std::string inner = Minimal().Subject("inner").Bytes();
    const std::string attached
        = Minimal().AttachRenddata().AttachmentProps(TnefPropList().Object(0x3701, inner + "junk!")).Bytes();
    badChecksum[badChecksum.size() - 4] ^= 0x01; // a data byte changed, its checksum not
    const Case cases[] = {
        { "sound", Minimal().Subject("s").AttachRenddata().AttachTitle("a.txt").AttachData("data").Bytes(), {} },
        { "attachment data past the end",
            head + std::string("\x02\x0F\x80\x06\x00", 5) + LE32(2048) + std::string(135, 'd'),
            { { next, "attachment data truncated: 135 of 2,048 bytes present" } } },
        { "an attribute cut inside its header", head + std::string("\x02\x10\x80\x01\x00\x05", 6),
            { { next, "the input ends inside an attribute header" } } },
        { "no checksum", head + std::string("\x02\x10\x80\x01\x00", 5) + LE32(2) + "ab",
            { { next, "attribute 0x00018010 has no checksum: the input ends" } } },
        { "checksum mismatch", badChecksum, { { 21, "checksum mismatch in attribute 0x00018004" } } },
        { "recipient rows missing",
            Minimal().Attribute(1, 0x00069004, LE32(3) + TnefPropList().String8(0x3001, "Ann").Encode()).Bytes(),
            { { 54, "recipient table cut short: 1 of 3 rows present" } } },
        { "properties missing", Minimal().Attribute(1, 0x00069003, LE32(4) + LE32(0x0E080003) + LE32(1)).Bytes(),
            { { 42, "property list cut short: 1 of 4 properties present" } } },
        { "a value cut short",
            Minimal()
                .Attribute(1, 0x00069003, LE32(1) + LE32(0x3701 << 16 | 0x0102) + LE32(1) + LE32(100) + "abc")
                .Bytes(),
            { { 46, "attachment data truncated: 3 of 100 bytes present" } } },
        { "garbage after the last attribute", head + "garbage!",
            { { next, "8 bytes after the last attribute were not read" } } },
        { "a line end after the last attribute is no damage", head + "\r\n", {} },
        { "a damaged attached message", attached,
            { { static_cast<int64_t>(attached.find(inner) + inner.size()),
                "attached message: 5 bytes after the last attribute were not read" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPelTNEFFile file;
        Load(file, c.bytes);
        ASSERT_EQ(file.Warnings().size(), c.warnings.size())
            << (file.Warnings().empty() ? "" : file.Warnings()[0].Text);
        for (size_t i = 0; i < c.warnings.size(); ++i) {
            EXPECT_EQ(file.Warnings()[i].Text, c.warnings[i].Text);
            EXPECT_EQ(file.Warnings()[i].Offset, c.warnings[i].Offset);
        }
    }
}

TEST(TnefDamage, ACutAttachmentIsMarkedAndTheSampleIsSound)
{
    const std::string sample = ReadFileBytes(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    TPelTNEFFile whole;
    Load(whole, sample);
    EXPECT_TRUE(whole.Warnings().empty()) << whole.Warnings()[0].Text;
    ASSERT_GT(whole.Properties().AttachmentCount(), 0);

    // The sample cut inside its first attachment's data: the data node says so, and so does a warning.
    const TMSGProperty* data = whole.Properties().Attachments(0)->AttachmentDataNode();
    ASSERT_TRUE(data);
    const ByteString& bytes = std::get<ByteString>(data->Value);
    const size_t at = sample.find(bytes.substr(0, 64));
    ASSERT_NE(at, std::string::npos);
    TPelTNEFFile cut;
    Load(cut, sample.substr(0, at + bytes.size() / 2));
    ASSERT_GT(cut.Properties().AttachmentCount(), 0);
    const TMSGProperty* cutData = cut.Properties().Attachments(0)->AttachmentDataNode();
    ASSERT_TRUE(cutData);
    EXPECT_TRUE(cutData->Truncated);
    EXPECT_FALSE(data->Truncated);
    ASSERT_FALSE(cut.Warnings().empty());
    EXPECT_EQ(cut.Warnings()[0].Text.rfind("attachment data truncated: ", 0), 0u) << cut.Warnings()[0].Text;

    // The .eml says which attachment is incomplete; the sound message has no such word.
    const std::string description = "Content-Description: incomplete: the message file ends inside this attachment";
    TMemoryStream cutEml, wholeEml;
    SaveToEML(cut.Properties(), &cutEml);
    SaveToEML(whole.Properties(), &wholeEml);
    EXPECT_NE(cutEml.Bytes().find(description), std::string::npos);
    EXPECT_EQ(wholeEml.Bytes().find(description), std::string::npos);

    // Every shorter prefix of the sample is damaged, and says so.
    for (size_t n = 7; n < sample.size(); n += 97) {
        TPelTNEFFile prefix;
        Load(prefix, sample.substr(0, n));
        EXPECT_FALSE(prefix.Warnings().empty()) << n;
    }
}
