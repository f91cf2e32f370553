#pragma once

// Named properties (identifiers 0x8000 and above): the mapping a .msg file keeps in its "__nameid_version1.0"
// storage between identifiers and the names (a property set and a number or a string) they stand for.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/property.h"

namespace pelmsg {

// The property sets the mapping refers to by number instead of storing them.
extern const std::array<uint8_t, 16> kPsMapi; // {00020328-0000-0000-C000-000000000046}
extern const std::array<uint8_t, 16> kPsPublicStrings; // {00020329-0000-0000-C000-000000000046}

// Decodes the mapping from the GUID, entry and string streams of a named-property storage. Entries that point
// outside the streams are left out.
std::map<uint16_t, TNamedPropertyId> DecodeNamedPropertyMapping(
    const std::string& guidStream, const std::string& entryStream, const std::string& stringStream);

// Gives every named property of a tree read from a .msg file its name, from the tree's named-property storage
// node (tag 0x00010000) at the top level. Trees without one are left as they are.
void AttachNamedPropertyNames(TMSGProperties& root);

// Builds the mapping for a message being written: each distinct name gets the next identifier from 0x8000.
class TNamedPropertyMap {
public:
    // The identifier of the name, assigning one the first time; 0 when all 0x7FFF identifiers are taken.
    uint16_t IdentifierFor(const TNamedPropertyId& name);
    bool Empty() const { return names_.empty(); }
    size_t Count() const { return names_.size(); }

    // The streams of the named-property storage, by name: the GUID, entry and string streams and the
    // identifier-to-name lookup streams.
    std::vector<std::pair<std::u16string, std::string>> Streams() const;

private:
    std::vector<TNamedPropertyId> names_;
    std::map<std::string, uint16_t> index_; // key of a name -> identifier
};

} // namespace pelmsg
