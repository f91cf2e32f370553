#pragma once

// Names of storage elements: the order the format keeps them in, and what a name may contain.

#include <string>
#include <string_view>

namespace pelmsg::cfb {

// The simple Unicode upper case of one UTF-16 unit (surrogates and units without one map to themselves).
char16_t UpperCaseUnit(char16_t unit);

// The format's order of names: a shorter name comes first; names of equal length compare unit by unit in upper
// case. Returns <0, 0 or >0; 0 means the names denote the same element.
int CompareElementNames(std::u16string_view a, std::u16string_view b);

struct TElementNameLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const { return CompareElementNames(a, b) < 0; }
};

// Raises EStorageError unless a new element may have this name: 1 to 31 UTF-16 units, none of them NUL or
// one of / \ : ! (which the format reserves).
void CheckNewElementName(std::u16string_view name);

// The name as UTF-8 for messages, with control characters shown as \xNN.
std::string NameForMessage(std::u16string_view name);

} // namespace pelmsg::cfb
