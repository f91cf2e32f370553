#include "text/search_fold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace pelmsg {

namespace {

// Letters that carry their mark in the letter itself, so that decomposition leaves them whole: their base letters.
struct TBaseLetter {
    char16_t Letter;
    const char16_t* Base;
};
constexpr TBaseLetter kBaseLetters[] = { { u'ø', u"o" }, { u'Ø', u"o" }, { u'ł', u"l" }, { u'Ł', u"l" }, { u'đ', u"d" },
    { u'Đ', u"d" }, { u'ħ', u"h" }, { u'Ħ', u"h" }, { u'ı', u"i" }, { u'æ', u"ae" }, { u'Æ', u"ae" }, { u'œ', u"oe" },
    { u'Œ', u"oe" }, { u'þ', u"th" }, { u'Þ', u"th" } };

const char16_t* BaseLetters(char16_t c)
{
    for (const TBaseLetter& row : kBaseLetters)
        if (row.Letter == c)
            return row.Base;
    return nullptr;
}

} // namespace

WideString FoldForSearch(const WideString& text)
{
    // Case first (folding may give combining marks, as "İ" does), then the marks go.
    icu::UnicodeString source(text.data(), static_cast<int32_t>(text.size()));
    source.foldCase();
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString decomposed;
    if (U_SUCCESS(status))
        nfd->normalize(source, decomposed, status);
    if (U_FAILURE(status))
        decomposed = source;
    icu::UnicodeString kept;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) != U_NON_SPACING_MARK)
            kept.append(c);
    }
    WideString out;
    out.reserve(static_cast<size_t>(kept.length()));
    for (int32_t i = 0; i < kept.length(); ++i) {
        const char16_t c = kept.charAt(i);
        if (const char16_t* base = BaseLetters(c))
            out += base;
        else
            out += c;
    }
    return out;
}

bool ContainsFolded(const WideString& haystack, const WideString& needle)
{
    return FoldForSearch(haystack).find(FoldForSearch(needle)) != WideString::npos;
}

} // namespace pelmsg
