#pragma once

// Base64 for mail parts.

#include <string_view>

#include "core/strings.h"

namespace pelmsg {

// Base64 (RFC 4648 alphabet, "=" padding) in lines of 76 characters separated by CR LF; no line break after the
// last line, so the caller ends the part as its format needs.
ByteString EncodeBase64(std::string_view bytes);

} // namespace pelmsg
