#pragma once

#include <string>
#include <string_view>

namespace pelmsg::test {

// SHA-256 of the bytes as 64 lower-case hexadecimal digits (to compare with the corpus oracles' hashes).
std::string Sha256Hex(std::string_view bytes);

} // namespace pelmsg::test
