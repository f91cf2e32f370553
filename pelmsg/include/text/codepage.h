#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/strings.h"

namespace pelmsg {

// One row of the charset table: a Windows code page and the charset name mail software knows it by.
struct TCharsetRow {
    int32_t CodePage;
    const char* Name;
};

// The 140 code pages with their charset names, in the fixed order in which lookups take the first match.
extern const std::array<TCharsetRow, 140> CharsetCodePages;

// The code page of the byte strings this program makes itself (writer lines, narrowed wide text): UTF-8.
inline constexpr int32_t kAnsiCodePage = 65001;
// The code page of message text that declares none.
inline constexpr int32_t kDefaultMessageCodePage = 1252;

// Whether text in this code page can be converted (through ICU, or iconv for the few ICU lacks).
bool IsCodePageSupported(int32_t codePage);

// Bytes in a code page to UTF-16; empty when the code page cannot be converted. Undecodable bytes become U+FFFD.
WideString CodePageToWide(std::string_view bytes, int32_t codePage);
// UTF-16 to bytes in a code page; empty when the code page cannot be converted. Characters the code page cannot
// hold become its substitution character ("?" in most).
ByteString WideToCodePage(const WideString& text, int32_t codePage);
// As WideToCodePage, but characters the code page cannot hold become numeric character references ("&#8364;"),
// so that HTML written in that charset keeps every character.
ByteString WideToCodePageWithReferences(const WideString& text, int32_t codePage);

// UTF-16 to UTF-8. Surrogate pairs become four-byte sequences; an unpaired surrogate becomes U+FFFD.
ByteString WideToUtf8(const WideString& text);
// UTF-8 to UTF-16. Malformed sequences become U+FFFD.
WideString Utf8ToWide(std::string_view bytes);
// Appends a code point (up to U+10FFFF) to UTF-16 text: from U+10000 up as a surrogate pair.
void AppendUtf16(WideString& out, uint32_t codePoint);

// UTF-16LE bytes (as messages store wide text) to UTF-16; an odd last byte is dropped.
WideString Utf16LeToWide(std::string_view bytes);
// UTF-16 to its UTF-16LE bytes.
ByteString WideToUtf16Le(const WideString& text);

// The program's own byte text is UTF-8.
inline ByteString WideToAnsi(const WideString& text) { return WideToUtf8(text); }
inline WideString AnsiToWide(std::string_view bytes) { return Utf8ToWide(bytes); }

// The code page of the first CharsetCodePages row whose name equals the given one ignoring ASCII case; 0 if none.
int32_t CodePageOfCharsetName(std::string_view name);
// The code page for a charset name found in the wild (an HTML meta tag, a MIME header): the table first, then
// the aliases ICU knows ("latin1", "cp1251", ...). 0 when nothing converts it.
int32_t CodePageOfMimeCharset(std::string_view name);

} // namespace pelmsg
