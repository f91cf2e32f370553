// Every corpus TNEF file wrapped into a mail and unwrapped: a sound file is unwrapped as a minimal edit, and its
// attachments are in the mail byte for byte as the tnef tool extracts them; a damaged one leaves the mail as it is.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "core/stream.h"
#include "mail_builder.h"
#include "mime/unwrap.h"
#include "model/message.h"
#include "sha256.h"
#include "test_support.h"
#include "tnef/tnef_reader.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::filesystem::path WorkFolder()
{
    auto dir = std::filesystem::temp_directory_path() / ("mime_corpus_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

// SHA-256 of every leaf payload Python's email package finds in the mail.
std::set<std::string> PythonPayloads(const std::string& mail, int& defects, bool& tnefLeft)
{
    const auto path = WorkFolder() / "mail.eml";
    WriteFileBytes(path.string(), mail);
    const CommandResult r = RunCommand("/usr/bin/python3 " + ShellQuote(std::string(TESSALY_SOURCE_DIR))
        + "/tests/pelmsg/tools/mail_leaves.py " + ShellQuote(path.string()));
    std::istringstream in(r.Output);
    std::string line;
    std::set<std::string> shas;
    defects = -1;
    tnefLeft = false;
    while (std::getline(in, line)) {
        if (line.rfind("defects ", 0) == 0) {
            defects = std::stoi(line.substr(8));
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream f(line);
        for (std::string field; std::getline(f, field, '\t');)
            fields.push_back(field);
        if (fields.size() == 4) {
            shas.insert(fields[2]);
            tnefLeft = tnefLeft || fields[3] == "tnef";
        }
    }
    return shas;
}

// What `tnef` extracts from the file: the SHA-256 of each file it writes.
std::vector<std::pair<std::string, std::string>> TnefToolFiles(const std::string& tnefPath)
{
    const auto dir = WorkFolder() / "tnef-out";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    RunCommand("tnef --overwrite -C " + ShellQuote(dir.string()) + " " + ShellQuote(tnefPath) + " 2>/dev/null");
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file())
            files.push_back({ entry.path().filename().string(), Sha256Hex(ReadFileBytes(entry.path().string())) });
    return files;
}

} // namespace

TEST(MimeCorpus, UnwrapsEveryCorpusTnefInsideAMail)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "no corpus";
    if (RunCommand("command -v tnef").ExitCode != 0)
        GTEST_SKIP() << "no tnef tool";
    int unwrapped = 0, kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("tnef"))) {
        const std::string path = entry.path().string();
        const std::string name = entry.path().filename().string();
        const std::string tnef = ReadFileBytes(path);
        TPelTNEFFile message;
        bool sound = true;
        try {
            TMemoryStream stream(tnef);
            message.LoadFromStream(stream);
            // Damage that lost nothing is read past: such a file is unwrapped too.
            for (const TReadWarning& warning : message.Warnings())
                sound = sound && IsMinorTnefDamage(warning.Text);
        } catch (const std::exception&) {
            sound = false;
        }
        for (const bool crlf : { true, false }) {
            const std::string mail = BuildMail(MailShape::Mixed, tnef, crlf);
            const TUnwrapResult result = UnwrapTnefParts(mail);
            if (!sound) {
                EXPECT_FALSE(result.Changed) << name;
                EXPECT_FALSE(result.Reason.empty()) << name;
                if (crlf)
                    std::cout << name << ": left as it was: " << result.Reason << "\n";
                ++kept;
                continue;
            }
            ASSERT_TRUE(result.Changed) << name << ": " << result.Reason;
            ++unwrapped;
            EXPECT_EQ(MinimalEditFault(mail, result.Mail), "") << name;
            int defects = 0;
            bool tnefLeft = false;
            const std::set<std::string> payloads = PythonPayloads(result.Mail, defects, tnefLeft);
            EXPECT_EQ(defects, 0) << name;
            EXPECT_FALSE(tnefLeft) << name;
            if (!crlf)
                continue;
            // An attached message (or OLE object) is written by tnef as its raw data, "Untitled Attachment"; the
            // mail carries it as a message/rfc822 part, which cannot be byte-equal to that.
            bool hasEmbedded = false;
            for (const TMSGProperty* node : message.Properties().AttachmentNodes())
                hasEmbedded = hasEmbedded || node->AttachmentKind() != TAttachmentKind::FileData;
            for (const auto& [file, sha] : TnefToolFiles(path)) {
                if (hasEmbedded && file.rfind("Untitled", 0) == 0 && !payloads.count(sha))
                    continue;
                EXPECT_TRUE(payloads.count(sha)) << name << ": " << file << " is not in the unwrapped mail";
            }
        }
    }
    EXPECT_GE(unwrapped, 2 * 41);
    std::cout << unwrapped << " mails unwrapped, " << kept << " left as they were (damaged TNEF)\n";
}
