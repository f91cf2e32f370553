#pragma once

// A calendar item as the iCalendar writer and the message header need it, read from the properties of an
// appointment or meeting message: times and their zones, the recurrence with its changed instances, the people.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calendar/item_kind.h"
#include "calendar/recurrence.h"
#include "calendar/time_zone.h"
#include "model/property.h"

namespace pelmsg {

// Someone taking part: the organizer or an attendee.
struct TParticipant {
    WideString Name;
    std::string Address; // an e-mail address; empty when the item names none
    int Role = 1; // 1 required, 2 optional, 3 a resource
    int Response = 0; // 0 none yet, 2 tentative, 3 accepted, 4 declined
};

struct TAppointment {
    TItemKind Kind = TItemKind::Appointment;
    WideString Subject, Location, Description;
    std::string Uid;
    // For a meeting message about one instance of a recurring meeting: that instance's original start (UTC), or
    // its date when the time is not known.
    std::optional<int64_t> InstanceStart;
    bool InstanceIsDate = false;

    bool AllDay = false;
    // The single instance, or the first of a recurrence, in UTC seconds since 1601.
    std::optional<int64_t> Start, End;
    // The zones the start and end are shown in; none for UTC.
    std::optional<TTimeZone> StartZone, EndZone;

    std::optional<TAppointmentRecurrence> Recurrence;
    // The zone the recurrence's times are in; none (with a recurrence) means the item does not say, and the times
    // are written as floating local times.
    std::optional<TTimeZone> RecurrenceZone;
    WideString RecurrenceText; // the item's own description of its recurrence ("every Monday from 12:00 to 12:30")
    WideString TimeZoneDescription; // "(UTC-05:00) Eastern Time (US & Canada)"

    std::optional<TParticipant> Organizer;
    std::vector<TParticipant> Attendees;
    bool IsMeeting = false;
    bool ResponseRequested = false;
    bool Cancelled = false;

    std::optional<int64_t> Sequence, Sensitivity, Importance, BusyStatus;
    std::optional<int64_t> IntendedBusyStatus; // what the organizer meant the attendees' time to show
    std::optional<int64_t> ReminderMinutes; // set when a reminder is on
    std::optional<int64_t> Stamp, Created, LastModified; // UTC
    int32_t CodePage = 1252; // of the item's 8-bit texts
};

// Reads the appointment from an event item (ItemKindOf gives an event kind). What cannot be read as it stands
// (a damaged recurrence or time-zone record) is left out and described in `warnings`.
TAppointment ReadAppointment(const TMSGProperties& item, std::vector<std::string>* warnings = nullptr);

// The sender of a message as a participant: the sent-representing or sender name and SMTP address (or an
// address of type SMTP, or one in the name); empty fields when the message names none.
TParticipant MessageSender(const TMSGProperties& item);
// A participant from the properties of a recipient row: its name, SMTP address, role and response.
TParticipant RecipientParticipant(const TMSGProperties& row);

// The plain text of an item's body: its plain body, else the text of its RTF body.
WideString ItemBodyText(const TMSGProperties& item);
// "Name (someone@example.com)", "Name <someone@example.com>" or "someone@example.com": the address; empty when
// the text holds none.
std::string AddressInText(const WideString& text);
// The UID of a meeting from its global object id: the identifier embedded by iCalendar-aware clients, else the
// identifier in upper-case hexadecimal with its instance date cleared (so every instance shares it).
std::string UidFromGlobalObjectId(const ByteString& id);
// A UID made from what an item without an identifier says, the same for the same text ("0123456789ABCDEF@tessaly").
std::string HashedUid(std::string_view text);

} // namespace pelmsg
