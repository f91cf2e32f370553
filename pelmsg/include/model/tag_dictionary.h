#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pelmsg {

// One row of the property tag dictionary: the MAPI name of an identifier (without "PR_") and a description.
struct TTagRow {
    uint16_t Identifier;
    const char* Name;
    const char* Description;
};

// The row of the tag's identifier (high 16 bits; the type takes no part), or nothing when the dictionary does not
// know it. Each identifier has one row.
std::optional<size_t> FindTagName(uint32_t tag);
// A row by index; the index must come from FindTagName or be below TagRowCount().
const TTagRow& TagRow(size_t index);
size_t TagRowCount();

} // namespace pelmsg
