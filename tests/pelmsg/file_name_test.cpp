// File names made from hostile attachment names stay inside their folder and never replace an existing file.

#include <gtest/gtest.h>

#include "export/file_name.h"
#include "test_support.h"
#include "text_cases.h"

using namespace pelmsg;
using namespace pelmsg::test;

TEST(FileName, HostileNamesBecomeOneNameInsideTheFolder)
{
    ExpectEachMapsTo([](const std::string& name) { return SafeFileName(name); },
        {
            { "report.pdf", "report.pdf" },
            { "../../.bashrc", "_.._.bashrc" },
            { ".bashrc", "bashrc" },
            { " ..hidden.txt", "hidden.txt" },
            { "invoice\u202Egnp.exe", "invoicegnp.exe" },
            { "\u2066a\u2069\u200Eb\u200F\u061Cc\u202A\u202D.pdf", "abc.pdf" },
            { "\u2067\u202E", "attachment" },
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
        });
    EXPECT_EQ(SafeFileName("", "../x"), "_x");
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

TEST(FileName, ExtensionIsLettersAndDigitsAfterTheLastDot)
{
    ExpectEachMapsTo(FileNameExtension,
        {
            { "report.pdf", ".pdf" },
            { "a.tar.gz", ".gz" },
            { "noext", "" },
            { "ends.", "" },
            { ".pdf", "" },
            { "..pdf", "" },
            { "_.._etc_passwd", "" },
            { "a._etc_passwd", "" },
            { "a.exe ", "" },
            { "a.123456789012345", ".123456789012345" },
            { "a.1234567890123456", "" },
        });
}

// A cut to the length limit never makes an extension the name did not have: "A…A.desktopXXX…" would otherwise be
// written, and opened, as "A…A.desktop".
TEST(FileName, CutNeverMakesANewExtension)
{
    for (const std::string& unit : { std::string("A"), std::string("\xC3\x84") })
        for (const char* extension : { ".desktop", ".jar", ".sh" }) {
            std::string stem;
            while (stem.size() + unit.size() + std::string(extension).size() <= kMaxFileNameBytes)
                stem += unit;
            const std::string name = stem + extension + std::string(20, 'X');
            const std::string safe = SafeFileName(name);
            EXPECT_LE(safe.size(), kMaxFileNameBytes);
            EXPECT_EQ(FileNameExtension(safe), "") << safe;
        }
    // A real extension is kept through the cut.
    const std::string safe = SafeFileName(std::string(300, 'a') + ".x.desktop");
    EXPECT_EQ(FileNameExtension(safe), ".desktop");
}

// The copy of a name that clashes numbers the safe name before its extension, and a name made of a hostile path
// gets no leading dot and no mangled "extension".
TEST(FileName, ClashCopyOfHostileNames)
{
    TempDir dir;
    const std::string safe = SafeFileName("../../etc/passwd");
    EXPECT_EQ(safe, "_.._etc_passwd");
    WriteFileBytes(dir.File(safe), "1");
    EXPECT_EQ(FirstFreeFilePath(dir.Path(), safe), dir.File("_.._etc_passwd (2)"));
    const std::string hidden = SafeFileName(".._.report.pdf");
    EXPECT_EQ(hidden, "_.report.pdf");
    WriteFileBytes(dir.File(hidden), "1");
    EXPECT_EQ(FirstFreeFilePath(dir.Path(), hidden), dir.File("_.report (2).pdf"));
}
