#include "text/codepage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <string>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include "core/byte_order.h"
#include "text/ascii_case.h"

namespace pelmsg {

namespace {

struct TCodePageConverter {
    int32_t CodePage;
    const char* Name;
    const char* IcuName; // converter that works for this number, or nullptr
    const char* IconvName; // iconv name when ICU has none
};

// Converter per code page. For 936 the number means GBK ("windows-936"), not the GB2312-only converter the
// name opens; 1200/1201 and 12000/12001 are UTF-16/32 without a byte-order mark.
const TCodePageConverter kConverters[] = {
    { 37, "IBM037", "IBM037", nullptr },
    { 437, "IBM437", "windows-437", nullptr },
    { 500, "IBM500", "IBM500", nullptr },
    { 708, "ASMO-708", "ASMO-708", nullptr },
    { 720, "DOS-720", "windows-720", nullptr },
    { 737, "ibm737", "windows-737", nullptr },
    { 775, "ibm775", "windows-775", nullptr },
    { 850, "ibm850", "windows-850", nullptr },
    { 852, "ibm852", "windows-852", nullptr },
    { 855, "IBM855", "windows-855", nullptr },
    { 857, "ibm857", "windows-857", nullptr },
    { 858, "IBM00858", "windows-858", nullptr },
    { 860, "IBM860", "IBM860", nullptr },
    { 861, "ibm861", "windows-861", nullptr },
    { 862, "DOS-862", "windows-862", nullptr },
    { 863, "IBM863", "IBM863", nullptr },
    { 864, "IBM864", "IBM864", nullptr },
    { 865, "IBM865", "IBM865", nullptr },
    { 866, "cp866", "windows-866", nullptr },
    { 869, "ibm869", "windows-869", nullptr },
    { 870, "IBM870", "IBM870", nullptr },
    { 874, "windows-874", "windows-874", nullptr },
    { 875, "cp875", "cp875", nullptr },
    { 932, "shift_jis", "windows-932", nullptr },
    { 936, "gb2312", "windows-936", nullptr },
    { 949, "ks_c_5601-1987", "windows-949", nullptr },
    { 950, "big5", "windows-950", nullptr },
    { 1026, "IBM1026", "IBM1026", nullptr },
    { 1047, "IBM01047", "IBM01047", nullptr },
    { 1140, "IBM01140", "IBM01140", nullptr },
    { 1141, "IBM01141", "IBM01141", nullptr },
    { 1142, "IBM01142", "IBM01142", nullptr },
    { 1143, "IBM01143", "IBM01143", nullptr },
    { 1144, "IBM01144", "IBM01144", nullptr },
    { 1145, "IBM01145", "IBM01145", nullptr },
    { 1146, "IBM01146", "IBM01146", nullptr },
    { 1147, "IBM01147", "IBM01147", nullptr },
    { 1148, "IBM01148", "IBM01148", nullptr },
    { 1149, "IBM01149", "IBM01149", nullptr },
    { 1200, "utf-16", "UTF-16LE", nullptr },
    { 1201, "unicodeFFFE", "UTF-16BE", nullptr },
    { 1250, "windows-1250", "windows-1250", nullptr },
    { 1251, "windows-1251", "windows-1251", nullptr },
    { 1252, "Windows-1252", "windows-1252", nullptr },
    { 1253, "windows-1253", "windows-1253", nullptr },
    { 1254, "windows-1254", "windows-1254", nullptr },
    { 1255, "windows-1255", "windows-1255", nullptr },
    { 1256, "windows-1256", "windows-1256", nullptr },
    { 1257, "windows-1257", "windows-1257", nullptr },
    { 1258, "windows-1258", "windows-1258", nullptr },
    { 1361, "Johab", nullptr, "Johab" },
    { 10000, "macintosh", "windows-10000", nullptr },
    { 10001, "x-mac-japanese", nullptr, nullptr },
    { 10002, "x-mac-chinesetrad", nullptr, nullptr },
    { 10003, "x-mac-korean", nullptr, nullptr },
    { 10004, "x-mac-arabic", nullptr, nullptr },
    { 10005, "x-mac-hebrew", nullptr, nullptr },
    { 10006, "x-mac-greek", "windows-10006", nullptr },
    { 10007, "x-mac-cyrillic", "windows-10007", nullptr },
    { 10008, "x-mac-chinesesimp", nullptr, nullptr },
    { 10010, "x-mac-romanian", nullptr, nullptr },
    { 10017, "x-mac-ukrainian", nullptr, "MAC-UK" },
    { 10021, "x-mac-thai", nullptr, nullptr },
    { 10029, "x-mac-ce", "windows-10029", nullptr },
    { 10079, "x-mac-icelandic", nullptr, "MAC-IS" },
    { 10081, "x-mac-turkish", "windows-10081", nullptr },
    { 10082, "x-mac-croatian", nullptr, nullptr },
    { 12000, "utf-32", "UTF-32LE", nullptr },
    { 12001, "utf-32BE", "UTF-32BE", nullptr },
    { 20000, "x-Chinese-CNS", nullptr, nullptr },
    { 20001, "x-cp20001", nullptr, nullptr },
    { 20002, "x-Chinese-Eten", nullptr, nullptr },
    { 20003, "x-cp20003", nullptr, nullptr },
    { 20004, "x-cp20004", nullptr, nullptr },
    { 20005, "x-cp20005", nullptr, nullptr },
    { 20105, "x-IA5", nullptr, nullptr },
    { 20106, "x-IA5-German", nullptr, nullptr },
    { 20107, "x-IA5-Swedish", nullptr, nullptr },
    { 20108, "x-IA5-Norwegian", nullptr, nullptr },
    { 20127, "us-ascii", "windows-20127", nullptr },
    { 20261, "x-cp20261", nullptr, "T.61-8BIT" },
    { 20269, "x-cp20269", nullptr, "ISO_6937" },
    { 20273, "IBM273", "IBM273", nullptr },
    { 20277, "IBM277", "IBM277", nullptr },
    { 20278, "IBM278", "IBM278", nullptr },
    { 20280, "IBM280", "IBM280", nullptr },
    { 20284, "IBM284", "IBM284", nullptr },
    { 20285, "IBM285", "IBM285", nullptr },
    { 20290, "IBM290", "IBM290", nullptr },
    { 20297, "IBM297", "IBM297", nullptr },
    { 20420, "IBM420", "IBM420", nullptr },
    { 20423, "IBM423", nullptr, "IBM423" },
    { 20424, "IBM424", "IBM424", nullptr },
    { 20833, "x-EBCDIC-KoreanExtended", nullptr, nullptr },
    { 20838, "IBM-Thai", "IBM-Thai", nullptr },
    { 20866, "koi8-r", "windows-20866", nullptr },
    { 20871, "IBM871", "IBM871", nullptr },
    { 20880, "IBM880", nullptr, "IBM880" },
    { 20905, "IBM905", nullptr, "IBM905" },
    { 20924, "IBM00924", nullptr, nullptr },
    { 20932, "EUC-JP", "EUC-JP", nullptr },
    { 20936, "x-cp20936", "GB2312", nullptr },
    { 20949, "x-cp20949", "EUC-KR", nullptr },
    { 21025, "cp1025", "cp1025", nullptr },
    { 21866, "koi8-u", "windows-21866", nullptr },
    { 28591, "iso-8859-1", "iso-8859-1", nullptr },
    { 28592, "iso-8859-2", "windows-28592", nullptr },
    { 28593, "iso-8859-3", "windows-28593", nullptr },
    { 28594, "iso-8859-4", "windows-28594", nullptr },
    { 28595, "iso-8859-5", "windows-28595", nullptr },
    { 28596, "iso-8859-6", "windows-28596", nullptr },
    { 28597, "iso-8859-7", "windows-28597", nullptr },
    { 28598, "iso-8859-8", "windows-28598", nullptr },
    { 28599, "iso-8859-9", "windows-28599", nullptr },
    { 28603, "iso-8859-13", "windows-28603", nullptr },
    { 28605, "iso-8859-15", "windows-28605", nullptr },
    { 29001, "x-Europa", nullptr, nullptr },
    { 38598, "iso-8859-8-i", "iso-8859-8-i", nullptr },
    { 50220, "iso-2022-jp", "iso-2022-jp", nullptr },
    { 50221, "csISO2022JP", "csISO2022JP", nullptr },
    { 50222, "iso-2022-jp", "iso-2022-jp", nullptr },
    { 50225, "iso-2022-kr", "iso-2022-kr", nullptr },
    { 50227, "x-cp50227", "ISO-2022-CN", nullptr },
    { 51932, "euc-jp", "euc-jp", nullptr },
    { 51936, "EUC-CN", "EUC-CN", nullptr },
    { 51949, "euc-kr", "windows-51949", nullptr },
    { 52936, "hz-gb-2312", "hz-gb-2312", nullptr },
    { 54936, "GB18030", "windows-54936", nullptr },
    { 57002, "x-iscii-de", "windows-57002", nullptr },
    { 57003, "x-iscii-be", "windows-57003", nullptr },
    { 57004, "x-iscii-ta", "windows-57004", nullptr },
    { 57005, "x-iscii-te", "windows-57005", nullptr },
    { 57006, "x-iscii-as", "windows-57006", nullptr },
    { 57007, "x-iscii-or", "windows-57007", nullptr },
    { 57008, "x-iscii-ka", "windows-57008", nullptr },
    { 57009, "x-iscii-ma", "windows-57009", nullptr },
    { 57010, "x-iscii-gu", "windows-57010", nullptr },
    { 57011, "x-iscii-pa", "windows-57011", nullptr },
    { 65000, "utf-7", "windows-65000", nullptr },
    { 65001, "utf-8", "windows-65001", nullptr },
};

const TCodePageConverter* FindConverter(int32_t codePage)
{
    for (const auto& c : kConverters)
        if (c.CodePage == codePage)
            return &c;
    return nullptr;
}

size_t RowOf(const TCodePageConverter& c) { return static_cast<size_t>(&c - kConverters); }

struct UConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using UConverterPtr = std::unique_ptr<UConverter, UConverterCloser>;

struct IconvCloser {
    void operator()(iconv_t* c) const
    {
        iconv_close(*c);
        delete c;
    }
};

// The opened ICU converter of a row, one per thread (a converter holds conversion state), reset for a new
// conversion; nullptr when ICU cannot open it.
UConverter* IcuConverter(const TCodePageConverter& c)
{
    struct TSlot {
        bool Tried = false;
        UConverterPtr Converter;
    };
    thread_local std::array<TSlot, std::size(kConverters)> slots;
    TSlot& slot = slots[RowOf(c)];
    if (!slot.Tried) {
        slot.Tried = true;
        UErrorCode status = U_ZERO_ERROR;
        slot.Converter.reset(ucnv_open(c.IcuName, &status));
        if (U_FAILURE(status))
            slot.Converter.reset();
    } else if (slot.Converter) {
        ucnv_reset(slot.Converter.get());
    }
    return slot.Converter.get();
}

bool IconvWorks(const char* name)
{
    iconv_t cd = iconv_open("UTF-16LE", name);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): (iconv_t)-1 is how iconv_open reports failure
    bool ok = cd != reinterpret_cast<iconv_t>(-1);
    if (ok)
        iconv_close(cd);
    return ok;
}

// Runs iconv over the whole input; returns false when the conversion cannot be opened.
bool IconvConvert(const char* to, const char* from, std::string_view in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr): iconv_open's failure value
        return false;
    std::unique_ptr<iconv_t, IconvCloser> guard(new iconv_t(cd));
    out.clear();
    std::string buffer(std::min<size_t>(in.size(), size_t { 1 } << 20) * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), buffer.size() - dstLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // An invalid or unmappable unit: skip one input byte (one UTF-16 unit when converting from it).
            size_t step = std::strcmp(from, "UTF-16LE") == 0 ? 2 : 1;
            step = std::min(step, srcLeft);
            src += step;
            srcLeft -= step;
            if (std::strcmp(to, "UTF-16LE") == 0)
                out.append("\xFD\xFF", 2);
            else
                out.push_back('?');
        }
    }
    return true;
}

// Input units handed to ICU in one call, and the most output room given to it at once: its conversion functions
// refuse ranges beyond 32 bits, so text of any size goes through them a piece at a time.
constexpr size_t kIcuPiece = size_t { 1 } << 16;
constexpr size_t kIcuMaxTarget = size_t { 1 } << 30;

// Converts all of the input with an ICU converter, through step (ucnv_toUnicode or ucnv_fromUnicode), into output
// that grows as it fills. firstGuess is the output size to start with. The converter's state carries over from
// piece to piece, so that a character cut by a piece boundary comes out whole.
template <class In, class Out, class Step>
std::basic_string<Out> ConvertWithIcu(UConverter* conv, std::basic_string_view<In> in, size_t firstGuess, Step step)
{
    std::basic_string<Out> out(firstGuess + 16, Out {});
    size_t used = 0;
    const In* source = in.data();
    const In* const end = in.data() + in.size();
    for (;;) {
        const In* pieceEnd = source + std::min<size_t>(kIcuPiece, static_cast<size_t>(end - source));
        const bool last = pieceEnd == end;
        if (out.size() - used < 64)
            out.resize(out.size() + std::max<size_t>(out.size() / 2, 64));
        Out* target = out.data() + used;
        Out* limit = target + std::min(out.size() - used, kIcuMaxTarget);
        UErrorCode status = U_ZERO_ERROR;
        step(conv, &target, limit, &source, pieceEnd, last, &status);
        used = static_cast<size_t>(target - out.data());
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() + std::max<size_t>(out.size() / 2, 64));
            continue;
        }
        if (U_FAILURE(status) || (last && source == end))
            break;
    }
    out.resize(used);
    return out;
}

// Callback that writes an unmappable character as a numeric character reference.
void ReferenceCallback(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t, UChar32 codePoint,
    UConverterCallbackReason reason, UErrorCode* err)
{
    if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR)
        return;
    char text[24];
    int n = std::snprintf(text, sizeof text, "&#%d;", static_cast<int>(codePoint));
    UChar wide[24];
    for (int i = 0; i < n; ++i)
        wide[i] = static_cast<UChar>(text[i]);
    *err = U_ZERO_ERROR;
    const UChar* src = wide;
    ucnv_cbFromUWriteUChars(args, &src, wide + n, 0, err);
}

// Converts through the code page's converter: ICU's (icu, given the opened converter), else iconv's (viaIconv,
// given its name). Empty when the code page has neither or its converter cannot be opened.
template <class Result, class Icu, class Iconv> Result ThroughConverter(int32_t codePage, Icu icu, Iconv viaIconv)
{
    const TCodePageConverter* c = FindConverter(codePage);
    if (!c)
        return {};
    if (c->IcuName) {
        UConverter* conv = IcuConverter(*c);
        return conv ? icu(conv) : Result {};
    }
    return c->IconvName ? viaIconv(c->IconvName) : Result {};
}

ByteString FromWide(const WideString& text, int32_t codePage, bool references)
{
    if (text.empty())
        return {};
    if (codePage == 65001 && !references)
        return WideToUtf8(text);
    auto icu = [&](UConverter* conv) {
        UErrorCode status = U_ZERO_ERROR;
        if (references) {
            ucnv_setFromUCallBack(conv, ReferenceCallback, nullptr, nullptr, nullptr, &status);
        } else {
            ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
            // Characters the code page lacks become "?", as the system's own conversion writes them (ICU's
            // default for many code pages is the control character SUB).
            if (ucnv_getMinCharSize(conv) == 1) {
                status = U_ZERO_ERROR;
                ucnv_setSubstChars(conv, "?", 1, &status);
            }
        }
        ByteString out = ConvertWithIcu<UChar, char>(conv, std::u16string_view(text), text.size() * 2,
            [](UConverter* cv, char** target, const char* limit, const UChar** source, const UChar* sourceLimit,
                bool flush, UErrorCode* err) {
                ucnv_fromUnicode(cv, target, limit, source, sourceLimit, nullptr, static_cast<UBool>(flush), err);
            });
        status = U_ZERO_ERROR;
        ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
        return out;
    };
    auto viaIconv = [&](const char* name) {
        std::string out;
        return IconvConvert(name, "UTF-16LE", WideToUtf16Le(text), out) ? out : std::string();
    };
    return ThroughConverter<ByteString>(codePage, icu, viaIconv);
}

} // namespace

// NOLINTNEXTLINE(cert-err58-cpp): made from constants at start-up; running out of memory then ends the program anyway
const std::array<TCharsetRow, 140> CharsetCodePages = [] {
    std::array<TCharsetRow, 140> rows {};
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = { kConverters[i].CodePage, kConverters[i].Name };
    return rows;
}();

bool IsCodePageSupported(int32_t codePage)
{
    const TCodePageConverter* c = FindConverter(codePage);
    if (!c)
        return false;
    // Asked for every value decoded: the answer for each code page is found once and kept.
    static std::array<std::atomic<int8_t>, std::size(kConverters)> known {};
    std::atomic<int8_t>& answer = known[RowOf(*c)];
    int8_t value = answer.load(std::memory_order_relaxed);
    if (value == 0) {
        bool works = c->IcuName ? IcuConverter(*c) != nullptr : c->IconvName && IconvWorks(c->IconvName);
        value = works ? 1 : -1;
        answer.store(value, std::memory_order_relaxed);
    }
    return value > 0;
}

WideString CodePageToWide(std::string_view bytes, int32_t codePage)
{
    if (bytes.empty())
        return {};
    if (codePage == 65001)
        return Utf8ToWide(bytes);
    auto icu = [&](UConverter* conv) {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
        return ConvertWithIcu<char, UChar>(conv, bytes, bytes.size(),
            [](UConverter* cv, UChar** target, const UChar* limit, const char** source, const char* sourceLimit,
                bool flush, UErrorCode* err) {
                ucnv_toUnicode(cv, target, limit, source, sourceLimit, nullptr, static_cast<UBool>(flush), err);
            });
    };
    auto viaIconv = [&](const char* name) {
        std::string out;
        return IconvConvert("UTF-16LE", name, bytes, out) ? Utf16LeToWide(out) : WideString();
    };
    return ThroughConverter<WideString>(codePage, icu, viaIconv);
}

ByteString WideToCodePage(const WideString& text, int32_t codePage) { return FromWide(text, codePage, false); }

ByteString WideToCodePageWithReferences(const WideString& text, int32_t codePage)
{
    return FromWide(text, codePage, true);
}

WideString Utf16LeToWide(std::string_view bytes)
{
    WideString out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(LoadLE16(bytes.data() + 2 * i));
    return out;
}

std::string WideToUtf16Le(const WideString& text)
{
    std::string out(text.size() * 2, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        StoreLE16(out.data() + 2 * i, text[i]);
    return out;
}

ByteString WideToUtf8(const WideString& text)
{
    ByteString out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void AppendUtf16(WideString& out, uint32_t codePoint)
{
    if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(codePoint));
    }
}

WideString Utf8ToWide(std::string_view bytes)
{
    WideString out;
    out.reserve(bytes.size());
    size_t i = 0;
    const size_t n = bytes.size();
    auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    while (i < n) {
        unsigned char b = byte(i);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int len = 0;
        uint32_t c = 0, min = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2;
            c = b & 0x1F;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            c = b & 0x0F;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            c = b & 0x07;
            min = 0x10000;
        }
        bool ok = len > 0 && i + static_cast<size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            unsigned char cb = byte(i + static_cast<size_t>(k));
            if ((cb & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (cb & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            // Skip the continuation bytes of this broken sequence.
            while (i < n && (byte(i) & 0xC0) == 0x80)
                ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += static_cast<size_t>(len);
    }
    return out;
}

int32_t CodePageOfCharsetName(std::string_view name)
{
    for (const auto& row : CharsetCodePages)
        if (EqualsIgnoringAsciiCase(row.Name, name))
            return row.CodePage;
    return 0;
}

int32_t CodePageOfMimeCharset(std::string_view name)
{
    int32_t cp = CodePageOfCharsetName(name);
    if (cp != 0 && IsCodePageSupported(cp))
        return cp;
    // Common aliases: ask ICU for the canonical converter and match it against the converters of the table.
    std::string key(name);
    UErrorCode status = U_ZERO_ERROR;
    const char* canonical = ucnv_getCanonicalName(key.c_str(), "", &status);
    if (U_FAILURE(status) || !canonical || !*canonical) {
        status = U_ZERO_ERROR;
        canonical = ucnv_getCanonicalName(key.c_str(), "IANA", &status);
        if (U_FAILURE(status) || !canonical || !*canonical) {
            status = U_ZERO_ERROR;
            canonical = ucnv_getAlias(key.c_str(), 0, &status);
        }
    }
    if (U_FAILURE(status) || !canonical || !*canonical)
        return 0;
    for (const auto& c : kConverters) {
        if (!c.IcuName)
            continue;
        UErrorCode st = U_ZERO_ERROR;
        const char* other = ucnv_getAlias(c.IcuName, 0, &st);
        if (U_SUCCESS(st) && other && std::strcmp(other, canonical) == 0)
            return c.CodePage;
    }
    return 0;
}

} // namespace pelmsg
