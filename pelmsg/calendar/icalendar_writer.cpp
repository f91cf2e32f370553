#include "calendar/icalendar_writer.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <utility>

#include "calendar/appointment.h"
#include "calendar/civil_time.h"
#include "calendar/content_line.h"
#include "calendar/item_kind.h"
#include "calendar/named_lookup.h"
#include "calendar/property_ids.h"
#include "calendar/recurrence_rule.h"
#include "core/stream.h"
#include "core/texts.h"
#include "export/value_listing.h"
#include "export/writer_support.h"
#include "model/message.h"
#include "model/tags.h"
#include "text/codepage.h"

namespace pelmsg {

using namespace calendar_ids;

namespace {

const char* const kWeekdays[] = { "SU", "MO", "TU", "WE", "TH", "FR", "SA" };

constexpr size_t kMaxRepeatedBytes = kMaxICalendarRepeatedBytes;
constexpr size_t kMinRepeatedBytes = kMinICalendarRepeatedBytes;
constexpr size_t kRepeatedBytesPerRecordByte = kICalendarRepeatedBytesPerRecordByte;
constexpr size_t kMaxZoneIdBytes = kMaxICalendarZoneIdBytes;
constexpr size_t kExdatesPerLine = kICalendarExdatesPerLine;

// A date from a UTC moment of an item that gives no zone: the moment is the local midnight of the day it means,
// and every zone lies within twelve hours of UTC.
int64_t DayOfUnzonedMoment(int64_t utc) { return (utc + kSecondsPerDay / 2) / kSecondsPerDay; }

std::string Utc(int64_t seconds) { return FormatCivilDateTime(seconds) + "Z"; }

std::string Offset(int64_t seconds)
{
    const int64_t minutes = (seconds < 0 ? -seconds : seconds) / 60;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02d%02d", seconds < 0 ? '-' : '+', static_cast<int>(minutes / 60 % 100),
        static_cast<int>(minutes % 60));
    return text;
}

std::string Text(const WideString& text) { return EscapeText(WideToUtf8(text)); }

// A calendar user address: "mailto:" and the address, with what a URI cannot hold percent-encoded.
std::string CalendarAddress(const std::string& address)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "mailto:";
    for (char c : address) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' || c == '{'
            || c == '|' || c == '}' || c == '%') {
            out += '%';
            out += digits[b >> 4];
            out += digits[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

// The name a table gives a number, or `otherwise` for a number it does not name.
template <size_t N>
const char* NameOf(int64_t value, const std::pair<int64_t, const char*> (&names)[N], const char* otherwise)
{
    for (const auto& [number, name] : names)
        if (number == value)
            return name;
    return otherwise;
}

// An attendee's response (respTentative 2, respAccepted 3, respDeclined 4) as PARTSTAT; else NEEDS-ACTION.
constexpr std::pair<int64_t, const char*> kPartStats[] = { { 2, "TENTATIVE" }, { 3, "ACCEPTED" }, { 4, "DECLINED" } };
// Sensitivity (1 personal, 2 private, 3 confidential) as CLASS; else PUBLIC.
constexpr std::pair<int64_t, const char*> kClasses[] = { { 1, "PRIVATE" }, { 2, "PRIVATE" }, { 3, "CONFIDENTIAL" } };
// Busy status as X-MICROSOFT-CDO-BUSYSTATUS (2 and anything unknown: BUSY).
constexpr std::pair<int64_t, const char*> kBusyStatuses[]
    = { { 0, "FREE" }, { 1, "TENTATIVE" }, { 3, "OOF" }, { 4, "WORKINGELSEWHERE" } };

const char* PartStat(int response) { return NameOf(response, kPartStats, "NEEDS-ACTION"); }
const char* ClassOf(int64_t sensitivity) { return NameOf(sensitivity, kClasses, "PUBLIC"); }
int PriorityOf(int64_t importance) { return importance >= 2 ? 1 : importance <= 0 ? 9 : 5; }
const char* BusyStatusName(int64_t status) { return NameOf(status, kBusyStatuses, "BUSY"); }

// Free and working elsewhere leave the time open for other meetings.
bool IsTransparent(int64_t status) { return status == 0 || status == 4; }

class TICalendarWriter {
public:
    explicit TICalendarWriter(std::vector<std::string>* warnings)
        : warnings_(warnings)
    {
    }

    std::string Event(const TMSGProperties& item)
    {
        const TAppointment a = ReadAppointment(item, warnings_);
        // An event needs a start (calendar programs refuse or crash on one without); only a damaged item has none.
        if (!a.Start && !a.Recurrence)
            throw EFormatError("The " + ItemKindText(a.Kind).substr(ItemKindText(a.Kind).find(' ') + 1)
                + " has no start time, which iCalendar requires; it cannot be saved as iCalendar.");
        const char* method = nullptr;
        switch (a.Kind) {
        case TItemKind::MeetingRequest:
            method = "REQUEST";
            break;
        case TItemKind::MeetingCancellation:
            method = "CANCEL";
            break;
        case TItemKind::MeetingAccepted:
        case TItemKind::MeetingDeclined:
        case TItemKind::MeetingTentative:
            method = "REPLY";
            break;
        default:
            break;
        }
        const bool reply = method && std::string_view(method) == "REPLY";
        // Changed instances belong to a rule; without one (a reply, a pattern no rule can say) there are none.
        if (WriteEvent(a, method, reply))
            WriteChangedInstances(a, method, RecurrenceRecordSize(item));
        return Assemble(method);
    }

    // A task, or with `request` the task a task request carries: then a scheduling message (METHOD REQUEST)
    // from the assigner (the request's sender) to the assignee (its recipients).
    std::string Task(const TMSGProperties& item, const TMSGProperties* request = nullptr)
    {
        TItemProperties p(item);
        out_.Line("BEGIN", "VTODO");
        std::string uid;
        if (ByteString id = TItemProperties::Bytes(p.FindNamed(kPsetidCommon, kLidTaskGlobalId)); !id.empty())
            uid = UidFromGlobalObjectId(id);
        else if (ByteString key = TItemProperties::Bytes(p.Find(kIdSearchKey)); !key.empty())
            uid = UidFromGlobalObjectId(key);
        else
            uid = HashedUid(WideToUtf8(p.Text(kIdSubject) + ItemBodyText(item)));
        out_.Line("UID", uid);
        out_.Line("DTSTAMP", Utc(StampOf(p)));
        if (WideString subject = p.Text(kIdSubject); !subject.empty())
            out_.Line("SUMMARY", Text(subject));
        if (WideString body = ItemBodyText(item); !body.empty())
            out_.Line("DESCRIPTION", Text(body));
        auto start = TItemProperties::UtcTime(p.FindNamed(kPsetidTask, kLidTaskStartDate));
        auto due = TItemProperties::UtcTime(p.FindNamed(kPsetidTask, kLidTaskDueDate));
        // The task's dates are days: local midnights, stored as if they were UTC.
        if (start)
            out_.Line("DTSTART;VALUE=DATE", FormatCivilDate(DayOfUnzonedMoment(*start) * kSecondsPerDay));
        if (due)
            out_.Line("DUE;VALUE=DATE", FormatCivilDate(DayOfUnzonedMoment(*due) * kSecondsPerDay));
        const int64_t status = TItemProperties::Integer(p.FindNamed(kPsetidTask, kLidTaskStatus)).value_or(0);
        const bool complete
            = status == 2 || TItemProperties::Boolean(p.FindNamed(kPsetidTask, kLidTaskComplete)).value_or(false);
        out_.Line("STATUS", complete ? "COMPLETED" : status == 1 ? "IN-PROCESS" : "NEEDS-ACTION");
        if (auto percent = TItemProperties::Number(p.FindNamed(kPsetidTask, kLidPercentComplete))) {
            const double whole = std::round(std::clamp(*percent, 0.0, 1.0) * 100);
            out_.Line("PERCENT-COMPLETE", std::to_string(static_cast<int>(complete ? 100 : whole)));
        }
        if (complete)
            if (auto done = TItemProperties::UtcTime(p.FindNamed(kPsetidTask, kLidTaskDateCompleted)))
                out_.Line("COMPLETED", Utc(*done));
        if (auto importance = TItemProperties::Integer(p.Find(kIdImportance)))
            out_.Line("PRIORITY", std::to_string(PriorityOf(*importance)));
        WriteClassAndTimes(p);
        WriteTaskRecurrence(p, start);
        if (request)
            TaskRequestPeople(*request, item);
        if (TItemProperties::Boolean(p.FindNamed(kPsetidCommon, kLidReminderSet)).value_or(false)) {
            if (auto when = TItemProperties::UtcTime(p.FindNamed(kPsetidCommon, kLidReminderTime))) {
                out_.Line("BEGIN", "VALARM");
                out_.Line("ACTION", "DISPLAY");
                out_.Line("DESCRIPTION", "Reminder");
                out_.Line("TRIGGER;VALUE=DATE-TIME", Utc(*when));
                out_.Line("END", "VALARM");
            }
        }
        out_.Line("END", "VTODO");
        return Assemble(request ? "REQUEST" : nullptr);
    }

    // CLASS from the sensitivity, CREATED and LAST-MODIFIED, where the item has them.
    void WriteClassAndTimes(const TItemProperties& p)
    {
        if (auto sensitivity = TItemProperties::Integer(p.Find(kIdSensitivity)))
            out_.Line("CLASS", ClassOf(*sensitivity));
        if (auto created = TItemProperties::UtcTime(p.Find(kIdCreationTime)))
            out_.Line("CREATED", Utc(*created));
        if (auto modified = TItemProperties::UtcTime(p.Find(kIdLastModificationTime)))
            out_.Line("LAST-MODIFIED", Utc(*modified));
    }

    // A journal entry: what was done (its type: a phone call, a meeting, ...) and when.
    std::string Journal(const TMSGProperties& item)
    {
        TItemProperties p(item);
        out_.Line("BEGIN", "VJOURNAL");
        std::string uid;
        if (ByteString key = TItemProperties::Bytes(p.Find(kIdSearchKey)); !key.empty())
            uid = UidFromGlobalObjectId(key);
        else
            uid = HashedUid(WideToUtf8(p.Text(kIdSubject) + ItemBodyText(item)));
        out_.Line("UID", uid);
        out_.Line("DTSTAMP", Utc(StampOf(p)));
        if (auto start = TItemProperties::UtcTime(p.FindNamed(kPsetidLog, kLidLogStart)))
            out_.Line("DTSTART", Utc(*start));
        if (WideString subject = p.Text(kIdSubject); !subject.empty())
            out_.Line("SUMMARY", Text(subject));
        if (WideString body = ItemBodyText(item); !body.empty())
            out_.Line("DESCRIPTION", Text(body));
        WideString type = p.NamedText(kPsetidLog, kLidLogTypeDescription);
        if (type.empty())
            type = p.NamedText(kPsetidLog, kLidLogType);
        if (!type.empty())
            out_.Line("CATEGORIES", Text(type));
        WriteClassAndTimes(p);
        out_.Line("END", "VJOURNAL");
        return Assemble(nullptr);
    }

private:
    void Warn(std::string text)
    {
        if (warnings_)
            warnings_->push_back(std::move(text));
    }

    // The assigner is the request's sender (TNEF leaves the sender to the mail around it: then the one who last
    // changed the request); the assignees its recipients, else those of the task it carries.
    void TaskRequestPeople(const TMSGProperties& request, const TMSGProperties& task)
    {
        TAppointment people;
        people.Organizer = MessageSender(request);
        if (people.Organizer->Address.empty())
            people.Organizer->Address = AddressInText(TItemProperties(request).Text(kIdLastModifierName));
        for (const TMSGProperties* from : { &request, &task }) {
            for (const TMSGProperty* node : *from)
                if (node->TagID == kTagRecipientRow)
                    people.Attendees.push_back(RecipientParticipant(node->SubProperties));
            if (!people.Attendees.empty())
                break;
        }
        Participants(out_, people, "REQUEST");
    }

    static size_t RecurrenceRecordSize(const TMSGProperties& item)
    {
        return TItemProperties::Bytes(TItemProperties(item).FindNamed(kPsetidAppointment, kLidAppointmentRecur)).size();
    }

    // Each changed instance repeats the series' UID, zone id, subject, location and people and its description:
    // what would grow far beyond the message (many changed instances of a meeting with long texts or many
    // people) is left out, the description and attendees first, then the subject, location and organizer,
    // then whole changed instances, each time with a warning.
    void WriteChangedInstances(const TAppointment& a, const char* method, size_t recordBytes)
    {
        const std::vector<TRecurrenceException>& changed = a.Recurrence->Exceptions;
        if (changed.empty())
            return;
        const size_t budget = std::min(
            kMaxRepeatedBytes, std::max(kMinRepeatedBytes, kRepeatedBytesPerRecordByte * recordBytes));
        // What one instance repeats, measured as it is written.
        TContentLines everyone, organizer;
        Participants(everyone, a, method);
        if (a.Organizer) {
            TAppointment organizerOnly;
            organizerOnly.Organizer = a.Organizer;
            Participants(organizer, organizerOnly, method);
        }
        const size_t identity
            = a.Uid.size() + (a.RecurrenceZone ? 3 * ZoneId(*a.RecurrenceZone).size() : 0) + 40;
        const size_t summary = Text(a.Subject).size() + Text(a.Location).size() + organizer.Text().size();
        const size_t details = Text(a.Description).size() + everyone.Text().size();
        const size_t n = changed.size();
        auto fits = [&](size_t each) { return each <= budget / n; };
        repeatDetails_ = fits(identity + summary + details);
        repeatSummary_ = fits(identity + summary);
        const std::string limit = std::to_string(budget / 1024) + " KB";
        if (!repeatSummary_)
            Warn("the changed instances do not repeat the series' subject, location, organizer, description and "
                 "attendees, which would take more than "
                + limit);
        else if (!repeatDetails_)
            Warn("the changed instances do not repeat the series' description and attendees, which would take more "
                 "than "
                + limit);
        const size_t count = std::min(n, budget / identity);
        if (count < n)
            Warn(std::to_string(n - count) + " of " + std::to_string(n)
                + " changed instances were left out: repeating the series' UID and time zone for each would take "
                  "more than "
                + limit);
        for (size_t i = 0; i < count; ++i)
            WriteChangedInstance(a, changed[i], method);
    }

    static int64_t StampOf(const TItemProperties& p)
    {
        for (uint16_t id : { kIdClientSubmitTime, kIdLastModificationTime, kIdCreationTime, kIdMessageDeliveryTime })
            if (auto t = TItemProperties::UtcTime(p.Find(id)))
                return *t;
        return NowUtc();
    }

    static int64_t NowUtc() { return static_cast<int64_t>(std::time(nullptr)) + SecondsFrom1601(1970, 1, 1); }

    // The TZID of a zone, adding it to the zones the file defines.
    std::string ZoneId(const TTimeZone& zone)
    {
        for (size_t i = 0; i < zones_.size(); ++i)
            if (zones_[i] == zone)
                return zoneIds_[i];
        // The id is written both as a property and as a parameter; characters either would escape or drop
        // differently ("," ";" "\" and double quotes) are left out, so that the two always match.
        std::string id;
        for (char c : WideToUtf8(zone.Name))
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != ',' && c != ';' && c != '\\' && c != '"')
                id += c;
        id.resize(Utf8Prefix(id, kMaxZoneIdBytes).size());
        if (id.empty())
            id = "Time zone";
        std::string unique = id;
        for (int n = 2; std::find(zoneIds_.begin(), zoneIds_.end(), unique) != zoneIds_.end(); ++n)
            unique = id + " (" + std::to_string(n) + ")";
        zones_.push_back(zone);
        zoneIds_.push_back(unique);
        return unique;
    }

    // "NAME;TZID=...:local", "NAME:local" (floating) for a wall-clock time of a zone.
    void LocalLine(const std::string& name, int64_t local, const std::optional<TTimeZone>& zone)
    {
        if (zone)
            out_.Line(name + ";TZID=" + ParameterValue(ZoneId(*zone)), FormatCivilDateTime(local));
        else
            out_.Line(name, FormatCivilDateTime(local));
    }

    // A UTC moment in the zone it is shown in, or in UTC.
    void MomentLine(const std::string& name, int64_t utc, const std::optional<TTimeZone>& zone)
    {
        if (zone)
            LocalLine(name, zone->ToLocal(utc), zone);
        else
            out_.Line(name, Utc(utc));
    }

    static void Participants(TContentLines& out, const TAppointment& a, const char* method)
    {
        const bool request = method && std::string_view(method) == "REQUEST";
        // People without an address are left out: a made-up address would be taken for a real one.
        if (a.Organizer && !a.Organizer->Address.empty()) {
            std::string name = "ORGANIZER";
            if (!a.Organizer->Name.empty())
                name += ";CN=" + ParameterValue(WideToUtf8(a.Organizer->Name));
            out.Line(name, CalendarAddress(a.Organizer->Address));
        }
        for (const TParticipant& who : a.Attendees) {
            if (who.Address.empty())
                continue;
            std::string name = "ATTENDEE";
            if (!who.Name.empty())
                name += ";CN=" + ParameterValue(WideToUtf8(who.Name));
            if (who.Role == 3)
                name += ";CUTYPE=RESOURCE;ROLE=NON-PARTICIPANT";
            else
                name += who.Role == 2 ? ";ROLE=OPT-PARTICIPANT" : ";ROLE=REQ-PARTICIPANT";
            name += std::string(";PARTSTAT=") + PartStat(who.Response);
            if (request && a.ResponseRequested && who.Role != 3)
                name += ";RSVP=TRUE";
            out.Line(name, CalendarAddress(who.Address));
        }
    }

    void Alarm(int64_t minutes)
    {
        out_.Line("BEGIN", "VALARM");
        out_.Line("ACTION", "DISPLAY");
        out_.Line("DESCRIPTION", "Reminder");
        out_.Line("TRIGGER", "-PT" + std::to_string(minutes) + "M");
        out_.Line("END", "VALARM");
    }

    void Common(const TAppointment& a, const char* method)
    {
        out_.Line("UID", EscapeText(a.Uid));
        out_.Line("DTSTAMP", Utc(a.Stamp.value_or(a.Start.value_or(NowUtc()))));
        if (a.Sequence || method)
            out_.Line("SEQUENCE", std::to_string(a.Sequence.value_or(0) < 0 ? 0 : a.Sequence.value_or(0)));
    }

    // The whole days an instance of the given length covers, at least one.
    static int64_t DayCount(int64_t seconds)
    {
        return std::max<int64_t>(1, (seconds + kSecondsPerDay - 1) / kSecondsPerDay);
    }

    // Returns whether a recurrence rule was written.
    bool WriteEvent(const TAppointment& a, const char* method, bool reply)
    {
        out_.Line("BEGIN", "VEVENT");
        Common(a, method);
        if (a.InstanceStart) {
            if (a.InstanceIsDate || a.AllDay)
                out_.Line("RECURRENCE-ID;VALUE=DATE",
                    FormatCivilDate(
                        a.InstanceIsDate ? *a.InstanceStart : DayOfUnzonedMoment(*a.InstanceStart) * kSecondsPerDay));
            else
                MomentLine("RECURRENCE-ID", *a.InstanceStart, a.StartZone);
        }
        if (!a.Subject.empty())
            out_.Line("SUMMARY", Text(a.Subject));
        if (!a.Location.empty())
            out_.Line("LOCATION", Text(a.Location));
        if (!a.Description.empty())
            out_.Line("DESCRIPTION", Text(a.Description));

        const bool rule = a.Recurrence ? RecurringTimes(a, reply) : false;
        if (!a.Recurrence)
            SingleTimes(a);

        Participants(out_, a, method);
        if (a.Sensitivity)
            out_.Line("CLASS", ClassOf(*a.Sensitivity));
        if (a.Importance)
            out_.Line("PRIORITY", std::to_string(PriorityOf(*a.Importance)));
        if (!reply) {
            if (a.Cancelled)
                out_.Line("STATUS", "CANCELLED");
            else if (a.IsMeeting)
                out_.Line("STATUS", "CONFIRMED");
        }
        if (a.BusyStatus) {
            out_.Line("TRANSP", IsTransparent(*a.BusyStatus) ? "TRANSPARENT" : "OPAQUE");
            out_.Line("X-MICROSOFT-CDO-BUSYSTATUS", BusyStatusName(*a.BusyStatus));
        }
        if (a.IntendedBusyStatus)
            out_.Line("X-MICROSOFT-CDO-INTENDEDSTATUS", BusyStatusName(*a.IntendedBusyStatus));
        if (a.Created)
            out_.Line("CREATED", Utc(*a.Created));
        if (a.LastModified)
            out_.Line("LAST-MODIFIED", Utc(*a.LastModified));
        // Reminders belong to the calendar the event goes into: not to a reply or a cancellation.
        if (a.ReminderMinutes && (!method || std::string_view(method) == "REQUEST"))
            Alarm(*a.ReminderMinutes);
        out_.Line("END", "VEVENT");
        return rule;
    }

    void SingleTimes(const TAppointment& a)
    {
        if (!a.Start)
            return;
        if (a.AllDay) {
            const int64_t first
                = a.StartZone ? a.StartZone->ToLocal(*a.Start) / kSecondsPerDay : DayOfUnzonedMoment(*a.Start);
            int64_t last = first + 1;
            if (a.End)
                last = a.EndZone ? a.EndZone->ToLocal(*a.End) / kSecondsPerDay : DayOfUnzonedMoment(*a.End);
            if (last <= first)
                last = first + 1;
            out_.Line("DTSTART;VALUE=DATE", FormatCivilDate(first * kSecondsPerDay));
            out_.Line("DTEND;VALUE=DATE", FormatCivilDate(last * kSecondsPerDay));
            return;
        }
        MomentLine("DTSTART", *a.Start, a.StartZone);
        MomentLine("DTEND", a.End.value_or(*a.Start), a.EndZone);
    }

    // The first instance's times and, unless this is a reply, the rule and its deleted instances. Returns whether
    // the rule was written.
    bool RecurringTimes(const TAppointment& a, bool reply)
    {
        const TAppointmentRecurrence& r = *a.Recurrence;
        const TRecurrencePattern& p = r.Pattern;
        const int64_t day = FirstInstanceDay(p).value_or(p.StartDate / kMinutesPerDay);
        const int64_t length = (static_cast<int64_t>(r.EndTimeOffset) - r.StartTimeOffset) * kSecondsPerMinute;
        const int64_t start = day * kSecondsPerDay + r.StartTimeOffset * kSecondsPerMinute;
        if (a.AllDay) {
            out_.Line("DTSTART;VALUE=DATE", FormatCivilDate(day * kSecondsPerDay));
            out_.Line("DTEND;VALUE=DATE", FormatCivilDate((day + DayCount(length)) * kSecondsPerDay));
        } else {
            LocalLine("DTSTART", start, a.RecurrenceZone);
            LocalLine("DTEND", start + length, a.RecurrenceZone);
        }
        if (reply)
            return false; // a reply answers for the meeting; it does not repeat the rule
        std::string rule;
        try {
            rule = RecurrenceRuleText(p);
        } catch (const EFormatError& e) {
            Warn(std::string("the recurrence was left out, only the first instance is written: ") + e.what());
            return false;
        }
        const int64_t lastDay = p.EndDate / kMinutesPerDay;
        auto until = [&]() {
            if (a.AllDay)
                return FormatCivilDate(lastDay * kSecondsPerDay);
            const int64_t lastStart = lastDay * kSecondsPerDay + r.StartTimeOffset * kSecondsPerMinute;
            return a.RecurrenceZone ? Utc(a.RecurrenceZone->ToUtc(lastStart)) : FormatCivilDateTime(lastStart);
        };
        if (p.EndType == kEndAfterCount && p.OccurrenceCount > 0)
            rule += ";COUNT=" + std::to_string(p.OccurrenceCount);
        else if (p.EndType == kEndAfterDate || p.EndType == kEndAfterCount)
            rule += ";UNTIL=" + until();
        out_.Line("RRULE", rule);

        // The days of changed instances, sorted: each deleted date is looked up once (both lists can be long).
        std::vector<int64_t> changedDays;
        changedDays.reserve(r.Exceptions.size());
        for (const TRecurrenceException& e : r.Exceptions)
            changedDays.push_back(e.OriginalStartDate / kMinutesPerDay);
        std::sort(changedDays.begin(), changedDays.end());
        // Deleted instances, many to a line: the zone id is written once for each line.
        std::string values;
        size_t inLine = 0;
        auto flush = [&]() {
            if (inLine == 0)
                return;
            if (a.AllDay)
                out_.Line("EXDATE;VALUE=DATE", values);
            else if (a.RecurrenceZone)
                out_.Line("EXDATE;TZID=" + ParameterValue(ZoneId(*a.RecurrenceZone)), values);
            else
                out_.Line("EXDATE", values);
            values.clear();
            inLine = 0;
        };
        for (uint32_t deleted : p.DeletedInstanceDates) {
            const int64_t deletedDay = deleted / kMinutesPerDay;
            if (std::binary_search(changedDays.begin(), changedDays.end(), deletedDay))
                continue; // a changed instance gets an event of its own
            if (inLine++ > 0)
                values += ',';
            values += a.AllDay
                ? FormatCivilDate(deletedDay * kSecondsPerDay)
                : FormatCivilDateTime(deletedDay * kSecondsPerDay + r.StartTimeOffset * kSecondsPerMinute);
            if (inLine == kExdatesPerLine)
                flush();
        }
        flush();
        return true;
    }

    static WideString ExceptionText(const std::optional<WideString>& wide, const ByteString& narrow, int32_t codePage)
    {
        if (wide)
            return *wide;
        return CodePageToWide(narrow, codePage);
    }

    void WriteChangedInstance(const TAppointment& a, const TRecurrenceException& e, const char* method)
    {
        out_.Line("BEGIN", "VEVENT");
        Common(a, method);
        const bool allDay = (e.OverrideFlags & kOverrideSubType) ? e.SubType != 0 : a.AllDay;
        const int64_t original = static_cast<int64_t>(e.OriginalStartDate) * kSecondsPerMinute;
        const int64_t start = static_cast<int64_t>(e.StartDateTime) * kSecondsPerMinute;
        const int64_t end = static_cast<int64_t>(e.EndDateTime) * kSecondsPerMinute;
        if (a.AllDay)
            out_.Line("RECURRENCE-ID;VALUE=DATE", FormatCivilDate(original));
        else
            LocalLine("RECURRENCE-ID", original, a.RecurrenceZone);
        const WideString inherited;
        const WideString subject = (e.OverrideFlags & kOverrideSubject)
            ? ExceptionText(e.Subject, e.Subject8, a.CodePage)
            : repeatSummary_ ? a.Subject : inherited;
        const WideString location = (e.OverrideFlags & kOverrideLocation)
            ? ExceptionText(e.Location, e.Location8, a.CodePage)
            : repeatSummary_ ? a.Location : inherited;
        if (!subject.empty())
            out_.Line("SUMMARY", Text(subject));
        if (!location.empty())
            out_.Line("LOCATION", Text(location));
        if (repeatDetails_ && !a.Description.empty() && !(e.OverrideFlags & kOverrideExceptionalBody))
            out_.Line("DESCRIPTION", Text(a.Description));
        if (allDay) {
            const int64_t first = start / kSecondsPerDay;
            out_.Line("DTSTART;VALUE=DATE", FormatCivilDate(first * kSecondsPerDay));
            out_.Line("DTEND;VALUE=DATE", FormatCivilDate((first + DayCount(end - start)) * kSecondsPerDay));
        } else {
            LocalLine("DTSTART", start, a.RecurrenceZone);
            LocalLine("DTEND", end, a.RecurrenceZone);
        }
        if (repeatDetails_) {
            Participants(out_, a, method);
        } else if (a.Organizer && repeatSummary_) {
            TAppointment organizerOnly;
            organizerOnly.Organizer = a.Organizer;
            Participants(out_, organizerOnly, method);
        }
        if (a.Sensitivity)
            out_.Line("CLASS", ClassOf(*a.Sensitivity));
        if (a.Cancelled)
            out_.Line("STATUS", "CANCELLED");
        else if (a.IsMeeting)
            out_.Line("STATUS", "CONFIRMED");
        const std::optional<int64_t> busy
            = (e.OverrideFlags & kOverrideBusyStatus) ? std::optional<int64_t>(e.BusyStatus) : a.BusyStatus;
        if (busy) {
            out_.Line("TRANSP", IsTransparent(*busy) ? "TRANSPARENT" : "OPAQUE");
            out_.Line("X-MICROSOFT-CDO-BUSYSTATUS", BusyStatusName(*busy));
        }
        std::optional<int64_t> reminder = a.ReminderMinutes;
        if (e.OverrideFlags & kOverrideReminderSet)
            reminder = e.ReminderSet ? std::optional<int64_t>(a.ReminderMinutes.value_or(15)) : std::nullopt;
        if (reminder && (e.OverrideFlags & kOverrideReminderDelta))
            reminder = e.ReminderDelta;
        if (reminder && (!method || std::string_view(method) == "REQUEST"))
            Alarm(*reminder);
        out_.Line("END", "VEVENT");
    }

    void WriteTaskRecurrence(const TItemProperties& p, const std::optional<int64_t>& start)
    {
        if (!TItemProperties::Boolean(p.FindNamed(kPsetidTask, kLidTaskFRecurring)).value_or(false))
            return;
        const TMSGProperty* node = p.FindNamed(kPsetidTask, kLidTaskRecurrence);
        if (!node)
            return;
        try {
            const TRecurrencePattern pattern = ReadRecurrencePattern(TItemProperties::Bytes(node));
            if (pattern.SlidingFlag) {
                Warn("the task repeats a while after each completion, which iCalendar cannot say; no rule is written");
                return;
            }
            std::string rule = RecurrenceRuleText(pattern);
            if (!start) {
                // A rule needs a start: a task without one starts on its pattern's first instance.
                const std::optional<int64_t> first
                    = pattern.StartDate != 0 ? FirstInstanceDay(pattern) : std::optional<int64_t>();
                if (!first) {
                    Warn("the task's recurrence was left out: neither the task nor its pattern has a start date");
                    return;
                }
                out_.Line("DTSTART;VALUE=DATE", FormatCivilDate(*first * kSecondsPerDay));
            }
            if (pattern.EndType == kEndAfterCount && pattern.OccurrenceCount > 0)
                rule += ";COUNT=" + std::to_string(pattern.OccurrenceCount);
            else if (pattern.EndType == kEndAfterDate)
                rule += ";UNTIL=" + FormatCivilDate(static_cast<int64_t>(pattern.EndDate) * kSecondsPerMinute);
            out_.Line("RRULE", rule);
        } catch (const EFormatError& e) {
            Warn(std::string("the task's recurrence was left out: ") + e.what());
        }
    }

    static std::string DayRule(const TTransitionDate& d)
    {
        if (d.Year != 0)
            return "FREQ=YEARLY;BYMONTH=" + std::to_string(d.Month) + ";BYMONTHDAY=" + std::to_string(d.Day);
        const std::string nth = d.Day >= 5 ? "-1" : std::to_string(d.Day);
        return "FREQ=YEARLY;BYMONTH=" + std::to_string(d.Month) + ";BYDAY=" + nth + kWeekdays[d.DayOfWeek % 7];
    }

    static void TimeZone(TContentLines& out, const TTimeZone& zone, const std::string& id)
    {
        out.Line("BEGIN", "VTIMEZONE");
        out.Line("TZID", EscapeText(id));
        int64_t previousOffset = zone.Rules.empty() ? 0 : zone.Rules.front().StandardOffset();
        for (size_t i = 0; i < zone.Rules.size(); ++i) {
            const TTimeZoneRule& rule = zone.Rules[i];
            const int year = i == 0 ? 1601 : std::max<int>(rule.StartYear, 1601);
            // A rule that a later one replaces repeats once a year up to then. (A count rather than an end date:
            // readers that expand zones with python-dateutil refuse a UTC end date after a local start.)
            std::string until;
            if (i + 1 < zone.Rules.size() && zone.Rules[i + 1].StartYear > year)
                until = ";COUNT=" + std::to_string(zone.Rules[i + 1].StartYear - year);
            if (!rule.HasDaylightSaving()) {
                out.Line("BEGIN", "STANDARD");
                out.Line("DTSTART", FormatCivilDateTime(SecondsFrom1601(year, 1, 1)));
                out.Line("TZOFFSETFROM", Offset(previousOffset));
                out.Line("TZOFFSETTO", Offset(rule.StandardOffset()));
                out.Line("END", "STANDARD");
                previousOffset = rule.StandardOffset();
                continue;
            }
            // The daylight-saving time and the standard time, each from its yearly change of the clocks on.
            auto observance = [&](const char* kind, const TTransitionDate& change, int64_t from, int64_t to) {
                const auto start = TransitionInYear(change, year);
                out.Line("BEGIN", kind);
                out.Line("DTSTART", FormatCivilDateTime(start.value_or(SecondsFrom1601(year, 1, 1))));
                out.Line("RRULE", DayRule(change) + until);
                out.Line("TZOFFSETFROM", Offset(from));
                out.Line("TZOFFSETTO", Offset(to));
                out.Line("END", kind);
            };
            observance("DAYLIGHT", rule.DaylightDate, rule.StandardOffset(), rule.DaylightOffset());
            observance("STANDARD", rule.StandardDate, rule.DaylightOffset(), rule.StandardOffset());
            previousOffset = rule.StandardOffset();
        }
        out.Line("END", "VTIMEZONE");
    }

    std::string Assemble(const char* method) const
    {
        TContentLines head;
        head.Line("BEGIN", "VCALENDAR");
        head.Line("VERSION", "2.0");
        head.Line("PRODID", std::string("-//Corvane Software//PelMsg suite ") + kLibraryVersion + "//EN");
        if (method)
            head.Line("METHOD", method);
        for (size_t i = 0; i < zones_.size(); ++i)
            TimeZone(head, zones_[i], zoneIds_[i]);
        TContentLines tail;
        tail.Line("END", "VCALENDAR");
        return head.Text() + out_.Text() + tail.Text();
    }

    std::vector<std::string>* warnings_;
    bool repeatDetails_ = true;
    bool repeatSummary_ = true;
    TContentLines out_;
    std::vector<TTimeZone> zones_;
    std::vector<std::string> zoneIds_;
};

} // namespace

std::string ICalendarText(const TMSGProperties& message, std::vector<std::string>* warnings)
{
    const TMSGProperties* item = ICalendarItem(message);
    if (!item)
        throw EWrongItemKind("The message is " + ItemKindText(ItemKindOf(message))
            + ", not a calendar item or a task; it cannot be saved as iCalendar.");
    TICalendarWriter writer(warnings);
    if (ItemKindOf(*item) == TItemKind::Journal)
        return writer.Journal(*item);
    if (ItemKindOf(*item) != TItemKind::Task)
        return writer.Event(*item);
    return writer.Task(*item, item == &message ? nullptr : &message);
}

void SaveToICalendar(const TMSGProperties& message, TStream& stream, std::vector<std::string>* warnings)
{
    const std::string text = ICalendarText(message, warnings);
    stream.WriteBuffer(text.data(), text.size());
}

void SaveToICalendarFile(const TMSGProperties& message, const std::string& fileName, std::vector<std::string>* warnings)
{
    // Made first, so that a message of the wrong kind leaves no file behind.
    const std::string text = ICalendarText(message, warnings);
    SaveThroughTemporaryFile(
        fileName, [&](TStream& file) { file.WriteBuffer(text.data(), text.size()); }, SaveOptionsFor(message));
}

} // namespace pelmsg
