#pragma once

#include <string>
#include <string_view>

namespace pelmsg::test {

// Compresses RTF text into a compressed-RTF stream ("LZFu" header, LZ77 over the 4096-byte dictionary with its
// standard prefix), as mail clients store RTF bodies. Test input only: greedy, not tuned.
std::string CompressRtfLzfu(std::string_view rtf);

} // namespace pelmsg::test
