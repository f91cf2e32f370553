// The RTF reader of the rich-text view: structure, formats, code pages, pictures, tables, lists, and its limits on
// hostile input.

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "model/lookup_work.h"
#include "rtf/rtf_document.h"
#include "text/codepage.h"

namespace pelmsg {
namespace {

std::string Utf8(const WideString& text) { return WideToUtf8(text); }

const TRtfParagraph& Paragraph(const TRtfDocument& d, size_t i) { return std::get<TRtfParagraph>(d.Blocks.at(i)); }

TEST(RtfDocument, ParagraphsAlignmentAndCharacterFormats)
{
    const TRtfDocument d = ReadRtfDocument(std::string_view(
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;}"
        "\\pard\\qc\\li720\\sb120 Title\\par"
        "\\pard Plain {\\b bold} {\\i italic} {\\ul under}{\\strike gone} {\\f1\\fs40\\cf1 big red}\\par}"));
    ASSERT_EQ(d.Blocks.size(), 2u);
    const TRtfParagraph& title = Paragraph(d, 0);
    EXPECT_EQ(title.Alignment, TRtfAlignment::Center);
    EXPECT_EQ(title.LeftIndent, 720);
    EXPECT_EQ(title.SpaceBefore, 120);
    const TRtfParagraph& body = Paragraph(d, 1);
    EXPECT_EQ(body.Alignment, TRtfAlignment::Left);
    EXPECT_EQ(body.LeftIndent, 0);
    bool sawBold = false, sawItalic = false, sawUnder = false, sawStrike = false, sawBig = false;
    for (const TRtfSpan& s : body.Spans) {
        const std::string t = Utf8(s.Text);
        if (t == "bold")
            sawBold = s.Format.Bold && !s.Format.Italic;
        if (t == "italic")
            sawItalic = s.Format.Italic && !s.Format.Bold;
        if (t == "under")
            sawUnder = s.Format.Underline;
        if (t == "gone")
            sawStrike = s.Format.Strike;
        if (t == "big red") {
            sawBig = s.Format.SizeHalfPoints == 40 && s.Format.Color == 1;
            ASSERT_GE(s.Format.Font, 0);
            EXPECT_EQ(Utf8(d.Fonts[size_t(s.Format.Font)].Name), "Courier New");
        }
    }
    EXPECT_TRUE(sawBold && sawItalic && sawUnder && sawStrike && sawBig);
    EXPECT_EQ(d.Colors.size(), 2u);
    EXPECT_TRUE(d.Colors[0].Automatic);
    EXPECT_EQ(d.Colors[1].Red, 255);
    EXPECT_EQ(Utf8(RtfDocumentText(d)), "Title\nPlain bold italic undergone big red\n");
}

// Documents whose plain text shows what the reader made of them.
struct TextCase {
    const char* Name;
    const char* Rtf;
    const char* Text;
    int CodePage = 1252;
};

class RtfDocumentTextOf : public testing::TestWithParam<TextCase> { };

TEST_P(RtfDocumentTextOf, Reads)
{
    const TRtfDocument d = ReadRtfDocument(std::string_view(GetParam().Rtf));
    EXPECT_EQ(Utf8(RtfDocumentText(d)), GetParam().Text);
    EXPECT_EQ(d.CodePage, GetParam().CodePage);
}

INSTANTIATE_TEST_SUITE_P(RtfDocument, RtfDocumentTextOf,
    testing::Values(
        // The document is Windows-1252; font 1 is Cyrillic, font 2 Japanese (Shift-JIS, two bytes a character).
        TextCase { "EscapesDecodeInTheCodePageOfTheFont",
            "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial Cyr;}"
            "{\\f2\\fcharset128 MS Gothic;}}"
            "caf\\'e9 {\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2} {\\f2 \\'93\\'fa\\'96\\'7b}\\par}",
            "café Привет 日本\n" },
        // U+20AC, then a surrogate pair (U+1F600) written as two negative units, then U+03A9 without fallback.
        TextCase { "UnicodeEscapesSkipTheirFallback",
            "{\\rtf1\\ansi\\uc1 a\\u8364?b{\\uc2\\u-10179\\'3f\\'3f\\u-8704??}c\\uc0\\u937 d\\par}", "a€b😀cΩd\n" },
        TextCase { "AnsiCodePageSetsTheDefault", "{\\rtf1\\ansi\\ansicpg1251 \\'c4\\'e0\\par}", "Да\n", 1251 },
        TextCase { "UnknownAndIgnoredDestinationsAreSkipped",
            "{\\rtf1{\\*\\generator Riched20;}{\\info{\\title secret}}{\\stylesheet{\\s0 Normal;}}"
            "{\\*\\htmltag84 <p>}{\\*\\unknownthing lost}{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt shown}}"
            " kept\\par}",
            "shown kept\n" },
        TextCase { "HiddenTextIsLeftOut", "{\\rtf1 a{\\v hidden}b\\v c\\v0 d\\par}", "abd\n" },
        TextCase { "SpecialCharactersAndLineBreaks",
            "{\\rtf1 a\\tab b\\line c\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\{\\}\\\\\\par}",
            "a\tb\nc—–•‘’“”\u00A0{}\\\n" },
        TextCase { "EncapsulatedHtmlShowsItsRtfRendering",
            "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <html>}{\\*\\htmltag64 <p>}\\htmlrtf {\\b\\htmlrtf0 Hello"
            "\\htmlrtf }\\htmlrtf0 {\\*\\htmltag72 </p>}\\par}",
            "Hello\n" }),
    [](const testing::TestParamInfo<TextCase>& test) { return std::string(test.param.Name); });

TEST(RtfDocument, PngAndJpegPicturesAreKeptOthersDropped)
{
    const TRtfDocument d = ReadRtfDocument(std::string_view(
        "{\\rtf1 x{\\pict\\pngblip\\picw10\\pich20\\picwgoal150\\pichgoal300 89504e470d0a1a0a}"
        "{\\*\\shppict{\\pict\\jpegblip\\picw4\\pich2 ff d8 ff e0}}{\\nonshppict{\\pict\\wmetafile8 0102}}"
        "{\\pict\\emfblip 0102}y\\par}"));
    ASSERT_EQ(d.Pictures.size(), 2u);
    EXPECT_EQ(d.Pictures[0].Format, "png");
    EXPECT_EQ(d.Pictures[0].Bytes, std::string("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(d.Pictures[0].WidthTwips, 150);
    EXPECT_EQ(d.Pictures[0].HeightTwips, 300);
    EXPECT_EQ(d.Pictures[1].Format, "jpeg");
    EXPECT_EQ(d.Pictures[1].Bytes, std::string("\xff\xd8\xff\xe0"));
    EXPECT_EQ(d.Pictures[1].WidthTwips, 60); // 4 pixels at 96 dpi
    const TRtfParagraph& p = Paragraph(d, 0);
    ASSERT_EQ(p.Spans.size(), 4u);
    EXPECT_EQ(p.Spans[1].Picture, 0);
    EXPECT_EQ(p.Spans[2].Picture, 1);
    EXPECT_EQ(Utf8(RtfDocumentText(d)), "xy\n");
}

TEST(RtfDocument, BinaryPictureData)
{
    std::string rtf = "{\\rtf1{\\pict\\pngblip\\bin4 ";
    rtf += std::string("\x89P\x00G", 4);
    rtf += "}z\\par}";
    const TRtfDocument d = ReadRtfDocument(std::string_view(rtf));
    ASSERT_EQ(d.Pictures.size(), 1u);
    EXPECT_EQ(d.Pictures[0].Bytes, std::string("\x89P\x00G", 4));
    EXPECT_EQ(Utf8(RtfDocumentText(d)), "z\n");
}

TEST(RtfDocument, TablesRowsAndCells)
{
    const TRtfDocument d = ReadRtfDocument(std::string_view(
        "{\\rtf1 before\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl a1\\cell b1\\cell\\row"
        "\\trowd\\cellx1000\\cellx2000\\pard\\intbl a2\\par more\\cell \\cell\\row\\pard after\\par}"));
    ASSERT_EQ(d.Blocks.size(), 3u);
    const auto& table = std::get<TRtfTable>(d.Blocks[1]);
    ASSERT_EQ(table.Rows.size(), 2u);
    ASSERT_EQ(table.Rows[0].Cells.size(), 2u);
    ASSERT_EQ(table.Rows[1].Cells.size(), 2u);
    EXPECT_EQ(table.Rows[1].Cells[0].Paragraphs.size(), 2u);
    EXPECT_EQ(Utf8(RtfDocumentText(d)), "before\na1\tb1\na2 more\t\nafter\n");
}

TEST(RtfDocument, ListsBulletedAndNumbered)
{
    const TRtfDocument d = ReadRtfDocument(std::string_view(
        "{\\rtf1{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}\\fi-360\\li720 one\\par"
        "{\\pntext\\f1\\'b7\\tab}two\\par\\pard{\\listtext 1.\\tab}\\ls2\\ilvl1 first\\par\\pard plain\\par}"));
    ASSERT_EQ(d.Blocks.size(), 4u);
    EXPECT_NE(Paragraph(d, 0).List, 0);
    EXPECT_FALSE(Paragraph(d, 0).Numbered);
    EXPECT_EQ(Paragraph(d, 0).List, Paragraph(d, 1).List);
    EXPECT_EQ(Paragraph(d, 2).List, 2);
    EXPECT_EQ(Paragraph(d, 2).ListLevel, 1);
    EXPECT_TRUE(Paragraph(d, 2).Numbered);
    EXPECT_EQ(Paragraph(d, 3).List, 0);
    // The markers are the list's to draw, not text.
    EXPECT_EQ(Utf8(RtfDocumentText(d)), "one\ntwo\nfirst\nplain\n");
}

// In encapsulated HTML the text parts are HTML text: their entities are decoded; a declared UTF-8 code page
// with single Windows-1252 escapes reads them as Windows-1252.
TEST(RtfDocument, EncapsulatedHtmlEntitiesAndStrayBytes)
{
    const TRtfDocument d = ReadRtfDocument(std::string_view(
        "{\\rtf1\\ansi\\ansicpg65001\\fromhtml1 EDV &amp; Technik &lt;x&gt; &#8364;&#x41;&nbsp;&bogus; &amp\\par"
        "\\'a0Alec \\'c3\\'a9\\par}"));
    EXPECT_EQ(Utf8(RtfDocumentText(d)), "EDV & Technik <x> €A\u00A0&bogus; &amp\n\u00A0Alec é\n");
    // Without "\\fromhtml" an ampersand is text.
    EXPECT_EQ(Utf8(RtfDocumentText(ReadRtfDocument(std::string_view("{\\rtf1 a &amp; b\\par}")))), "a &amp; b\n");
}

// A run of "&" without ";" costs a bounded look from each: eight times the ampersands, about eight times the
// work. An entity at the longest length still decodes, one unit longer it stays as text.
TEST(RtfDocument, EntityDecodingLooksOnlyAsFarAsTheLongestEntity)
{
    auto work = [](size_t ampersands) {
        const std::string rtf = "{\\rtf1\\ansi\\fromhtml1 " + std::string(ampersands, '&') + " end;\\par}";
        LookupWork() = {};
        const TRtfDocument d = ReadRtfDocument(std::string_view(rtf));
        EXPECT_EQ(Utf8(RtfDocumentText(d)), std::string(ampersands, '&') + " end;\n");
        return LookupWork().EntityUnitsExamined;
    };
    const uint64_t small = work(20000), large = work(160000);
    EXPECT_GT(small, 0u);
    EXPECT_LE(large, 9 * small) << small << " " << large;
    EXPECT_LE(large, 160000 * kMaxRtfEntityLength);

    const std::string longest = "&#x" + std::string(kMaxRtfEntityLength - 6, '0') + "41;"; // "&#x" "41" ";"
    ASSERT_EQ(longest.size(), kMaxRtfEntityLength);
    const std::string tooLong = "&#x0" + longest.substr(3);
    const TRtfDocument d = ReadRtfDocument(std::string_view("{\\rtf1\\fromhtml1 " + longest + " " + tooLong + "\\par}"));
    EXPECT_EQ(Utf8(RtfDocumentText(d)), "A " + tooLong + "\n");
}

// "\binN" data is no RTF in any kind of group: braces in it neither end the group nor show what the group hides.
TEST(RtfDocument, BinaryDataIsSkippedInEveryKindOfGroup)
{
    const std::string data(20, '}');
    const struct {
        const char* Name;
        std::string Rtf;
    } cases[] = {
        { "unknown destination", "{\\*\\unknowndest \\bin20 " + data + " hidden}" },
        { "ignored destination", "{\\info \\bin20 " + data + " hidden}" },
        { "font table", "{\\fonttbl{\\f0 Arial;}\\bin20 " + data + " hidden}" },
        { "font entry", "{\\fonttbl{\\f0 \\bin20 " + data + " hidden;}}" },
        { "colour table", "{\\colortbl ;\\bin20 " + data + " hidden}" },
        { "list text", "{\\listtext \\bin20 " + data + "}" },
        { "picture", "{\\pict\\pngblip\\bin20 " + data + " }" },
        { "too deep", std::string(kMaxRtfGroupDepth + 2, '{') + "\\bin20 " + data + " hidden"
                + std::string(kMaxRtfGroupDepth + 2, '}') },
    };
    for (const auto& c : cases) {
        const TRtfDocument d = ReadRtfDocument(std::string_view("{\\rtf1\\ansi " + c.Rtf + "shown\\par}"));
        EXPECT_EQ(Utf8(RtfDocumentText(d)), "shown\n") << c.Name;
    }
    // Data that claims more bytes than there are ends the text, as before.
    EXPECT_EQ(Utf8(RtfDocumentText(ReadRtfDocument(std::string_view("{\\rtf1 a{\\*\\x\\bin999999999 }}b}")))), "a\n");
}

// Group nesting at the limit is followed; one level deeper is dropped with a warning, and what follows is read.
TEST(RtfDocument, GroupDepthLimitAtItsEdges)
{
    for (size_t depth : { kMaxRtfGroupDepth - 1, kMaxRtfGroupDepth, kMaxRtfGroupDepth + 1 }) {
        std::string rtf;
        for (size_t i = 0; i < depth; ++i)
            rtf += "{";
        rtf += "deep";
        for (size_t i = 0; i < depth; ++i)
            rtf += "}";
        rtf += "after";
        const TRtfDocument d = ReadRtfDocument(std::string_view(rtf));
        const std::string text = Utf8(RtfDocumentText(d));
        if (depth <= kMaxRtfGroupDepth) {
            EXPECT_EQ(text, "deepafter\n") << depth;
            EXPECT_TRUE(d.Warnings.empty()) << depth;
        } else {
            EXPECT_EQ(text, "after\n") << depth;
            EXPECT_EQ(d.Warnings.size(), 1u) << depth;
        }
    }
}

TEST(RtfDocument, TableColumnLimitAtItsEdges)
{
    for (size_t cells : { kMaxRtfTableColumns - 1, kMaxRtfTableColumns, kMaxRtfTableColumns + 1 }) {
        std::string rtf = "{\\rtf1\\trowd\\pard\\intbl ";
        for (size_t i = 0; i < cells; ++i)
            rtf += "c\\cell ";
        rtf += "\\row}";
        const TRtfDocument d = ReadRtfDocument(std::string_view(rtf));
        ASSERT_EQ(d.Blocks.size(), 1u) << cells;
        const auto& row = std::get<TRtfTable>(d.Blocks[0]).Rows.at(0);
        EXPECT_EQ(row.Cells.size(), std::min(cells, kMaxRtfTableColumns)) << cells;
    }
}

// Damaged input: every prefix of a document that uses each feature reads without failing, and bit flips too.
TEST(RtfDocument, TruncatedAndFlippedInputReadsCleanly)
{
    const std::string sample = "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset128 MS;}}{\\colortbl;\\red1;}"
                               "\\uc1\\u1071?\\'c4{\\pict\\pngblip\\picw1 8950}\\trowd\\intbl a\\cell\\row"
                               "{\\pntext 1.}\\ls1 x\\par{\\*\\x y}\\bin3 abc\\b\\i\\fs-5\\cf99\\f77 z}";
    for (size_t n = 0; n <= sample.size(); ++n)
        (void)ReadRtfDocument(std::string_view(sample).substr(0, n));
    for (size_t i = 0; i < sample.size(); ++i) {
        std::string flipped = sample;
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
        const TRtfDocument d = ReadRtfDocument(std::string_view(flipped));
        for (const TRtfBlock& b : d.Blocks)
            if (const auto* p = std::get_if<TRtfParagraph>(&b))
                for (const TRtfSpan& s : p->Spans) {
                    EXPECT_LT(s.Format.Color, int(d.Colors.size()));
                    EXPECT_LT(s.Format.Font, int(d.Fonts.size()));
                }
    }
}

// One pass: the work grows with the input, not faster. Counted by output size, never by a clock.
TEST(RtfDocument, HugeParametersAndUnbalancedBracesStayBounded)
{
    const TRtfDocument d = ReadRtfDocument(std::string_view(
        "}}}{\\rtf1\\bin99999999999999 x\\fs99999999999\\u99999999999 \\picw-99999999999 ok"));
    EXPECT_LE(RtfDocumentText(d).size(), 8u);
    EXPECT_EQ(ReadRtfDocument(std::string_view("{\\rtf1\\bin2000000000 ab}")).Blocks.size(), 0u);
}

} // namespace
} // namespace pelmsg
