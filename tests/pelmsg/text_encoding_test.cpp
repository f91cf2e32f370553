#include <array>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"
#include "text/base64.h"
#include "text/charset.h"
#include "text/codepage.h"
#include "text/datetime.h"
#include "text/header_encoding.h"
#include "text/html_escape.h"
#include "text/mail_date.h"
#include "text/meta_charset.h"
#include "text_cases.h"

using namespace pelmsg;
using pelmsg::test::ExpectEachRewrittenTo;
using pelmsg::test::ScopedTimeZone;
using pelmsg::test::U8;
using pelmsg::test::W;

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

std::string AllBytes()
{
    std::string s;
    for (int b = 0; b < 256; ++b)
        s.push_back(static_cast<char>(b));
    return s;
}

std::string Encoded(const std::string& charset, const std::string& utf8)
{
    std::string text = utf8;
    EncodeForCharset(charset, text);
    return text;
}

double Local(int y, int mo, int d, int h, int mi, int s) { return *TryEncodeDateTime(y, mo, d, h, mi, s); }

std::string PartsText(double dateTime)
{
    TDateParts p = DecodeDateTime(dateTime);
    char buffer[64];
    std::snprintf(
        buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
    return buffer;
}

// Base64 decoding for checking the encoder; line breaks are skipped.
std::string DecodeBase64(const std::string& text)
{
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        int v = value(c);
        if (v < 0)
            continue;
        acc = acc << 6 | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return out;
}

} // namespace

// ---- Charset conversion ----

TEST(CodePageTest, TextOfManyPiecesConvertsAsAWhole)
{
    // The converters take text in pieces; characters cut by a piece boundary (a double-byte character, a
    // surrogate pair) must come out whole. Both texts cross several boundaries, one character straddling each.
    std::string shiftJis = "a";
    WideString japanese = u"a";
    for (int i = 0; i < 100000; ++i) {
        shiftJis += "\x82\xA0"; // HIRAGANA LETTER A
        japanese += u"\u3042";
    }
    EXPECT_EQ(CodePageToWide(shiftJis, 932), japanese);
    EXPECT_EQ(WideToCodePage(japanese, 932), shiftJis);

    WideString symbols = u"xy";
    std::string withReferences = "xy";
    for (int i = 0; i < 50000; ++i) {
        symbols += u"\u20AC\U0001D11E"; // EURO SIGN (0x80 in Windows-1252), MUSICAL SYMBOL G CLEF (not in it)
        withReferences += "\x80&#119070;";
    }
    EXPECT_EQ(WideToCodePageWithReferences(symbols, 1252), withReferences);
    EXPECT_EQ(Utf16LeToWide(WideToUtf16Le(symbols)), symbols);
}

TEST(ConvertCharsetTest, TargetCharsets)
{
    struct Row {
        const char* charset;
        std::string utf8;
        std::string expected;
    };
    const Row rows[] = {
        { "utf-8", "Привет €", "Привет €" },
        { "UTF-8", "é", "é" },
        { "windows-1251", "Привет", Bytes({ 0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2 }) },
        { "koi8-r", "Привет", Bytes({ 0xF0, 0xD2, 0xC9, 0xD7, 0xC5, 0xD4 }) },
        // Really ISO-8859-1: "é" is one byte, the euro sign has no place there.
        { "iso-8859-1", "café", Bytes({ 'c', 'a', 'f', 0xE9 }) },
        { "ISO-8859-1", "€", "?" }, // what the charset lacks becomes "?"
        { "Windows-1252", "€", Bytes({ 0x80 }) },
        { "shift_jis", "日本", Bytes({ 0x93, 0xFA, 0x96, 0x7B }) },
        // The first row named iso-2022-jp is 50220; EUC-JP is found whatever its case.
        { "iso-2022-jp", "日本", Bytes({ 0x1B, '$', 'B', 0x46, 0x7C, 0x4B, 0x5C, 0x1B, '(', 'B' }) },
        { "euc-jp", "日本", Bytes({ 0xC6, 0xFC, 0xCB, 0xDC }) },
        { "EUC-JP", "日本", Bytes({ 0xC6, 0xFC, 0xCB, 0xDC }) },
        // Names outside the table: the UTF-8 bytes through the Cyrillic class of the name.
        { "x-unknown", "Привет", "Привет" },
        { "x-1251-custom", "AÀ", Bytes({ 'A', 0x83, 0x3F }) }, // C3 80 byte by byte
        // A table code page nothing can convert gives no text rather than text in the wrong charset.
        { "x-mac-japanese", "abc", "" },
        { "utf-8", "", "" },
        { "windows-1251", "", "" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(Encoded(row.charset, row.utf8), row.expected) << row.charset << " " << row.utf8;
}

TEST(ConvertCharsetTest, CarriesOneBytePerUnit)
{
    WideString text = W("é€");
    ConvertCharset("Windows-1252", text);
    EXPECT_EQ(text, (WideString { 0xE9, 0x80 }));
    WideString utf8 = W("é");
    ConvertCharset("utf-8", utf8);
    EXPECT_EQ(utf8, (WideString { 0xC3, 0xA9 }));
    WideString empty;
    ConvertCharset("koi8-r", empty);
    EXPECT_TRUE(empty.empty());
}

TEST(CyrillicClassTest, ClassOfName)
{
    using C = TCyrillicClass;
    const std::pair<const char*, C> rows[] = {
        { "windows-1251", C::Windows1251ToDos866 },
        { "Windows-1251", C::Windows1251ToDos866 },
        { "x-1251", C::Windows1251ToDos866 },
        { "text/windows-1251-ish", C::Windows1251ToDos866 },
        { "koi8-r", C::Koi8RToWindows1251 },
        { "KOI8-R", C::Koi8RToWindows1251 },
        { "koi8-u", C::Koi8UToWindows1251 },
        { "koi8", C::Identity },
        { "utf-8", C::Identity },
        { "", C::Identity },
    };
    for (const auto& [name, cls] : rows)
        EXPECT_EQ(CyrillicClassOf(name), cls) << name;
}

TEST(CyrillicClassTest, Windows1251ToDos866)
{
    std::string text = AllBytes();
    RecodeCyrillic(TCyrillicClass::Windows1251ToDos866, TCyrillicClass::Identity, text);
    for (int b = 0; b < 0x80; ++b)
        EXPECT_EQ(static_cast<unsigned char>(text[static_cast<size_t>(b)]), b);
    // Letters: А..п to 0x80..0xAF, р..я to 0xE0..0xEF.
    EXPECT_EQ(static_cast<unsigned char>(text[0xC0]), 0x80);
    EXPECT_EQ(static_cast<unsigned char>(text[0xEF]), 0xAF);
    EXPECT_EQ(static_cast<unsigned char>(text[0xF0]), 0xE0);
    EXPECT_EQ(static_cast<unsigned char>(text[0xFF]), 0xEF);
    // The symbol block, spot-checked against the table rows.
    EXPECT_EQ(text.substr(0x80, 16),
        Bytes({ 0x3F, 0x3F, 0x27, 0x3F, 0x22, 0x3A, 0xC5, 0xD8, 0x3F, 0x25, 0x3F, 0x3C, 0x3F, 0x3F, 0x3F, 0x3F }));
    EXPECT_EQ(text.substr(0xA0, 16),
        Bytes({ 0xFF, 0xF6, 0xF7, 0x3F, 0xFD, 0x3F, 0xB3, 0x15, 0xF0, 0x63, 0xF2, 0x3C, 0xBF, 0x2D, 0x52, 0xF4 }));
    EXPECT_EQ(text.substr(0xB0, 16),
        Bytes({ 0xF8, 0x2B, 0x49, 0x69, 0x3F, 0xE7, 0x14, 0xFA, 0xF1, 0xFC, 0xF3, 0x3E, 0x3F, 0x3F, 0x3F, 0xF5 }));
    // Every letter lands where DOS 866 has the same letter.
    for (int b = 0xC0; b <= 0xFF; ++b) {
        std::string one(1, static_cast<char>(b));
        std::string recoded = one;
        RecodeCyrillic(TCyrillicClass::Windows1251ToDos866, TCyrillicClass::Identity, recoded);
        EXPECT_EQ(CodePageToWide(recoded, 866), CodePageToWide(one, 1251)) << b;
    }
}

TEST(CyrillicClassTest, Koi8ToWindows1251AgreesWithCodePages)
{
    // KOI8-R: the letters and Ё/ё move, the rest stays. KOI8-U: every character Windows-1251 has moves to it.
    for (TCyrillicClass cls : { TCyrillicClass::Koi8RToWindows1251, TCyrillicClass::Koi8UToWindows1251 }) {
        const bool koi8r = cls == TCyrillicClass::Koi8RToWindows1251;
        const int32_t source = koi8r ? 20866 : 21866;
        for (int b = 0; b < 256; ++b) {
            std::string one(1, static_cast<char>(b));
            std::string recoded = one;
            RecodeCyrillic(cls, TCyrillicClass::Identity, recoded);
            WideString character = CodePageToWide(one, source);
            ByteString in1251 = WideToCodePage(character, 1251);
            bool letter = b < 0x80 || b >= 0xC0 || b == 0xA3 || b == 0xB3;
            if (koi8r && !letter)
                EXPECT_EQ(recoded, one) << "KOI8-R " << b;
            else if (CodePageToWide(in1251, 1251) == character)
                EXPECT_EQ(recoded, in1251) << "class " << static_cast<int>(cls) << " byte " << b;
            else
                EXPECT_EQ(recoded, "?") << "class " << static_cast<int>(cls) << " byte " << b;
        }
    }
}

TEST(CyrillicClassTest, ComposesSourceAndTarget)
{
    std::string koi = Bytes({ 0xF0, 0xD2, 0xC9 }); // "При" in KOI8-R
    RecodeCyrillic(TCyrillicClass::Koi8RToWindows1251, TCyrillicClass::Identity, koi);
    EXPECT_EQ(koi, Bytes({ 0xCF, 0xF0, 0xE8 }));
    std::string text = Bytes({ 0xC0, 'a' });
    RecodeCyrillic(TCyrillicClass::Identity, TCyrillicClass::Windows1251ToDos866, text); // target[source[b]]
    EXPECT_EQ(text, Bytes({ 0x80, 'a' }));
    std::string same = AllBytes();
    RecodeCyrillic(TCyrillicClass::Identity, TCyrillicClass::Identity, same);
    EXPECT_EQ(same, AllBytes());
    // An unknown class recodes nothing instead of reading outside the tables.
    std::string unknown = AllBytes();
    RecodeCyrillic(static_cast<TCyrillicClass>(7), static_cast<TCyrillicClass>(200), unknown);
    EXPECT_EQ(unknown, AllBytes());
}

// ---- Mail dates ----

TEST(ZeroPadTest, Pads)
{
    EXPECT_EQ(ZeroPad(5, 2), "05");
    EXPECT_EQ(ZeroPad(0, 2), "00");
    EXPECT_EQ(ZeroPad(123, 2), "123");
    EXPECT_EQ(ZeroPad(7, 0), "7");
    EXPECT_EQ(ZeroPad(42, 5), "00042");
    EXPECT_EQ(ZeroPad(-5, 3), "-05");
}

TEST(MonthFromNameTest, ExactNames)
{
    EXPECT_EQ(MonthFromName("Jan"), 1);
    EXPECT_EQ(MonthFromName("Dec"), 12);
    EXPECT_EQ(MonthFromName("Mar"), 3);
    EXPECT_EQ(MonthFromName("mar"), 0);
    EXPECT_EQ(MonthFromName("March"), 0);
    EXPECT_EQ(MonthFromName(""), 0);
}

TEST(FormatMailDateTest, Moscow)
{
    ScopedTimeZone zone("Europe/Moscow");
    EXPECT_EQ(FormatMailDate(Local(2002, 3, 5, 9, 7, 3)), "Tue, 5 Mar 2002 09:07:03 +0300");
    EXPECT_EQ(FormatMailDate(Local(1999, 12, 31, 23, 59, 59)), "Fri, 31 Dec 1999 23:59:59 +0300");
}

TEST(FormatMailDateTest, OffsetOfThatDateNotOfNow)
{
    ScopedTimeZone zone("America/New_York");
    // Whatever the season the process runs in, July is daylight-saving time and January is not.
    EXPECT_EQ(FormatMailDate(Local(2021, 7, 14, 12, 0, 0)), "Wed, 14 Jul 2021 12:00:00 -0400");
    EXPECT_EQ(FormatMailDate(Local(2021, 12, 14, 12, 0, 0)), "Tue, 14 Dec 2021 12:00:00 -0500");
    EXPECT_EQ(TimeZoneText(Local(2021, 7, 14, 12, 0, 0)), "-0400");
}

TEST(FormatMailDateTest, ZoneText)
{
    {
        ScopedTimeZone zone("UTC");
        EXPECT_EQ(TimeZoneText(Local(2020, 1, 1, 0, 0, 0)), "GMT");
    }
    {
        ScopedTimeZone zone("Asia/Kolkata");
        EXPECT_EQ(TimeZoneText(Local(2020, 1, 1, 0, 0, 0)), "+0530");
    }
    {
        ScopedTimeZone zone("America/St_Johns");
        EXPECT_EQ(TimeZoneText(Local(2020, 1, 1, 0, 0, 0)), "-0330");
    }
}

TEST(ParseMailDateTest, ToLocalTime)
{
    ScopedTimeZone zone("Europe/Moscow");
    struct Row {
        const char* text;
        const char* local; // local time of Moscow, +0300
    };
    const Row rows[] = {
        { "Tue, 5 Mar 2002 09:07:03 +0300", "2002-03-05 09:07:03" },
        { "Tue, 5 Mar 2002 09:07:03 GMT", "2002-03-05 12:07:03" },
        { "Tue, 5 Mar 2002 09:07:03 -0500", "2002-03-05 17:07:03" },
        { "Tue, 5 Mar 2002 09:07:03 +0130 (odd)", "2002-03-05 10:37:03" },
        { "Tue,   5 Mar 2002 09:07:03 +0000", "2002-03-05 12:07:03" },
        // Named zones other than GMT count as UTC.
        { "Tue, 5 Mar 2002 09:07:03 EST", "2002-03-05 12:07:03" },
        { "Tue, 5 Mar 2002 09:07:03 UT", "2002-03-05 12:07:03" },
        // No blank after the seconds: they read as 0 and "03" is taken for the zone, characters 2-3 = 3 hours.
        { "Tue, 5 Mar 2002 09:07:03", "2002-03-05 09:07:00" },
        // Two-digit years are years of the first century.
        { "Sat, 1 Jan 02 00:00:00 GMT", "0002-01-01 02:30:17" },
    };
    for (const Row& row : rows) {
        double value = ParseMailDate(W(row.text));
        ASSERT_NE(value, 0.0) << row.text;
        EXPECT_EQ(PartsText(value), row.local) << row.text;
    }
}

TEST(ParseMailDateTest, ImpossibleOrMissingGivesNoDate)
{
    ScopedTimeZone zone("Europe/Moscow");
    const char* rows[] = {
        "5 Mar 2002 09:07:03", // no ", "
        "Tue, 5 Foo 2002 09:07:03 +0300", // month 0
        "Tue, 31 Feb 2002 09:07:03 +0300",
        "Tue, 5 Mar 2002 25:07:03 +0300",
        "Tue, 5 Mar 2002 09:61:03 +0300",
        "Tue, 5 mar 2002 09:07:03 +0300", // month names are case-sensitive
        "Tue, x Mar 2002 09:07:03 +0300", // day 0
        "Tue, 5 Mar 0 09:07:03 +0300", // year 0
        "Tue, ",
        "",
    };
    for (const char* text : rows)
        EXPECT_EQ(ParseMailDate(W(text)), 0.0) << text;
}

TEST(ParseMailDateTest, RoundTripsThroughFormat)
{
    ScopedTimeZone zone("America/New_York");
    for (double local : { Local(2021, 7, 14, 12, 30, 15), Local(2021, 1, 2, 3, 4, 5), Local(1995, 10, 29, 0, 59, 59) })
        EXPECT_EQ(PartsText(ParseMailDate(W(FormatMailDate(local)))), PartsText(local));
}

// ---- HTML escaping ----

TEST(EscapeHtmlTest, Bytes)
{
    struct Row {
        std::string in;
        bool textMode;
        std::string expected;
    };
    const Row rows[] = {
        { "a<b>&\"c\"", true, "a&lt;b&gt;&amp;&quot;c&quot;" },
        { "it's", true, "it's" },
        { "it's", false, "it&apos;s" },
        { Bytes({ 0x00, 0x08, 0x0B, 0x0C, 0x0E, 0x1F }), true, "%00%08%0B%0C%0E%1F" },
        { "a\tb\nc\rd", false, "a\tb\nc\rd" },
        { "one\r\ntwo", true, "one<br>two" },
        { "one\r\ntwo", false, "one\r\ntwo" },
        { "lone\rcr\nlf\n\r", true, "lone\rcr\nlf\n\r" },
        { "\r\r\n", true, "\r<br>" },
        // The characters ©, °, ±, ¶ of UTF-8 text.
        { "© 20°C ±1 ¶", true, "&copy; 20&#176;C &plusmn;1 &para;" },
        // The same bytes inside other characters stay: "é" is C3 A9, "İ" C4 B0, "激" E6 BF B6, "ư" C6 B0.
        { "é İ 激 ư", true, "é İ 激 ư" },
        { Bytes({ 0xA9, 0xB0, 0xB1, 0xB6 }), true, Bytes({ 0xA9, 0xB0, 0xB1, 0xB6 }) },
        { Bytes({ 0xC2 }), true, Bytes({ 0xC2 }) },
        { "", true, "" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(EscapeHtml(row.in, row.textMode), row.expected) << row.in;
}

TEST(ReplaceEntityTest, Rounds)
{
    struct Row {
        const char* entity;
        const char* replacement;
        const char* text;
        const char* expected;
    };
    const Row rows[] = {
        { "&amp", "&", "a &amp; b", "a & b" },
        { "&amp", "&", "a&ampb", "a&b" },
        { "&amp", "&", "&amp;;", "&;" },
        // A replacement that forms the entity again with the text after it is replaced again.
        { "&amp", "&", "&amp;amp;amp;", "&" },
        { "&amp", "&", "&amp;ampx", "&x" },
        // ... and with the text before it.
        { "ab", "b", "aaab", "b" },
        { "ab", "ba", "aaaab", "baaaa" },
        { "&lt", "<", "x &lt;&lt y", "x << y" },
        { "&nbsp", "", "a&nbsp;&nbsp;b", "ab" },
        { "&nbsp", "", "&nb&nbsp;sp;", "" },
        { "&AMP", "&", "&amp;", "&amp;" },
        { "", "x", "text", "text" },
        { "&x", "y", "", "" },
        // A replacement holding the entity: each occurrence is replaced once (replacing again would never end).
        { "a", "aa", "bab", "baab" },
    };
    for (const Row& row : rows) {
        WideString text = W(row.text);
        ReplaceEntity(W(row.entity), W(row.replacement), text);
        EXPECT_EQ(U8(text), row.expected) << row.entity << " in " << row.text;
    }
}

// The rounds the original made, one replacement per search from the start.
static WideString ReplaceByRounds(const WideString& entity, const WideString& replacement, WideString text)
{
    for (size_t at; (at = text.find(entity)) != WideString::npos;) {
        text.erase(at, entity.size());
        if (at < text.size() && text[at] == u';')
            text.erase(at, 1);
        text.insert(at, replacement);
    }
    return text;
}

TEST(ReplaceEntityTest, SameAsRoundsOnGeneratedText)
{
    // Small alphabets make cascades frequent.
    const char16_t alphabet[] = u"&amp;x";
    const std::pair<WideString, WideString> cases[] = {
        { u"&amp", u"&" },
        { u"&a", u"" },
        { u"ap", u"a" },
        { u"a&", u"&a" },
        { u"ma", u"am" },
        { u"&", u";" },
    };
    uint32_t seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        WideString text;
        size_t length = round % 40;
        for (size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            text.push_back(alphabet[(seed >> 16) % 6]);
        }
        const auto& [entity, replacement] = cases[static_cast<size_t>(round) % std::size(cases)];
        WideString fast = text;
        ReplaceEntity(entity, replacement, fast);
        ASSERT_EQ(fast, ReplaceByRounds(entity, replacement, text)) << U8(entity) << " in " << U8(text);
    }
}

TEST(ReplaceEntityTest, LargeTextOfCascades)
{
    // Replacing by rounds took quadratic time: megabytes of entities hung the viewer. The one sweep gives what the
    // rounds give (text_bench measures its speed).
    WideString text;
    for (int i = 0; i < 200000; ++i)
        text += u"&amp;amp;x";
    ReplaceEntity(u"&amp", u"&", text);
    EXPECT_EQ(text.size(), 400000u);
    EXPECT_EQ(text.substr(0, 4), u"&x&x");
}

TEST(DecodeCharReferencesTest, References)
{
    ExpectEachRewrittenTo([](WideString& text) { DecodeCharReferences(text); },
        {
            { "&#65;&#x42;", "AB" },
            { "&#65&#X43;", "AC" },
            { "a&#x20AC;b", "a€b" },
            { "&#233;t&#233;", "été" },
            // The whole Unicode range, supplementary characters as a surrogate pair.
            { "&#128512;", "😀" },
            { "&#x1F600;", "😀" },
            { "&#65534;&#65535;", "\xEF\xBF\xBE\xEF\xBF\xBF" },
            // Bad references stay and the ones after them are still decoded.
            { "&#;&#65;", "&#;A" },
            { "&#x;&#66;", "&#x;B" },
            { "&#xD800;&#67;", "&#xD800;C" },
            { "&#55296;&#67;", "&#55296;C" },
            { "&#1114112;&#68;", "&#1114112;D" },
            { "&#99999999999999999999;&#69;", "&#99999999999999999999;E" },
            { "&#&#65;", "&#A" },
            // Each reference is decoded on its own: "&#65" does not stand for the start of "&#650;".
            { "&#65 &#650;", "A \xCA\x8A" },
            // A decoded "&" or "#" that completes a reference with the text around it is decoded again.
            { "&#38;#65;", "A" },
            { "&&#35;66;", "B" },
            { "&#38;", "&" },
            { "no references # & here", "no references # & here" },
            { "&#x", "&#x" },
            { "&#", "&#" },
        });
}

TEST(UnescapeHtmlTest, Entities)
{
    ExpectEachRewrittenTo([](WideString& text) { UnescapeHtml(text); },
        {
            { "&amp;lt;", "<" },
            { "a&nbsp;b", "ab" },
            { "&#65;&#x42;", "AB" },
            { "&lt;p&gt; &quot;x&quot; &apos;y&apos;", "<p> \"x\" 'y'" },
            { "&copy; &trade; &plusmn; &brvbar;", "c T + |" },
            { "&deg;&#176;&para;", "°°¶" },
            { "1&car;2&ret;3", "1\n2\r3" },
            { "&amp;#65;", "A" },
            { "&amp;amp;", "&" },
            { "&LT;", "&LT;" },
            { "plain", "plain" },
        });
}

TEST(UnescapeHtmlTest, LargeTextAsPassesOverTheWhole)
{
    // Large text is unescaped piece by piece; cascades that run across many units and every barrier kind must
    // come out as the passes over the whole text give them.
    const char* fragments[] = { "&amp;", "amp;", "&", "lt;", "&c", "&nbsp;", "ar;", "&#", "38;", "#65;", " ", "\n", "<",
        "x", ";", "&nb", "sp;", "&copy;", "opy;", "&#x42;", "\xC3\xA9" };
    std::string utf8;
    uint32_t seed = 99;
    while (utf8.size() < 300000) {
        seed = seed * 1103515245u + 12345u;
        utf8 += fragments[(seed >> 16) % std::size(fragments)];
    }
    WideString whole = W(utf8);
    WideString pieces = whole;
    for (const auto& [entity, replacement] :
        std::initializer_list<std::pair<const char16_t*, const char16_t*>> { { u"&brvbar", u"|" },
            { u"&deg", u"\u00B0" }, { u"&#176", u"\u00B0" }, { u"&plusmn", u"+" }, { u"&para", u"\u00B6" },
            { u"&amp", u"&" }, { u"&lt", u"<" }, { u"&gt", u">" }, { u"&copy", u"c" }, { u"&quot", u"\"" },
            { u"&apos", u"'" }, { u"&trade", u"T" }, { u"&nbsp", u"" }, { u"&car", u"\n" }, { u"&ret", u"\r" } })
        ReplaceEntity(entity, replacement, whole);
    DecodeCharReferences(whole);
    UnescapeHtml(pieces);
    EXPECT_EQ(pieces, whole);
}

// ---- Base64 ----

TEST(EncodeBase64Test, Rfc4648Vectors)
{
    const std::pair<const char*, const char*> rows[] = {
        { "", "" },
        { "f", "Zg==" },
        { "fo", "Zm8=" },
        { "foo", "Zm9v" },
        { "foob", "Zm9vYg==" },
        { "fooba", "Zm9vYmE=" },
        { "foobar", "Zm9vYmFy" },
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(EncodeBase64(in), out) << in;
    EXPECT_EQ(EncodeBase64(Bytes({ 0xFB, 0xFF, 0xBF })), "+/+/");
}

TEST(EncodeBase64Test, MimeLines)
{
    for (size_t size : { 56u, 57u, 58u, 114u, 115u, 1000u, 5700u }) {
        std::string data;
        for (size_t i = 0; i < size; ++i)
            data.push_back(static_cast<char>(i * 7 + 3));
        std::string encoded = EncodeBase64(data);
        EXPECT_EQ(DecodeBase64(encoded), data) << size;
        // Lines of 76 characters joined by CR LF, the last one shorter or equal, no break at the end.
        size_t from = 0;
        while (true) {
            size_t end = encoded.find("\r\n", from);
            std::string line = encoded.substr(from, end == std::string::npos ? std::string::npos : end - from);
            EXPECT_LE(line.size(), 76u) << size;
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << size;
            if (end == std::string::npos)
                break;
            EXPECT_EQ(line.size(), 76u) << size;
            from = end + 2;
        }
        EXPECT_NE(encoded.substr(encoded.size() - 2), "\r\n");
    }
}

// ---- Header encoding ----

namespace {

struct EncodedWord {
    std::string Charset;
    std::string Bytes;
    size_t Length;
};

std::vector<EncodedWord> WordsOf(const std::string& header)
{
    std::vector<EncodedWord> words;
    size_t at = 0;
    while ((at = header.find("=?", at)) != std::string::npos) {
        size_t q1 = header.find('?', at + 2);
        size_t q2 = header.find('?', q1 + 1);
        size_t end = header.find("?=", q2 + 1);
        words.push_back(
            { header.substr(at + 2, q1 - at - 2), DecodeBase64(header.substr(q2 + 1, end - q2 - 1)), end + 2 - at });
        EXPECT_EQ(header.substr(q1, 3), "?B?");
        at = end + 2;
    }
    return words;
}

} // namespace

TEST(EncodeHeaderTextTest, PlainAsciiStays)
{
    EXPECT_EQ(EncodeHeaderText("Meeting at 10:00", "utf-8"), "Meeting at 10:00");
    EXPECT_EQ(EncodeHeaderText("", "koi8-r"), "");
    EXPECT_EQ(EncodeHeaderText("Hello ~!", ""), "Hello ~!");
}

TEST(EncodeHeaderTextTest, EncodedWordsInTheCharset)
{
    // Text, the charset asked for, the charset of the encoded words.
    const std::array<const char*, 3> rows[] = {
        { "Привет, мир", "koi8-r", "koi8-r" },
        { "Привет, мир", "windows-1251", "windows-1251" },
        { "Grüße", "iso-8859-1", "iso-8859-1" },
        { "Grüße", "", "utf-8" },
        { "Grüße", "UTF-8", "utf-8" },
        // The charset cannot hold the text, cannot be converted, or is no table name: UTF-8.
        { "Привет €", "iso-8859-1", "utf-8" },
        { "日本語", "windows-1251", "utf-8" },
        { "Grüße", "x-mac-japanese", "utf-8" },
        { "Grüße", "x-1251", "utf-8" },
        { "日本語のテキスト", "iso-2022-jp", "iso-2022-jp" },
        // Control characters are not plain: a line break must not end the header.
        { "one\r\nBcc: x@example.org", "utf-8", "utf-8" },
        // Text that looks like an encoded word would be decoded by the reader.
        { "=?utf-8?B?SGk=?=", "utf-8", "utf-8" },
    };
    const std::map<std::string, int32_t> codePages = { { "koi8-r", 20866 }, { "windows-1251", 1251 },
        { "iso-8859-1", 28591 }, { "utf-8", 65001 }, { "iso-2022-jp", 50220 } };
    for (const auto& [text, charset, used] : rows) {
        std::string header = EncodeHeaderText(text, charset);
        auto words = WordsOf(header);
        ASSERT_FALSE(words.empty()) << text;
        WideString decoded;
        for (const auto& w : words) {
            EXPECT_EQ(w.Charset, used) << text;
            decoded += CodePageToWide(w.Bytes, codePages.at(used));
        }
        EXPECT_EQ(U8(decoded), text) << charset;
    }
}

TEST(EncodeHeaderTextTest, LongTextFoldsBetweenWholeCharacters)
{
    auto repeat = [](const std::string& piece) {
        std::string text;
        for (int i = 0; i < 40; ++i)
            text += piece;
        return text;
    };
    const std::pair<const char*, std::string> rows[] = {
        { "utf-8", repeat("Ёжик😀в тумане ") },
        { "windows-1251", repeat("Ёжик в тумане ") },
        { "iso-2022-jp", repeat("日本語のテキスト、") },
        { "gb2312", repeat("中文的文字，") },
    };
    for (const auto& [charset, text] : rows) {
        std::string header = EncodeHeaderText(text, charset);
        auto words = WordsOf(header);
        ASSERT_GT(words.size(), 3u) << charset;
        // Folded lines: CR LF and a space before every word after the first; each line within 78 characters, the
        // first with room for a header name of 26 characters, colon and space.
        size_t from = 0;
        bool first = true;
        while (from < header.size()) {
            size_t end = header.find("\r\n", from);
            std::string line = header.substr(from, end == std::string::npos ? std::string::npos : end - from);
            EXPECT_LE(line.size() + (first ? 26 + 2 : 0), 78u) << charset;
            if (!first) {
                EXPECT_EQ(line.substr(0, 3), " =?") << charset;
            }
            first = false;
            if (end == std::string::npos)
                break;
            from = end + 2;
        }
        const int32_t codePage = CodePageOfCharsetName(charset);
        WideString decoded;
        for (const auto& w : words) {
            EXPECT_EQ(w.Charset, charset);
            EXPECT_LE(w.Length, 75u);
            // Every word decodes on its own: no character is cut in two.
            WideString part = CodePageToWide(w.Bytes, codePage);
            EXPECT_EQ(part.find(u'\uFFFD'), WideString::npos) << charset;
            decoded += part;
        }
        EXPECT_EQ(U8(decoded), text) << charset;
    }
}

TEST(MetaCharsetTest, NameOfTheFirstMetaTagThatDeclaresOne)
{
    const struct {
        std::string html;
        std::string name; // empty: none declared
    } cases[] = {
        { "<html><head><meta charset=utf-8></head>", "utf-8" },
        { "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">", "windows-1252" },
        { "<meta charset = 'koi8-r' />", "koi8-r" },
        // An empty declaration says nothing: the next one counts.
        { "<meta charset=\"\"><meta charset=iso-8859-2>", "iso-8859-2" },
        { "<p>charset=utf-8</p>", "" },
        { "<meta name=author content=x>", "" },
        { std::string(70 * 1024, ' ') + "<meta charset=utf-8>", "" },
    };
    for (const auto& c : cases) {
        const auto [from, stop] = MetaCharsetSpan(c.html);
        EXPECT_EQ(from == std::string_view::npos ? std::string() : c.html.substr(from, stop - from), c.name)
            << c.html.substr(0, 80);
    }
}
