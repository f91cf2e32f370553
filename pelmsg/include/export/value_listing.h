#pragma once

// A property's value as the property listings (text, HTML, XML, pelmsg-dump) show it: text as text, and binary
// data as a bounded run of hexadecimal digits with its full size, never as raw bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/strings.h"

namespace pelmsg {

class TMSGProperty;

// How many bytes of a binary value the listings show in hexadecimal; a larger value is cut and its size stated.
inline constexpr size_t kListedBinaryBytes = 64;

// The value of a node for a listing, byte strings decoded with the code page: binary values (PT_BINARY,
// PT_OBJECT, compressed RTF, GUIDs kept as bytes) as upper-case hexadecimal pairs separated by blanks, at most
// kListedBinaryBytes of them, followed by " ... (N bytes)" when the value is longer. An attached message whose
// properties are listed below its node (the parsed form of the same bytes) is only summarised.
WideString ListingValueText(const TMSGProperty& node, int32_t codePage);

// The longest start of UTF-8 text that is at most maxBytes long and ends at a character boundary.
std::string_view Utf8Prefix(std::string_view text, size_t maxBytes);

} // namespace pelmsg
