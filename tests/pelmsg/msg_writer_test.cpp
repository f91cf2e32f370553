// The .msg writer on trees read from small compound files and on nodes made by hand: what a mirrored file keeps,
// how entries without their original bytes are encoded, dates, OLE objects, attached messages saved on their own
// and attachment data saved as files.

#include <gtest/gtest.h>

#include <cstring>

#include "cfb_builder.h"
#include "pelmsg.h"
#include "storage/storage.h"
#include "test_support.h"
#include "text/datetime.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;
using namespace std::string_literals;

namespace {

const std::u16string kProps = u"__properties_version1.0";

std::string Header32(uint32_t recipients = 0, uint32_t attachments = 0)
{
    return std::string(8, '\0') + LE32(recipients) + LE32(attachments) + LE32(recipients) + LE32(attachments)
        + std::string(8, '\0');
}

uint32_t U32(const std::string& b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

uint64_t U64(const std::string& b, size_t at)
{
    uint64_t v = 0;
    std::memcpy(&v, b.data() + at, 8);
    return v;
}

std::map<std::u16string, Listed> ListFile(const std::string& path)
{
    auto root = StgOpenStorage(path);
    return ListElements(*root);
}

// Every element of the expected listing is in the actual one with the same kind and bytes, and nothing else.
void ExpectSameElements(
    const std::map<std::u16string, Listed>& expected, const std::map<std::u16string, Listed>& actual)
{
    for (const auto& [path, element] : expected) {
        auto found = actual.find(path);
        if (found == actual.end()) {
            ADD_FAILURE() << "missing: " << U8(path);
            continue;
        }
        EXPECT_EQ(found->second.IsStorage, element.IsStorage) << U8(path);
        // Compared as a whole so that a difference in a large stream does not print all of it.
        EXPECT_TRUE(found->second.Bytes == element.Bytes)
            << U8(path) << ": " << found->second.Bytes.size() << " bytes written, " << element.Bytes.size() << " read";
    }
    for (const auto& [path, element] : actual)
        EXPECT_TRUE(expected.count(path)) << "written but not read: " << U8(path);
}

// Saves the tree read from in.msg, with every property, as `name`: its elements must be those of in.msg.
void ExpectSavedAsRead(const TMSGProperties& tree, const TempDir& dir, const std::string& name = "out.msg")
{
    SaveToMSGFile(tree, dir.File(name), true);
    ExpectSameElements(ListFile(dir.File("in.msg")), ListFile(dir.File(name)));
}

TMSGProperty* PropertiesNode(const TMSGProperties& c)
{
    for (TMSGProperty* n : c)
        if (ElementNameOf(*n) == kProps)
            return n;
    return nullptr;
}

// A message with one entry of every stored type the entry reader knows, each with its own flags word, and
// streams and storages of every kind the reader keeps.
std::vector<Element> EveryKindOfElement()
{
    std::string entries = Header32(1, 2);
    const struct {
        uint16_t type;
        std::string value;
    } stored[] = {
        { 0x0001, "" },
        { 0x0002, LE16(0x8001) + "junk" },
        { 0x0012, LE16(7) },
        { 0x0010, "\xF0"s },
        { 0x0011, "\x7F"s },
        { 0x0003, LE32(0xDEADBEEF) },
        { 0x0013, LE32(3) },
        { 0x0004, LE32(0x3FC00000) },
        { 0x0005, LE64(0x400921FB54442D18) },
        { 0x0006, LE64(123456789) },
        { 0x0007, LE64(0x40E5F54000000000) },
        { 0x0008, LE16(4) + "wide" },
        { 0x000B, "\x01\x01"s },
        { 0x000E, "sixteen bytes..." },
        { 0x0014, LE64(0xFFFFFFFFFFFFFFFF) },
        { 0x0015, LE64(42) },
        { 0x0019, LE32(0x80040111) },
        { 0x001E, LE32(6) + "trail" },
        { 0x001F, LE32(12) },
        { 0x0040, LE64(0x01D7A1B2C3D4E5F6) },
        { 0x0048, "0123456789abcdef" },
        { 0x0102, LE32(3) + LE32(0) },
        { 0x000D, LE32(0xFFFFFFFF) },
        { 0x1003, LE32(8) },
        { 0x0033, "whatever" },
    };
    uint16_t id = 0x6000;
    uint32_t flags = 1;
    for (const auto& s : stored)
        entries += PropEntry(s.type, id++, flags++, s.value);
    return {
        Stream(kProps, entries),
        Stream(u"__substg1.0_0037001E", "subject\0"s),
        Stream(u"__substg1.0_0e1d001f", "s\0u\0b\0"s),
        Stream(u"__substg1.0_1000001F", ""),
        Stream(u"__substg1.0_0FF90102", "\x00\x01\x02"s),
        Stream(u"__substg1.0_12340033", "unknown type"),
        Stream(u"__substg1.0_6000101E", LE32(2) + LE32(3)),
        Stream(u"__substg1.0_6000101E-00000000", "a\0"s),
        Stream(u"__substg1.0_6000101E-00000001", "bc\0"s),
        Stream(u"__substg1.0_60011102", LE32(1) + LE32(0)),
        Stream(u"__substg1.0_60011102-00000000", "\x09"s),
        Stream(u"__substg1.0_60021003", LE32(1) + LE32(2)),
        Stream(u"__substg1.0_60031040", LE64(0x01D7A1B2C3D4E5F6)),
        Storage(u"__recip_version1.0_#00000000",
            { Stream(kProps, "rcpthead"s + PropEntry(0x0003, 0x0C15, 6, LE32(1))),
                Stream(u"__substg1.0_3001001E", "Bob\0"s) }),
        Storage(u"__attach_version1.0_#00000000",
            { Stream(kProps, "atthead0"s + PropEntry(0x0003, 0x3705, 6, LE32(5))),
                Storage(u"__substg1.0_3701000D",
                    { Stream(kProps, std::string(24, '\x18') + PropEntry(0x0003, 0x0E07, 6, LE32(1))),
                        Stream(u"__substg1.0_001A001E", "IPM.Note\0"s), Stream(u"__substg1.0_0037001E", "inner\0"s),
                        Storage(u"__substg1.0_0E0B0102", {}) }) }),
        Storage(u"__attach_version1.0_#00000001",
            { Stream(kProps, "atthead1"s), Stream(u"__substg1.0_37010102", "file"),
                Stream(u"__substg1.0_3707001F", "a\0.\0t\0x\0t\0"s) }),
        Storage(u"__nameid_version1.0",
            { Stream(u"__substg1.0_00020102", ""), Stream(u"__substg1.0_00030102", ""),
                Stream(u"__substg1.0_00040102", "") }),
        Storage(u"Empty", {}),
    };
}

} // namespace

TEST(MsgWriter, MirroredFileHasTheSameElementsHeadersEntriesAndStreams)
{
    TempDir dir;
    const std::vector<Element> elements = EveryKindOfElement();
    WriteCompoundFile(dir.File("in.msg"), elements);
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    ExpectSavedAsRead(msg.Properties(), dir);

    // Saving what was read from the saved file gives the same elements again.
    TPelMSGFile again;
    again.LoadFromFile(dir.File("out.msg"));
    ExpectSavedAsRead(again.Properties(), dir, "again.msg");
}

TEST(MsgWriter, PropertiesStreamsOfOnlyTheirHeaderAreWrittenBack)
{
    TempDir dir;
    const std::vector<Element> elements = {
        Stream(kProps, Header32(0, 1)),
        Storage(u"__recip_version1.0_#00000000", { Stream(kProps, "8 bytes!"s) }),
        Storage(u"__attach_version1.0_#00000000",
            { Stream(kProps, "8 bytes?"s),
                Storage(u"__substg1.0_3701000D", { Stream(kProps, std::string(24, '\x24')) }) }),
        Storage(u"short", { Stream(kProps, "abc"s) }),
    };
    WriteCompoundFile(dir.File("in.msg"), elements);
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    ExpectSavedAsRead(msg.Properties(), dir);
}

TEST(MsgWriter, EntriesWithoutTheirBytesAreEncodedFromTheirValues)
{
    TempDir dir;
    WriteCompoundFile(dir.File("in.msg"), { Stream(kProps, Header32()) });
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    TMSGProperty* props = PropertiesNode(msg.Properties());
    ASSERT_TRUE(props);
    struct Case {
        uint32_t tag;
        TValue value;
        uint32_t size;
        std::string entry; // the 16 bytes expected
    };
    const std::vector<Case> cases = {
        { 0x0E1F000B, true, 1, PropEntry(0x000B, 0x0E1F, 0x11, "\x01"s) },
        { 0x0E1E000B, false, 1, PropEntry(0x000B, 0x0E1E, 0x11, "\x00"s) },
        { 0x00360002, int32_t { -2 }, 2, PropEntry(0x0002, 0x0036, 0x11, "\xFE\xFF"s) },
        { 0x0E070003, int32_t { 25 }, 4, PropEntry(0x0003, 0x0E07, 0x11, LE32(25)) },
        { 0x0037001E, ByteString(LE32(12)), 4, PropEntry(0x001E, 0x0037, 0x11, LE32(12)) }, // the size word
        { 0x0C1F000A, int32_t { 5 }, 4, PropEntry(0x0019, 0x0C1F, 0x11, LE32(5)) },
        { 0x10000001, TNull {}, 0, PropEntry(0x0001, 0x1000, 0x11) },
        { 0x00170014, int64_t { -1 }, 8, PropEntry(0x0014, 0x0017, 0x11, LE64(0xFFFFFFFFFFFFFFFF)) },
        { 0x00180005, 1.5, 4, PropEntry(0x0004, 0x0018, 0x11, LE32(0x3FC00000)) }, // a single float read
        { 0x00190005, 1.5, 8, PropEntry(0x0005, 0x0019, 0x11, LE64(0x3FF8000000000000)) },
        { 0x001A0048, ByteString("{00020328-0000-0000-C000-000000000046}"), 16,
            PropEntry(0x0048, 0x001A, 0x11, "\x28\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"s) },
        { 0x001B0102, ByteString(LE32(9) + LE32(0)), 8, PropEntry(0x0102, 0x001B, 0x11, LE32(9)) },
    };
    for (const Case& c : cases) {
        TMSGProperty* node = props->SubProperties.Add();
        node->TagID = c.tag;
        node->Value = c.value;
        node->DataSize = c.size;
        MsgRecordOf(*node).EntryFlags = 0x11;
    }
    SaveToMSGFile(msg.Properties(), dir.File("out.msg"), true);
    const std::string written = ListFile(dir.File("out.msg"))[kProps].Bytes;
    ASSERT_EQ(written.size(), 32 + 16 * cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(written.substr(32 + 16 * i, 16), cases[i].entry) << std::hex << cases[i].tag;
}

TEST(MsgWriter, StorageNodeWithoutANameIsNamedByItsTag)
{
    TempDir dir;
    WriteCompoundFile(dir.File("in.msg"), { Stream(kProps, Header32()) });
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    const struct {
        uint32_t tag;
        std::u16string name;
    } cases[] = { { kTagAttachmentStorage, u"attach_version" }, { kTagRecipientRow, u"recip_version" },
        { kTagNamedPropertyStorage, u"nameid_version" }, { 0x12345678, u"12345678" } };
    for (const auto& c : cases) {
        TMSGProperty* node = msg.Properties().Add();
        node->TagID = c.tag;
        TMSGProperty* child = node->SubProperties.Add();
        child->TagID = 0x0037001E;
        child->Value = ByteString("x");
        child->DataSize = 1;
    }
    SaveToMSGFile(msg.Properties(), dir.File("out.msg"), true);
    auto listed = ListFile(dir.File("out.msg"));
    for (const auto& c : cases) {
        EXPECT_TRUE(listed[c.name].IsStorage) << U8(c.name);
        EXPECT_EQ(listed[c.name + u"/__substg1.0_0037001E"].Bytes, "x") << U8(c.name);
    }
}

TEST(MsgWriter, DatesConvertWithTheOffsetInForceAtThatDate)
{
    ScopedTimeZone zone("America/New_York");
    TempDir dir;
    WriteCompoundFile(dir.File("in.msg"), { Stream(kProps, Header32()) });
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    TMSGProperty* props = PropertiesNode(msg.Properties());
    const struct {
        int month;
        int utcHour; // noon local time in UTC: EDT in July, EST in January
    } cases[] = { { 7, 16 }, { 1, 17 } };
    for (const auto& c : cases) {
        const double local = *TryEncodeDateTime(2024, c.month, 15, 12, 0, 0);
        TMSGProperty* entry = props->SubProperties.Add();
        entry->TagID = MakeTag(static_cast<uint16_t>(0x0039 + c.month), PT_SYSTIME);
        entry->Value = TDateTime { local };
        entry->DataSize = 8;
        TMSGProperty* stream = msg.Properties().Add();
        stream->TagID = MakeTag(static_cast<uint16_t>(0x8039 + c.month), PT_SYSTIME);
        stream->Value = TDateTime { local };
        stream->DataSize = 8;
    }
    SaveToMSGFile(msg.Properties(), dir.File("out.msg"), true);
    auto listed = ListFile(dir.File("out.msg"));
    const std::string& entries = listed[kProps].Bytes;
    for (size_t i = 0; i < 2; ++i) {
        const uint64_t expected = FileTimeOf(2024, cases[i].month, 15, cases[i].utcHour, 0, 0);
        EXPECT_EQ(U64(entries, 32 + 16 * i + 8), expected) << "entry, month " << cases[i].month;
        char name[24];
        std::snprintf(name, sizeof name, "__substg1.0_%04X0040", 0x8039 + cases[i].month);
        EXPECT_EQ(U64(listed[W(name)].Bytes, 0), expected) << "stream, month " << cases[i].month;
    }

    // And back: the dates read from the written file are the local times written.
    TPelMSGFile back;
    back.LoadFromFile(dir.File("out.msg"));
    const TMSGProperties& backEntries = PropertiesNode(back.Properties())->SubProperties;
    for (int i = 0; i < 2; ++i) {
        const double local = *TryEncodeDateTime(2024, cases[i].month, 15, 12, 0, 0);
        EXPECT_DOUBLE_EQ(ValueAsDouble(backEntries.Items(i)->Value), local);
        const TMSGProperty* stream = back.Properties().FindProperty(
            MakeTag(static_cast<uint16_t>(0x8039 + cases[i].month), PT_SYSTIME), false, false);
        ASSERT_TRUE(stream);
        EXPECT_DOUBLE_EQ(ValueAsDouble(stream->Value), local);
    }
}

TEST(MsgWriter, OleObjectIsWrittenBackAsItsStorage)
{
    TempDir dir;
    const std::vector<Element> elements = {
        Stream(kProps, Header32(0, 1)),
        Storage(u"__attach_version1.0_#00000000",
            { Stream(kProps, std::string(8, '\0') + PropEntry(0x0003, 0x3705, 6, LE32(6))),
                Storage(u"__substg1.0_3701000D",
                    { Stream(u"\x01Ole10Native", LE32(4) + "data"), Stream(u"\x03MailStream", "ms"),
                        Storage(u"ObjectPool", { Stream(u"inner", "deep") }) },
                    0x01D7A1B2C3D4E5F6) }),
    };
    WriteCompoundFile(dir.File("in.msg"), elements);
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    ExpectSavedAsRead(msg.Properties(), dir);
    // The object keeps its time, so that reading the saved file gives the object of the original again.
    auto root = StgOpenStorage(dir.File("out.msg"));
    auto object = root->OpenStorage(u"__attach_version1.0_#00000000")->OpenStorage(u"__substg1.0_3701000D");
    EXPECT_EQ(object->Stat().mtime, 0x01D7A1B2C3D4E5F6u);
    TPelMSGFile back;
    back.LoadFromFile(dir.File("out.msg"));
    EXPECT_TRUE(back.Properties().Attachments(0)->AttachmentDataNode()->Value
        == msg.Properties().Attachments(0)->AttachmentDataNode()->Value);
}

TEST(MsgWriter, AttachedMessageSavedOnItsOwnIsAMessageOfItsOwn)
{
    TempDir dir;
    std::vector<Element> elements = EveryKindOfElement();
    WriteCompoundFile(dir.File("in.msg"), elements);
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    const TMSGProperty* attachment = msg.Properties().Attachments(0);
    ASSERT_TRUE(attachment && attachment->IsEmbeddedMessage());
    const TMSGProperty* object = attachment->SubProperties.FindProperty(kTagAttachDataObject, false, false);
    ASSERT_TRUE(object);
    SaveToMSGFile(object->SubProperties, dir.File("attached.msg"), true);

    auto listed = ListFile(dir.File("attached.msg"));
    const std::string& props = listed[kProps].Bytes;
    ASSERT_EQ(props.size(), 32u + 16u) << "a 32-byte header in front of the entry";
    EXPECT_EQ(props.substr(0, 24), std::string(24, '\x18'));
    EXPECT_EQ(props.substr(24, 8), std::string(8, '\0'));
    EXPECT_EQ(props.substr(32), PropEntry(0x0003, 0x0E07, 6, LE32(1)));
    EXPECT_EQ(listed[u"__substg1.0_0037001E"].Bytes, "inner\0"s);
    EXPECT_TRUE(listed[u"__substg1.0_0E0B0102"].IsStorage);
    EXPECT_TRUE(listed.count(u"__nameid_version1.0/__substg1.0_00030102")) << "the mapping of the outer message";

    TPelMSGFile back;
    back.LoadFromFile(dir.File("attached.msg"));
    EXPECT_EQ(U8(back.Subject()), "inner");
}

TEST(MsgWriter, AttachmentDataSavedAsAFile)
{
    TempDir dir;
    TPelMSGFile msg;
    TMSGProperties& root = msg.Properties();
    TMSGProperty* withData = root.Add();
    withData->TagID = kTagAttachmentStorage;
    TMSGProperty* data = withData->SubProperties.Add();
    data->TagID = kTagAttachDataBinary;
    data->Value = ByteString("0123456789");
    data->DataSize = 4; // only the stored size counts
    TMSGProperty* emptyData = root.Add();
    emptyData->TagID = kTagAttachmentStorage;
    TMSGProperty* empty = emptyData->SubProperties.Add();
    empty->TagID = kTagAttachDataBinary;
    empty->Value = ByteString("ignored");
    empty->DataSize = 0;
    TMSGProperty* noData = root.Add();
    noData->TagID = kTagAttachmentStorage;
    noData->SubProperties.Add()->TagID = 0x3707001E;

    // An attachment without data is an attachment still (the writers all list it), with no bytes.
    ASSERT_EQ(root.AttachmentCount(), 3);
    SaveAttachmentToFile(root, 0, dir.File("data.bin"));
    EXPECT_EQ(ReadFileBytes(dir.File("data.bin")), "0123");
    for (int index : { 1, 2, 99 }) {
        const std::string file = dir.File("empty" + std::to_string(index));
        WriteFileBytes(file, "old content");
        SaveAttachmentToFile(root, index, file);
        EXPECT_EQ(ReadFileBytes(file), "") << index;
    }
    EXPECT_THROW(SaveAttachment(root, 0, nullptr), EPelMsgError);
    EXPECT_THROW(SaveAttachmentToFile(root, 0, dir.File("no such folder/data.bin")), EPelMsgError);
}

TEST(MsgWriter, CommonPropertiesOfAMessageReadFromAMsgFile)
{
    TempDir dir;
    WriteCompoundFile(dir.File("in.msg"),
        { Stream(kProps,
              Header32(1, 0) + PropEntry(0x0040, 0x0039, 6, LE64(0x01D7A1B2C3D4E5F6))
                  + PropEntry(0x0003, 0x0E07, 6, LE32(1))),
            Stream(u"__substg1.0_0037001E", "subject\0"s), Stream(u"__substg1.0_1000001E", "body\0"s),
            Stream(u"__substg1.0_0FF90102", "not listed"),
            Storage(u"__recip_version1.0_#00000000", { Stream(kProps, std::string(8, '\0')) }) });
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    SaveToMSGFile(msg.Properties(), dir.File("out.msg"), false);
    auto listed = ListFile(dir.File("out.msg"));
    EXPECT_EQ(listed[u"__substg1.0_0037001E"].Bytes, "subject");
    EXPECT_EQ(listed[u"__substg1.0_1000001E"].Bytes, "body");
    EXPECT_FALSE(listed.count(u"__substg1.0_0FF90102"));
    EXPECT_FALSE(listed.count(u"__recip_version1.0_#00000000"));
    const std::string& props = listed[kProps].Bytes;
    bool sent = false;
    for (size_t at = 32; at + 16 <= props.size(); at += 16)
        if (U32(props, at) == 0x00390040)
            sent = U64(props, at + 8) == 0x01D7A1B2C3D4E5F6;
    EXPECT_TRUE(sent) << "the submit time, with the bytes it was read with";
}

TEST(MsgWriter, ObjectDataInAnAttachedObjectStorageIsWrittenBack)
{
    // The object storage takes the data of its "Workbook" stream as its value; the stream must not be lost.
    TempDir dir;
    WriteCompoundFile(dir.File("in.msg"),
        { Stream(kProps, Header32(0, 1)),
            Storage(u"__attach_version1.0_#00000000",
                { Stream(kProps, std::string(8, '\0') + PropEntry(0x0003, 0x3705, 6, LE32(6))),
                    Storage(u"__substg1.0_3701000D",
                        { Stream(kProps, std::string(24, '\0')), Stream(u"Workbook", "sheet bytes"),
                            Stream(u"WordDocument", "document") }) }) });
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    const TMSGProperty* attachment = msg.Properties().Attachments(0);
    ASSERT_TRUE(attachment);
    const TMSGProperty* object = attachment->AttachmentDataNode();
    ASSERT_TRUE(object);
    EXPECT_EQ(ValueAsBytes(object->Value), "sheet bytes") << "the first data stream is the object's data";
    TMemoryStream saved;
    SaveAttachment(msg.Properties(), 0, &saved);
    EXPECT_EQ(saved.Bytes(), "sheet bytes");

    ExpectSavedAsRead(msg.Properties(), dir);
}

TEST(MsgWriter, LookupStreamOfTheNamedPropertyStorageIsNotABody)
{
    // A lookup stream whose second entry happens to read as a compressed-RTF magic stays as it was.
    TempDir dir;
    const std::string lookup = LE32(0x10) + LE32(0x20) + "LZFu" + LE32(0x00060003) + LE32(0x8501) + LE32(0x00070006);
    WriteCompoundFile(dir.File("in.msg"),
        { Stream(kProps, Header32()),
            Storage(u"__nameid_version1.0",
                { Stream(u"__substg1.0_00020102", ""), Stream(u"__substg1.0_00030102", ""),
                    Stream(u"__substg1.0_00040102", ""), Stream(u"__substg1.0_10090102", lookup) }) });
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    const TMSGProperty* names = msg.Properties().FindProperty(kTagNamedPropertyStorage, false, false);
    ASSERT_TRUE(names);
    const TMSGProperty* stream = names->SubProperties.FindProperty(kTagRtfCompressed, false, false);
    ASSERT_TRUE(stream);
    EXPECT_FALSE(dynamic_cast<const TMSGPropertyCompressedRTF*>(stream));
    EXPECT_TRUE(msg.Properties().RtfBody().empty());
    ExpectSavedAsRead(msg.Properties(), dir);
}

TEST(MsgWriter, FixedSizeStreamsOfAnotherSizeKeepTheirBytes)
{
    TempDir dir;
    const std::vector<Element> elements = {
        Stream(kProps, Header32()),
        Stream(u"__substg1.0_80000002", "\x01\x02\x03"s),
        Stream(u"__substg1.0_80010003", "\x01\x02\x03\x04\x05\x06\x07"s),
        Stream(u"__substg1.0_8002000B", "\x01"s),
        Stream(u"__substg1.0_80030005", "\x01\x02\x03\x04\x05\x06\x07\x08\x09"s),
        Stream(u"__substg1.0_80040040", "\x01\x02\x03\x04\x05"s),
        Stream(u"__substg1.0_80050048", "0123456789"s),
        // Of their own size they are values, written back the same.
        Stream(u"__substg1.0_80060003", LE32(0xFEDCBA98)),
        Stream(u"__substg1.0_80070048", "\x28\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"s),
    };
    WriteCompoundFile(dir.File("in.msg"), elements);
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("in.msg"));
    const TMSGProperty* wrongSize = msg.Properties().FindProperty(0x80010003, false, false);
    ASSERT_TRUE(wrongSize);
    EXPECT_EQ(std::get<ByteString>(wrongSize->Value), "\x01\x02\x03\x04\x05\x06\x07"s);
    const TMSGProperty* rightSize = msg.Properties().FindProperty(0x80060003, false, false);
    ASSERT_TRUE(rightSize);
    EXPECT_EQ(static_cast<uint32_t>(ValueAsInteger(rightSize->Value)), 0xFEDCBA98u);
    ExpectSavedAsRead(msg.Properties(), dir);
}
