#include "text/search_fold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace pelmsg {

namespace {

// Letters that carry their mark in the letter itself, so that decomposition leaves them whole: their base letters.
const char16_t* BaseLetters(char16_t c)
{
    switch (c) {
    case u'ø':
    case u'Ø':
        return u"o";
    case u'ł':
    case u'Ł':
        return u"l";
    case u'đ':
    case u'Đ':
        return u"d";
    case u'ħ':
    case u'Ħ':
        return u"h";
    case u'ı':
        return u"i";
    case u'æ':
    case u'Æ':
        return u"ae";
    case u'œ':
    case u'Œ':
        return u"oe";
    case u'þ':
    case u'Þ':
        return u"th";
    default:
        return nullptr;
    }
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
