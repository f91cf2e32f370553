#pragma once

// The entries of a .msg properties stream ("__properties_version1.0"): after the stream's header, 16 bytes per
// fixed-size property: a type code, the identifier, a flags word and an 8-byte value field. Besides the property
// types the type code has codes of its own (a counted string, a 16-byte binary, unsigned and 64-bit variants),
// which the table in property_entry.cpp maps to the types the tree holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/property.h"

namespace pelmsg {

inline constexpr size_t kEntrySize = 16;
inline constexpr size_t kEntryValueOffset = 8;
// The flags an entry the writer makes carries: readable and writable.
inline constexpr uint32_t kEntryFlagsReadWrite = 0x00000006;

// Decodes the value field of an entry (8 bytes; fewer when the stream ended inside the entry, the rest counting
// as zeros) into the node: its value, DataSize and tag (the identifier with the type the code stands for). An
// unknown code gives an empty byte string, DataSize 0 and type 0.
void DecodeEntryValue(TMSGProperty& node, std::string_view field, uint16_t identifier, uint16_t typeCode);

// The 16 bytes of an entry that holds the node's value, for a node that was not read from one: the type code
// that stands for the node's type (and, where two codes do, its DataSize), the identifier, the flags and the value.
std::string EncodeEntry(const TMSGProperty& node, uint32_t flags);

} // namespace pelmsg
