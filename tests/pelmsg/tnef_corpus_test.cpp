// Every TNEF file of the real-world corpus loads (or fails with one of the reader's messages), and the attachments
// we find agree with what the independent tools extracted.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "mini_json.h"
#include "pelmsg.h"
#include "sha256.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

struct Extracted {
    std::string name;
    size_t size = 0;
    std::string sha256;
};

// What the tnef tool extracted, bodies (message.rtf/.html/.txt) left out.
std::vector<Extracted> OracleAttachments(const Json& oracle)
{
    std::vector<Extracted> out;
    for (const Json& f : oracle["tnef_extract"]["files"].array) {
        const std::string& name = f["name"].string;
        if (name == "message.rtf" || name == "message.html" || name == "message.txt")
            continue;
        out.push_back({ name, static_cast<size_t>(f["size"].number), f["sha256"].string });
    }
    return out;
}

// The oracle writes bytes that are not UTF-8 as "\xHH"; those names are in the message's 8-bit code page.
std::string OracleNameAsUtf8(const std::string& name, int32_t codePage)
{
    std::string raw;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            raw += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            raw += name[i];
        }
    }
    if (raw == name)
        return name;
    return WideToUtf8(CodePageToWide(raw, codePage));
}

// Names compared the way the tools make them safe for a file system: every character other than a letter, a
// digit, "." or "-" counts as "_".
std::string Loose(const std::string& utf8)
{
    std::string out;
    for (char16_t c : Utf8ToWide(utf8)) {
        bool keep = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.'
            || c == u'-' || c > 0x7F;
        out += keep ? WideToUtf8(WideString(1, c)) : "_";
    }
    return out;
}

struct Ours {
    std::string name;
    size_t size = 0;
    std::string sha256;
    TAttachmentKind kind = TAttachmentKind::None;
};

std::vector<Ours> OurAttachments(const TMSGProperties& root)
{
    std::vector<Ours> out;
    for (int i = 0; i < root.AttachmentCount(); ++i) {
        const TMSGProperty* att = root.Attachments(i);
        if (!att)
            continue;
        const TMSGProperty* data = att->AttachmentDataNode();
        std::string bytes = data ? ValueAsBytes(data->Value) : std::string();
        out.push_back({ att->AttachmentFileName(i), bytes.size(), Sha256Hex(bytes), att->AttachmentKind() });
    }
    return out;
}

// Files the tnef tool does not read to the end, and why; what other readers' tests expect of them instead.
struct KnownDifference {
    std::string reason;
    std::vector<std::pair<std::string, size_t>> attachments; // name and size of the data, in order
};

const std::map<std::string, KnownDifference> kKnownDifferences = {
    // The tool refuses a bad checksum; checksums are not verified here (a damaged checksum does not damage the
    // data), so we read what is there, as ktnef and tnefparse do.
    { "ktnef__mapi_attach_data_obj.tnef",
        { "checksum error: the tool stops after the first attachment",
            { { "VIA_Nytt_1402.doc", 61952 }, { "VIA_Nytt_1402.pdf", 213685 }, { "VIA_Nytt_14021.htm", 68919 } } } },
    { "tnefparse__duplicate_filename.tnef",
        { "checksum error: the tool extracts nothing",
            { { "file_abcdefgh.txt", 61952 }, { "file_abcdefgh.txt", 213685 }, { "VIA_Nytt_14021.htm", 68919 } } } },
    { "tnefparse__bad_checksum.tnef",
        { "checksum error: the tool extracts nothing", { { "image001.png", 1533127 } } } },
    { "tnefparse__IPM-DistList.tnef",
        { "checksum error: the tool extracts nothing", { { "Untitled Attachment", 19965 } } } },
    { "TNEFDecoder__invalid-checksum.tnef", { "checksum error: the tool extracts nothing", {} } },
    { "node-tnef__panic.dat",
        { "the tool aborts with an assertion after two attachments; MimeKit lists three",
            { { "image001.jpg", 11250 }, { "image002.jpg", 9583 }, { "image003.png", 7147 } } } },
    { "node-tnef__badchecksum.dat", { "corrupted signature: every reader refuses it", {} } },
    { "poi__oom.tnef", { "damaged: nothing to read", {} } },
    { "uponus-tnef__empty-file.tnef", { "empty file", {} } },
    { "ytnef__ytnef-oob-TNEFVersion-SwapWord", { "17-byte fuzz case: nothing to read", {} } },
};

} // namespace

TEST(TnefCorpus, EveryFileLoadsAndItsAttachmentsAgreeWithTheTools)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus not found at " << CorpusPath("");
    const std::set<std::string> loadMessages = { "Invalid TNEF signature", "Invalid property kind" };
    int files = 0, compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("tnef"))) {
        const std::string file = entry.path().filename().string();
        SCOPED_TRACE(file);
        ++files;
        TPelTNEFFile message;
        std::string error;
        try {
            message.LoadFromFile(entry.path().string());
        } catch (const EPelMsgError& e) {
            error = e.what();
            bool known = error == "Invalid TNEF signature" || error.rfind("Invalid property kind (", 0) == 0;
            EXPECT_TRUE(known) << "unexpected load error: " << error;
        }
        std::string oraclePath = CorpusPath("oracle/" + file + ".json");
        if (!std::filesystem::exists(oraclePath))
            continue;
        Json oracle = Json::Parse(ReadFileBytes(oraclePath));
        if (auto known = kKnownDifferences.find(file); known != kKnownDifferences.end()) {
            SCOPED_TRACE(known->second.reason);
            std::vector<Ours> ours = OurAttachments(message.Properties());
            ASSERT_EQ(ours.size(), known->second.attachments.size());
            for (size_t i = 0; i < ours.size(); ++i) {
                EXPECT_EQ(ours[i].name, known->second.attachments[i].first);
                EXPECT_EQ(ours[i].size, known->second.attachments[i].second);
            }
            continue;
        }
        EXPECT_EQ(error, "") << "the tools read this file";
        EXPECT_EQ(oracle["tnef_extract"]["rc"].number, 0);
        std::vector<Extracted> expected = OracleAttachments(oracle);
        std::vector<Ours> ours = OurAttachments(message.Properties());
        ++compared;
        EXPECT_EQ(ours.size(), expected.size());
        int32_t codePage = message.Properties().TextCodePage();
        for (const Extracted& x : expected) {
            // Match by content; objects are saved by the tool with their 16-byte interface identifier first.
            std::string name = Loose(OracleNameAsUtf8(x.name, codePage));
            auto sameBytes = [&](const Ours& o) {
                return o.sha256 == x.sha256
                    || ((o.kind == TAttachmentKind::EmbeddedMessage || o.kind == TAttachmentKind::OleObject)
                        && o.size + 16 == x.size);
            };
            auto match = std::find_if(
                ours.begin(), ours.end(), [&](const Ours& o) { return sameBytes(o) && Loose(o.name) == name; });
            if (match == ours.end())
                match = std::find_if(ours.begin(), ours.end(), sameBytes);
            if (match == ours.end()) {
                ADD_FAILURE() << "no attachment with the bytes of " << x.name << " (" << x.size << " bytes)";
                continue;
            }
            // The tool names attachments without a name "Untitled Attachment" (numbering repeats); we number them.
            bool untitled = name.rfind("Untitled_Attachment", 0) == 0 || name == "tnef-tmp";
            if (untitled && match->name.rfind("Attachment ", 0) == 0)
                continue;
            if (untitled)
                EXPECT_EQ(Loose(match->name), "Untitled_Attachment");
            else
                EXPECT_EQ(Loose(match->name), name);
        }
    }
    EXPECT_GE(files, 40);
    EXPECT_GE(compared, 30);
}
