// The mbox filter reads the mailbox front to back in stretches of whole mails: wherever the stretches are cut, the
// output is the same (every mail unwrapped or byte for byte as it came, in order), from a file or from a pipe, and
// a mail over the limit goes out as it came without stopping the mailbox.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "mail_filter.h"
#include "mbox_stretches.h"
#include "pelmsg.h"
#include "test_support.h"

namespace {

using pelmsg::test::ReadFileBytes;
using pelmsg::test::WriteFileBytes;

std::string TnefMail(const std::string& subject, const std::string& eol, const std::string& padding = {})
{
    const std::string tnef = ReadFileBytes(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    std::string base64 = pelmsg::EncodeBase64(tnef);
    if (eol != "\r\n")
        for (size_t at = base64.find("\r\n"); at != std::string::npos; at = base64.find("\r\n", at))
            base64.erase(at, 1);
    return "Subject: " + subject + eol + "MIME-Version: 1.0" + eol + "Content-Type: multipart/mixed; boundary=b" + eol
        + eol + "--b" + eol + "Content-Type: text/plain" + eol + eol
        + "From the first line, a line that starts like a separator." + eol + padding + eol + "--b" + eol
        + "Content-Type: application/ms-tnef" + eol + "Content-Transfer-Encoding: base64" + eol + eol + base64 + eol
        + "--b--" + eol;
}

std::string Mbox(const std::vector<std::string>& mails)
{
    pelmsg::TMemoryStream out;
    for (const std::string& mail : mails)
        pelmsg::WriteMboxMail(out, "From someone@example.org Tue Mar  3 10:00:00 2026", mail);
    return out.TakeBytes();
}

std::vector<std::string> MailsOf(const std::string& mbox)
{
    pelmsg::TMemoryStream in(mbox);
    pelmsg::TMboxReader reader(in);
    std::vector<std::string> mails;
    std::string from, mail;
    while (reader.Next(from, mail))
        mails.push_back(mail);
    return mails;
}

class MboxFilter : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() / ("mbox_filter_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Filters the mbox through a file (or a pipe fed in small pieces); the output's bytes.
    std::string Filter(
        const std::string& mbox, quorra::TFilterOptions options, bool pipe = false, std::string* errors = nullptr)
    {
        const std::string in = (dir_ / "in.mbox").string(), out = (dir_ / "out.mbox").string();
        std::ostringstream said;
        int status = 0;
        if (pipe) {
            int fds[2];
            EXPECT_EQ(::pipe(fds), 0);
            std::thread feed([&] {
                for (size_t at = 0; at < mbox.size(); at += 777)
                    EXPECT_GT(::write(fds[1], mbox.data() + at, std::min<size_t>(777, mbox.size() - at)), 0);
                ::close(fds[1]);
            });
            status = quorra::FilterMailbox("/dev/fd/" + std::to_string(fds[0]), out, said, options);
            feed.join();
            ::close(fds[0]);
        } else {
            WriteFileBytes(in, mbox);
            status = quorra::FilterMailbox(in, out, said, options);
        }
        EXPECT_EQ(status, 0) << said.str();
        if (errors)
            *errors = said.str();
        return ReadFileBytes(out);
    }

    std::filesystem::path dir_;
};

// Mailboxes of every shape a separator takes; each is filtered whole (one stretch) and cut into stretches of many
// sizes, through a file and a pipe: the same bytes each time, and each mail unwrapped or as it came.
TEST_F(MboxFilter, TheCutsBetweenStretchesChangeNothing)
{
    const std::vector<std::pair<std::string, std::string>> mboxes {
        { "written mails, CRLF and LF, quoted From lines",
            Mbox({ TnefMail("one", "\r\n"), "Subject: two\n\n>From quoted\nFrom inside, not after an empty line\n",
                TnefMail("three", "\n"), "Subject: four\r\n\r\nFrom after an empty line\r\n\r\n",
                TnefMail("five", "\r\n") }) },
        { "empty lines first, an empty mail, no final line break",
            "\n\r\n\nFrom a\r\nSubject: 1\r\n\r\nbody\r\n\r\nFrom b\r\n\r\nFrom c\nSubject: 3\n\n" + TnefMail("c", "\n")
                + "\nFrom d\nSubject: 4\n\nno final line break" },
        { "no From line before the first mail",
            "Subject: headless\n\n>From x\nbody\n\nFrom x\nSubject: y\n\n" + TnefMail("y", "\n") + "\n" },
        { "separators with CRLF empty lines and From lines in a row",
            "From a\r\n\r\nFrom b\r\nFrom c\r\n\r\n\r\nFrom d\r\n" + TnefMail("d", "\r\n") + "\r\nFrom e\r\n\r\n" },
        { "short mails with every kind of line that looks like a separator and is none",
            [] {
                std::string mbox;
                for (int i = 0; i < 40; ++i)
                    mbox += "From a" + std::string(static_cast<size_t>(i % 7), 'x') + "\nSubject: " + std::to_string(i)
                        + "\n\nbody\nFrom not after an empty line\n\r\rFrom nor after a lone CR\n \nFrom nor a blank\n"
                          ">From quoted\n\r\nFrom b\r\nFrom c\r\n\r\nFro\n\nFrom\n\n";
                return mbox;
            }() },
    };
    for (const auto& [name, mbox] : mboxes) {
        SCOPED_TRACE(name);
        quorra::TFilterOptions options;
        options.Threads = 2;
        options.MboxStretchBytes = mbox.size() + 1000;
        // The output, and what the filter says of each mail and of them all ("N of M mails unwrapped"): a cut
        // where no mail starts changes the count even where the bytes stay the same.
        std::string said;
        const std::string whole = Filter(mbox, options, false, &said);
        const std::vector<std::string> in = MailsOf(mbox), out = MailsOf(whole);
        ASSERT_EQ(in.size(), out.size());
        for (size_t i = 0; i < in.size(); ++i) {
            const pelmsg::TUnwrapResult expected = pelmsg::UnwrapTnefParts(in[i]);
            EXPECT_EQ(out[i], expected.Changed ? expected.Mail : in[i]) << "mail " << i;
        }
        // Stretch sizes from the smallest up (every one for the short mails): a cut falls on every kind of line.
        const size_t step = name.starts_with("short") ? 1 : 13;
        for (size_t stretch = 64; stretch < 320; stretch += step) {
            options.MboxStretchBytes = stretch;
            for (const bool pipe : { false, true }) {
                if (pipe && stretch % 16 != 0)
                    continue;
                std::string saidNow;
                EXPECT_EQ(Filter(mbox, options, pipe, &saidNow), whole) << "stretches of " << stretch << pipe;
                EXPECT_EQ(saidNow, said) << "stretches of " << stretch << pipe;
            }
        }
        options.MboxStretchBytes = 4096;
        EXPECT_EQ(Filter(mbox, options, true), whole) << "a pipe, stretches of 4096";
    }
}

// A mail over the limit goes out byte for byte (its TNEF part left as it is), with the reason, the mails around it
// unwrapped; whether it fits in one stretch or is passed on stretch by stretch, and wherever it stands.
TEST_F(MboxFilter, AMailOverTheLimitGoesOutAsItCame)
{
    const std::string small = TnefMail("small", "\r\n");
    std::string padding;
    while (padding.size() < 3 * small.size())
        padding += "A line of text that makes the mail longer than the limit allows.\r\n";
    const std::string large = TnefMail("large", "\r\n", padding);
    for (const std::vector<std::string>& mails :
        { std::vector { small, large, small }, std::vector { large, small }, std::vector { small, small, large } }) {
        const std::string mbox = Mbox(mails);
        // Every stretch size from the smallest up (for the long mail between two others), so that a stretch of the
        // long mail ends on every byte near the start of the next mail; and stretches that hold it whole.
        std::vector<size_t> stretches { 4096, 1 << 20 };
        for (size_t stretch = 64; stretch < 192; stretch += mails.size() == 3 && mails[1] == large ? 1 : 16)
            stretches.push_back(stretch);
        for (const size_t stretch : stretches) {
            SCOPED_TRACE(stretch);
            quorra::TFilterOptions options;
            options.Threads = 2;
            options.MboxStretchBytes = stretch;
            options.MaxMailBytes = small.size() + 100;
            for (const bool pipe : { false, true }) {
                if (pipe && stretch % 16 != 0)
                    continue;
                std::string errors;
                const std::vector<std::string> out = MailsOf(Filter(mbox, options, pipe, &errors));
                ASSERT_EQ(out.size(), mails.size());
                for (size_t i = 0; i < mails.size(); ++i)
                    EXPECT_EQ(out[i], mails[i] == large ? large : pelmsg::UnwrapTnefParts(small).Mail) << i;
                EXPECT_NE(errors.find("longer than " + std::to_string(options.MaxMailBytes)), std::string::npos)
                    << errors;
                EXPECT_NE(errors.find(std::to_string(mails.size() - 1) + " of " + std::to_string(mails.size())
                              + " mails unwrapped"),
                    std::string::npos)
                    << errors;
            }
        }
    }
}

// The splitter tells of each mail whether it may hold a TNEF part in the pass that finds the mails: the same answer
// as pelmsg::MayHoldTnefPart of the mail alone, with the traces of a signature at the very start and end of a mail,
// next to a separator, in a quoted mail, and split across the thirty-two and sixteen bytes the scan takes a step.
TEST(MboxSplitter, TellsWhetherEachMailMayHoldATnefPart)
{
    const std::vector<std::string> bodies { "plain text\n", "=9F\n", "ends in =9", "ends in =9F",
        "eJ8+I at the start\n", "base64 eJ8\n+\nIg split over lines\n", "eJ8+ then a separator\n", "eJ8+",
        "a + b = c\n", "\x9F", ">From quoted, then \x9F\n", ">From quoted\n", "=9f lower case\n",
        "eJ8 =+I stops at the equals\n" };
    for (size_t shift = 0; shift < 40; ++shift) {
        std::string stretch;
        std::vector<std::string> expected; // each mail as the splitter gives it: a mail's last line ends in "\n"
        for (size_t i = 0; i < bodies.size(); ++i) {
            std::string mail = std::string(i == 0 ? shift : i % 3, 'x') + "\n\n" + bodies[i];
            if (mail.back() != '\n')
                mail += '\n';
            stretch += "From x\n" + mail + "\n";
            const size_t quote = mail.find("\n>From");
            expected.push_back(quote == std::string::npos ? mail : mail.erase(quote + 1, 1));
        }
        std::vector<quorra::mbox_filter::TMail> mails;
        quorra::mbox_filter::TMboxSplitter(stretch, size_t { 1 } << 20).Split(mails, [](auto&) {});
        ASSERT_EQ(mails.size(), bodies.size());
        for (size_t i = 0; i < mails.size(); ++i) {
            SCOPED_TRACE(bodies[i]);
            EXPECT_EQ(mails[i].Mail, expected[i]);
            EXPECT_EQ(mails[i].MayHoldTnef, pelmsg::MayHoldTnefPart(expected[i])) << "shift " << shift;
        }
    }
}

// A mail in a file longer than the limit goes out byte for byte, without being read into memory: the filter's
// peak memory stays far below the mail (a sparse file of 513 MB: its holes read as zeros).
TEST(MailFilter, AMailFileOverTheLimitGoesThroughWithoutBeingHeld)
{
    const auto dir = std::filesystem::temp_directory_path() / ("mail_filter_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "large.eml").string();
    const std::string head = "Subject: large\r\nContent-Type: application/ms-tnef\r\n\r\n", tail = "the end\r\n";
    const off_t size = off_t { 513 } << 20;
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), size - static_cast<off_t>(tail.size())),
            static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    const int input = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(input, 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    // The output through a pipe, compared as it comes: the head, zeros, the tail.
    uint64_t received = 0;
    bool same = true;
    std::thread reader([&] {
        std::vector<char> buffer(1 << 16);
        for (ssize_t n; (n = ::read(fds[0], buffer.data(), buffer.size())) > 0; received += static_cast<uint64_t>(n))
            for (ssize_t i = 0; i < n; ++i) {
                const uint64_t at = received + static_cast<uint64_t>(i);
                const auto end = static_cast<uint64_t>(size);
                const char expected = at < head.size() ? head[at]
                    : at >= end - tail.size()          ? tail[at - (end - tail.size())]
                                                       : '\0';
                same = same && buffer[static_cast<size_t>(i)] == expected;
            }
    });
    struct rusage before { };
    struct rusage after { };
    ::getrusage(RUSAGE_SELF, &before);
    std::ostringstream errors;
    EXPECT_EQ(quorra::FilterMail(input, fds[1], errors), 0);
    ::getrusage(RUSAGE_SELF, &after);
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);
    ::close(input);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(received, static_cast<uint64_t>(size));
    EXPECT_TRUE(same);
    EXPECT_NE(errors.str().find("longer than"), std::string::npos) << errors.str();
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KB more at the peak";
}

} // namespace
