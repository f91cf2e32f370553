#pragma once

// What a property is called where it is listed: a named property by its own name and property set, every other
// property by the dictionary name of its tag. The window's tree and pelmsg-dump both follow this one rule.

#include <cstdint>
#include <string>

#include "core/strings.h"

namespace pelmsg {

class TMSGProperty;
struct TNamedPropertyId;

// The name of a known property set ("PS_PUBLIC_STRINGS", "PSETID_Common", ...), or empty.
std::string PropertySetName(const uint8_t* guid16);
// A named property's name: its string name or its number ("0x8554"), then its property set: the set's name when
// it is a known one, else (or, withGuid, also) the GUID in registry form.
// "Keywords (PS_PUBLIC_STRINGS)", "0x8554 (PSETID_Common)", "0x0001 ({01020304-...})".
std::string NamedPropertyText(const TNamedPropertyId& id, bool withGuid);
// The name a listing gives a node: a named property's NamedPropertyText (the dictionary's entries for identifiers
// from 0x8000 are address-book properties, not this one), else the dictionary name of its tag, else what
// DisplayName gives a container; empty when none applies.
ByteString PropertyNodeName(const TMSGProperty& node);

} // namespace pelmsg
