#pragma once

// What the RTF-to-HTML reader (rtf_html.cpp) knows of the RTF around the tags: its code page, its fonts' code
// pages, the text of 8-bit bytes, and where "\binN" data ends.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#include "core/strings.h"

namespace pelmsg::rtf_html {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Past the data of "\binN" whose letters and number end at `wordEnd`: N bytes after the blank that ends the word.
// They are no text and no RTF in any kind of group (a "}" among them closes nothing), so every scan, also of
// groups that are dropped or only looked through, jumps over them.
size_t BinaryDataEnd(std::string_view text, size_t wordEnd, int64_t count);
// The end of "\binN" and its data when the backslash at `at` starts one, else 0.
size_t BinaryAt(std::string_view text, size_t at);

// The code page of the RTF's 8-bit text: "\ansicpg N" anywhere in it, else Windows-1252 (also for a code page
// that cannot be converted, which would lose the text).
int32_t RtfCodePage(std::string_view rtf);
// Appends bytes of the code page as UTF-8.
void AppendCodePageBytes(std::string_view bytes, int32_t codePage, ByteString& out);

// The code pages of the fonts: each font of the "\fonttbl" group whose "\fcharset" (or "\cpg") names a code
// page that can be converted, by font number; and the default font ("\deff"). Text in a font without one is in
// the RTF's code page.
struct TFontCodePages {
    std::map<int64_t, int32_t> ByFont;
    int64_t DefaultFont = 0;
};

// The fonts of the "\fonttbl" group of the RTF before `end`.
TFontCodePages ReadFontCodePages(std::string_view rtf, size_t end);

} // namespace pelmsg::rtf_html
