#pragma once

// Decoding a body for its Content-Transfer-Encoding.

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace pelmsg {

// Base64 as mail readers take it: characters outside the alphabet (line breaks, blanks, garbage) are skipped,
// decoding stops at the first "=" pad. At most maxBytes bytes are produced.
std::string DecodeBase64Lenient(std::string_view text, size_t maxBytes = std::numeric_limits<size_t>::max());

// Quoted-printable: "=XX" is the byte, "=" at a line end a soft line break, a "=" not followed by two
// hexadecimal digits stays as it is; blanks at line ends are dropped. At most maxBytes bytes are produced.
std::string DecodeQuotedPrintable(std::string_view text, size_t maxBytes = std::numeric_limits<size_t>::max());

// The body for its encoding (lower case: "base64", "quoted-printable"; anything else, 7bit, 8bit, binary and
// unknown ones, is the body as it is).
std::string DecodeTransfer(std::string_view encoding, std::string_view body,
    size_t maxBytes = std::numeric_limits<size_t>::max());

} // namespace pelmsg
