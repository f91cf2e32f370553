#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "message_file.h"
#include "model/message.h"
#include "rtf/rtf_html.h"
#include "test_support.h"
#include "text/codepage.h"
#include "text_cases.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

// An encapsulated-HTML RTF around a body: the header a mail client writes, "<html>" as the first tag.
std::string Wrap(const std::string& body, const std::string& header = "{\\rtf1\\ansi\\fromhtml1 \\deff0")
{
    return header + "{\\fonttbl{\\f0\\fswiss Arial;}}\r\n{\\*\\htmltag19 <html>}" + body + "}";
}

// What the body gives after the "<html>" tag.
std::string Body(const std::string& body, const std::string& header = "{\\rtf1\\ansi\\fromhtml1 \\deff0")
{
    std::string html = ExtractHtmlFromRtf(Wrap(body, header));
    EXPECT_EQ(html.substr(0, 7), " <html>") << body;
    return html.size() >= 7 ? html.substr(7) : html;
}

std::string BodyOf(const std::string& body) { return Body(body); }

} // namespace

TEST(ExtractHtmlFromRtfTest, Preconditions)
{
    const char* rows[] = {
        "",
        "{\\rtf1\\ansi {\\*\\htmltag19 <html>}}", // no \fromhtml
        "{\\rtf1\\ansi\\fromhtml1 <html> text}", // no tag group
        "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag64 <p>}text}", // nothing that starts an HTML document
        "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <HTML>}}",
        "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <htmlx>}}",
    };
    for (const char* rtf : rows)
        EXPECT_EQ(ExtractHtmlFromRtf(rtf), "") << rtf;
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\fromhtml1 {\\*\\htmltag1 <!DOCTYPE html>}}"), " <!DOCTYPE html>");
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\fromhtml1 {\\*\\htmltag1 <!DOCTYPE HTML>}}"), " <!DOCTYPE HTML>");
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\fromhtml1 {\\*\\htmltag1 <html lang=en>}}"), " <html lang=en>");
    // The marker may stand anywhere in the text, even before the first tag group.
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\fromhtml1 <html> {\\*\\htmltag1 <p>}}"), " <p>");
}

TEST(ExtractHtmlFromRtfTest, TagGroups)
{
    // The character after the number stays; everything before the first tag group goes.
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\fromhtml1 junk{\\*\\htmltag84 <b>}<html>}"), " <b><html>");
    EXPECT_EQ(Body("{\\*\\htmltag64}x{\\*\\htmltag72 </p>}"), "x </p>");
    EXPECT_EQ(Body("{\\*\\htmltag<br>}"), "<br>");
    // Tag groups may follow each other directly, and one may be cut off by the end of the text.
    EXPECT_EQ(Body("{\\*\\htmltag1 <a>}{\\*\\htmltag2 <b>}"), " <a> <b>");
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\fromhtml1 {\\*\\htmltag19 <html>}{\\*\\htmltag1 <p"), " <html> <p");
}

TEST(ExtractHtmlFromRtfTest, EscapedBracesInsideTagGroups)
{
    // CSS in a tag group escapes its braces; "\}" is text, not the end of the group.
    EXPECT_EQ(Body("{\\*\\htmltag241  a:link \\{ color: #3399ff; \\} p \\{ x: 1; \\} }{\\*\\htmltag249 </style>}"),
        "  a:link { color: #3399ff; } p { x: 1; }  </style>");
    EXPECT_EQ(Body("{\\*\\htmltag84 <a href=\"\\\\\\\\server\\\\share\">}x"), " <a href=\"\\\\server\\share\">x");
    EXPECT_EQ(Body("{\\*\\htmltag84 <p title=\"\\\\\">}x"), " <p title=\"\\\">x");
}

TEST(ExtractHtmlFromRtfTest, ControlWords)
{
    ExpectEachMapsTo(BodyOf,
        {
            // The blank that ends a dropped word stays.
            { "\\htmlrtf0 Hello", " Hello" },
            // A field goes up to the next \htmlrtf.
            { "{\\field{\\*\\fldinst{HYPERLINK \"x\"}}{\\fldrslt\\htmlrtf0 208225\\htmlrtf }}", " 208225" },
            { "x\\field{\\*\\fldinst y}", "x" },
            { "\\f0 a\\f12b\\fx", " ab\\fx" },
            { "\\lang1033 a\\langfe", " a\\langfe" },
            { "\\{\\}\\~x", "{}x" },
            { "a\\pard b\\par c", "a\r\n b\r\n c" },
            { "\\tab x", "\t x" },
            { "\\line\\b\\qc\\qj\\uldb\\ul\\*\\background x", " x" },
            // A control word is its whole run of letters and its number: longer words are other words.
            { "\\b0 bold", " bold" },
            { "\\ulnone x\\ul0 y", " x y" },
            { "\\bullet x", "\xE2\x80\xA2 x" },
            { "{\\listtext 1.}x", "x" },
            { "\\ulx", "\\ulx" },
            // \binN: N bytes of data after the blank are neither text nor RTF.
            { "\\bin x", "x" },
            { "\\bin3 x{}abc", "abc" },
            { "\\bin99 xyz", "" },
            // ... also in every group that is dropped or only looked through: its "}" bytes close nothing.
            { "{\\*\\unknowndest \\bin20 }}}}}}}}}}}}}}}}}}}} hidden} shown", " shown" },
            { "{\\*\\fldinst \\bin5 }}}}} HYPERLINK \"x\"}y", "y" },
            { "{\\*\\mhtmltag84 <img src=\"http://x/a.png\">}y", "y" },
            { "{\\colortbl\\red0\\bin3 }}};}y", "y" },
            { "{\\fonttbl{\\f1\\bin2 }} X;}}y", "y" },
            { "{\\sn \\bin3 }}}fillColor}y", "y" },
            { "\\fs20 x\\highlight3 y\\viewkind4 z", " x y z" },
            { "\\plain\\cf1 x", " x" },
            { "\\*\\shpinst\\shp\\sp x", " x" },
            // Group words take the rest of the group when they open one.
            { "{\\sn fillColor}{\\sv 255}x", "x" },
            { "{\\*\\bkmkstart _Toc1}y{\\*\\bkmkend _Toc1}", "y" },
            { "\\li720 x\\fi-360 y", " x y" },
            { "{\\*\\pn\\pnlvlblt\r\n}x", "\r\nx" },
            { "{\\chbrdr\\brdrs}x\\chbrdr y", "x y" },
            // Unlisted control words and line breaks stay as they are.
            { "\\i x\\i0\r\n", "\\i x\\i0\r\n" },
        });
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\fromhtml1 {\\*\\htmltag19 <html>}a\\"), " <html>a\\");
    // The font table keeps its fonts after "\binN" data holding braces.
    EXPECT_EQ(Body("\\f1\\'e0", "{\\rtf1\\ansi\\fromhtml1 \\deff0{\\fonttbl{\\f0\\bin3 }}}}{\\f1\\fcharset204 Cyr;}}"),
        "\xD0\xB0");
}

TEST(ExtractHtmlFromRtfTest, RtfOnlyTextIsLeftOut)
{
    ExpectEachMapsTo(BodyOf,
        {
            // The RTF rendering of an entity the HTML has in a tag group: the HTML must not show it twice.
            { "we{\\*\\htmltag84 &rsquo;}\\htmlrtf \\'92\\htmlrtf0 re", "we &rsquo; re" },
            { "{\\*\\htmltag84 &nbsp;}\\htmlrtf \\'a0\\htmlrtf0 x", " &nbsp; x" },
            // An image's alternative text drawn by the RTF.
            { "{\\*\\htmltag84 <img alt=\"logo\">}\\htmlrtf {\\chbrdr\\brdrsh logo}\\htmlrtf0 x",
                " <img alt=\"logo\"> x" },
            { "a\\htmlrtf1 b\\par\\htmlrtf0 c", "a c" },
            { "a\\htmlrtf b\\htmlrtf00 c", "a c" },
            // The state belongs to the group it is set in.
            { "\\htmlrtf {\\htmlrtf0 shown}hidden\\htmlrtf0 .", " shown ." },
            { "{\\htmlrtf hidden}shown", "shown" },
            { "{\\htmlrtf {nested}\\htmlrtf0 {in}}out", " inout" },
            // Escaped braces inside RTF-only text are no group boundaries.
            { "{\\htmlrtf \\} \\{ \\\\}shown", "shown" },
            // Field results the HTML shares stay, the field instruction goes.
            { "\\htmlrtf {\\field{\\*\\fldinst{HYPERLINK \"x\"}}{\\fldrslt\\ul \\htmlrtf0 link\\htmlrtf }\\htmlrtf0 "
              "}\\htmlrtf0 .",
                " link  ." },
        });
}

TEST(ExtractHtmlFromRtfTest, EscapedBytesInTheRtfCodePage)
{
    struct Row {
        const char* header;
        std::string body;
        const char* html;
    };
    const std::string h1252 = "{\\rtf1\\ansi\\fromhtml1";
    const Row rows[] = {
        // Windows-1252 when the RTF names none.
        { "{\\rtf1\\ansi\\fromhtml1", "caf\\'e9 \\'80", "café €" },
        { "{\\rtf1\\ansi\\ansicpg1251\\fromhtml1", "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2", "Привет" },
        // Double-byte code pages: consecutive escapes make one character, a dropped word between them too.
        { "{\\rtf1\\ansi\\ansicpg932\\fromhtml1", "\\'93\\'fa\\'96\\'7b\\'8c\\'ea", "日本語" },
        { "{\\rtf1\\ansi\\ansicpg932\\fromhtml1", "\\'b1\\'93\\'fa", "ｱ日" },
        { "{\\rtf1\\ansi\\ansicpg936\\fromhtml1", "\\'d6\\'d0\\htmlrtf0\\'ce\\'c4", "中文" },
        { "{\\rtf1\\ansi\\ansicpg950\\fromhtml1", "\\'a4\\'a4\\'a4\\'e5", "中文" },
        // Raw 8-bit bytes in the RTF text are of the same code page.
        { "{\\rtf1\\ansi\\fromhtml1", "caf\xE9", "café" },
        { "{\\rtf1\\ansi\\ansicpg1251\\fromhtml1", "\xCF\xF0\xE8", "При" },
        { "{\\rtf1\\ansi\\ansicpg65001\\fromhtml1", "\xE2\x82\xAC", "€" },
        // A code page nothing converts: Windows-1252 rather than losing the text.
        { "{\\rtf1\\ansi\\ansicpg10001\\fromhtml1", "\\'e9", "é" },
        // Not an escape: the characters stay.
        { "{\\rtf1\\ansi\\fromhtml1", "\\'zz \\'4", "\\'zz \\'4" },
    };
    for (const Row& row : rows) {
        std::string html = Body(row.body, row.header);
        EXPECT_EQ(html, row.html) << row.header << " " << row.body;
    }
    // Whatever the bytes, the result is UTF-8.
    std::string all;
    for (int b = 0x80; b < 0x100; ++b) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\'%02x", b);
        all += hex;
        all.push_back(static_cast<char>(b));
    }
    for (const char* header : { "{\\rtf1\\ansi\\fromhtml1", "{\\rtf1\\ansi\\ansicpg932\\fromhtml1",
             "{\\rtf1\\ansi\\ansicpg65001\\fromhtml1" }) {
        std::string html = Body(all, header);
        EXPECT_EQ(WideToUtf8(Utf8ToWide(html)), html) << header;
    }
}

TEST(ExtractHtmlFromRtfTest, UnicodeEscapes)
{
    ExpectEachMapsTo(BodyOf,
        {
            { "\\u8364?", "€" },
            { "\\u8364 ?x", "€x" },
            { "\\u8364\\'80x", "€x" },
            { "\\u-4064?", "\xEF\x80\xA0" }, // 61472 = U+F020
            // A surrogate pair written as two escapes.
            { "\\u-10179?\\u-8704?", "😀" },
            { "\\u55357?\\u56832?", "😀" },
            { "\\u-10179?x", "\xEF\xBF\xBDx" },
            // The fallback count of \uc, per group; the setting itself never shows.
            { "{\\uc2\\u8364ab}\\u8364cd", "€€d" },
            { "{\\uc0\\u8364 ab}", "€ab" },
            // The fallback ends at a group boundary and does not count line breaks.
            { "\\u8364{x}", "€x" },
            { "\\u8364\r\n?x", "€x" },
            // Out of range: a replacement character.
            { "\\u99999?x", "\xEF\xBF\xBDx" },
            // Not escapes.
            { "\\u\\u-x", "\\u\\u-x" },
            { "\\ul\\uldb x", " x" },
        });
}

TEST(ExtractHtmlFromRtfTest, MailClientSample)
{
    const std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\fbidis \\deff0{\\fonttbl\r\n"
                            "{\\f0\\fswiss Arial;}}\r\n"
                            "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n"
                            "{\\*\\htmltag19 <html>}\r\n"
                            "{\\*\\htmltag50 <body>}\r\n"
                            "{\\*\\htmltag96 <div>}\\htmlrtf {\\htmlrtf0 Voice mail from Curie at \r\n"
                            "{\\*\\htmltag84 <a href=\"tel:208225\">}\\htmlrtf {\\field{\\*\\fldinst{HYPERLINK "
                            "\"tel:208225\"}}{\\fldrslt\\cf1\\ul \\htmlrtf0 208225\\htmlrtf }\\htmlrtf0 \\htmlrtf "
                            "}\\htmlrtf0 \r\n"
                            "{\\*\\htmltag92 </a>}.{\\*\\htmltag72}\\htmlrtf\\par}\\htmlrtf0\r\n"
                            "{\\*\\htmltag104 </div>}\\htmlrtf }\\htmlrtf0 \r\n"
                            "{\\*\\htmltag58 </body>}\r\n"
                            "{\\*\\htmltag27 </html>}}";
    // The field instruction and the RTF-only text go; each dropped word leaves the blank that ended it.
    EXPECT_EQ(ExtractHtmlFromRtf(rtf),
        " <html>\r\n <body>\r\n <div> Voice mail from Curie at \r\n"
        " <a href=\"tel:208225\"> 208225  \r\n"
        " </a>.\r\n </div> \r\n </body>\r\n </html>");
}

TEST(ExtractHtmlFromRtfTest, DamagedInputGivesText)
{
    const char* rows[] = {
        "\\",
        "\\'",
        "\\'e",
        "\\u",
        "\\u-",
        "\\u-999999999999999999999",
        "\\uc99999999999\\u8364",
        "{{{{{{{{",
        "}}}}}}}}",
        "\\field",
        "{\\sn",
        "\\*\\pn",
        "\\f",
        "\\lang",
    };
    for (const char* body : rows) {
        std::string rtf = "{\\rtf1\\fromhtml1 {\\*\\htmltag19 <html>}" + std::string(body);
        std::string html = ExtractHtmlFromRtf(rtf);
        EXPECT_EQ(html.substr(0, 7), " <html>") << body;
        EXPECT_EQ(WideToUtf8(Utf8ToWide(html)), html) << body;
    }
}

TEST(MatchKeywordTest, Matching)
{
    size_t pos = 0;
    EXPECT_TRUE(MatchKeyword("\\fs20x", "\\fs", true, pos));
    EXPECT_EQ(pos, 5u);
    pos = 0;
    EXPECT_TRUE(MatchKeyword("\\fs20x", "\\fs", false, pos));
    EXPECT_EQ(pos, 3u);
    pos = 0;
    EXPECT_FALSE(MatchKeyword("\\fsx", "\\f", true, pos, true));
    EXPECT_EQ(pos, 0u);
    pos = 0;
    EXPECT_TRUE(MatchKeyword("\\f1", "\\f", true, pos, true));
    EXPECT_EQ(pos, 3u);
    pos = 0;
    EXPECT_FALSE(MatchKeyword("\\f", "\\f", true, pos, true));
    pos = 1;
    EXPECT_TRUE(MatchKeyword("x\\Par", "\\Par", false, pos));
    pos = 1;
    EXPECT_FALSE(MatchKeyword("x\\par", "\\Par", false, pos));
    pos = 4;
    EXPECT_FALSE(MatchKeyword("\\pa", "\\par", false, pos));
    EXPECT_EQ(pos, 4u);
}

TEST(MatchKeywordTest, GroupMode)
{
    size_t pos = 1;
    EXPECT_TRUE(MatchKeywordGroup("{\\sn fill}", "\\sn", pos));
    EXPECT_EQ(pos, 9u); // at the "}"
    pos = 1;
    EXPECT_TRUE(MatchKeywordGroup("{\\sn fill\r\nx}", "\\sn", pos));
    EXPECT_EQ(pos, 9u); // at the CR
    pos = 1;
    EXPECT_TRUE(MatchKeywordGroup("{\\sn fill", "\\sn", pos));
    EXPECT_EQ(pos, 9u); // the end of the text
    pos = 1;
    EXPECT_TRUE(MatchKeywordGroup(" \\sn fill}", "\\sn", pos));
    EXPECT_EQ(pos, 4u); // not after "{": only the keyword
    pos = 0;
    EXPECT_FALSE(MatchKeywordGroup("\\sv", "\\sn", pos));
    EXPECT_EQ(pos, 0u);
}

TEST(RtfHtmlUnicodeSkip, TheSettingNeverShowsInTheHtml)
{
    std::string rtf = "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <html>}\\uc1\\pard caf\\'e9 \\u8364? x\\uc2 \\u8364??"
                      "{\\*\\htmltag27 </html>}}";
    std::string html = pelmsg::ExtractHtmlFromRtf(rtf);
    EXPECT_EQ(html.find("\\uc"), std::string::npos) << html;
    EXPECT_NE(html.find("caf\xC3\xA9 \xE2\x82\xAC x \xE2\x82\xAC </html>"), std::string::npos) << html;
}

// The bytes of a font's text are in the font's charset, wherever the font is selected: in the HTML's own text, in
// an RTF-only stretch whose text the HTML keeps after "\htmlrtf0", back to the outer font when the group ends.
TEST(ExtractHtmlFromRtfFontCharset, FollowsTheSelectedFont)
{
    const std::string header = "{\\rtf1\\ansi\\ansicpg932\\fromhtml1 \\deff0{\\fonttbl"
                               "{\\f0\\fswiss\\fcharset128 MS PGothic;}{\\f1\\fmodern\\fcharset0 Courier New;}"
                               "{\\f4\\fswiss\\fcharset128 Gothic;}{\\f5\\fswiss\\fcharset134 SimSun;}"
                               "{\\f6\\fswiss\\fcharset129 Gulim;}{\\f7\\fnil\\cpg1251 Cyr;}"
                               "{\\f8\\fnil\\fcharset1 Default;}\\f9\\fnil\\fcharset161 Greek;}"
                               "{\\*\\htmltag19 <html>}";
    struct Row {
        std::string body;
        const char* html;
    };
    const Row rows[] = {
        // As a mail client writes it: the font chosen in RTF-only text, the characters after "\htmlrtf0".
        { "\\htmlrtf {\\f4 \\htmlrtf0 \\htmlrtf{\\f5\\fs24\\htmlrtf0 \\'c4\\'e3\\'ba\\'c3\\htmlrtf\\f4}\\htmlrtf0 ",
            "你好" },
        { "\\htmlrtf {\\f4 \\htmlrtf0 \\htmlrtf{\\f6\\fs24\\htmlrtf0 \\'be\\'c8\\'b3\\'e7\\'c7\\'cf\\'bc\\'bc\\'bf\\'e4"
          "\\htmlrtf\\f4}\\htmlrtf0 ",
            "안녕하세요" },
        // A font group in the HTML's text; after it the default font (Shift-JIS) again.
        { "{\\f1 caf\\'e9}\\'93\\'fa", "café日" },
        { "{\\f5 \\'d6\\'d0}{\\f6 \\'c7\\'d1}\\'96\\'7b", "中한本" },
        // Raw bytes follow the font as escaped ones do.
        { "{\\f1 \xE9}", "é" },
        // "\cpg" names the code page itself; "\plain" goes back to the default font.
        { "{\\f7 \\'cf\\f1 \\'e9\\plain \\'93\\'fa}", "Пé日" },
        // A font without a charset of its own, or one not in the table: the RTF's code page.
        { "{\\f8 \\'93\\'fa}{\\f42 \\'93\\'fa}", "日日" },
        // A font written without its own group in the table.
        { "{\\f9 \\'e1}", "α" },
    };
    for (const Row& row : rows) {
        // The blanks that end the dropped words stay (see ControlWords); only the characters count here.
        std::string html = ExtractHtmlFromRtf(header + row.body + "}");
        html.erase(std::remove(html.begin(), html.end(), ' '), html.end());
        EXPECT_EQ(html, std::string("<html>") + row.html) << row.body;
    }
    // "\deff" names the font of text outside any font group.
    EXPECT_EQ(ExtractHtmlFromRtf("{\\rtf1\\ansi\\fromhtml1 \\deff3{\\fonttbl{\\f3\\fcharset204 X;}}"
                                 "{\\*\\htmltag19 <html>}\\'cf}"),
        " <html>П");
}

TEST(ExtractHtmlFromRtfFontCharset, ChineseAndKoreanInAJapaneseMessage)
{
    const std::string path = CorpusPath("msg/hiraoka-msgreader__Hello_+CJK.msg");
    if (!CorpusAvailable() || ReadFileBytes(path).empty())
        GTEST_SKIP() << "no corpus";
    std::unique_ptr<TPelMessage> message = CreateMessageForFile(path);
    message->LoadFromFile(path);
    const std::string html = ExtractHtmlFromRtf(message->Properties().RtfBodyBytes());
    EXPECT_NE(html.find("你好"), std::string::npos);
    EXPECT_NE(html.find("안녕하세요"), std::string::npos);
    EXPECT_NE(html.find("こんにちは"), std::string::npos);
}
