// The quick test whether a mail may hold a TNEF part. A part is TNEF when its body, decoded for its transfer
// encoding, starts with 78 9F 3E 22; every decoding reads the mail's own bytes, so the signature leaves a trace:
// - unencoded (7bit, 8bit, binary, or an encoding not known): the bytes 78 9F 3E 22 themselves;
// - quoted-printable: the byte 9F either as it is or as "=9F" ("=9f"): the decoder passes other bytes through, and
//   "=" followed by anything but two hex digits or a line end is no escape;
// - base64: the letters "eJ8+I" (78 9F 3E, then the first six bits of 22), with anything the lenient decoder
//   skips (line breaks, blanks, any byte outside the alphabet except "=", where it stops) between them.
// So a mail in which no byte 9F, no "=9F"/"=9f" and no such "+" occurs holds no TNEF part, whatever its structure.

#include "mime/tnef_parts.h"

#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmsg {

namespace {

constexpr std::array<bool, 256> MakeBase64Letters()
{
    std::array<bool, 256> letters {};
    for (const char* c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"; *c; ++c)
        letters[static_cast<unsigned char>(*c)] = true;
    return letters;
}

constexpr std::array<bool, 256> kBase64Letters = MakeBase64Letters();

bool IsLetter(char c) { return kBase64Letters[static_cast<unsigned char>(c)]; }

// Whether the "+" at `plus` is the fourth of the base64 letters "eJ8+I", counting only letters and crossing no "="
// (the decoder skips other bytes and stops at "="). Each look back or ahead ends at the nearest letter, so the
// looks from all the "+" of a mail together read it about once.
bool Base64SignatureAt(std::string_view mail, size_t plus)
{
    size_t at = plus;
    for (const char wanted : { '8', 'J', 'e' }) {
        do {
            if (at == 0 || mail[at - 1] == '=')
                return false;
            --at;
        } while (!IsLetter(mail[at]));
        if (mail[at] != wanted)
            return false;
    }
    for (size_t next = plus + 1; next < mail.size() && mail[next] != '='; ++next)
        if (IsLetter(mail[next]))
            return mail[next] == 'I';
    return false;
}

// Whether the byte at `at` (9F, "=" or "+") starts or completes a trace of the signature.
bool TraceAt(std::string_view mail, size_t at)
{
    switch (mail[at]) {
    case '\x9F':
        return true;
    case '=':
        return at + 2 < mail.size() && mail[at + 1] == '9' && (mail[at + 2] == 'F' || mail[at + 2] == 'f');
    case '+':
        return Base64SignatureAt(mail, at);
    default:
        return false;
    }
}

} // namespace

bool IsTnefTraceAt(std::string_view mail, size_t at) { return at < mail.size() && TraceAt(mail, at); }

bool MayHoldTnefPart(std::string_view mail, size_t from)
{
    size_t i = from;
#if defined(__SSE2__)
    const __m128i byte9F = _mm_set1_epi8(static_cast<char>(0x9F));
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i plus = _mm_set1_epi8('+');
    for (; i + 16 <= mail.size(); i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mail.data() + i));
        const __m128i hit = _mm_or_si128(
            _mm_cmpeq_epi8(here, byte9F), _mm_or_si128(_mm_cmpeq_epi8(here, equals), _mm_cmpeq_epi8(here, plus)));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0; mask &= mask - 1)
            if (TraceAt(mail, i + static_cast<size_t>(__builtin_ctz(mask))))
                return true;
    }
#endif
    for (; i < mail.size(); ++i)
        if (TraceAt(mail, i))
            return true;
    return false;
}

} // namespace pelmsg
