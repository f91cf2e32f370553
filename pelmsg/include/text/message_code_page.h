#pragma once

// Which code page a message's 8-bit strings are in, from what the message declares about itself.

#include <cstdint>

namespace pelmsg {

// The Windows code page of the language an internet code page stands for, when that code page is one of the
// mail encodings of a language whose Windows programs store text in another ("iso-2022-jp" 50220 and "euc-jp"
// 51932 → Japanese 932, "euc-kr" → 949, "gb2312"/"hz" → 936, "euc-tw" → 950); the code page itself otherwise.
int32_t WindowsCodePageOfInternetCodePage(int32_t internetCodePage);
// The Windows code page of the language a locale id (LCID) names: 1041 Japanese → 932, 1049 Russian → 1251,
// 2052 Chinese (PRC) → 936, ...; 0 for a locale id of no known language.
int32_t WindowsCodePageOfLocale(uint32_t localeId);

// The code page of a message's 8-bit strings: its message code page when that converts, else the Windows code
// page of the language its internet code page names, else that of its locale id when that is not Western; 0 when
// none of these is given or converts (the message then inherits its parent's, or the default). Pass 0 for what
// the message lacks.
int32_t MessageTextCodePage(int32_t messageCodePage, int32_t internetCodePage, uint32_t localeId);

} // namespace pelmsg
