#include "model/property_name.h"

#include <cstdio>

#include "model/property.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

// The property sets whose names a user meets in messages, with their GUIDs in registry form.
struct TPropertySet {
    const char* Name;
    const char* Guid;
};
constexpr TPropertySet kPropertySets[] = {
    { "PS_MAPI", "{00020328-0000-0000-C000-000000000046}" },
    { "PS_PUBLIC_STRINGS", "{00020329-0000-0000-C000-000000000046}" },
    { "PS_INTERNET_HEADERS", "{00020386-0000-0000-C000-000000000046}" },
    { "PSETID_Appointment", "{00062002-0000-0000-C000-000000000046}" },
    { "PSETID_Task", "{00062003-0000-0000-C000-000000000046}" },
    { "PSETID_Address", "{00062004-0000-0000-C000-000000000046}" },
    { "PSETID_Common", "{00062008-0000-0000-C000-000000000046}" },
    { "PSETID_Log", "{0006200A-0000-0000-C000-000000000046}" },
    { "PSETID_Note", "{0006200E-0000-0000-C000-000000000046}" },
    { "PSETID_Report", "{00062013-0000-0000-C000-000000000046}" },
    { "PSETID_Remote", "{00062014-0000-0000-C000-000000000046}" },
    { "PSETID_Sharing", "{00062040-0000-0000-C000-000000000046}" },
    { "PSETID_PostRss", "{00062041-0000-0000-C000-000000000046}" },
    { "PSETID_Meeting", "{6ED8DA90-450B-101B-98DA-00AA003F1305}" },
    { "PSETID_Messaging", "{41F28F13-83F4-4114-A584-EEDB5A6B0BFF}" },
    { "PSETID_UnifiedMessaging", "{4442858E-A9E3-4E80-B900-317A210CC15B}" },
    { "PSETID_AirSync", "{71035549-0739-4DCB-9163-00F0580DBBDF}" },
    { "PSETID_CalendarAssistant", "{11000E07-B51B-40D6-AF21-CAA85EDAB1D0}" },
    { "PSETID_Attachment", "{96357F7F-59E1-47D0-99A7-46515C183B54}" },
    { "PSETID_XmlExtractedEntities", "{23239608-685D-4732-9C55-4C95CB4E8E33}" },
};

} // namespace

std::string PropertySetName(const uint8_t* guid16)
{
    const std::string text = GuidToText(guid16);
    for (const TPropertySet& set : kPropertySets)
        if (text == set.Guid)
            return set.Name;
    return {};
}

std::string NamedPropertyText(const TNamedPropertyId& id, bool withGuid)
{
    std::string name;
    if (id.IsString) {
        name = WideToUtf8(id.Name);
    } else {
        char number[16];
        std::snprintf(number, sizeof number, id.Number <= 0xFFFF ? "0x%04X" : "0x%08X", id.Number);
        name = number;
    }
    const std::string setName = PropertySetName(id.Guid.data());
    const std::string guid = GuidToText(id.Guid.data());
    const std::string set = setName.empty() ? guid : withGuid ? setName + " " + guid : setName;
    return name + " (" + set + ")";
}

ByteString PropertyNodeName(const TMSGProperty& node)
{
    if (node.NamedId)
        return NamedPropertyText(*node.NamedId, false);
    ByteString name = node.DisplayName(false, true);
    if (name.empty())
        name = node.DisplayName(false, false);
    return name;
}

} // namespace pelmsg
