// Every .msg file of the real-world corpus: it loads (or a damaged one fails with an error), its subject and
// attachment count agree with what olefile found, and saving it with every property gives a file with the same
// storages, streams and bytes, by our storage layer and by olefile. Skipped when the corpus is absent.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "cfb_builder.h"
#include "mini_json.h"
#include "pelmsg.h"
#include "rtf/compressed_rtf.h"
#include "sha256.h"
#include "test_support.h"
#include "text/codepage.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

// Damaged files that load, but whose tree is not what olefile sees nor mirrored by a saved copy, and why.
const std::map<std::string, std::string> kDamaged = {
    { "poi__clusterfuzz-testcase-minimized-POIHSMFFuzzer-4735011465854976.msg",
        "its mini stream lies partly beyond the end of the file: the storage layer refuses every small stream "
        "(olefile reads what is there), so there is no subject and no properties stream, the tree is written in "
        "the layout of a new message, and the first attachment storage, whose link to its elements is broken, "
        "has no data and does not count" },
};

// Files the reader refuses, and why.
const std::map<std::string, std::string> kRefused = {
    { "poi__clusterfuzz-testcase-minimized-POIHSMFFuzzer-5336473854148608.msg",
        "damaged: a directory entry of the named-property storage has type 255" },
};

// Streams the reader leaves out of the tree, so that a saved copy has no such stream.
bool IgnoredByTheReader(const std::string& path, bool isStorage)
{
    if (isStorage)
        return false;
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    return name == "Olk10SideProps_0001" || name == "\x05SummaryInformation"
        || name
        == "\x05"
           "DocumentSummaryInformation"
        || path.rfind("MsoDataStore/", 0) == 0;
}

bool IsRtfBody(const std::string& path) { return path.size() >= 8 && path.substr(path.size() - 8) == "10090102"; }

std::vector<std::filesystem::path> CorpusMessages()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("msg")))
        if (entry.path().extension() == ".msg")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string CheckedOutput(const std::string& command)
{
    CommandResult r = RunCommand(command);
    if (r.ExitCode != 0)
        ADD_FAILURE() << "failed: " << command;
    return r.Output;
}

// olefile's listing of each file: path -> (is storage, size, sha256), or the error it raised.
struct OleListing {
    std::string error;
    std::map<std::string, std::tuple<bool, size_t, std::string>> elements;
};

std::map<std::string, OleListing> OlefileListings(const std::vector<std::string>& files)
{
    std::string command
        = "/usr/bin/python3 '" + std::string(TESSALY_SOURCE_DIR) + "/tests/pelmsg/tools/ole_listing.py'";
    for (const std::string& f : files)
        command += " '" + f + "'";
    Json json = Json::Parse(CheckedOutput(command));
    std::map<std::string, OleListing> out;
    for (const auto& [file, result] : json.object) {
        OleListing& listing = out[file];
        listing.error = result["error"].string;
        for (const auto& [path, element] : result["elements"].object)
            listing.elements[path]
                = { element["storage"].boolean, static_cast<size_t>(element["size"].number), element["sha256"].string };
    }
    return out;
}

bool OlefileAvailable()
{
    return std::filesystem::exists("/usr/bin/python3")
        && std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") == 0;
}

std::map<std::string, Listed> Utf8Listing(const std::string& path)
{
    auto root = StgOpenStorage(path);
    std::map<std::string, Listed> out;
    for (auto& [name, element] : ListElements(*root))
        out[U8(name)] = std::move(element);
    return out;
}

} // namespace

TEST(MsgCorpus, EveryFileLoadsAndAgreesWithOlefile)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus not found at " << CorpusPath("msg");
    int loaded = 0;
    for (const auto& file : CorpusMessages()) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        TPelMSGFile msg;
        try {
            msg.LoadFromFile(file.string());
        } catch (const EPelMsgError& e) {
            EXPECT_TRUE(kRefused.count(name)) << "refused: " << e.what();
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << "the error names the file";
            continue;
        }
        EXPECT_FALSE(kRefused.count(name)) << "loads, but is listed as refused";
        ++loaded;
        if (kDamaged.count(name))
            continue;
        const Json oracle = Json::Parse(ReadFileBytes(CorpusPath("oracle/" + name + ".json")));
        const Json& summary = oracle["summary"];
        const Json& subject = summary["subject"];
        if (subject["type"].string == "001F") {
            EXPECT_EQ(U8(msg.Subject()), subject["value"].string);
        } else if (subject["type"].string == "001E") {
            // olefile gives 8-bit text as Latin-1, and its bytes when they are not ASCII; the message's code
            // page decides what they mean.
            std::string bytes = subject["value_latin1"].string;
            if (!subject["hex_if_nonascii"].IsNull()) {
                const std::string& hex = subject["hex_if_nonascii"].string;
                bytes.clear();
                for (size_t i = 0; i + 1 < hex.size(); i += 2)
                    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            }
            while (!bytes.empty() && bytes.back() == '\0')
                bytes.pop_back();
            EXPECT_EQ(U8(msg.Subject()), WideToUtf8(CodePageToWide(bytes, msg.Properties().TextCodePage())));
        }
        EXPECT_EQ(msg.Properties().AttachmentCount(), static_cast<int>(summary["attachments"].array.size()));
    }
    EXPECT_EQ(loaded + static_cast<int>(kRefused.size()), static_cast<int>(CorpusMessages().size()));
}

TEST(MsgCorpus, SavedFilesMirrorTheirInput)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus not found at " << CorpusPath("msg");
    TempDir dir;
    std::vector<std::pair<std::string, std::string>> saved; // input, output
    int compared = 0;
    for (const auto& file : CorpusMessages()) {
        const std::string name = file.filename().string();
        if (kRefused.count(name))
            continue;
        SCOPED_TRACE(name);
        TPelMSGFile msg;
        msg.LoadFromFile(file.string());
        const std::string out = dir.File(name);
        ASSERT_NO_THROW(SaveToMSGFile(msg.Properties(), out, true));
        saved.emplace_back(file.string(), out);
        if (kDamaged.count(name))
            continue;
        ++compared;
        const auto input = Utf8Listing(file.string());
        const auto output = Utf8Listing(out);
        for (const auto& [path, element] : input) {
            auto found = output.find(path);
            if (found == output.end()) {
                EXPECT_TRUE(IgnoredByTheReader(path, element.IsStorage)) << "not written: " << path;
                continue;
            }
            EXPECT_EQ(found->second.IsStorage, element.IsStorage) << path;
            if (element.Unreadable) {
                // A damaged element the storage layer refuses: the property is kept, without a value.
                EXPECT_TRUE(found->second.Bytes.empty() && !found->second.Unreadable) << path;
                continue;
            }
            if (IsRtfBody(path)) {
                // Written uncompressed: the same RTF text in a "MELA" stream.
                TCompressedRtf before = DecodeCompressedRtf(element.Bytes);
                TCompressedRtf after = DecodeCompressedRtf(found->second.Bytes);
                EXPECT_TRUE(before.Text == after.Text) << path;
                EXPECT_EQ(after.Kind,
                    before.Kind == TCompressedRtfKind::NoHeader ? TCompressedRtfKind::NoHeader
                                                                : TCompressedRtfKind::Uncompressed)
                    << path;
                continue;
            }
            EXPECT_TRUE(found->second.Bytes == element.Bytes)
                << path << ": " << found->second.Bytes.size() << " bytes written, " << element.Bytes.size() << " read";
        }
        for (const auto& [path, element] : output)
            EXPECT_TRUE(input.count(path)) << "written but not in the input: " << path;
    }
    EXPECT_GT(compared, 100);

    // olefile reads every saved file, and sees in it what it sees in the input.
    if (!OlefileAvailable())
        GTEST_SKIP() << "python3-olefile not installed";
    std::vector<std::string> files;
    for (const auto& [in, out] : saved) {
        files.push_back(in);
        files.push_back(out);
    }
    auto listings = OlefileListings(files);
    for (const auto& [in, out] : saved) {
        const std::string name = std::filesystem::path(in).filename().string();
        SCOPED_TRACE(name);
        const OleListing& before = listings[in];
        const OleListing& after = listings[out];
        EXPECT_EQ(after.error, "") << "olefile cannot read the saved file";
        if (!before.error.empty() || kDamaged.count(name))
            continue;
        for (const auto& [path, element] : before.elements) {
            auto found = after.elements.find(path);
            if (found == after.elements.end()) {
                EXPECT_TRUE(IgnoredByTheReader(path, std::get<0>(element))) << "olefile misses " << path;
                continue;
            }
            if (!IsRtfBody(path)) {
                EXPECT_TRUE(found->second == element) << "olefile reads " << path << " differently";
            }
        }
        EXPECT_LE(after.elements.size(), before.elements.size());
    }
}
