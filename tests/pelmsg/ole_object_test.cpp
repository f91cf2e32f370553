#include <gtest/gtest.h>

#include "storage/ole_object.h"
#include "tnef_builder.h"

namespace pelmsg {
namespace {

using test::LE32;

std::string Z(const std::string& text) { return text + std::string(1, '\0'); }

// A packaged file: every truncation of the stream is refused, the whole one gives label, name and data.
TEST(OleObject, Ole10NativePackage)
{
    const std::string temp = "C:\\Temp\\report.txt";
    std::string body = std::string("\x02\x00", 2) + Z("report.txt") + Z("C:\\Users\\ann\\report.txt")
        + std::string("\x00\x00\x03\x00", 4) + LE32(uint32_t(temp.size() + 1)) + Z(temp) + LE32(5) + "hello";
    const std::string stream = LE32(uint32_t(body.size())) + body;
    const auto package = ReadOle10Native(stream);
    ASSERT_TRUE(package.has_value());
    EXPECT_EQ(package->Label, "report.txt");
    EXPECT_EQ(package->FileName, "report.txt");
    EXPECT_EQ(package->Data, "hello");
    for (size_t n = 0; n < stream.size(); ++n)
        EXPECT_FALSE(ReadOle10Native(std::string_view(stream).substr(0, n))) << n;
    // A data length beyond the stream is refused, not allocated.
    std::string huge = stream;
    huge.replace(huge.size() - 9, 4, LE32(0xFFFFFFF0u));
    EXPECT_FALSE(ReadOle10Native(huge));
}

// The user type and the ProgID behind each form of the clipboard format; a cut stream keeps what it holds in full.
TEST(OleObject, CompObj)
{
    const std::string head(28, '\x01');
    const std::string user = LE32(8) + Z("Package");
    const std::string progId = LE32(8) + Z("Package");
    for (const std::string& format : { LE32(0), LE32(0xFFFFFFFFu) + LE32(3), LE32(4) + Z("Ole") }) {
        const TOleCompObj read = ReadOleCompObj(head + user + format + progId);
        EXPECT_EQ(read.UserType, "Package");
        EXPECT_EQ(read.ProgId, "Package");
    }
    const TOleCompObj cut = ReadOleCompObj(head + user + LE32(0) + LE32(8) + "Pack");
    EXPECT_EQ(cut.UserType, "Package");
    EXPECT_EQ(cut.ProgId, "");
    EXPECT_EQ(ReadOleCompObj(head + LE32(100) + "short").UserType, "");
}

} // namespace
} // namespace pelmsg
