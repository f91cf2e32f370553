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
    if (IsClassOrDerived(cls, "IPM.Appointment")
        || IsClassOrDerived(cls, "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}"))
        return TItemKind::Appointment;
    if (IsClassOrDerived(cls, "IPM.Schedule.Meeting.Request"))
        return TItemKind::MeetingRequest;
    if (IsClassOrDerived(cls, "IPM.Schedule.Meeting.Canceled"))
        return TItemKind::MeetingCancellation;
    if (IsClassOrDerived(cls, "IPM.Schedule.Meeting.Resp.Pos"))
        return TItemKind::MeetingAccepted;
    if (IsClassOrDerived(cls, "IPM.Schedule.Meeting.Resp.Neg"))
        return TItemKind::MeetingDeclined;
    if (IsClassOrDerived(cls, "IPM.Schedule.Meeting.Resp.Tent"))
        return TItemKind::MeetingTentative;
    if (IsClassOrDerived(cls, "IPM.Task"))
        return TItemKind::Task;
    if (IsClassOrDerived(cls, "IPM.TaskRequest"))
        return TItemKind::TaskRequest;
    if (IsClassOrDerived(cls, "IPM.Contact"))
        return TItemKind::Contact;
    if (IsClassOrDerived(cls, "IPM.DistList"))
        return TItemKind::DistributionList;
    if (IsClassOrDerived(cls, "IPM.StickyNote"))
        return TItemKind::StickyNote;
    if (IsClassOrDerived(cls, "IPM.Activity"))
        return TItemKind::Journal;
    return TItemKind::Message;
}

TItemKind ItemKindOf(const TMSGProperties& item) { return ItemKindOfClass(ItemMessageClass(item)); }

std::string ItemKindText(TItemKind kind)
{
    switch (kind) {
    case TItemKind::Appointment:
        return "an appointment";
    case TItemKind::MeetingRequest:
        return "a meeting request";
    case TItemKind::MeetingCancellation:
        return "a meeting cancellation";
    case TItemKind::MeetingAccepted:
    case TItemKind::MeetingDeclined:
    case TItemKind::MeetingTentative:
        return "a meeting response";
    case TItemKind::Task:
        return "a task";
    case TItemKind::TaskRequest:
        return "a task request";
    case TItemKind::Contact:
        return "a contact";
    case TItemKind::DistributionList:
        return "a distribution list";
    case TItemKind::StickyNote:
        return "a note";
    case TItemKind::Journal:
        return "a journal entry";
    case TItemKind::Message:
        break;
    }
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
