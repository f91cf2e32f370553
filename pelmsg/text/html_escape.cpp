// HTML and XML escaping of byte text, and the unescaping of the entities mail bodies carry.

#include "text/html_escape.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/codepage.h"

namespace pelmsg {

namespace {

// Position of the first unit equal to c in [from, size), or npos. UTF-16 bodies run to megabytes and the
// entity passes scan them once each, so the scan goes eight units at a time where it can.
size_t FindUnit(std::u16string_view text, char16_t c, size_t from)
{
    const char16_t* p = text.data();
    size_t n = text.size();
    size_t i = from;
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= n; i += 8) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, needle));
        if (mask != 0)
            return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
#endif
    for (; i < n; ++i)
        if (p[i] == c)
            return i;
    return std::u16string_view::npos;
}

size_t FindText(std::u16string_view text, std::u16string_view what, size_t from)
{
    if (what.empty() || what.size() > text.size())
        return std::u16string_view::npos;
    const size_t last = text.size() - what.size();
#if defined(__SSE2__)
    if (what.size() >= 2) {
        // Candidates are positions where the first two units match, eight at a time: in HTML the first unit
        // alone ("&") matches far too often for a one-unit scan to run fast.
        const char16_t* p = text.data();
        const __m128i first = _mm_set1_epi16(static_cast<short>(what[0]));
        const __m128i second = _mm_set1_epi16(static_cast<short>(what[1]));
        for (; from + 9 <= text.size(); from += 8) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from + 1));
            auto mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, second))));
            while (mask != 0) {
                size_t at = from + static_cast<size_t>(__builtin_ctz(mask)) / 2;
                if (at <= last && text.compare(at, what.size(), what) == 0)
                    return at;
                mask &= mask - 1;
                mask &= mask - 1; // both bytes of the unit
            }
        }
    }
#endif
    while (from <= last) {
        size_t at = FindUnit(text.substr(0, last + 1), what[0], from);
        if (at == std::u16string_view::npos)
            return at;
        if (text.compare(at, what.size(), what) == 0)
            return at;
        from = at + 1;
    }
    return std::u16string_view::npos;
}

bool EndsWith(const WideString& text, std::u16string_view tail)
{
    return text.size() >= tail.size() && std::u16string_view(text).substr(text.size() - tail.size()) == tail;
}

// Hexadecimal or decimal digit value, or -1.
int DigitValue(char16_t c, bool hex)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (hex && c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (hex && c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

ByteString EscapeHtml(std::string_view text, bool textMode)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    ByteString out;
    out.reserve(text.size() + text.size() / 8);
    const size_t n = text.size();
    size_t plainFrom = 0;
    auto flush = [&](size_t upTo) { out.append(text.data() + plainFrom, upTo - plainFrom); };
    for (size_t i = 0; i < n; ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        const char* replacement = nullptr;
        size_t consumed = 1;
        char percent[4];
        if (b < 0x20) {
            if (b == '\r' && textMode && i + 1 < n && text[i + 1] == '\n') {
                replacement = "<br>";
                consumed = 2;
            } else if (b != '\t' && b != '\n' && b != '\r') {
                percent[0] = '%';
                percent[1] = kHex[b >> 4];
                percent[2] = kHex[b & 0xF];
                percent[3] = '\0';
                replacement = percent;
            }
        } else if (b == '"') {
            replacement = "&quot;";
        } else if (b == '&') {
            replacement = "&amp;";
        } else if (b == '<') {
            replacement = "&lt;";
        } else if (b == '>') {
            replacement = "&gt;";
        } else if (b == '\'' && !textMode) {
            replacement = "&apos;";
        } else if (b == 0xC2 && i + 1 < n) {
            // The text is UTF-8: these name the characters U+00A9, U+00B0, U+00B1 and U+00B6, never a lone byte
            // inside another character's sequence (0xC2 is always a lead byte).
            switch (static_cast<unsigned char>(text[i + 1])) {
            case 0xA9:
                replacement = "&copy;";
                break;
            case 0xB0:
                replacement = "&#176;";
                break;
            case 0xB1:
                replacement = "&plusmn;";
                break;
            case 0xB6:
                replacement = "&para;";
                break;
            default:
                break;
            }
            if (replacement)
                consumed = 2;
        }
        if (replacement) {
            flush(i);
            out += replacement;
            i += consumed - 1;
            plainFrom = i + 1;
        }
    }
    flush(n);
    return out;
}

void ReplaceEntity(const WideString& entity, const WideString& replacement, WideString& text)
{
    // Each round replaces the first occurrence in the whole text, so a replacement that completes the entity
    // together with the text before or after it is replaced again. Done here in one sweep: the output is a
    // stack that never holds an occurrence; a replacement goes back onto the input, and the text after a
    // replacement is taken one unit at a time until any occurrence it could be part of has been seen.
    const std::u16string_view e(entity);
    const size_t first = FindText(text, e, 0);
    if (first == std::u16string_view::npos)
        return;
    if (FindText(replacement, e, 0) != std::u16string_view::npos) {
        // Replacing again would never end: each occurrence is replaced once, in order.
        WideString out;
        size_t from = 0;
        for (size_t at = first; at != std::u16string_view::npos; at = FindText(text, e, from)) {
            out.append(text, from, at - from);
            out += replacement;
            from = at + e.size();
            if (from < text.size() && text[from] == u';')
                ++from;
        }
        out.append(text, from, WideString::npos);
        text = std::move(out);
        return;
    }

    const std::u16string_view in(text);
    WideString out;
    out.reserve(text.size());
    out.append(in.substr(0, first));
    size_t i = first; // next input unit
    WideString pending; // replacement units still to be read, last one first
    size_t clean = out.size(); // how many units at the end of out are unchanged copies of the input before i
    bool startsInInput = false; // no occurrence can start before i: out's tail and the replacement lack e[0]
    const bool replacementHasStart = replacement.find(e[0]) != WideString::npos;
    // Cascades cannot run on for ever when the replacement does not hold the entity; the budget only makes sure.
    size_t budget = (in.size() + 1) * (replacement.size() + 1) + 16;
    auto peek = [&]() -> int {
        if (!pending.empty())
            return pending.back();
        return i < in.size() ? in[i] : -1;
    };
    auto take = [&]() {
        if (!pending.empty()) {
            pending.pop_back();
            clean = 0;
        } else {
            ++i;
            ++clean;
        }
    };
    while (true) {
        if (pending.empty() && (clean + 1 >= e.size() || clean == out.size() || startsInInput)) {
            // An occurrence still to come lies in the input, or starts at most e.size() - 1 units back in the
            // part of out that is a plain copy of the input.
            size_t back = startsInInput ? 0 : std::min(e.size() - 1, clean);
            startsInInput = false;
            size_t at = FindText(in, e, i - back);
            if (at == std::u16string_view::npos) {
                out.append(in.substr(i));
                break;
            }
            if (at >= i)
                out.append(in.substr(i, at - i));
            else
                out.resize(out.size() - (i - at));
            i = at + e.size();
        } else {
            int c = peek();
            if (c < 0)
                break;
            take();
            out.push_back(static_cast<char16_t>(c));
            if (!EndsWith(out, e))
                continue;
            out.resize(out.size() - e.size());
        }
        // An occurrence has just been taken off the end of out.
        if (peek() == u';')
            take();
        if (budget-- == 0) {
            out += replacement;
            out.append(pending.rbegin(), pending.rend());
            out.append(in.substr(std::min(i, in.size())));
            break;
        }
        clean = 0;
        // The common case: nothing before the input can start an occurrence, so the replacement goes straight out.
        if (pending.empty() && !replacementHasStart
            && std::u16string_view(out).substr(out.size() - std::min(out.size(), e.size() - 1)).find(e[0])
                == std::u16string_view::npos) {
            out += replacement;
            startsInInput = true;
            continue;
        }
        pending.append(replacement.rbegin(), replacement.rend());
    }
    text = std::move(out);
}

void DecodeCharReferences(WideString& text)
{
    // References are decoded from the first on. A character that completes a new reference with the text around
    // it ("&#38;#65;") is decoded again, as it would be by searching the text from the start after each
    // replacement. A reference that names no valid character stays as it is and the next one is decoded.
    const std::u16string_view in(text);
    size_t start = FindUnit(in, u'&', 0);
    if (start == std::u16string_view::npos)
        return;
    WideString out;
    out.reserve(text.size());
    out.append(in.substr(0, start));
    size_t i = start;
    WideString pending; // decoded "&" or "#" to read again, last one first
    while (true) {
        if (pending.empty()) {
            size_t at = FindUnit(in, u'#', i);
            if (at == std::u16string_view::npos) {
                out.append(in.substr(i));
                break;
            }
            out.append(in.substr(i, at - i));
            i = at + 1;
            out.push_back(u'#');
        } else {
            out.push_back(pending.back());
            pending.pop_back();
            if (out.back() != u'#')
                continue;
        }
        if (out.size() < 2 || out[out.size() - 2] != u'&')
            continue;
        // out ends with "&#": read the marker and the digits from the input.
        size_t k = i;
        bool hex = k < in.size() && (in[k] == u'x' || in[k] == u'X');
        if (hex)
            ++k;
        size_t digitsFrom = k;
        uint32_t value = 0;
        bool tooLarge = false;
        for (int d; k < in.size() && (d = DigitValue(in[k], hex)) >= 0; ++k) {
            value = value * (hex ? 16u : 10u) + static_cast<uint32_t>(d);
            if (value > 0x10FFFF) {
                tooLarge = true;
                value = 0x110000;
            }
        }
        bool valid = k > digitsFrom && !tooLarge && !(value >= 0xD800 && value <= 0xDFFF);
        if (!valid)
            continue; // left in place; the marker and digits are copied as they are
        if (k < in.size() && in[k] == u';')
            ++k;
        i = k;
        out.resize(out.size() - 2);
        if (value == u'&' || value == u'#')
            pending.push_back(static_cast<char16_t>(value));
        else
            AppendUtf16(out, value);
    }
    text = std::move(out);
}

namespace {

struct TEntity {
    std::u16string_view Name;
    std::u16string_view Replacement;
};

constexpr std::array<TEntity, 15> kEntities = { {
    { u"&brvbar", u"|" },
    { u"&deg", u"\u00B0" },
    { u"&#176", u"\u00B0" },
    { u"&plusmn", u"+" },
    { u"&para", u"\u00B6" },
    { u"&amp", u"&" },
    { u"&lt", u"<" },
    { u"&gt", u">" },
    { u"&copy", u"c" },
    { u"&quot", u"\"" },
    { u"&apos", u"'" },
    { u"&trade", u"T" },
    { u"&nbsp", u"" },
    { u"&car", u"\n" },
    { u"&ret", u"\r" },
} };

void UnescapePiece(WideString& text)
{
    if (FindUnit(text, u'&', 0) == std::u16string_view::npos)
        return;
    for (const TEntity& e : kEntities)
        ReplaceEntity(WideString(e.Name), WideString(e.Replacement), text);
    DecodeCharReferences(text);
}

// A unit that no entity or reference contains and that no replacement removes: a blank, a line feed or "<".
bool IsBarrier(char16_t c) { return c == u' ' || c == u'\n' || c == u'<'; }

} // namespace

void UnescapeHtml(WideString& text)
{
    // The passes run over pieces of the text that end at a barrier unit. No occurrence, of an entity or a
    // reference, before or after any replacement, can reach across a barrier, so each piece comes out as it would
    // in the whole text; and a piece stays in the cache through all sixteen passes, where the whole text of a
    // large body would be read from memory sixteen times.
    constexpr size_t kPiece = 16384;
    if (text.size() <= 2 * kPiece) {
        UnescapePiece(text);
        return;
    }
    if (FindUnit(text, u'&', 0) == std::u16string_view::npos)
        return;
    WideString out;
    out.reserve(text.size());
    WideString piece;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = std::min(from + kPiece, text.size());
        while (end < text.size() && !IsBarrier(text[end - 1]))
            ++end;
        piece.assign(text, from, end - from);
        UnescapePiece(piece);
        out += piece;
        from = end;
    }
    text = std::move(out);
}

} // namespace pelmsg
