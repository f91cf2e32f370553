#pragma once

// Header values outside printable ASCII as RFC 2047 encoded words ("=?charset?B?...?=").

#include "core/strings.h"

namespace pelmsg {

// A header value for a mail header in the given charset: printable ASCII stays as it is; other text (and text
// holding "=?", which readers would take for an encoded word) becomes RFC 2047 base64 encoded words of at most 75
// characters, cut between whole characters and folded with CR LF and a space. The first word leaves room for a
// header name of up to 26 characters, so every line stays within 78. UTF-8 stands in for an empty charset name,
// a name outside the charset table, and a charset that cannot hold the text.
ByteString EncodeHeaderText(const ByteString& text, const ByteString& charsetName);

} // namespace pelmsg
