// A message that does not come from a .msg file (a TNEF message) saved as Outlook lays out a .msg.

#include <gtest/gtest.h>

#include <cstring>

#include "msg/named_properties.h"
#include "pelmsg.h"
#include "storage/storage.h"
#include "test_support.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::string ReadStream(IStorage& storage, const std::u16string& name)
{
    auto stream = storage.OpenStream(name);
    std::string bytes(static_cast<size_t>(stream->Stat().cbSize), '\0');
    if (!bytes.empty())
        stream->Read(bytes.data(), bytes.size());
    return bytes;
}

uint32_t U32(const std::string& b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// The 16-byte entry of a tag in a properties stream (after a header of the given size), or empty.
std::string Entry(const std::string& stream, size_t header, uint32_t tag)
{
    for (size_t at = header; at + 16 <= stream.size(); at += 16)
        if (U32(stream, at) == tag)
            return stream.substr(at, 16);
    return {};
}

std::string SampleTnef()
{
    std::string inner = TnefBuilder()
                            .Version()
                            .MessageClass("IPM.Note")
                            .MapiProps(TnefPropList().Unicode(0x0037, "inner").Long(0x0E07, 1))
                            .RecipientTable({ TnefPropList().Unicode(0x3001, "Inner Rcpt") })
                            .Bytes();
    return TnefBuilder()
        .Version()
        .OemCodePage(1252)
        .Subject("legacy subject")
        .Attribute(1, 0x0005800D, LE16(2))
        .MapiProps(TnefPropList()
                       .Unicode(0x0037, "Grüße")
                       .String8(0x0E1D, "8-bit")
                       .Long(0x0017, 2)
                       .Bool(0x0E1F, true)
                       .Short(0x0036, 1)
                       .SysTime(0x0039, FileTimeOf(2026, 7, 7, 7, 41, 2))
                       .NamedLong(0x8001, kPsetidCommon, 0x8501, 15)
                       .NamedString8(0x8002, kPsPublicStrings, "Keywords", "kw")
                       .Binary(0x1013, "<html></html>"))
        .RecipientTable({ TnefPropList().Unicode(0x3001, "Ann").Long(0x0C15, 1),
            TnefPropList().Unicode(0x3001, "Bob").Long(0x0C15, 2) })
        .AttachRenddata()
        .AttachTitle("a.txt")
        .AttachData("file data")
        .AttachRenddata()
        .AttachData("This attachment is a MAPI 1.0 embedded message")
        .AttachmentProps(TnefPropList().Object(0x3701, inner).Long(0x3705, 5))
        .Bytes();
}

// Each test has the sample read as TNEF, and a folder for what it writes.
class MsgLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string bytes = SampleTnef();
        TSpanStream input(bytes);
        tnef.LoadFromStream(input);
    }
    TempDir dir;
    TPelTNEFFile tnef;
};

} // namespace

TEST_F(MsgLayout, HeadersEntriesAndNumbering)
{
    std::string path = dir.File("out.msg");
    SaveToMSGFile(tnef.Properties(), path, true);

    auto root = StgOpenStorage(path);
    std::string props = ReadStream(*root, u"__properties_version1.0");
    // 32-byte header: next recipient and attachment ids, recipient and attachment counts.
    EXPECT_EQ(U32(props, 8), 2u);
    EXPECT_EQ(U32(props, 12), 2u);
    EXPECT_EQ(U32(props, 16), 2u);
    EXPECT_EQ(U32(props, 20), 2u);
    EXPECT_EQ((props.size() - 32) % 16, 0u);
    // Fixed-size values live in the entries.
    std::string importance = Entry(props, 32, 0x00170003);
    ASSERT_EQ(importance.size(), 16u);
    EXPECT_EQ(U32(importance, 8), 2u) << "the MAPI value replaces the legacy attribute's";
    EXPECT_EQ(Entry(props, 32, 0x0E1F000B)[8], 1);
    // Strings: a stream without terminator, the entry counting it.
    EXPECT_EQ(ReadStream(*root, u"__substg1.0_0037001F").size(), 10u);
    EXPECT_EQ(U32(Entry(props, 32, 0x0037001F), 8), 12u);
    EXPECT_EQ(ReadStream(*root, u"__substg1.0_0E1D001E"), "8-bit");
    EXPECT_EQ(U32(Entry(props, 32, 0x0E1D001E), 8), 6u);
    // Unicode strings mark the message as Unicode.
    EXPECT_EQ(U32(Entry(props, 32, 0x340D0003), 8) & 0x00040000, 0x00040000u);

    // Recipients and attachments, numbered from 0, each with an 8-byte header.
    auto second = root->OpenStorage(u"__recip_version1.0_#00000001");
    EXPECT_EQ(ReadStream(*second, u"__substg1.0_3001001F").size(), 6u);
    EXPECT_EQ(U32(Entry(ReadStream(*second, u"__properties_version1.0"), 8, 0x30000003), 8), 1u);
    auto file = root->OpenStorage(u"__attach_version1.0_#00000000");
    EXPECT_EQ(ReadStream(*file, u"__substg1.0_37010102"), "file data");
    // The attached message: a storage with a 24-byte header, its own recipients; no placeholder data beside it.
    auto attached = root->OpenStorage(u"__attach_version1.0_#00000001");
    std::string attachmentProps = ReadStream(*attached, u"__properties_version1.0");
    EXPECT_EQ(U32(Entry(attachmentProps, 8, 0x3701000D), 8), 0xFFFFFFFFu);
    EXPECT_EQ(U32(Entry(attachmentProps, 8, 0x37050003), 8), 5u);
    EXPECT_FALSE(attached->StatElement(u"__substg1.0_37010102"));
    auto inner = attached->OpenStorage(u"__substg1.0_3701000D");
    std::string innerProps = ReadStream(*inner, u"__properties_version1.0");
    EXPECT_EQ(U32(innerProps, 16), 1u);
    EXPECT_EQ((innerProps.size() - 24) % 16, 0u);
    EXPECT_TRUE(inner->StatElement(u"__recip_version1.0_#00000000"));
    EXPECT_FALSE(inner->StatElement(u"__nameid_version1.0"));
}

TEST_F(MsgLayout, NamedPropertiesGetAMapping)
{
    SaveToMSGFile(tnef.Properties(), dir.File("named.msg"), true);

    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("named.msg"));
    const TMSGProperty* keywords = nullptr;
    const TMSGProperty* common = nullptr;
    std::function<void(const TMSGProperties&)> walk = [&](const TMSGProperties& c) {
        for (const TMSGProperty* n : c) {
            if (n->NamedId && n->NamedId->IsString && n->NamedId->Name == u"Keywords"
                && !(n->MsgRecord && n->MsgRecord->HasEntry()))
                keywords = n;
            if (n->NamedId && !n->NamedId->IsString && n->NamedId->Number == 0x8501)
                common = n;
            walk(n->SubProperties);
        }
    };
    walk(msg.Properties());
    ASSERT_TRUE(keywords);
    ASSERT_TRUE(common);
    EXPECT_EQ(keywords->NamedId->Guid, kPsPublicStrings);
    EXPECT_EQ(common->NamedId->Guid, kPsetidCommon);
    EXPECT_EQ(U8(keywords->ValueText()), "kw");
    EXPECT_GE(PropId(common->TagID), 0x8000);
}

TEST_F(MsgLayout, FieldsSurviveTheRoundTrip)
{
    ScopedTimeZone zone("America/New_York");
    SaveToMSGFile(tnef.Properties(), dir.File("rt.msg"), true);
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("rt.msg"));
    EXPECT_EQ(msg.Subject(), tnef.Subject());
    EXPECT_EQ(msg.Properties().SentDate(), tnef.Properties().SentDate());
    EXPECT_EQ(msg.Properties().AttachmentCount(), tnef.Properties().AttachmentCount());
    EXPECT_EQ(msg.Properties().ImportanceLevel(), 3);
    const TMSGProperty* embedded = msg.Properties().Attachments(1);
    ASSERT_TRUE(embedded);
    EXPECT_TRUE(embedded->IsEmbeddedMessage());
}

TEST_F(MsgLayout, CommonPropertiesModeKeepsTheLayout)
{
    SaveToMSGFile(tnef.Properties(), dir.File("common.msg"), false);
    auto root = StgOpenStorage(dir.File("common.msg"));
    std::string props = ReadStream(*root, u"__properties_version1.0");
    EXPECT_EQ(U32(props, 16), 0u) << "no recipients in this mode";
    EXPECT_EQ(ReadStream(*root, u"__substg1.0_0037001E"), "legacy subject");
    EXPECT_FALSE(root->StatElement(u"__substg1.0_10130102")) << "only the listed tags";
    EXPECT_FALSE(root->StatElement(u"__recip_version1.0_#00000000"));
    EXPECT_EQ(U32(Entry(props, 32, 0x00390040), 8) != 0, true);
}

TEST_F(MsgLayout, DisplayListsComeFromTheRecipientsWhenMissing)
{
    std::string bytes = TnefBuilder()
                            .Version()
                            .MapiProps(TnefPropList().Unicode(0x0037, "s"))
                            .RecipientTable({ TnefPropList().Unicode(0x3001, "Ann").Long(0x0C15, 1),
                                TnefPropList().Unicode(0x3001, "Bob").Long(0x0C15, 1),
                                TnefPropList().Unicode(0x3001, "Cid").Long(0x0C15, 2) })
                            .Bytes();
    TPelTNEFFile listed;
    TSpanStream input(bytes);
    listed.LoadFromStream(input);
    EXPECT_EQ(listed.ToList(), u"");
    SaveToMSGFile(listed.Properties(), dir.File("lists.msg"), true);
    TPelMSGFile msg;
    msg.LoadFromFile(dir.File("lists.msg"));
    EXPECT_EQ(U8(msg.ToList()), "Ann;Bob");
    EXPECT_EQ(U8(msg.CcList()), "Cid");
    EXPECT_EQ(msg.BccList(), u"");
}

TEST_F(MsgLayout, AnAttachedMessageSavedOnItsOwnIsATopLevelMessage)
{
    const TMSGProperty* attachment = tnef.Properties().Attachments(1);
    ASSERT_TRUE(attachment && attachment->IsEmbeddedMessage());
    SaveToMSGFile(attachment->AttachmentDataNode()->SubProperties, dir.File("attached.msg"), true);

    auto root = StgOpenStorage(dir.File("attached.msg"));
    std::string props = ReadStream(*root, u"__properties_version1.0");
    EXPECT_EQ((props.size() - 32) % 16, 0u) << "the 32-byte header of a message of its own";
    EXPECT_EQ(U32(props, 16), 1u);
    TPelMSGFile back;
    back.LoadFromFile(dir.File("attached.msg"));
    EXPECT_EQ(U8(back.Subject()), "inner");
    EXPECT_EQ(U8(back.ToList()), "Inner Rcpt");
}

TEST_F(MsgLayout, AttachedMessagesAreWrittenAsMessagesToTheDepthLimit)
{
    // A message whose attachment is a message whose attachment is a message ... `levels` deep, each with a
    // subject and its data; read back, the messages go as deep as the limit, and the level beyond is data.
    for (int levels : { kMaxAttachedMessageDepth - 1, kMaxAttachedMessageDepth, kMaxAttachedMessageDepth + 1 }) {
        SCOPED_TRACE(levels);
        TPelTNEFFile tree;
        TMSGProperties* collection = &tree.Properties();
        for (int level = 1; level <= levels; ++level) {
            TMSGProperty* attachment = collection->Add();
            attachment->TagID = kTagTnefAttachment;
            TMSGProperty* object = attachment->SubProperties.Add();
            object->TagID = kTagAttachDataObject;
            object->Value = ByteString("data of level " + std::to_string(level));
            object->DataSize = static_cast<uint32_t>(ValueStringLength(object->Value));
            TMSGProperty* cls = object->SubProperties.Add();
            cls->TagID = kTagMessageClass;
            cls->Value = ByteString("IPM.Note");
            TMSGProperty* subject = object->SubProperties.Add();
            subject->TagID = MakeTag(kIdSubject, PT_UNICODE);
            subject->Value = W("level " + std::to_string(level));
            collection = &object->SubProperties;
        }
        const std::string file = dir.File("nested" + std::to_string(levels) + ".msg");
        SaveToMSGFile(tree.Properties(), file, true);
        TPelMSGFile back;
        back.LoadFromFile(file);
        int depth = 0;
        const TMSGProperties* message = &back.Properties();
        for (const TMSGProperty* attachment = message->Attachments(0); attachment;
             attachment = message->Attachments(0)) {
            if (!attachment->IsEmbeddedMessage()) {
                EXPECT_EQ(ValueAsBytes(attachment->AttachmentDataNode()->Value),
                    "data of level " + std::to_string(depth + 1));
                break;
            }
            message = &attachment->AttachmentDataNode()->SubProperties;
            ++depth;
            EXPECT_EQ(U8(message->Subject()), "level " + std::to_string(depth));
        }
        EXPECT_EQ(depth, std::min(levels, kMaxAttachedMessageDepth));
    }
}
