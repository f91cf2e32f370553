#pragma once

// What the .msg reader keeps of a node's compound-file origin for the .msg writer: the element it was read from
// and, for a fixed-size property, the 16 bytes of its properties-stream entry. A node has one of these only when
// it came from a .msg file (TMSGProperty::MsgRecord).

#include <array>
#include <cstdint>
#include <string>

#include "model/property.h"

namespace pelmsg {

struct TMsgRecord {
    // The name of the storage or stream the node was read from; empty for an entry of a properties stream.
    std::u16string ElementName;
    // The flags word of the node's properties-stream entry (readable, writable, ...): kept from the entry read,
    // or set for an entry the writer makes from the node's value.
    uint32_t EntryFlags = 0;
    // Whether the element is a storage (an empty storage must be written back as one, not as a stream).
    bool IsStorage = false;
    // How many bytes of Entry the properties stream held: 16, or fewer when the stream ended inside the entry;
    // 0 when the node was not read from an entry.
    uint8_t EntryLength = 0;
    // The entry as read (type code, identifier, flags, value field), written back unchanged.
    std::array<uint8_t, 16> Entry {};

    bool HasEntry() const { return EntryLength > 0; }
    // The type code the entry was stored with (its first two bytes): the property type, or one of the codes of
    // the entry format (msg/property_entry.h).
    uint16_t EntryType() const { return static_cast<uint16_t>(Entry[0] | Entry[1] << 8); }
};

// The node's record, made empty when it has none.
TMsgRecord& MsgRecordOf(TMSGProperty& node);
// The name of the element the node was read from, or empty.
const std::u16string& ElementNameOf(const TMSGProperty& node);
// Whether the node was read from a storage.
bool IsStorageElement(const TMSGProperty& node);

} // namespace pelmsg
