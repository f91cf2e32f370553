// Reads arbitrary bytes as the binary records of calendar items: the appointment recurrence, the recurrence
// pattern and both time-zone records, each on its own and together as the properties of an appointment that is
// then written as iCalendar (rule, first instance, time zones, changed instances).
//
// Input layout for the appointment: a 16-bit length and that many bytes of recurrence, a 16-bit length and that
// many bytes of zone definition, the rest as the zone record. Each reader also reads the whole input.

#include <cstddef>
#include <cstdint>
#include <string>

#include "pelmsg.h"

namespace {

std::string Take(const uint8_t*& data, size_t& size)
{
    if (size < 2) {
        data += size;
        size = 0;
        return {};
    }
    size_t length = static_cast<size_t>(data[0] | data[1] << 8);
    data += 2;
    size -= 2;
    if (length > size)
        length = size;
    std::string part(reinterpret_cast<const char*>(data), length);
    data += length;
    size -= length;
    return part;
}

pelmsg::TMSGProperty* Named(pelmsg::TMSGProperties& root, uint16_t id, uint16_t type, const pelmsg::TPropertySetId& set,
    uint32_t number)
{
    pelmsg::TMSGProperty* node = root.Add();
    node->TagID = pelmsg::MakeTag(id, type);
    node->NamedId = std::make_unique<pelmsg::TNamedPropertyId>();
    node->NamedId->Guid = set;
    node->NamedId->Number = number;
    return node;
}

void Binary(pelmsg::TMSGProperties& root, uint16_t id, uint32_t number, const std::string& bytes)
{
    pelmsg::TMSGProperty* node = Named(root, id, pelmsg::PT_BINARY, pelmsg::kPsetidAppointment, number);
    node->Value = bytes;
    node->DataSize = static_cast<uint32_t>(bytes.size());
}

void Readers(const std::string& bytes)
{
    try {
        const pelmsg::TAppointmentRecurrence r = pelmsg::ReadAppointmentRecurrence(bytes);
        (void)pelmsg::FirstInstanceDay(r.Pattern);
        (void)pelmsg::RecurrenceRuleText(r.Pattern);
    } catch (const pelmsg::EPelMsgError&) {
    }
    try {
        const pelmsg::TRecurrencePattern p = pelmsg::ReadRecurrencePattern(bytes);
        (void)pelmsg::FirstInstanceDay(p);
        (void)pelmsg::RecurrenceRuleText(p);
    } catch (const pelmsg::EPelMsgError&) {
    }
    try {
        const pelmsg::TTimeZone zone = pelmsg::ReadTimeZoneDefinition(bytes);
        for (int64_t t : { int64_t { 0 }, int64_t { 13000000000 }, int64_t { 20000000000 } })
            (void)zone.ToLocal(zone.ToUtc(t));
    } catch (const pelmsg::EPelMsgError&) {
    }
    try {
        pelmsg::TTimeZone zone;
        zone.Rules.push_back(pelmsg::ReadTimeZoneStruct(bytes));
        (void)zone.ToLocal(zone.ToUtc(13000000000));
    } catch (const pelmsg::EPelMsgError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Readers(std::string(reinterpret_cast<const char*>(data), size));

    const std::string recurrence = Take(data, size);
    const std::string definition = Take(data, size);
    const std::string record(reinterpret_cast<const char*>(data), size);
    pelmsg::TPelMessage message;
    pelmsg::TMSGProperties& root = message.Properties();
    pelmsg::TMSGProperty* cls = root.Add();
    cls->TagID = 0x001A001E;
    cls->Value = std::string("IPM.Schedule.Meeting.Request");
    Binary(root, 0x8001, 0x8216, recurrence);
    Binary(root, 0x8002, 0x8260, definition);
    Binary(root, 0x8003, 0x825E, definition);
    Binary(root, 0x8004, 0x8233, record);
    pelmsg::TMSGProperty* start = Named(root, 0x8005, pelmsg::PT_SYSTIME, pelmsg::kPsetidAppointment, 0x820D);
    start->Value = pelmsg::TDateTime { 44932.5 };
    pelmsg::TMSGProperty* allDay = Named(root, 0x8006, pelmsg::PT_BOOLEAN, pelmsg::kPsetidAppointment, 0x8215);
    allDay->Value = !record.empty() && (record[0] & 1) != 0;
    try {
        std::vector<std::string> warnings;
        (void)pelmsg::ICalendarText(root, &warnings);
        (void)pelmsg::SummarizeItem(root);
    } catch (const pelmsg::EPelMsgError&) {
    }
    return 0;
}
