// The RTF around the tags of encapsulated HTML: its code pages, its fonts' code pages, "\binN" data.

#include "rtf/rtf_html_text.h"

#include <algorithm>
#include <array>
#include <map>

#include "rtf/rtf_document.h"
#include "text/codepage.h"

namespace pelmsg::rtf_html {

namespace {

// Bytes of the RTF's code page to UTF-8. Bytes that stand for a character on their own are looked up (a
// single-byte code page never needs more); a run holding a lead byte of a double-byte code page goes through
// the converter whole, so that its pairs become one character each.
class TByteDecoder {
public:
    static void Append(std::string_view bytes, int32_t codePage, ByteString& out)
    {
        const Table& table = TableFor(codePage);
        bool alone = true;
        for (char c : bytes) {
            auto b = static_cast<unsigned char>(c);
            if (b >= 0x80 && table.Utf8[b - 0x80].empty()) {
                alone = false;
                break;
            }
        }
        if (!alone) {
            out += WideToUtf8(CodePageToWide(bytes, codePage));
            return;
        }
        for (char c : bytes) {
            auto b = static_cast<unsigned char>(c);
            if (b < 0x80)
                out.push_back(c);
            else
                out += table.Utf8[b - 0x80];
        }
    }

private:
    struct Table {
        int32_t CodePage = 0;
        std::array<ByteString, 128> Utf8; // empty: the byte is no character on its own
    };

    // One table per code page and thread, made on first use; only supported code pages get here, so there are
    // at most as many as the charset table has rows.
    static const Table& TableFor(int32_t codePage)
    {
        thread_local std::map<int32_t, Table> tables;
        auto [it, made] = tables.try_emplace(codePage);
        Table& table = it->second;
        if (made) {
            table.CodePage = codePage;
            for (size_t b = 0; b < 128; ++b) {
                char byte = static_cast<char>(0x80 + b);
                WideString wide = CodePageToWide(std::string_view(&byte, 1), codePage);
                bool single = wide.size() == 1 && wide[0] != 0xFFFD && wide[0] != 0x1A;
                table.Utf8[b] = single ? WideToUtf8(wide) : ByteString();
            }
        }
        return table;
    }
};

} // namespace

// Past the data of "\binN" whose letters and number end at `wordEnd`: N bytes after the blank that ends the word.
// They are no text and no RTF in any kind of group (a "}" among them closes nothing), so every scan, also of
// groups that are dropped or only looked through, jumps over them.
size_t BinaryDataEnd(std::string_view text, size_t wordEnd, int64_t count)
{
    size_t p = wordEnd;
    if (p < text.size() && text[p] == ' ')
        ++p;
    const auto n = static_cast<uint64_t>(std::max<int64_t>(count, 0));
    return n >= text.size() - p ? text.size() : p + static_cast<size_t>(n);
}

// The end of "\binN" and its data when the backslash at `at` starts one, else 0.
size_t BinaryAt(std::string_view text, size_t at)
{
    constexpr std::string_view kBin = "\\bin";
    if (text.compare(at, kBin.size(), kBin) != 0)
        return 0;
    size_t p = at + kBin.size();
    if (p >= text.size() || !IsDigit(text[p]))
        return 0;
    int64_t count = 0;
    for (; p < text.size() && IsDigit(text[p]); ++p)
        count = std::min<int64_t>(count * 10 + (text[p] - '0'), static_cast<int64_t>(text.size()));
    return BinaryDataEnd(text, p, count);
}

// The code page of the RTF's 8-bit text: "\ansicpg N" anywhere in it, else Windows-1252. A code page that
// cannot be converted would lose the text, so Windows-1252 stands in for it too.
int32_t RtfCodePage(std::string_view rtf)
{
    size_t at = rtf.find("\\ansicpg");
    if (at == std::string_view::npos)
        return kDefaultMessageCodePage;
    int64_t value = 0;
    for (size_t i = at + 8; i < rtf.size() && IsDigit(rtf[i]) && value < 1000000; ++i)
        value = value * 10 + (rtf[i] - '0');
    auto codePage = static_cast<int32_t>(value);
    if (codePage == 0 || !IsCodePageSupported(codePage))
        return kDefaultMessageCodePage;
    return codePage;
}

void AppendCodePageBytes(std::string_view bytes, int32_t codePage, ByteString& out)
{
    TByteDecoder::Append(bytes, codePage, out);
}

TFontCodePages ReadFontCodePages(std::string_view rtf, size_t end)
{
    TFontCodePages fonts;
    const std::string_view head = rtf.substr(0, std::min(end, rtf.size()));
    for (size_t at = head.find("\\deff"); at != std::string_view::npos; at = head.find("\\deff", at + 1)) {
        if (at + 5 < head.size() && (IsDigit(head[at + 5]) || head[at + 5] == '-')) {
            size_t p = at + 5;
            const bool negative = head[p] == '-';
            p += negative ? 1 : 0;
            int64_t value = 0;
            for (; p < head.size() && IsDigit(head[p]) && value < 1000000000; ++p)
                value = value * 10 + (head[p] - '0');
            fonts.DefaultFont = negative ? -value : value;
            break;
        }
    }
    const size_t table = head.find("{\\fonttbl");
    if (table == std::string_view::npos)
        return fonts;
    // Walks the table group: "\fN" starts a font, "\fcharsetN" and "\cpgN" give its code page.
    size_t depth = 0;
    bool haveFont = false;
    int64_t font = 0;
    int32_t codePage = 0;
    auto endFont = [&] {
        if (haveFont && codePage != 0 && IsCodePageSupported(codePage) && fonts.ByFont.size() < kMaxRtfTableEntries)
            fonts.ByFont.try_emplace(font, codePage);
        haveFont = false;
        codePage = 0;
    };
    for (size_t p = table; p < head.size();) {
        const char c = head[p];
        if (c == '{') {
            ++depth;
            ++p;
        } else if (c == '}') {
            ++p;
            if (--depth == 0)
                break;
        } else if (c == '\\' && p + 1 < head.size() && IsLetter(head[p + 1])) {
            size_t q = p + 1;
            while (q < head.size() && IsLetter(head[q]))
                ++q;
            const std::string_view word = head.substr(p + 1, q - p - 1);
            const bool negative = q < head.size() && head[q] == '-';
            size_t digits = q + (negative ? 1 : 0);
            int64_t value = 0;
            bool hasValue = false;
            for (; digits < head.size() && IsDigit(head[digits]); ++digits) {
                hasValue = true;
                value = std::min<int64_t>(value * 10 + (head[digits] - '0'), 1000000000);
            }
            if (hasValue) {
                q = digits;
                value = negative ? -value : value;
                if (word == "bin") {
                    q = BinaryDataEnd(head, q, value);
                } else if (word == "f") {
                    endFont();
                    haveFont = true;
                    font = value;
                } else if (word == "fcharset") {
                    codePage = CodePageOfRtfCharset(static_cast<int>(value));
                } else if (word == "cpg") {
                    codePage = static_cast<int32_t>(value);
                }
            }
            p = q;
        } else if (c == '\\') {
            p += 2; // an escaped character or symbol: no group boundary
        } else {
            ++p;
        }
    }
    endFont();
    return fonts;
}

} // namespace pelmsg::rtf_html
