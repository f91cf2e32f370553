#pragma once

// Charsets, mail dates, HTML/XML escaping and base64: the text routines the accessors and writers share.

#include <cstdint>
#include <string_view>

#include "model/types.h"

namespace pelmsg {

// Converts message text (UTF-8, this program's byte text) into the named charset: the default behind the
// OnConvertCodepage event of the MIME writer. "utf-8" gives UTF-8, a name of the charset table its code page,
// any other name the bytes recoded through the Cyrillic class the name implies.
void EncodeForCharset(const ByteString& charsetName, ByteString& text);
// The text's bytes in the named charset, carried one byte per UTF-16 unit (each unit holds one byte).
void ConvertCharset(const ByteString& charsetName, WideString& text);

// Cyrillic recoding classes: 0 identity, 1 Windows-1251 to DOS 866, 2 KOI8-R to Windows-1251,
// 3 KOI8-U to Windows-1251.
int CyrillicClassOf(const ByteString& charsetName);
void RecodeCyrillic(int sourceClass, int targetClass, ByteString& text);

// Decimal digits of the number, left-padded with "0" to the width.
ByteString ZeroPad(int64_t number, int width);
// The local zone's offset at the given local date-time: "GMT" for 0, else a sign and four digits ("+0300").
ByteString TimeZoneText(double localDateTime);
// Internet mail date of a local date-time: "Tue, 5 Mar 2002 09:07:03 +0300", with the offset in force at that date.
ByteString FormatMailDate(double localDateTime);
// 1 to 12 for "Jan" to "Dec" (case-sensitive), 0 otherwise.
int MonthFromName(std::string_view name);
// Parses an Internet mail date into a local date-time. 0 when there is no ", "; also 0 (no date) when the date
// or time it names is impossible.
double ParseMailDate(const WideString& text);

// Escapes a byte string for HTML (text mode: CR LF becomes "<br>") or XML (markup mode: "'" becomes "&apos;").
// Control bytes become "%" and two hexadecimal digits.
ByteString EscapeHtml(std::string_view text, bool textMode);
// Replaces every occurrence of the entity (and one ";" right after it) by the replacement, as if searching the
// text from the start after each replacement: a replacement that forms the entity again is replaced again. Runs
// in linear time. A replacement that holds the entity itself is put in once per occurrence.
void ReplaceEntity(const WideString& entity, const WideString& replacement, WideString& text);
// Replaces decimal and hexadecimal numeric character references ("&#233;", "&#x1F600") by the characters they name,
// the whole Unicode range. A reference to no valid character (no digits, a surrogate, above U+10FFFF) stays.
void DecodeCharReferences(WideString& text);
// Replaces the fixed named entities, then numeric character references.
void UnescapeHtml(WideString& text);

// A header value for a mail header in the given charset: printable ASCII stays as it is; other text (and text
// holding "=?", which readers would take for an encoded word) becomes RFC 2047 base64 encoded words of at most 75
// characters, cut between whole characters and folded with CR LF and a space. The first word leaves room for a
// header name of up to 26 characters, so every line stays within 78. UTF-8 stands in for an empty charset name,
// a name outside the charset table, and a charset that cannot hold the text.
ByteString EncodeHeaderText(const ByteString& text, const ByteString& charsetName);
// Base64 (RFC 4648 alphabet, "=" padding) in lines of 76 characters separated by CR LF; no line break after the
// last line, so the caller ends the part as its format needs.
ByteString EncodeBase64(std::string_view bytes);

} // namespace pelmsg
