// The text of calendar files: content lines folded at 75 octets without splitting a character, values and
// parameters escaped, and the plain text of RTF bodies.

#include <gtest/gtest.h>

#include "calendar/content_line.h"
#include "calendar/rtf_text.h"
#include "test_support.h"
#include "text/codepage.h"
#include "text_cases.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// The line as a reader unfolds it.
std::string Unfolded(const std::string& text)
{
    std::string out;
    for (const std::string& line : Lines(text))
        out += line.empty() || line[0] != ' ' ? (out.empty() ? "" : "\n") + line : line.substr(1);
    return out;
}

bool IsValidUtf8(const std::string& s) { return WideToUtf8(Utf8ToWide(s)) == s; }

TEST(ContentLines, FoldingAtSeventyFiveOctets)
{
    struct Case {
        const char* what;
        std::string value;
    } cases[] = {
        { "short", "Meeting" },
        { "exactly full", std::string(75 - 8, 'x') }, // "SUMMARY:" takes 8
        { "one more", std::string(75 - 7, 'x') },
        { "long", std::string(500, 'y') },
        { "two-byte characters",
            [] {
                std::string s;
                for (int i = 0; i < 100; ++i)
                    s += "\xC3\xA9";
                return s;
            }() },
        { "four-byte characters at odd positions",
            [] {
                std::string s = "a";
                for (int i = 0; i < 60; ++i)
                    s += "\xF0\x9F\x98\x80";
                return s;
            }() },
        { "Japanese",
            "\xE9\x87\x91\xE6\x9B\x9C\xE6\x97\xA5 \xE3\x81\x94\xE3\x81\xA8\xE3\x80\x81" + std::string(70, 'z') },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TContentLines out;
        out.Line("SUMMARY", c.value);
        for (const std::string& line : Lines(out.Text())) {
            EXPECT_LE(line.size(), kMaxContentLineOctets);
            EXPECT_TRUE(IsValidUtf8(line)) << "a character split between lines";
        }
        EXPECT_EQ(Unfolded(out.Text()), "SUMMARY:" + c.value);
        EXPECT_EQ(Lines(out.Text()).size() == 1, 8 + c.value.size() <= kMaxContentLineOctets);
    }
}

TEST(ContentLines, TextValuesAreEscaped)
{
    ExpectEachMapsTo(EscapeText,
        {
            { "plain", "plain" },
            { "a,b;c\\d", "a\\,b\\;c\\\\d" },
            { "one\r\ntwo\nthree\rfour", "one\\ntwo\\nthree\\nfour" },
            { "tab\tstays", "tab\tstays" },
            { std::string("nul\0and bell\a go", 17), "nuland bell go" },
            { "bad \xFF byte and \xC3 cut", "bad  byte and  cut" },
            { "\xE2\x82\xAC euro", "\xE2\x82\xAC euro" },
            { "surrogate \xED\xA0\x80 half", "surrogate  half" },
        });
}

TEST(ContentLines, ParameterValuesAreQuotedWhenTheyMustBe)
{
    ExpectEachMapsTo(ParameterValue,
        { { "Eastern Standard Time", "Eastern Standard Time" }, { "Doe, Jane", "\"Doe, Jane\"" },
            { "(UTC+09:00) Osaka", "\"(UTC+09:00) Osaka\"" }, { "say \"hi\"; now", "\"say hi; now\"" },
            { "line\r\nbreak", "linebreak" } });
}

TEST(RtfText, ThePlainTextOfRtf)
{
    struct Case {
        const char* what;
        std::string rtf;
        std::string text;
    } cases[] = {
        { "paragraphs",
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;}\\f0 Hello\\par World}",
            "Hello\nWorld" },
        { "escaped bytes in the code page", "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80}", "caf\xC3\xA9 \xE2\x82\xAC" },
        { "another code page", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", "\xD0\x9F\xD1\x80\xD0\xB8" },
        { "unicode with replacement", "{\\rtf1\\uc1 \\u26085?\\u26412?}", "\xE6\x97\xA5\xE6\x9C\xAC" },
        { "two-byte replacements", "{\\rtf1\\uc2 a\\u-3913\\'81\\'40b}",
            "a\xEF\x82\xB7"
            "b" },
        { "negative unicode", "{\\rtf1 \\u-4064?}", "\xEF\x80\xA0" },
        { "skipped destinations", "{\\rtf1{\\*\\generator Riched20;}{\\info{\\author me}}text{\\pict 0102}}", "text" },
        { "field result kept, instruction left out", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}",
            "link" },
        { "encapsulated HTML", "{\\rtf1\\fromhtml1{\\*\\htmltag <p>}\\htmlrtf {\\htmlrtf0 Hi\\htmlrtf\\par}\\htmlrtf0}",
            "Hi\n" },
        { "tabs and quotes", "{\\rtf1 a\\tab b \\ldblquote c\\rdblquote \\emdash}",
            "a\tb \xE2\x80\x9C"
            "c\xE2\x80\x9D\xE2\x80\x94" },
        { "escaped braces", "{\\rtf1 \\{x\\}\\\\}", "{x}\\" },
        { "spaces of set widths", "{\\rtf1 a\\emspace b\\enspace c\\qmspace d}",
            "a\xE2\x80\x83"
            "b\xE2\x80\x82"
            "c\xE2\x80\x85"
            "d" },
        { "a minus that starts no number", "{\\rtf1 a\\par-x\\par-5 b}", "a\n-x\nb" },
        { "binary data", "{\\rtf1 a\\bin3 {}\\b}", "ab" },
        { "unbalanced", "{\\rtf1 open{{{ text", "open text" },
        { "extra closing", "}}}{\\rtf1 x}}", "x" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(WideToUtf8(PlainTextFromRtf(c.rtf)), c.text) << c.what;
}

TEST(RtfText, DeepNestingAndHugeParametersStayLinear)
{
    const std::string deep = "{\\rtf1 " + std::string(200000, '{') + "x" + std::string(200000, '}') + "}";
    EXPECT_EQ(WideToUtf8(PlainTextFromRtf(deep)), "x");
    EXPECT_EQ(WideToUtf8(PlainTextFromRtf("{\\rtf1 \\u99999999999999999999?\\uc-5 \\bin99999999999 a}")), "");
}

} // namespace
