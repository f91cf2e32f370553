#pragma once

// The two kinds of text the library passes around.

#include <string>

namespace pelmsg {

// Raw bytes: 8-bit text in some code page, or opaque data. May hold NUL bytes.
using ByteString = std::string;
// UTF-16 text.
using WideString = std::u16string;

} // namespace pelmsg
