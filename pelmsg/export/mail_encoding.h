#pragma once

// The encodings of Internet mail that do not depend on the message: quoted-printable bodies, folded header fields,
// encoded words, quoted strings and RFC 2231 parameters, media types, and the charsets text parts can be written in.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/strings.h"

namespace pelmsg {

bool IsAscii(std::string_view text);

// The code page of a charset name when text can be written in it as a mail text part; 0 otherwise.
int32_t WritableCodePage(const ByteString& charset);
// Whether the bytes, read in the code page, give back exactly the text: a conversion that replaced characters the
// charset lacks would lose them.
bool Represents(const ByteString& bytes, int32_t codePage, const ByteString& utf8);

// Header text is one line: control characters (line breaks included) would end the field or start a new one.
WideString HeaderSafe(WideString text);

// Quoted-printable (RFC 2045) of text[from, to), appended to out: CR LF stays a line break, every other byte that is
// not printable ASCII, "=" and blanks before a line break are written as "=" and two hexadecimal digits, and soft
// line breaks keep every line within 76 characters. lineLength carries the length of the current output line from
// one piece to the next; returns where the next piece starts (after a CR LF that straddles `to`).
size_t EncodeQuotedPrintable(std::string_view text, size_t from, size_t to, size_t& lineLength, ByteString& out);
// Whether a body can go out as it is, declared 7bit: ASCII without NUL, CR and LF only as CR LF, short lines.
bool IsSevenBitText(std::string_view text);

// The length of the longest run without blanks.
size_t LongestWord(std::string_view text);
// ASCII text as RFC 2047 base64 encoded words of at most 72 characters on lines of their own: for text with a
// word too long to fold, which readers put back together whole (blanks between encoded words are dropped).
ByteString EncodedWords(std::string_view ascii);
// Folds a header field so that its lines stay within 78 characters where blanks allow; unfolding (removing the
// inserted CR LF) gives the field back. Lines the field already has (encoded words may come folded) are folded
// each on their own, so that no line is left empty and ends the header section.
ByteString FoldHeader(const ByteString& field);

// The media type of an attachment's base64 part: its own when that is a well-formed "type/subtype", else
// application/octet-stream. A multipart or message type cannot be sent in base64 (readers would look for parts
// in the data and lose it), so such data goes out as application/octet-stream too.
ByteString MediaType(const WideString& text);
// The text between double quotes, with quotes and backslashes escaped.
ByteString QuotedString(std::string_view text);
// RFC 2231 form of a parameter value in UTF-8, cut into numbered sections ("name*0*=utf-8''...; name*1*=...")
// when it is long, so that the header can be folded between them.
ByteString ExtendedParameter(const char* name, const ByteString& utf8);

} // namespace pelmsg
