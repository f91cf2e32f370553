#pragma once

// What kind of Outlook item a message is, told by its message class, and which item the calendar and contact
// writers take from it.

#include <string>
#include <string_view>

#include "core/errors.h"
#include "model/property.h"

namespace pelmsg {

enum class TItemKind {
    Message, // mail and anything else
    Appointment,
    MeetingRequest,
    MeetingCancellation,
    MeetingAccepted,
    MeetingDeclined,
    MeetingTentative,
    Task,
    TaskRequest, // a task sent to someone; the task itself is attached
    Contact,
    DistributionList,
    StickyNote,
    Journal, // a journal entry (IPM.Activity)
};

// Raised by a writer given an item it cannot write ("... is a mail message, not a calendar item or a task").
class EWrongItemKind : public EPelMsgError {
public:
    using EPelMsgError::EPelMsgError;
};

// The message class of an item (MESSAGE_CLASS). A TNEF message may carry the class twice, as a legacy attribute
// with its own names ("IPM.Microsoft Schedule.MtgReq") and among its MAPI properties: the MAPI one counts, and a
// legacy name stands for the class it names ("IPM.Schedule.Meeting.Request").
std::string ItemMessageClass(const TMSGProperties& item);
// The kind of a message class (compared without regard to case; "IPM.Appointment.Custom" is an appointment).
TItemKind ItemKindOfClass(std::string_view cls);
TItemKind ItemKindOf(const TMSGProperties& item);
// The kind in words for messages ("a meeting request", "a contact", "a mail message").
std::string ItemKindText(TItemKind kind);

// Whether the kind is an appointment or a meeting message (one event).
bool IsEventKind(TItemKind kind);

// The item an iCalendar file is made of: the message itself when it is an event, a task or a journal entry, the
// attached task of a task request; nullptr for any other message.
const TMSGProperties* ICalendarItem(const TMSGProperties& message);
// The item a vCard is made of: the message when it is a contact or a distribution list; nullptr otherwise.
const TMSGProperties* VCardItem(const TMSGProperties& message);

} // namespace pelmsg
