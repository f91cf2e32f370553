#pragma once

// The properties of one item (a message, or a message attached to one) looked up the way calendar, contact and
// task properties are named: tagged properties by identifier, named properties by their property set and number
// or string name. A named property's identifier (0x8000 and above) is assigned per message, so it is never used
// to find one.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/property.h"

namespace pelmsg {

using TPropertySetId = std::array<uint8_t, 16>;

// Property sets, as stored (little-endian GUIDs).
extern const TPropertySetId kPsetidAppointment; // {00062002-0000-0000-C000-000000000046}
extern const TPropertySetId kPsetidTask; // {00062003-0000-0000-C000-000000000046}
extern const TPropertySetId kPsetidAddress; // {00062004-0000-0000-C000-000000000046}
extern const TPropertySetId kPsetidCommon; // {00062008-0000-0000-C000-000000000046}
extern const TPropertySetId kPsetidLog; // {0006200A-0000-0000-C000-000000000046}
extern const TPropertySetId kPsetidMeeting; // {6ED8DA90-450B-101B-98DA-00AA003F1305}

// A view of one item's properties. It searches the collection's own nodes and, for a tree read from a .msg file,
// the fixed-size values in the item's properties stream; never the recipients, attachments or attached messages.
// The collection must outlive the view.
class TItemProperties {
public:
    explicit TItemProperties(const TMSGProperties& collection);

    const TMSGProperties& Collection() const { return collection_; }

    // The node of a tagged property with the identifier (any type); nullptr when there is none.
    const TMSGProperty* Find(uint16_t identifier) const;
    // The node of a named property with a numeric name; nullptr when there is none.
    const TMSGProperty* FindNamed(const TPropertySetId& set, uint32_t number) const;
    // The node of a named property with a string name (compared exactly); nullptr when there is none.
    const TMSGProperty* FindNamed(const TPropertySetId& set, std::u16string_view name) const;

    // Values of a node found by one of the above; nothing (or empty) for a missing node or another kind of value.
    static WideString Text(const TMSGProperty* node);
    static std::optional<int64_t> Integer(const TMSGProperty* node);
    static std::optional<bool> Boolean(const TMSGProperty* node);
    static std::optional<double> Number(const TMSGProperty* node);
    // A PT_SYSTIME value as UTC seconds since 1601-01-01.
    static std::optional<int64_t> UtcTime(const TMSGProperty* node);
    // The stored bytes of a binary value.
    static ByteString Bytes(const TMSGProperty* node);

    // Shortcuts: the value of a tagged property by identifier, and of a named property by set and number.
    WideString Text(uint16_t identifier) const { return Text(Find(identifier)); }
    WideString NamedText(const TPropertySetId& set, uint32_t number) const { return Text(FindNamed(set, number)); }

private:
    // Whether a node of a properties stream holds a real value: the entries of strings, binaries and objects
    // only point to the streams that hold them.
    static bool HoldsValue(const TMSGProperty* node);
    template <class Match> const TMSGProperty* FindWhere(Match match) const;

    const TMSGProperties& collection_;
    const TMSGProperties* entries_ = nullptr; // the entries of the item's properties stream, if any
};

} // namespace pelmsg
