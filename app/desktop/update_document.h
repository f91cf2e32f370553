#pragma once

// The version held by an update document and the comparison of version texts: plain text functions, so that the
// parser of this network input can be fuzzed on its own (fuzz/update_document_fuzz.cpp).

#include <optional>
#include <string>
#include <string_view>

namespace quorra {

// "v" followed by what follows the marker (at most 10 bytes, cut before the first `stop`, else before the first
// CR), or "<unknown>" when the marker is missing or nothing follows it.
std::string VersionAfterMarker(std::string_view text, std::string_view marker, char stop);

// Compares two version texts ("v2.10", "2.6", "v1.0.3") number by number, a missing number counting as 0. Empty
// when either is not such a text: an optional "v", then at most 8 numbers of 1 to 9 digits separated by single
// dots, blanks around it allowed.
std::optional<int> CompareVersionTexts(std::string_view a, std::string_view b);

} // namespace quorra
