#pragma once

// Takes back out the HTML that a mail client wrapped in RTF ("\fromhtml" with "{\*\htmltag" groups).

#include <cstddef>
#include <string_view>

#include "types.h"

namespace pelmsg {

// The HTML the RTF encapsulates, in UTF-8; empty when the RTF does not encapsulate HTML.
ByteString ExtractHtmlFromRtf(std::string_view rtf);

// Whether the keyword stands at the position (case-sensitive, the following character not looked at unless a digit
// is required). On a match the position moves past it and, with skipDigits, past the digits that follow.
bool MatchKeyword(std::string_view text, std::string_view keyword, bool skipDigits, size_t& position,
    bool digitRequired = false);
// As MatchKeyword without digits; when the keyword follows "{", the position then moves on up to (not past) the
// next CR, LF or "}".
bool MatchKeywordGroup(std::string_view text, std::string_view keyword, size_t& position);

} // namespace pelmsg
