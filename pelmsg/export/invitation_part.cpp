#include "export/invitation_part.h"

#include <vector>

#include "calendar/appointment.h"
#include "calendar/icalendar_writer.h"
#include "calendar/civil_time.h"
#include "calendar/item_kind.h"
#include "calendar/named_lookup.h"
#include "core/errors.h"
#include "model/tags.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

const char* MethodOf(TItemKind kind)
{
    switch (kind) {
    case TItemKind::MeetingRequest:
    case TItemKind::TaskRequest:
        return "REQUEST";
    case TItemKind::MeetingCancellation:
        return "CANCEL";
    case TItemKind::MeetingAccepted:
    case TItemKind::MeetingDeclined:
    case TItemKind::MeetingTentative:
        return "REPLY";
    default:
        return nullptr;
    }
}

WideString Entry(const TParticipant& who)
{
    if (who.Address.empty())
        return {};
    const WideString address = Utf8ToWide(who.Address);
    if (who.Name.empty() || who.Name == address)
        return address;
    // Quoted when the name holds what an address list gives meaning to.
    WideString name;
    for (char16_t c : who.Name)
        if (c != u'"' && c != u'\\' && c >= u' ')
            name += c;
    return u"\"" + name + u"\" <" + address + u">";
}

WideString ListOf(const std::vector<TParticipant>& people)
{
    WideString list;
    for (const TParticipant& who : people) {
        const WideString entry = Entry(who);
        if (entry.empty())
            continue;
        if (!list.empty())
            list += u"; ";
        list += entry;
    }
    return list;
}

std::vector<TParticipant> RecipientRows(const TMSGProperties& message)
{
    std::vector<TParticipant> people;
    for (const TMSGProperty* node : message)
        if (node->TagID == kTagRecipientRow)
            people.push_back(RecipientParticipant(node->SubProperties));
    return people;
}

} // namespace

std::optional<TInvitationPart> InvitationPart(const TMSGProperties& message)
{
    const char* method = MethodOf(ItemKindOf(message));
    if (!method || !ICalendarItem(message))
        return std::nullopt;
    try {
        return TInvitationPart { method, ICalendarText(message) };
    } catch (const EPelMsgError&) {
        return std::nullopt; // a damaged item: the mail goes without its calendar part
    }
}

WideString InvitationFrom(const TMSGProperties& message)
{
    const TItemKind kind = ItemKindOf(message);
    if (!MethodOf(kind))
        return {};
    if (kind == TItemKind::TaskRequest) {
        // TNEF leaves the sender to the mail around it: the one who last changed the request sent it.
        TParticipant assigner = MessageSender(message);
        if (assigner.Address.empty())
            assigner.Address = AddressInText(TItemProperties(message).Text(kIdLastModifierName));
        return Entry(assigner);
    }
    const TAppointment a = ReadAppointment(message);
    // A response comes from the attendee who answers.
    if (kind != TItemKind::MeetingRequest && kind != TItemKind::MeetingCancellation)
        return a.Attendees.empty() ? WideString() : Entry(a.Attendees.front());
    return a.Organizer ? Entry(*a.Organizer) : WideString();
}

WideString InvitationTo(const TMSGProperties& message)
{
    const TItemKind kind = ItemKindOf(message);
    if (!MethodOf(kind))
        return {};
    if (kind == TItemKind::TaskRequest) {
        // The assignees are the request's recipients, else those of the task it carries.
        WideString list = ListOf(RecipientRows(message));
        if (const TMSGProperties* task = ICalendarItem(message); list.empty() && task)
            list = ListOf(RecipientRows(*task));
        return list;
    }
    const TAppointment a = ReadAppointment(message);
    if (kind != TItemKind::MeetingRequest && kind != TItemKind::MeetingCancellation)
        return a.Organizer ? Entry(*a.Organizer) : WideString();
    std::vector<TParticipant> attendees;
    for (const TParticipant& who : a.Attendees)
        if (who.Role != 3) // rooms and equipment are booked, not written to
            attendees.push_back(who);
    return ListOf(attendees);
}

double InvitationDate(const TMSGProperties& message)
{
    const TItemKind kind = ItemKindOf(message);
    if (!MethodOf(kind))
        return 0;
    std::optional<int64_t> stamp;
    if (kind == TItemKind::TaskRequest) {
        if (const TMSGProperties* task = ICalendarItem(message)) {
            const TItemProperties p(*task);
            for (uint16_t id : { kIdClientSubmitTime, kIdLastModificationTime, kIdCreationTime })
                if (!stamp)
                    stamp = TItemProperties::UtcTime(p.Find(id));
        }
    } else {
        stamp = ReadAppointment(message).Stamp;
    }
    return stamp ? LocalDateTimeFromUtcSeconds(*stamp) : 0;
}

} // namespace pelmsg
