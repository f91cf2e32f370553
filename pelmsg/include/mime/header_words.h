#pragma once

// Reading header field values: unfolding, RFC 2047 encoded words, Content-Type with RFC 2231 parameters.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmsg {

// Text in a charset named by a mail (a MIME charset name) as UTF-8. An unknown or unsupported charset: the bytes
// as UTF-8 when they are valid UTF-8, else as Windows-1252 (which maps every byte).
std::string MailCharsetToUtf8(std::string_view bytes, std::string_view charset);

// An unstructured header value as UTF-8: line breaks of folding removed, RFC 2047 encoded words ("=?cs?B?...?=",
// "=?cs?Q?...?=") decoded (blanks between adjacent encoded words dropped), 8-bit bytes outside them read as UTF-8
// when valid, else as Windows-1252.
std::string DecodeHeaderText(std::string_view value);

struct TContentType {
    std::string Type;    // lower case; empty when the value holds no "type/subtype"
    std::string Subtype; // lower case
    // Names in lower case; values unquoted, RFC 2231 sections joined and decoded, encoded words decoded; UTF-8.
    std::vector<std::pair<std::string, std::string>> Parameters;
};

// Parses a Content-Type (or Content-Disposition: then Type holds the disposition and Subtype is empty) value.
TContentType ParseContentType(std::string_view value);

} // namespace pelmsg
