// File names made from hostile attachment names stay inside their folder and never replace an existing file.

#include <gtest/gtest.h>

#include "export/file_name.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

TEST(FileName, HostileNamesBecomeOneNameInsideTheFolder)
{
    const struct {
        std::string name;
        std::string safe;
    } cases[] = {
        { "report.pdf", "report.pdf" },
        { "../../.bashrc", ".._.._.bashrc" },
        { "..", "attachment" },
        { ".", "attachment" },
        { "/etc/passwd", "_etc_passwd" },
        { "a\\b", "a_b" },
        { std::string("a\0b", 3), "a_b" },
        { "line\nbreak\t.txt", "line_break_.txt" },
        { "  name. . ", "name" },
        { "CON", "_CON" },
        { "com1.txt", "_com1.txt" },
        { "console.txt", "console.txt" },
        { "Grüße.txt", "Grüße.txt" },
        { "\xC2\x85x", "_x" },
        { "bad\xFF\xC3", "bad__" },
        { "", "attachment" },
        { " . ", "attachment" },
        { "a:b*c?.txt", "a_b_c_.txt" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SafeFileName(c.name), c.safe) << c.name;
    EXPECT_EQ(SafeFileName("", "../x"), ".._x");
}

TEST(FileName, LongNamesAreCutBetweenCharactersKeepingTheExtension)
{
    const std::string longName = std::string(300, 'a') + ".pdf";
    const std::string safe = SafeFileName(longName);
    EXPECT_EQ(safe.size(), kMaxFileNameBytes);
    EXPECT_EQ(safe.substr(safe.size() - 4), ".pdf");

    std::string umlauts;
    for (int i = 0; i < 200; ++i)
        umlauts += "ü";
    const std::string cut = SafeFileName(umlauts);
    EXPECT_LE(cut.size(), kMaxFileNameBytes);
    EXPECT_EQ(cut.size() % 2, 0u) << "cut inside a character";
}

TEST(FileName, FirstFreePathNumbersEqualNames)
{
    TempDir dir;
    EXPECT_EQ(FirstFreeFilePath(dir.Path(), "a.txt"), dir.File("a.txt"));
    WriteFileBytes(dir.File("a.txt"), "1");
    EXPECT_EQ(FirstFreeFilePath(dir.Path(), "a.txt"), dir.File("a (2).txt"));
    WriteFileBytes(dir.File("a (2).txt"), "2");
    EXPECT_EQ(FirstFreeFilePath(dir.Path() + "/", "a.txt"), dir.File("a (3).txt"));
    WriteFileBytes(dir.File("noext"), "1");
    EXPECT_EQ(FirstFreeFilePath(dir.Path(), "noext"), dir.File("noext (2)"));

    const std::string full = std::string(251, 'b') + ".pdf";
    WriteFileBytes(dir.File(full), "1");
    const std::string next = FirstFreeFilePath(dir.Path(), full);
    const std::string nextName = next.substr(dir.Path().size() + 1);
    EXPECT_EQ(nextName.size(), kMaxFileNameBytes);
    EXPECT_EQ(nextName.substr(nextName.size() - 8), " (2).pdf");
}
