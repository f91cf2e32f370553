#pragma once

// The plain text of an RTF body, for the text fields of calendar items whose only body is RTF (TNEF meeting
// requests carry no plain body).

#include <string_view>

#include "model/types.h"

namespace pelmsg {

// The text an RTF reader would show: paragraphs and line breaks as LF, tabs as TAB, "\'hh" bytes decoded in the
// document's code page ("\ansicpg", else `defaultCodePage`), "\u" characters with their "\uc" replacements
// skipped; font, colour and style tables, pictures, objects, field instructions and every "\*" destination left
// out. HTML wrapped in RTF gives the text of its RTF rendering. Runs in linear time on any input; a group that is
// never closed ends with the input.
WideString PlainTextFromRtf(std::string_view rtf, int32_t defaultCodePage = 1252);

} // namespace pelmsg
