#pragma once

// The charset an HTML document declares in a meta tag ("<meta charset=utf-8>", or "charset=..." inside the
// content of an http-equiv tag).

#include <cstddef>
#include <string_view>
#include <utility>

namespace pelmsg {

// Where the charset name of the first meta tag that declares one starts and ends (quotes and blanks around it not
// included), looked for in the first 64 KiB of the HTML; {npos, npos} when they declare none.
std::pair<size_t, size_t> MetaCharsetSpan(std::string_view html);

} // namespace pelmsg
