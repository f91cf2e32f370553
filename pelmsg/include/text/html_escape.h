#pragma once

// HTML and XML escaping of byte text, and the unescaping of the entities mail bodies carry.

#include <string_view>

#include "core/strings.h"

namespace pelmsg {

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

} // namespace pelmsg
