// The .msg reader on small compound files made with the storage layer: how storages and streams become nodes,
// what the properties streams hold, OLE objects, named properties and the errors a caller sees.

#include <gtest/gtest.h>

#include <cstring>

#include "cfb_builder.h"
#include "msg/named_properties.h"
#include "msg/property_entry.h"
#include "pelmsg.h"
#include "storage/storage.h"
#include "test_support.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

const std::u16string kProps = u"__properties_version1.0";

std::string Utf16(const std::string& ascii)
{
    std::string out;
    for (char c : ascii)
        out += std::string { c, '\0' };
    return out;
}

std::string Header32(uint32_t recipients = 0, uint32_t attachments = 0)
{
    return std::string(8, '\0') + LE32(recipients) + LE32(attachments) + LE32(recipients) + LE32(attachments)
        + std::string(8, '\0');
}

void Load(TPelMSGFile& msg, const std::vector<Element>& elements)
{
    std::string bytes = CompoundFileBytes(elements);
    TSpanStream stream(bytes);
    msg.LoadFromStream(stream);
}

// The first node with the tag among the collection's own nodes.
const TMSGProperty* Child(const TMSGProperties& c, uint32_t tag) { return c.FindProperty(tag, false, false); }

const TMSGProperty* PropertiesNode(const TMSGProperties& c)
{
    for (const TMSGProperty* n : c)
        if (ElementNameOf(*n) == kProps)
            return n;
    return nullptr;
}

} // namespace

TEST(MsgReader, TopLevelPropertiesStreamKeepsItsHeaderAndDecodesEveryEntry)
{
    const std::string header = Header32(1, 2);
    TPelMSGFile msg;
    Load(msg,
        { Stream(kProps,
            header + PropEntry(0x0003, 0x0E07, 0x12, LE32(25)) // PT_LONG
                + PropEntry(0x001F, 0x0037, 0x06, LE32(12)) // PT_UNICODE: a placeholder, value in its stream
                + PropEntry(0x0002, 0x0036, 0x06, LE16(0xFFFE)) // PT_I2, sign-extended
                + PropEntry(0x000B, 0x0E1F, 0x06, std::string("\x01\xCC", 2)) // PT_BOOLEAN: one byte counts
                + PropEntry(0x0019, 0x0C1F, 0x06, LE32(0x80004005))) });
    const TMSGProperty* props = PropertiesNode(msg.Properties());
    ASSERT_TRUE(props);
    const auto* top = dynamic_cast<const TMSGPropertyTopLevel*>(props);
    ASSERT_TRUE(top) << "the message's own properties stream";
    EXPECT_EQ(top->Header, header);
    EXPECT_EQ(top->TagID, 0u);

    const TMSGProperties& entries = props->SubProperties;
    ASSERT_EQ(entries.Count(), 5);
    EXPECT_EQ(entries.Items(0)->TagID, 0x0E070003u) << "the first entry starts right after the 32-byte header";
    EXPECT_EQ(ValueAsInteger(entries.Items(0)->Value), 25);
    EXPECT_EQ(entries.Items(0)->MsgRecord->EntryFlags, 0x12u);
    // A Unicode entry decodes to nothing of its own and type 0; the next entry is the next 16 bytes.
    EXPECT_EQ(entries.Items(1)->TagID, 0x00370000u);
    EXPECT_EQ(entries.Items(1)->DataSize, 0u);
    EXPECT_EQ(ValueAsBytes(entries.Items(1)->Value), "");
    EXPECT_EQ(entries.Items(2)->TagID, 0x00360002u);
    EXPECT_EQ(ValueAsInteger(entries.Items(2)->Value), -2);
    EXPECT_EQ(entries.Items(3)->TagID, 0x0E1F000Bu);
    EXPECT_EQ(ValueAsInteger(entries.Items(3)->Value), 1);
    EXPECT_EQ(entries.Items(4)->TagID, 0x0C1F000Au) << "a stored PT_ERROR (0x0019) reads as PT_ERROR";
    EXPECT_EQ(static_cast<uint32_t>(ValueAsInteger(entries.Items(4)->Value)), 0x80004005u);
    for (const TMSGProperty* e : entries)
        EXPECT_TRUE(e->MsgRecord && e->MsgRecord->EntryLength == 16);
}

TEST(MsgReader, EntryTypeCodesDecodeToTheirTypesAndEncodeBack)
{
    struct Row {
        uint16_t code;
        std::string field;
        uint16_t type; // of the node
        uint32_t dataSize;
        bool encodesBack; // the writer stores a node of that type and size under this code
    };
    const Row rows[] = {
        { 0x000B, std::string("\x01\0\0\0\0\0\0\0", 8), PT_BOOLEAN, 1, true },
        { 0x0002, std::string("\x02\x01\0\0\0\0\0\0", 8), PT_I2, 2, true },
        { 0x0010, std::string("\xFE\0\0\0\0\0\0\0", 8), PT_I2, 2, false }, // unsigned byte
        { 0x0004, std::string("\0\0\x80\x3F\0\0\0\0", 8), PT_DOUBLE, 4, true }, // single float
        { 0x0005, std::string("\0\0\0\0\0\0\xF0\x3F", 8), PT_DOUBLE, 8, true },
        { 0x0019, std::string("\x05\0\0\0\0\0\0\0", 8), PT_ERROR, 4, true },
        { 0x0013, std::string("\x05\0\0\0\0\0\0\0", 8), PT_LONG, 4, false },
        { 0x001E, std::string("\x06\0\0\0\0\0\0\0", 8), PT_STRING8, 4, true },
        { 0x0102, std::string("\x10\0\0\0\x07\0\0\0", 8), PT_BINARY, 8, true },
        { 0x000E, std::string("abcdefgh", 8), PT_BINARY, 16, true },
        { 0x0008, std::string("\x04\0a\0b\0\0\0", 8), PT_UNICODE, 4, true }, // counted
        { 0x001F, std::string("\x10\0\0\0\0\0\0\0", 8), 0x0000, 0, false },
        { 0x101F, std::string("\x10\0\0\0\0\0\0\0", 8), 0x0000, 0, false },
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        TMSGProperties c;
        TMSGProperty* n = c.Add();
        DecodeEntryValue(*n, r.field, 0x1234, r.code);
        EXPECT_EQ(n->TagID, MakeTag(0x1234, r.type));
        EXPECT_EQ(n->DataSize, r.dataSize);
        if (r.encodesBack) {
            EXPECT_EQ(EncodeEntry(*n, 0x06), PropEntry(r.code, 0x1234, 0x06, r.field));
        }
    }
    // A FILETIME beyond the year 9999 is no date: the date-time origin.
    TMSGProperties c;
    TMSGProperty* n = c.Add();
    DecodeEntryValue(*n, std::string(8, '\xFF'), 0x3007, PT_SYSTIME);
    EXPECT_EQ(std::get<TDateTime>(n->Value).Days, 0.0);
}

TEST(MsgReader, PropertiesStreamOfOnlyItsHeaderHasNoEntries)
{
    TPelMSGFile msg;
    Load(msg, { Stream(kProps, Header32()) });
    const TMSGProperty* props = PropertiesNode(msg.Properties());
    ASSERT_TRUE(props);
    EXPECT_TRUE(props->SubProperties.Empty());
    EXPECT_EQ(static_cast<const TMSGPropertyWithHeader*>(props)->Header.size(), 32u);
}

TEST(MsgReader, StreamEndingInsideAnEntryKeepsTheBytesItHas)
{
    TPelMSGFile msg;
    const std::string entry = PropEntry(0x0003, 0x0E07, 6, LE32(7));
    Load(msg, { Stream(kProps, Header32() + entry + entry.substr(0, 6)) });
    const TMSGProperties& entries = PropertiesNode(msg.Properties())->SubProperties;
    ASSERT_EQ(entries.Count(), 2);
    EXPECT_EQ(entries.Items(1)->MsgRecord->EntryLength, 6);
    EXPECT_EQ(ValueAsInteger(entries.Items(1)->Value), 0) << "missing value bytes count as zero";
    // The cut entry is marked and written down; a whole stream gives no warning.
    EXPECT_TRUE(entries.Items(1)->Truncated);
    EXPECT_FALSE(entries.Items(0)->Truncated);
    ASSERT_EQ(msg.Warnings().size(), 1u);
    EXPECT_EQ(msg.Warnings()[0].Text, "property stream cut short: its last entry has 6 of 16 bytes");
    Load(msg, { Stream(kProps, Header32() + entry) });
    EXPECT_TRUE(msg.Warnings().empty());
}

TEST(MsgReader, PropertyStreamsByName)
{
    using namespace std::string_literals;
    struct Case {
        std::u16string name;
        std::string bytes;
        uint32_t tag;
        std::string value; // the value's bytes (UTF-8 for wide text)
        uint32_t size;
    };
    const std::vector<Case> cases = {
        { u"__substg1.0_0037001E", "Subject\0"s, 0x0037001E, "Subject\0"s, 8 }, // the terminator is kept
        { u"__substg1.0_0e1d001e", "lower"s, 0x0E1D001E, "lower", 5 }, // lower-case digits read the same
        { u"__substg1.0_3001001F", "A\0n\0n\0"s, 0x3001001F, "Ann", 6 },
        { u"__substg1.0_1000001E", ""s, 0x1000001E, "", 0 }, // empty stream: the tag, no value
        { u"__substg1.0_0ff90102", "\x01\x02\x03"s, 0x0FF90102, "\x01\x02\x03", 3 },
        { u"__substg1.0_12340033", "abc"s, 0x12340033, "abc", 3 }, // unknown type: the bytes as they are
        // The lengths of a multi-valued Unicode property read as wide text, as the type says; its values raw.
        { u"__substg1.0_8001101F", "\x04\0\0\0\x06\0\0\0"s, 0x8001101F, "\x04\0\x06\0"s, 8 },
        { u"__substg1.0_8001101F-00000001", "x\0y\0"s, 0x00000001, "x\0y\0"s, 4 }, // a value of it: raw
        { u"other_0E04001E", "to"s, 0x0E04001E, "to", 2 }, // the prefix is not checked
    };
    std::vector<Element> elements { Stream(kProps, Header32()), Stream(u"Olk10SideProps_0001", "side") };
    for (const Case& c : cases)
        elements.push_back(Stream(c.name, c.bytes));
    TPelMSGFile msg;
    Load(msg, elements);
    EXPECT_EQ(msg.Properties().Count(), static_cast<int>(cases.size()) + 1) << "other programs' streams are left out";
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.name));
        const TMSGProperty* node = nullptr;
        for (const TMSGProperty* n : msg.Properties())
            if (ElementNameOf(*n) == c.name)
                node = n;
        ASSERT_TRUE(node);
        EXPECT_EQ(node->TagID, c.tag);
        EXPECT_FALSE(IsStorageElement(*node));
        EXPECT_EQ(node->DataSize, c.size);
        if (c.bytes.empty())
            EXPECT_TRUE(IsEmpty(node->Value));
        else
            EXPECT_EQ(ValueAsBytes(node->Value), c.value);
    }
}

TEST(MsgReader, StoragesByName)
{
    const std::string entry = PropEntry(0x0003, 0x0C15, 6, LE32(1));
    TPelMSGFile msg;
    Load(msg,
        { Stream(kProps, Header32(1, 1)),
            Storage(u"__recip_version1.0_#00000000",
                { Stream(kProps, std::string(8, 'r') + entry), Stream(u"__substg1.0_3001001F", "B\0o\0b\0") }),
            Storage(u"__attach_version1.0_#00000000", { Stream(kProps, std::string(8, 'a') + entry) }),
            Storage(u"__substg1.0_abcd0102", {}), Storage(u"Unrelated", {}) });
    const TMSGProperties& root = msg.Properties();
    const TMSGProperty* recipient = Child(root, kTagRecipientRow);
    ASSERT_TRUE(recipient);
    EXPECT_TRUE(IsStorageElement(*recipient));
    EXPECT_EQ(U8(recipient->ValueText()), "__recip_version1.0_#00000000");
    const auto* recipientProps = dynamic_cast<const TMSGPropertyRecipient*>(PropertiesNode(recipient->SubProperties));
    ASSERT_TRUE(recipientProps);
    EXPECT_EQ(recipientProps->Header, std::string(8, 'r'));
    ASSERT_EQ(recipientProps->SubProperties.Count(), 1);
    EXPECT_EQ(recipientProps->SubProperties.Items(0)->TagID, 0x0C150003u);

    const TMSGProperty* attachment = Child(root, kTagAttachmentStorage);
    ASSERT_TRUE(attachment);
    const auto* attachmentProps
        = dynamic_cast<const TMSGPropertyAttachment*>(PropertiesNode(attachment->SubProperties));
    ASSERT_TRUE(attachmentProps);
    EXPECT_EQ(attachmentProps->SubProperties.Count(), 1);

    // An empty storage named like a property keeps its tag and its 8 characters; any other storage has tag 0.
    const TMSGProperty* hex = Child(root, 0xABCD0102);
    ASSERT_TRUE(hex);
    EXPECT_TRUE(IsStorageElement(*hex));
    EXPECT_TRUE(hex->SubProperties.Empty());
    EXPECT_EQ(U8(hex->ValueText()), "abcd0102");
    const TMSGProperty* other = Child(root, 0);
    ASSERT_TRUE(other);
    EXPECT_EQ(ElementNameOf(*other), u"Unrelated");
    EXPECT_TRUE(IsStorageElement(*other));
}

TEST(MsgReader, AttachedMessageHasItsOwnHeaderAndTheAttachmentKeepsItsFirstEntry)
{
    TPelMSGFile msg;
    Load(msg,
        { Stream(kProps, Header32(0, 1)),
            Storage(u"__attach_version1.0_#00000000",
                { Stream(kProps,
                      std::string(8, '\0') + PropEntry(0x0003, 0x3705, 6, LE32(5))
                          + PropEntry(0x000D, 0x3701, 6, LE32(0xFFFFFFFF))),
                    Storage(u"__substg1.0_3701000D",
                        { Stream(kProps, std::string(24, 'e') + PropEntry(0x0003, 0x0E07, 6, LE32(1))),
                            Stream(u"__substg1.0_001A001E", "IPM.Note"),
                            Stream(u"__substg1.0_0037001E", "inner") }) }) });
    const TMSGProperty* attachment = msg.Properties().Attachments(0);
    ASSERT_TRUE(attachment);
    EXPECT_TRUE(attachment->IsEmbeddedMessage());
    const auto* attachmentProps
        = dynamic_cast<const TMSGPropertyAttachment*>(PropertiesNode(attachment->SubProperties));
    ASSERT_TRUE(attachmentProps) << "an attachment's own stream has the 8-byte header";
    ASSERT_EQ(attachmentProps->SubProperties.Count(), 2);
    EXPECT_EQ(attachmentProps->SubProperties.Items(0)->TagID, 0x37050003u);
    EXPECT_EQ(ValueAsInteger(attachmentProps->SubProperties.Items(0)->Value), 5);

    const TMSGProperty* object = Child(attachment->SubProperties, kTagAttachDataObject);
    ASSERT_TRUE(object);
    EXPECT_TRUE(IsStorageElement(*object));
    const auto* inner = dynamic_cast<const TMSGPropertyEmbeddedMessage*>(PropertiesNode(object->SubProperties));
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->Header, std::string(24, 'e'));
    ASSERT_EQ(inner->SubProperties.Count(), 1);
    EXPECT_EQ(inner->SubProperties.Items(0)->TagID, 0x0E070003u);
    EXPECT_EQ(U8(object->SubProperties.Subject()), "inner");
}

TEST(MsgReader, OleObjectIsKeptAsAWholeCompoundFile)
{
    const std::string native = LE32(5) + "hello";
    const std::vector<Element> elements = { Stream(kProps, Header32(0, 1)),
        Storage(u"__attach_version1.0_#00000000",
            { Stream(kProps, std::string(8, '\0') + PropEntry(0x0003, 0x3705, 6, LE32(6))),
                Storage(u"__substg1.0_3701000D",
                    { Stream(u"\x01Ole10Native", native),
                        Stream(u"\x01"
                               u"CompObj",
                            "compobj") },
                    0x01D7A1B2C3D4E5F6) }) };
    TPelMSGFile msg;
    Load(msg, elements);
    const TMSGProperty* attachment = msg.Properties().Attachments(0);
    ASSERT_TRUE(attachment);
    const TMSGProperty* object = Child(attachment->SubProperties, kTagAttachDataObject);
    ASSERT_TRUE(object);
    EXPECT_TRUE(object->SubProperties.Empty());
    ASSERT_TRUE(IsByteString(object->Value));
    const std::string& image = std::get<ByteString>(object->Value);
    EXPECT_EQ(object->DataSize, image.size());
    ASSERT_TRUE(StgIsStorageMemory(image));
    auto storage = StgOpenStorageOnMemory(image);
    auto listed = ListElements(*storage);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[u"\x01Ole10Native"].Bytes, native);
    EXPECT_EQ(listed[u"\x01"
                     u"CompObj"]
                  .Bytes,
        "compobj");
    EXPECT_EQ(attachment->AttachmentKind(), TAttachmentKind::OleObject);

    // The image carries the object storage's time, not the moment it was read: loading again gives the same bytes.
    EXPECT_EQ(storage->Stat().mtime, 0x01D7A1B2C3D4E5F6u);
    TPelMSGFile again;
    Load(again, elements);
    const TMSGProperty* objectAgain = Child(again.Properties().Attachments(0)->SubProperties, kTagAttachDataObject);
    ASSERT_TRUE(objectAgain);
    EXPECT_TRUE(objectAgain->Value == object->Value);
}

TEST(MsgReader, ObjectDataStreamOutsideAnObjectStorageBecomesTheDataNode)
{
    TPelMSGFile msg;
    Load(msg,
        { Stream(kProps, Header32(0, 1)),
            Storage(u"__attach_version1.0_#00000000",
                { Stream(kProps, std::string(8, '\0')), Stream(u"Workbook", "sheet bytes") }) });
    const TMSGProperty* attachment = msg.Properties().Attachments(0);
    ASSERT_TRUE(attachment);
    const TMSGProperty* data = Child(attachment->SubProperties, kTagAttachDataObject);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::get<ByteString>(data->Value), "sheet bytes");
    EXPECT_EQ(data->DataSize, 11u);
}

TEST(MsgReader, NamedPropertiesGetTheirNamesAlsoInAttachedMessages)
{
    const std::array<uint8_t, 16> common
        = { 0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };
    const std::string guids(reinterpret_cast<const char*>(common.data()), 16);
    // Entry: name or string offset, then kind (bit 0) | GUID index << 1 | property index << 16.
    const std::string entries = LE32(0x8501) + LE32(0u | 3u << 1 | 0u << 16) // 0x8000: {common}, 0x8501
        + LE32(0) + LE32(1u | 2u << 1 | 1u << 16); // 0x8001: PS_PUBLIC_STRINGS, "Keywords"
    const std::string keywords = Utf16("Keywords");
    const std::string strings = LE32(static_cast<uint32_t>(keywords.size())) + keywords;
    const Element nameid = Storage(u"__nameid_version1.0",
        { Stream(u"__substg1.0_00020102", guids), Stream(u"__substg1.0_00030102", entries),
            Stream(u"__substg1.0_00040102", strings) });
    TPelMSGFile msg;
    Load(msg,
        { Stream(kProps, Header32(0, 1) + PropEntry(0x0003, 0x8000, 6, LE32(15))), nameid,
            Stream(u"__substg1.0_8001001F", Utf16("kw")),
            Storage(u"__attach_version1.0_#00000000",
                { Stream(kProps, std::string(8, '\0')),
                    Storage(u"__substg1.0_3701000D",
                        { Stream(kProps, std::string(24, '\0') + PropEntry(0x0003, 0x8000, 6, LE32(16))),
                            Stream(u"__substg1.0_8001001F", Utf16("inner kw")) }) }) });
    const TMSGProperties& root = msg.Properties();
    const TMSGProperty* fixed = PropertiesNode(root)->SubProperties.Items(0);
    ASSERT_TRUE(fixed->NamedId);
    EXPECT_EQ(fixed->NamedId->Guid, common);
    EXPECT_FALSE(fixed->NamedId->IsString);
    EXPECT_EQ(fixed->NamedId->Number, 0x8501u);
    const TMSGProperty* text = Child(root, 0x8001001F);
    ASSERT_TRUE(text && text->NamedId);
    EXPECT_EQ(text->NamedId->Guid, kPsPublicStrings);
    EXPECT_TRUE(text->NamedId->IsString);
    EXPECT_EQ(text->NamedId->Name, u"Keywords");
    EXPECT_EQ(PropId(text->TagID), 0x8001) << "named properties keep their identifiers";

    const TMSGProperty* object = Child(root.Attachments(0)->SubProperties, kTagAttachDataObject);
    ASSERT_TRUE(object);
    const TMSGProperty* innerFixed = PropertiesNode(object->SubProperties)->SubProperties.Items(0);
    ASSERT_TRUE(innerFixed->NamedId);
    EXPECT_EQ(innerFixed->NamedId->Number, 0x8501u);
    const TMSGProperty* innerText = Child(object->SubProperties, 0x8001001F);
    ASSERT_TRUE(innerText && innerText->NamedId);
    EXPECT_EQ(innerText->NamedId->Name, u"Keywords");
}

TEST(MsgReader, LoadFromStreamReadsWhatLoadFromFileReads)
{
    TempDir dir;
    const std::vector<Element> elements
        = { Stream(kProps, Header32() + PropEntry(0x0003, 0x0E07, 6, LE32(9))), Stream(u"__substg1.0_0037001E", "s") };
    WriteCompoundFile(dir.File("a.msg"), elements);
    TPelMSGFile fromFile;
    fromFile.LoadFromFile(dir.File("a.msg"));
    const std::string bytes = ReadFileBytes(dir.File("a.msg"));
    TSpanStream stream(bytes);
    TPelMSGFile fromStream;
    fromStream.LoadFromStream(stream);
    ASSERT_EQ(fromFile.Properties().Count(), fromStream.Properties().Count());
    EXPECT_EQ(U8(fromStream.Subject()), "s");
    EXPECT_EQ(fromStream.Properties().Count(), 2);

    // A second load replaces the tree instead of adding to it.
    TSpanStream again(bytes);
    fromStream.LoadFromStream(again);
    EXPECT_EQ(fromStream.Properties().Count(), 2);
}

TEST(MsgReader, FilesThatAreNotMessagesGiveClearErrors)
{
    TempDir dir;
    WriteFileBytes(dir.File("text.msg"), std::string(2048, 'x'));
    TPelMSGFile msg;
    try {
        msg.LoadFromFile(dir.File("text.msg"));
        FAIL() << "a text file loaded";
    } catch (const EFormatError& e) {
        EXPECT_EQ(std::string(e.what()), "File " + dir.File("text.msg") + " is not valid file (compound storage)");
    }
    try {
        msg.LoadFromFile(dir.File("missing.msg"));
        FAIL() << "a missing file loaded";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "File " + dir.File("missing.msg") + " is not found.");
    }
    // Bytes in memory that are no compound file, or a damaged one.
    std::string good = CompoundFileBytes({ Stream(kProps, Header32()) });
    for (const std::string& bytes : { std::string("not a compound file"), good.substr(0, 600) }) {
        TSpanStream stream(bytes);
        EXPECT_THROW(msg.LoadFromStream(stream), EPelMsgError);
    }
}

TEST(MsgReader, EightBitTextIsDecodedWithTheCodePageOfItsPropertiesStream)
{
    TPelMSGFile msg;
    Load(msg,
        { Stream(kProps, Header32(0, 1) + PropEntry(0x0003, 0x3FFD, 6, LE32(1251))),
            Stream(u"__substg1.0_0037001E", "\xCF\xF0\xE8\xE2\xE5\xF2"),
            Storage(u"__attach_version1.0_#00000000",
                { Stream(kProps, std::string(8, '\0')), Stream(u"__substg1.0_3704001E", "\xC8\xEC\xFF.txt"),
                    Storage(u"__substg1.0_3701000D",
                        { Stream(kProps, std::string(24, '\0') + PropEntry(0x0003, 0x3FDE, 6, LE32(1252))),
                            Stream(u"__substg1.0_001A001E", "IPM.Note"),
                            Stream(u"__substg1.0_0037001E",
                                "Gr\xFC\xDF"
                                "e") }) }) });
    EXPECT_EQ(msg.Properties().TextCodePage(), 1251);
    EXPECT_EQ(U8(msg.Subject()), "Привет");
    const TMSGProperty* attachment = msg.Properties().Attachments(0);
    ASSERT_TRUE(attachment);
    EXPECT_EQ(attachment->AttachmentFileName(0), "Имя.txt") << "an attachment has the message's code page";
    const TMSGProperty* object = Child(attachment->SubProperties, kTagAttachDataObject);
    ASSERT_TRUE(object);
    EXPECT_EQ(U8(object->SubProperties.Subject()), "Grüße") << "an attached message has its own";
}

TEST(MsgReader, TheReaderIsChosenByTheFileContentNotItsName)
{
    TempDir dir;
    WriteCompoundFile(dir.File("mail.dat"), { Stream(kProps, Header32()), Stream(u"__substg1.0_0037001E", "s") });
    WriteFileBytes(dir.File("winmail.msg"), ReadFileBytes(TESSALY_SOURCE_DIR "/samples/winmail.dat"));
    WriteFileBytes(dir.File("short.msg"), "\xD0\xCF");

    auto compound = CreateMessageForFile(dir.File("mail.dat"));
    EXPECT_NE(dynamic_cast<TPelMSGFile*>(compound.get()), nullptr);
    compound->LoadFromFile(dir.File("mail.dat"));
    EXPECT_EQ(U8(compound->Subject()), "s");

    auto tnef = CreateMessageForFile(dir.File("winmail.msg"));
    EXPECT_NE(dynamic_cast<TPelTNEFFile*>(tnef.get()), nullptr);
    tnef->LoadFromFile(dir.File("winmail.msg"));
    EXPECT_FALSE(tnef->Subject().empty());

    // Short, missing and folder inputs go to the TNEF reader, whose errors name what is wrong.
    for (const std::string& path : { dir.File("short.msg"), dir.File("missing"), dir.Path() }) {
        auto other = CreateMessageForFile(path);
        EXPECT_NE(dynamic_cast<TPelTNEFFile*>(other.get()), nullptr) << path;
        EXPECT_THROW(other->LoadFromFile(path), EPelMsgError) << path;
    }
}
