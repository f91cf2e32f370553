// The mail filter's time limit: past it, the mail goes out as it came, byte for byte, with the reason on the error
// stream and the status 0, although the unwrap is still running (the filter ends the process).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "mail_filter.h"
#include "pelmsg.h"
#include "test_support.h"

namespace {

using pelmsg::test::ReadFileBytes;
using pelmsg::test::WriteFileBytes;

// A mail of `parts` TNEF parts: unwrapping 2000 takes far longer than no time at all.
std::string MailOfTnefParts(int parts)
{
    const std::string tnef = ReadFileBytes(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    const std::string part = "--b\r\nContent-Type: application/ms-tnef\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + pelmsg::EncodeBase64(tnef) + "\r\n";
    std::string mail = "Subject: many\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int i = 0; i < parts; ++i)
        mail += part;
    return mail + "--b--\r\n";
}

TEST(FilterTimeLimit, PastTheLimitTheMailGoesOutAsItCame)
{
    const auto dir = std::filesystem::temp_directory_path() / ("filter_time_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string in = (dir / "in.eml").string(), out = (dir / "out.eml").string();
    const std::string mail = MailOfTnefParts(2000);
    std::ofstream(in, std::ios::binary) << mail;
    EXPECT_EXIT(
        {
            const int input = ::open(in.c_str(), O_RDONLY);
            const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            quorra::TFilterOptions options;
            options.TimeLimit = std::chrono::milliseconds(0);
            quorra::FilterMail(input, output, std::cerr, options);
            std::_Exit(3); // the unwrap finished first: not what this test needs
        },
        ::testing::ExitedWithCode(0), "took longer than 0 ms");
    EXPECT_TRUE(ReadFileBytes(out) == mail);
    std::filesystem::remove_all(dir);
}

TEST(FilterTimeLimit, WithinTheLimitTheMailIsUnwrapped)
{
    const auto dir = std::filesystem::temp_directory_path() / ("filter_time_ok_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string in = (dir / "in.eml").string(), out = (dir / "out.eml").string();
    const std::string mail = MailOfTnefParts(3);
    std::ofstream(in, std::ios::binary) << mail;
    const int input = ::open(in.c_str(), O_RDONLY);
    const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::ostringstream errors;
    EXPECT_EQ(quorra::FilterMail(input, output, errors), 0);
    ::close(input);
    ::close(output);
    const std::string written = ReadFileBytes(out);
    EXPECT_NE(written, mail);
    EXPECT_NE(written.find("X-Tessaly-Unwrapped"), std::string::npos);
    EXPECT_EQ(errors.str().find("took longer"), std::string::npos);
    std::filesystem::remove_all(dir);
}

} // namespace
