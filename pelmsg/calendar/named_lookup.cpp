#include "calendar/named_lookup.h"

#include "calendar/civil_time.h"
#include "msg/msg_names.h"
#include "msg/msg_record.h"

namespace pelmsg {

namespace {

// The property sets Outlook defines share one form, {XXXXXXXX-0000-0000-C000-000000000046}, stored little-endian.
constexpr TPropertySetId OutlookPropertySet(uint32_t first) noexcept
{
    return { static_cast<uint8_t>(first), static_cast<uint8_t>(first >> 8), static_cast<uint8_t>(first >> 16),
        static_cast<uint8_t>(first >> 24), 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };
}

} // namespace

const TPropertySetId kPsetidAppointment = OutlookPropertySet(0x00062002);
const TPropertySetId kPsetidTask = OutlookPropertySet(0x00062003);
const TPropertySetId kPsetidAddress = OutlookPropertySet(0x00062004);
const TPropertySetId kPsetidCommon = OutlookPropertySet(0x00062008);
const TPropertySetId kPsetidLog = OutlookPropertySet(0x0006200A);
const TPropertySetId kPsetidMeeting
    = { 0x90, 0xDA, 0xD8, 0x6E, 0x0B, 0x45, 0x1B, 0x10, 0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05 };

TItemProperties::TItemProperties(const TMSGProperties& collection)
    : collection_(collection)
{
    for (const TMSGProperty* node : collection) {
        if (node->TagID == 0 && ElementNameOf(*node) == kPropertiesStreamName) {
            entries_ = &node->SubProperties;
            break;
        }
    }
}

bool TItemProperties::HoldsValue(const TMSGProperty* node)
{
    switch (PropType(node->TagID)) {
    case PT_UNSPECIFIED:
    case PT_OBJECT:
    case PT_STRING8:
    case PT_UNICODE:
    case PT_BINARY:
        return false;
    default:
        return (PropType(node->TagID) & MV_FLAG) == 0;
    }
}

template <class Match> const TMSGProperty* TItemProperties::FindWhere(Match match) const
{
    for (const TMSGProperty* node : collection_)
        if (PropType(node->TagID) != PT_UNSPECIFIED && match(*node))
            return node;
    if (entries_)
        for (const TMSGProperty* node : *entries_)
            if (HoldsValue(node) && match(*node))
                return node;
    return nullptr;
}

const TMSGProperty* TItemProperties::Find(uint16_t identifier) const
{
    return FindWhere([&](const TMSGProperty& node) { return PropId(node.TagID) == identifier && !node.NamedId; });
}

const TMSGProperty* TItemProperties::FindNamed(const TPropertySetId& set, uint32_t number) const
{
    return FindWhere([&](const TMSGProperty& node) {
        return node.NamedId && !node.NamedId->IsString && node.NamedId->Number == number && node.NamedId->Guid == set;
    });
}

const TMSGProperty* TItemProperties::FindNamed(const TPropertySetId& set, std::u16string_view name) const
{
    return FindWhere([&](const TMSGProperty& node) {
        return node.NamedId && node.NamedId->IsString && node.NamedId->Name == name && node.NamedId->Guid == set;
    });
}

WideString TItemProperties::Text(const TMSGProperty* node)
{
    if (!node || !(IsByteString(node->Value) || IsWideString(node->Value)))
        return {};
    WideString text = node->ValueText();
    // Strings are stored with their terminating NUL; a value ends at the first one.
    size_t nul = text.find(u'\0');
    if (nul != WideString::npos)
        text.resize(nul);
    return text;
}

std::optional<int64_t> TItemProperties::Integer(const TMSGProperty* node)
{
    if (!node || !(IsNumeric(node->Value) || std::holds_alternative<bool>(node->Value)))
        return std::nullopt;
    return ValueAsInteger(node->Value);
}

std::optional<bool> TItemProperties::Boolean(const TMSGProperty* node)
{
    if (!node)
        return std::nullopt;
    if (const bool* b = std::get_if<bool>(&node->Value))
        return *b;
    if (IsNumeric(node->Value))
        return ValueAsInteger(node->Value) != 0;
    return std::nullopt;
}

std::optional<double> TItemProperties::Number(const TMSGProperty* node)
{
    if (!node || !IsNumeric(node->Value))
        return std::nullopt;
    return ValueAsDouble(node->Value);
}

std::optional<int64_t> TItemProperties::UtcTime(const TMSGProperty* node)
{
    if (!node)
        return std::nullopt;
    const auto* date = std::get_if<TDateTime>(&node->Value);
    if (!date)
        return std::nullopt;
    // A TNEF legacy date record (12 to 14 bytes) holds the sender's wall-clock time in no known zone: it is read
    // as UTC, so that the result does not depend on the zone of the machine that converts it.
    if (node->DataSize >= 12 && node->DataSize <= 14)
        return SecondsFromDateTime(date->Days);
    return UtcSecondsFromDateTime(date->Days);
}

ByteString TItemProperties::Bytes(const TMSGProperty* node)
{
    if (!node || !IsByteString(node->Value))
        return {};
    ByteString bytes = std::get<ByteString>(node->Value);
    if (node->DataSize < bytes.size())
        bytes.resize(node->DataSize);
    return bytes;
}

} // namespace pelmsg
