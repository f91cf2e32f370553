#pragma once

// Takes back out the HTML that a mail client wrapped in RTF ("\fromhtml" with "{\*\htmltag" groups).

#include <cstddef>
#include <string_view>

#include "core/strings.h"

namespace pelmsg {

// The HTML the RTF encapsulates, in UTF-8; empty when the RTF does not encapsulate HTML. The RTF is taken as the
// bytes it is stored in. Escaped and raw 8-bit text is decoded in the code page of the font selected where it
// stands ("\fN" with the "\fcharset" or "\cpg" of the font table, also when the font is selected in RTF-only
// text), else in the RTF's code page ("\ansicpg", else Windows-1252); "\u" escapes are honoured; the RTF
// rendering between "\htmlrtf" and "\htmlrtf0" is left out. A "<meta charset>" in the HTML is kept as written,
// so whoever shows the HTML must take it as UTF-8.
ByteString ExtractHtmlFromRtf(std::string_view rtf);
// The same, working in the RTF's own buffer (which it consumes) instead of a copy of it: for large bodies, whose
// extra copies would cost more memory than the body itself.
ByteString TakeHtmlFromRtf(ByteString&& rtf);

// Whether the keyword stands at the position (case-sensitive, the following character not looked at unless a digit
// is required). On a match the position moves past it and, with skipDigits, past the digits that follow.
bool MatchKeyword(
    std::string_view text, std::string_view keyword, bool skipDigits, size_t& position, bool digitRequired = false);
// As MatchKeyword without digits; when the keyword follows "{", the position then moves on up to (not past) the
// next CR, LF or "}".
bool MatchKeywordGroup(std::string_view text, std::string_view keyword, size_t& position);

} // namespace pelmsg
