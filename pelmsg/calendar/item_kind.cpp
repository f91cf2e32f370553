#include "calendar/item_kind.h"

#include "text/ascii_case.h"
#include "calendar/named_lookup.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {


struct TLegacyClass {
    const char* Legacy;
    const char* Mapi;
};

// The message classes of the TNEF attribute attMessageClass that differ from their MAPI names.
constexpr TLegacyClass kLegacyClasses[] = {
    { "IPM.Microsoft Schedule.MtgReq", "IPM.Schedule.Meeting.Request" },
    { "IPM.Microsoft Schedule.MtgRespP", "IPM.Schedule.Meeting.Resp.Pos" },
    { "IPM.Microsoft Schedule.MtgRespN", "IPM.Schedule.Meeting.Resp.Neg" },
    { "IPM.Microsoft Schedule.MtgRespA", "IPM.Schedule.Meeting.Resp.Tent" },
    { "IPM.Microsoft Schedule.MtgCncl", "IPM.Schedule.Meeting.Canceled" },
    { "IPM.Microsoft Mail.Note", "IPM.Note" },
    { "IPM.Microsoft Mail.Read Receipt", "Report.IPM.Note.IPNRN" },
    { "IPM.Microsoft Mail.Non-Delivery", "Report.IPM.Note.NDR" },
};

bool IsLegacyName(std::string_view cls)
{
    constexpr std::string_view prefix = "IPM.Microsoft ";
    return cls.size() >= prefix.size() && EqualsIgnoringAsciiCase(cls.substr(0, prefix.size()), prefix);
}

// Whether the class is the base class or derived from it ("IPM.Task" and "IPM.Task.Custom", not "IPM.TaskRequest").
bool IsClassOrDerived(std::string_view cls, std::string_view base)
{
    if (cls.size() < base.size() || !EqualsIgnoringAsciiCase(cls.substr(0, base.size()), base))
        return false;
    return cls.size() == base.size() || cls[base.size()] == '.';
}

// Every kind but Message: the message classes it is told by (a class and those derived from it), first match
// first, and how a message names it.
struct TKindRow {
    std::string_view Class;
    TItemKind Kind;
    const char* Text;
};
constexpr TKindRow kKinds[] = {
    { "IPM.Appointment", TItemKind::Appointment, "an appointment" },
    { "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}", TItemKind::Appointment, "an appointment" },
    { "IPM.Schedule.Meeting.Request", TItemKind::MeetingRequest, "a meeting request" },
    { "IPM.Schedule.Meeting.Canceled", TItemKind::MeetingCancellation, "a meeting cancellation" },
    { "IPM.Schedule.Meeting.Resp.Pos", TItemKind::MeetingAccepted, "a meeting response" },
    { "IPM.Schedule.Meeting.Resp.Neg", TItemKind::MeetingDeclined, "a meeting response" },
    { "IPM.Schedule.Meeting.Resp.Tent", TItemKind::MeetingTentative, "a meeting response" },
    { "IPM.Task", TItemKind::Task, "a task" },
    { "IPM.TaskRequest", TItemKind::TaskRequest, "a task request" },
    { "IPM.Contact", TItemKind::Contact, "a contact" },
    { "IPM.DistList", TItemKind::DistributionList, "a distribution list" },
    { "IPM.StickyNote", TItemKind::StickyNote, "a note" },
    { "IPM.Activity", TItemKind::Journal, "a journal entry" },
};

// The message attached to an attachment node, if it is one.
const TMSGProperties* AttachedMessage(const TMSGProperty& attachment)
{
    if (!attachment.IsEmbeddedMessage())
        return nullptr;
    const TMSGProperty* data = attachment.AttachmentDataNode();
    if (!data || data->SubProperties.Empty())
        return nullptr;
    return &data->SubProperties;
}

} // namespace

std::string ItemMessageClass(const TMSGProperties& item)
{
    std::string legacy;
    for (const TMSGProperty* node : item) {
        if (PropId(node->TagID) != kIdMessageClass || node->NamedId)
            continue;
        std::string cls = WideToUtf8(TItemProperties::Text(node));
        while (!cls.empty() && static_cast<unsigned char>(cls.back()) <= ' ')
            cls.pop_back();
        if (cls.empty())
            continue;
        if (!IsLegacyName(cls))
            return cls;
        if (legacy.empty())
            legacy = cls;
    }
    for (const TLegacyClass& row : kLegacyClasses)
        if (EqualsIgnoringAsciiCase(legacy, row.Legacy))
            return row.Mapi;
    return legacy;
}

TItemKind ItemKindOfClass(std::string_view cls)
{
    for (const TKindRow& row : kKinds)
        if (IsClassOrDerived(cls, row.Class))
            return row.Kind;
    return TItemKind::Message;
}

TItemKind ItemKindOf(const TMSGProperties& item) { return ItemKindOfClass(ItemMessageClass(item)); }

std::string ItemKindText(TItemKind kind)
{
    for (const TKindRow& row : kKinds)
        if (row.Kind == kind)
            return row.Text;
    return "a mail message";
}

bool IsEventKind(TItemKind kind)
{
    switch (kind) {
    case TItemKind::Appointment:
    case TItemKind::MeetingRequest:
    case TItemKind::MeetingCancellation:
    case TItemKind::MeetingAccepted:
    case TItemKind::MeetingDeclined:
    case TItemKind::MeetingTentative:
        return true;
    default:
        return false;
    }
}

const TMSGProperties* ICalendarItem(const TMSGProperties& message)
{
    const TItemKind kind = ItemKindOf(message);
    if (IsEventKind(kind) || kind == TItemKind::Task || kind == TItemKind::Journal)
        return &message;
    if (kind != TItemKind::TaskRequest)
        return nullptr;
    for (int i = 0; i < message.AttachmentCount(); ++i) {
        const TMSGProperty* attachment = message.Attachments(i);
        const TMSGProperties* attached = attachment ? AttachedMessage(*attachment) : nullptr;
        if (attached && ItemKindOf(*attached) == TItemKind::Task)
            return attached;
    }
    return nullptr;
}

const TMSGProperties* VCardItem(const TMSGProperties& message)
{
    const TItemKind kind = ItemKindOf(message);
    return kind == TItemKind::Contact || kind == TItemKind::DistributionList ? &message : nullptr;
}

} // namespace pelmsg
