#pragma once

// What the mail form of a meeting message or task request adds to make it an invitation mail and calendar
// programs accept: the event or task as a text/calendar alternative with its scheduling method, the header that
// marks a calendar message, and the sender and recipients from the item's own people when the message names none.

#include <optional>
#include <string>

#include "model/property.h"

namespace pelmsg {

struct TInvitationPart {
    std::string Method; // REQUEST, CANCEL or REPLY
    std::string Text; // the iCalendar text, UTF-8
};

// The text/calendar part of a meeting request, cancellation or response, or of a task request; nothing for any
// other message, and nothing when the item cannot be written as iCalendar (it then goes without the part).
std::optional<TInvitationPart> InvitationPart(const TMSGProperties& message);

// For a message whose From or To would be empty: the organizer (the assigner of a task) and the attendees (the
// assignee) of its calendar item as an address list ("Name <address>; ..."); empty when the item names none.
WideString InvitationFrom(const TMSGProperties& message);
WideString InvitationTo(const TMSGProperties& message);
// For a calendar message without a sent date: when its item was last changed (the meeting's last critical
// change, the task's submit, change or creation time), as a local date-time; 0 when it names none.
double InvitationDate(const TMSGProperties& message);

} // namespace pelmsg
