// The .eml and .msg writers on the same messages: both write every attachment (by the one rule of the model), a
// damaged OLE object does not sink the .msg, and the .msg comes out the same every time.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cfb_builder.h"
#include "export_fixtures.h"
#include "external_readers.h"
#include "mini_json.h"
#include "pelmsg.h"
#include "test_support.h"
#include "tnef_builder.h"

namespace pelmsg::test {
namespace {

std::string MsgBytesOf(const TMSGProperties& message)
{
    TMemoryStream out;
    SaveToMSG(message, out, true);
    return out.TakeBytes();
}

int MsgAttachmentCount(const std::string& bytes)
{
    TPelMSGFile back;
    TMemoryStream stream(bytes);
    back.LoadFromStream(stream);
    return back.Properties().AttachmentCount();
}

// Every input the tests have: the sample, the corpus and the fuzzers' kept findings.
std::vector<std::string> Inputs()
{
    std::vector<std::string> paths = { std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat" };
    std::vector<std::string> folders = { TestDataPath("crashers/tnef_fuzz"), TestDataPath("crashers/msg_fuzz"),
        TestDataPath("crashers/msg_roundtrip_fuzz") };
    if (CorpusAvailable()) {
        folders.push_back(CorpusPath("tnef"));
        folders.push_back(CorpusPath("msg"));
    }
    for (const std::string& folder : folders) {
        if (!std::filesystem::is_directory(folder))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.is_regular_file())
                paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(WriterAgreement, EmlAndMsgWriteTheSameAttachments)
{
    TempDir dir;
    std::vector<std::string> names, emlFiles;
    std::vector<int> expected;
    int refused = 0, withAttachments = 0;
    for (const std::string& path : Inputs()) {
        SCOPED_TRACE(path);
        std::unique_ptr<TPelMessage> message;
        try {
            message = CreateMessageForFile(path);
            message->LoadFromFile(path);
        } catch (const EPelMsgError&) {
            // Inputs that do not load at all have nothing to write; partial trees stay (and are compared).
            if (!message || message->Properties().Empty())
                continue;
        }
        const TMSGProperties& tree = message->Properties();
        const int count = tree.AttachmentCount();
        std::string msg;
        try {
            msg = MsgBytesOf(tree);
        } catch (const EStorageError&) {
            // A tree mirrored from a .msg whose element names compound files forbid cannot be written as one.
            ++refused;
            continue;
        }
        EXPECT_EQ(MsgAttachmentCount(msg), count);
        emlFiles.push_back(dir.File(std::to_string(emlFiles.size()) + ".eml"));
        SaveToEMLFile(tree, emlFiles.back());
        names.push_back(path);
        expected.push_back(count);
        withAttachments += count > 0;
    }
    std::vector<Json> mails = EmlSummaries(emlFiles);
    ASSERT_EQ(mails.size(), emlFiles.size());
    for (size_t i = 0; i < mails.size(); ++i)
        EXPECT_EQ(static_cast<int>(mails[i]["attachments"].array.size()), expected[i])
            << names[i] << ": " << MimeTree(mails[i]);
    std::printf("%zu inputs written both ways, %d of them with attachments; %d refused by the .msg writer\n",
        mails.size(), withAttachments, refused);
    // The sample and the kept fuzz findings always; with the corpus, well over a hundred files.
    EXPECT_GE(mails.size(), CorpusAvailable() ? 100u : 5u);
}

// A compound file holding one stream, then cut short: its header promises sectors that are not there.
std::string DamagedObjectImage()
{
    std::string image = CompoundFileBytes({ Stream(u"\x01Ole10Native", LE32(4) + std::string(5000, 'o')) });
    return image.substr(0, 700);
}

// An object whose storages nest almost as deep as the format allows on their own: too deep below an attachment.
std::string DeepObjectImage()
{
    Element inner = Stream(u"leaf", "x");
    for (int level = 0; level < 127; ++level)
        inner = Storage(u"s", { inner });
    return CompoundFileBytes({ inner });
}

TEST(WriterAgreement, DamagedOleObjectIsWrittenAsItsBytes)
{
    for (const std::string& image : { DamagedObjectImage(), DeepObjectImage() }) {
        SCOPED_TRACE(image.size());
        ASSERT_GE(image.size(), 512u);
        TnefPropList good, bad;
        good.String8(kIdAttachLongFileName, "good.txt").Binary(kIdAttachDataObject, "good data");
        bad.String8(kIdAttachLongFileName, "object.bin").Long(kIdAttachMethod, 6).Object(kIdAttachDataObject, image);
        TPelTNEFFile file;
        TMemoryStream input(TnefBuilder()
                                .Version()
                                .MapiProps(TnefPropList().String8(kIdSubject, "ole"))
                                .AttachRenddata()
                                .AttachmentProps(good)
                                .AttachRenddata()
                                .AttachmentProps(bad)
                                .Bytes());
        file.LoadFromStream(input);
        ASSERT_EQ(file.Properties().AttachmentCount(), 2);
        const size_t warningsBefore = file.Warnings().size();
        const std::string msg = MsgBytesOf(file.Properties());
        ASSERT_EQ(file.Warnings().size(), warningsBefore + 1);
        EXPECT_NE(file.Warnings().back().Text.find("OLE object"), std::string::npos);

        TPelMSGFile back;
        TMemoryStream stream(msg);
        back.LoadFromStream(stream);
        ASSERT_EQ(back.Properties().AttachmentCount(), 2);
        EXPECT_EQ(U8(back.Subject()), "ole");
        const TMSGProperty* data = back.Properties().Attachments(1)->AttachmentDataNode();
        ASSERT_TRUE(data);
        EXPECT_EQ(data->TagID, kTagAttachDataBinary);
        EXPECT_TRUE(ValueAsBytes(data->Value) == image);
    }
}

TEST(WriterAgreement, MsgOutputIsReproducible)
{
    TMSGProperties plain;
    AddNode(plain, MakeTag(kIdSubject, PT_STRING8), ByteString("same"));
    TMSGProperty* attachment = AddNode(plain, kTagTnefAttachment);
    AddNode(attachment->SubProperties, kTagAttachDataBinary, ByteString("bytes"));
    const std::string first = MsgBytesOf(plain);
    EXPECT_TRUE(first == MsgBytesOf(plain));
    // Without times of its own the message's storages carry zero; with one, that time.
    EXPECT_EQ(StgOpenStorageOnMemory(first)->Stat().mtime, 0u);
    const double modified = *TryEncodeDateTime(2021, 6, 1, 8, 30, 0);
    AddNode(plain, MakeTag(kIdLastModificationTime, PT_SYSTIME), TDateTime { modified });
    const std::string dated = MsgBytesOf(plain);
    auto root = StgOpenStorageOnMemory(dated);
    EXPECT_EQ(root->Stat().mtime, LocalDateTimeToFileTime(modified));
    EXPECT_EQ(root->OpenStorage(u"__attach_version1.0_#00000000")->Stat().mtime, LocalDateTimeToFileTime(modified));
    EXPECT_TRUE(dated == MsgBytesOf(plain));
}

} // namespace
} // namespace pelmsg::test
