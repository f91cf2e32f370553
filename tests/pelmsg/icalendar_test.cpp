// Calendar items written as iCalendar and vCard: meeting requests with time zones, recurrences and changed
// instances, replies and cancellations, all-day events, tasks and contacts, built as TNEF messages and read back
// by python3-icalendar, python3-dateutil and python3-vobject.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "calendar/calendar.h"
#include "calendar/civil_time.h"
#include "calendar_builder.h"
#include "calendar_readers.h"
#include "core/stream.h"
#include "message_file.h"
#include "model/message.h"
#include "msg/named_properties.h"
#include "test_support.h"
#include "text/codepage.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

// Named properties are given identifiers from a starting point, so that tests can show that the identifiers
// do not matter.
class NamedProps {
public:
    explicit NamedProps(uint16_t first)
        : next_(first)
    {
    }
    NamedProps& Add(const TPropertySetId& set, uint32_t lid, uint16_t type, const std::string& value)
    {
        props_.Raw(static_cast<uint32_t>(next_++) << 16 | type, NamedNumber(set, lid) + value);
        return *this;
    }
    NamedProps& Tagged(uint16_t id, uint16_t type, const std::string& value)
    {
        props_.Raw(static_cast<uint32_t>(id) << 16 | type, value);
        return *this;
    }
    TnefPropList& List() { return props_; }

private:
    uint16_t next_;
    TnefPropList props_;
};

std::unique_ptr<TPelTNEFFile> Load(const std::string& bytes)
{
    auto message = std::make_unique<TPelTNEFFile>();
    TSpanStream stream(bytes);
    message->LoadFromStream(stream);
    return message;
}

std::vector<TnefPropList> Attendees()
{
    TnefPropList organizer, ann, room;
    organizer.String8(0x3001, "Olga Organizer").String8(0x39FE, "olga@example.com").Long(0x0C15, 1).Long(0x5FFD, 3);
    ann.String8(0x3001, "Doe, Ann")
        .String8(0x3002, "SMTP")
        .String8(0x3003, "ann@example.com")
        .Long(0x0C15, 1)
        .Long(0x5FFF, 3);
    room.String8(0x3001, "Room 4 (room4@example.com)").Long(0x0C15, 3);
    return { organizer, ann, room };
}

// A weekly meeting on Fridays 12:00-13:00 Eastern time from 2023-01-06, ten times; 2023-01-13 deleted, the
// instance of 01-20 moved to Thursday 01-19 with another subject and location, the one of 01-27 changed in busy
// status only.
std::string MeetingRequest(uint16_t firstNamedId, const std::string& messageClass = "IPM.Schedule.Meeting.Request",
    const std::string& recurrence = FridayLunchSeries(0).Encode())
{
    const std::string zone
        = TimeZoneDefinitionBytes("Eastern Standard Time", { EasternRuleBefore2007(), EasternRule2007() });
    std::string goid(16, '\0');
    goid = std::string("\x04\x00\x00\x00\x82\x00\xE0\x00\x74\xC5\xB7\x10\x1A\x82\xE0\x08", 16) + std::string(4, '\0')
        + std::string(8, '\x11') + std::string(8, '\0') + LE32(16) + std::string("0123456789ABCDEF");
    NamedProps p(firstNamedId);
    p.Tagged(0x0037, 0x001E, TnefString8("Lunch; with, friends"))
        .Tagged(0x1000, 0x001E, TnefString8("Line one\r\nLine two"))
        .Tagged(0x0042, 0x001E, TnefString8("Olga Organizer"))
        .Tagged(0x0064, 0x001E, TnefString8("SMTP"))
        .Tagged(0x0065, 0x001E, TnefString8("olga@example.com"))
        .Tagged(0x0063, 0x000B, TnefBool(true))
        .Tagged(0x0017, 0x0003, TnefLong(2))
        .Tagged(0x0039, 0x0040, TnefSysTime(FileTimeOf(2022, 12, 20, 9, 30, 15)))
        .Add(kPsetidAppointment, 0x820D, 0x0040, TnefSysTime(FileTimeOf(2023, 1, 6, 17, 0, 0)))
        .Add(kPsetidAppointment, 0x820E, 0x0040, TnefSysTime(FileTimeOf(2023, 1, 6, 18, 0, 0)))
        .Add(kPsetidAppointment, 0x8208, 0x001E, TnefString8("Diner, 2nd floor"))
        .Add(kPsetidAppointment, 0x8201, 0x0003, TnefLong(4))
        .Add(kPsetidAppointment, 0x8205, 0x0003, TnefLong(2))
        .Add(kPsetidAppointment, 0x8215, 0x000B, TnefBool(false))
        .Add(kPsetidAppointment, 0x8223, 0x000B, TnefBool(true))
        .Add(kPsetidAppointment, 0x825E, 0x0102, TnefBinary(zone))
        .Add(kPsetidAppointment, 0x825F, 0x0102, TnefBinary(zone))
        .Add(kPsetidAppointment, 0x8260, 0x0102, TnefBinary(zone))
        .Add(kPsetidAppointment, 0x8233, 0x0102, TnefBinary(TimeZoneStructBytes(EasternRule2007())))
        .Add(kPsetidAppointment, 0x8216, 0x0102, TnefBinary(recurrence))
        .Add(kPsetidMeeting, 0x0003, 0x0102, TnefBinary(goid))
        .Add(kPsetidCommon, 0x8503, 0x000B, TnefBool(true))
        .Add(kPsetidCommon, 0x8501, 0x0003, TnefLong(10));
    return TnefBuilder().Version().MessageClass(messageClass).MapiProps(p.List()).RecipientTable(Attendees()).Bytes();
}

// Whether the text holds the content line (unfolded).
bool HasLine(const std::string& text, const std::string& line)
{
    std::string unfolded = "\r\n" + text;
    for (size_t at; (at = unfolded.find("\r\n ")) != std::string::npos;)
        unfolded.erase(at, 3);
    return unfolded.find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST(ICalendar, AMeetingRequestWithItsZoneRecurrenceAndChangedInstances)
{
    auto message = Load(MeetingRequest(0x8100));
    std::vector<std::string> warnings;
    const std::string ics = ICalendarText(message->Properties(), &warnings);
    EXPECT_TRUE(warnings.empty());
    for (const char* line : { "METHOD:REQUEST", "TZID:Eastern Standard Time", "SUMMARY:Lunch\\; with\\, friends",
             "LOCATION:Diner\\, 2nd floor", "DESCRIPTION:Line one\\nLine two", "SEQUENCE:4",
             "DTSTART;TZID=Eastern Standard Time:20230106T120000", "DTEND;TZID=Eastern Standard Time:20230106T130000",
             "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=FR;COUNT=10", "EXDATE;TZID=Eastern Standard Time:20230113T120000",
             "RECURRENCE-ID;TZID=Eastern Standard Time:20230120T120000",
             "RECURRENCE-ID;TZID=Eastern Standard Time:20230127T120000", "SUMMARY:Thursday lunch", "LOCATION:Cafe",
             "ORGANIZER;CN=Olga Organizer:mailto:olga@example.com", "PRIORITY:1", "TRIGGER:-PT10M",
             "DTSTAMP:20221220T093015Z", "STATUS:CONFIRMED", "TRANSP:TRANSPARENT" })
        EXPECT_TRUE(HasLine(ics, line)) << line << "\n" << ics;
    EXPECT_FALSE(HasLine(ics, "EXDATE;TZID=Eastern Standard Time:20230120T120000"))
        << "a moved instance is no deletion";

    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-icalendar, python3-vobject or python3-dateutil missing";
    const Json read = IcsSummaryOfText(ics, 5);
    EXPECT_EQ(read["method"].string, "REQUEST");
    ASSERT_EQ(read["components"].array.size(), 3u);
    const Json& master = read["components"].array[0];
    EXPECT_EQ(master["summary"].string, "Lunch; with, friends");
    EXPECT_EQ(master["dtstart"].string, "2023-01-06T17:00:00Z");
    EXPECT_EQ(master["organizer"]["address"].string, "mailto:olga@example.com");
    ASSERT_EQ(master["attendees"].array.size(), 2u) << "the organizer's row is not an attendee";
    EXPECT_EQ(master["attendees"].array[0]["address"].string, "mailto:ann@example.com");
    EXPECT_EQ(master["attendees"].array[0]["cn"].string, "Doe, Ann");
    EXPECT_EQ(master["attendees"].array[0]["partstat"].string, "ACCEPTED");
    EXPECT_EQ(master["attendees"].array[1]["address"].string, "mailto:room4@example.com");
    EXPECT_EQ(master["attendees"].array[1]["role"].string, "NON-PARTICIPANT");
    const std::vector<std::pair<std::string, std::string>> expected
        = { { "2023-01-06T17:00:00Z", "Lunch; with, friends" }, { "2023-01-19T17:00:00Z", "Thursday lunch" },
              { "2023-01-27T17:00:00Z", "Lunch; with, friends" }, { "2023-02-03T17:00:00Z", "Lunch; with, friends" },
              { "2023-02-10T17:00:00Z", "Lunch; with, friends" } };
    const Json& instances = read["instances"].array.at(0);
    ASSERT_EQ(instances.array.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(instances.array[i]["start"].string, expected[i].first) << i;
        EXPECT_EQ(instances.array[i]["summary"].string, expected[i].second) << i;
    }
}

TEST(ICalendar, NamedPropertiesAreFoundByTheirSetNotTheirIdentifier)
{
    const std::string a = ICalendarText(Load(MeetingRequest(0x8100))->Properties());
    const std::string b = ICalendarText(Load(MeetingRequest(0x9F00))->Properties());
    EXPECT_EQ(a, b);
}

TEST(ICalendar, TheSameWallClockTimesWhateverTheMachinesZone)
{
    const std::string inUtc = ICalendarText(Load(MeetingRequest(0x8100))->Properties());
    for (const char* zone : { "America/New_York", "Asia/Tokyo", "Australia/Sydney" }) {
        ScopedTimeZone scoped(zone);
        EXPECT_EQ(ICalendarText(Load(MeetingRequest(0x8100))->Properties()), inUtc) << zone;
    }
}

TEST(ICalendar, ReplyAndCancellation)
{
    auto reply = Load(MeetingRequest(0x8100, "IPM.Schedule.Meeting.Resp.Tent"));
    const std::string r = ICalendarText(reply->Properties());
    EXPECT_TRUE(HasLine(r, "METHOD:REPLY"));
    EXPECT_TRUE(
        HasLine(r, "ATTENDEE;CN=Olga Organizer;ROLE=REQ-PARTICIPANT;PARTSTAT=TENTATIVE:mailto:olga@example.com"))
        << r;
    EXPECT_EQ(r.find("\r\nRRULE:FREQ=WEEKLY"), std::string::npos) << "a reply repeats no rule";
    EXPECT_EQ(r.find("BEGIN:VALARM"), std::string::npos);

    // The TNEF name of the class stands for the MAPI one.
    auto cancel = Load(MeetingRequest(0x8100, "IPM.Microsoft Schedule.MtgCncl"));
    EXPECT_EQ(ItemKindOf(cancel->Properties()), TItemKind::MeetingCancellation);
    const std::string c = ICalendarText(cancel->Properties());
    EXPECT_TRUE(HasLine(c, "METHOD:CANCEL"));
    EXPECT_TRUE(HasLine(c, "STATUS:CANCELLED"));
    EXPECT_EQ(c.find("BEGIN:VALARM"), std::string::npos);
    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-icalendar missing";
    EXPECT_EQ(IcsSummaryOfText(r)["method"].string, "REPLY");
    EXPECT_EQ(IcsSummaryOfText(c)["components"].array.at(0)["status"].string, "CANCELLED");
}

TEST(ICalendar, ADamagedRecurrenceLeavesTheFirstInstanceAndAWarning)
{
    std::string recurrence = RecurrenceRecord().Encode();
    recurrence.resize(30);
    auto message = Load(MeetingRequest(0x8100, "IPM.Appointment", recurrence));
    std::vector<std::string> warnings;
    const std::string ics = ICalendarText(message->Properties(), &warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("recurrence"), std::string::npos) << warnings[0];
    EXPECT_EQ(ics.find("\r\nRRULE:FREQ=WEEKLY"), std::string::npos);
    EXPECT_TRUE(HasLine(ics, "DTSTART;TZID=Eastern Standard Time:20230106T120000")) << ics;
    EXPECT_EQ(ics.find("METHOD"), std::string::npos) << "an appointment is no scheduling message";
}

TEST(ICalendar, TheMostChangedInstancesGiveAFileInProportionToTheMessage)
{
    // As many changed and deleted instances as a recurrence may hold, and a long body: the changed instances then
    // leave out what they would otherwise repeat, and the output stays in proportion.
    RecurrenceRecord r = DailyWithChangedInstances(kMaxRecurrenceExceptions);
    for (uint32_t i = 0; i < kMaxRecurrenceExceptions; ++i)
        r.Deleted.push_back(MinutesOf(2000, 1, 1) + 1440 * (2 * i));
    NamedProps p(0x8700);
    p.Tagged(0x0037, 0x001E, TnefString8("Daily"))
        .Tagged(0x1000, 0x001E, TnefString8(std::string(4000, 'b')))
        .Add(kPsetidAppointment, 0x8216, 0x0102, TnefBinary(r.Encode()))
        .Add(kPsetidAppointment, 0x8233, 0x0102, TnefBinary(TimeZoneStructBytes(TokyoRule())));
    auto message = Load(TnefBuilder().Version().MessageClass("IPM.Appointment").MapiProps(p.List()).Bytes());
    std::vector<std::string> warnings;
    const std::string ics = ICalendarText(message->Properties(), &warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("do not repeat"), std::string::npos);
    size_t events = 0, exdateLines = 0, exdates = 0;
    for (size_t at = 0; (at = ics.find("\r\nBEGIN:VEVENT", at)) != std::string::npos; ++at)
        ++events;
    std::string unfolded;
    for (size_t at = 0; at < ics.size(); ++at) {
        if (ics.compare(at, 3, "\r\n ") == 0)
            at += 2;
        else
            unfolded += ics[at];
    }
    for (size_t at = 0; (at = unfolded.find("\r\nEXDATE", at)) != std::string::npos; ++at) {
        ++exdateLines;
        const size_t end = unfolded.find("\r\n", at + 2);
        exdates += 1 + static_cast<size_t>(std::count(unfolded.begin() + static_cast<ptrdiff_t>(at),
            unfolded.begin() + static_cast<ptrdiff_t>(end), ','));
    }
    EXPECT_EQ(events, 1 + kMaxRecurrenceExceptions);
    // Every other deleted date is a changed instance's; the rest are deletions, many to a line.
    EXPECT_EQ(exdates, kMaxRecurrenceExceptions / 2);
    EXPECT_EQ(exdateLines, (kMaxRecurrenceExceptions / 2 + kICalendarExdatesPerLine - 1) / kICalendarExdatesPerLine);
    EXPECT_LT(ics.size(), 400u * kMaxRecurrenceExceptions);
}

TEST(ICalendar, AllDayEventsWithoutAZoneAreDates)
{
    NamedProps p(0x8400);
    p.Tagged(0x0037, 0x001E, TnefString8("Holiday"))
        .Add(kPsetidAppointment, 0x820D, 0x0040, TnefSysTime(FileTimeOf(2003, 6, 8, 22, 0, 0)))
        .Add(kPsetidAppointment, 0x820E, 0x0040, TnefSysTime(FileTimeOf(2003, 6, 10, 22, 0, 0)))
        .Add(kPsetidAppointment, 0x8215, 0x000B, TnefBool(true));
    auto message = Load(TnefBuilder().Version().MessageClass("IPM.Appointment").MapiProps(p.List()).Bytes());
    const std::string ics = ICalendarText(message->Properties());
    // Midnight in a zone two hours east of UTC: the days are the 9th and the 10th.
    EXPECT_TRUE(HasLine(ics, "DTSTART;VALUE=DATE:20030609")) << ics;
    EXPECT_TRUE(HasLine(ics, "DTEND;VALUE=DATE:20030611")) << ics;
    EXPECT_EQ(ics.find("VTIMEZONE"), std::string::npos);
}

TEST(ICalendar, RecurrenceEndsAndAllDayRecurrences)
{
    struct Case {
        const char* what;
        uint32_t endType, count;
        bool allDay;
        const char* rule;
    } cases[] = {
        { "by count", 0x2022, 3, false, "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=FR;COUNT=3" },
        { "by date", 0x2021, 10, false, "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=FR;UNTIL=20230310T170000Z" },
        { "never", 0x2023, 0, false, "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=FR" },
        { "never, old form", 0xFFFFFFFF, 0, false, "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=FR" },
        { "all day by date", 0x2021, 10, true, "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=FR;UNTIL=20230310" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecurrenceRecord r;
        r.Specific = { 0x20 };
        r.EndType = c.endType;
        r.OccurrenceCount = c.count;
        r.StartDate = MinutesOf(2023, 1, 6);
        r.EndDate = MinutesOf(2023, 3, 10);
        r.StartTimeOffset = c.allDay ? 0 : 720;
        r.EndTimeOffset = c.allDay ? 1440 : 780;
        r.Deleted = { MinutesOf(2023, 1, 13) };
        std::string bytes = MeetingRequest(0x8100, "IPM.Appointment", r.Encode());
        auto message = Load(bytes);
        if (c.allDay) {
            // Mark it all-day: rebuild with the flag set.
            NamedProps p(0x8100);
            p.Tagged(0x0037, 0x001E, TnefString8("Days"))
                .Add(kPsetidAppointment, 0x8215, 0x000B, TnefBool(true))
                .Add(kPsetidAppointment, 0x8216, 0x0102, TnefBinary(r.Encode()))
                .Add(kPsetidAppointment, 0x8233, 0x0102, TnefBinary(TimeZoneStructBytes(EasternRule2007())));
            message = Load(TnefBuilder().Version().MessageClass("IPM.Appointment").MapiProps(p.List()).Bytes());
        }
        const std::string ics = ICalendarText(message->Properties());
        EXPECT_TRUE(HasLine(ics, c.rule)) << ics;
        if (c.allDay) {
            EXPECT_TRUE(HasLine(ics, "DTSTART;VALUE=DATE:20230106"));
            EXPECT_TRUE(HasLine(ics, "DTEND;VALUE=DATE:20230107"));
            EXPECT_TRUE(HasLine(ics, "EXDATE;VALUE=DATE:20230113"));
        }
        if (CalendarReadersAvailable()) {
            const Json read = IcsSummaryOfText(ics, 3);
            const Json& first = read["instances"].array.at(0);
            ASSERT_EQ(first.array.size(), c.count == 3 ? 2u : 3u) << "the deleted instance is left out";
            EXPECT_EQ(first.array[1]["start"].string, c.allDay ? "2023-01-20" : "2023-01-20T17:00:00Z");
        }
    }
}

TEST(ICalendar, AZoneKnownOnlyByItsDescription)
{
    // Older clients keep only the plain zone record and its description, whose commas a TZID cannot carry.
    RecurrenceRecord r;
    r.Specific = { 0x02 };
    r.EndType = 0x2022;
    r.OccurrenceCount = 3;
    r.StartDate = MinutesOf(2023, 1, 2);
    r.StartTimeOffset = 540;
    r.EndTimeOffset = 600;
    NamedProps p(0x8600);
    p.Tagged(0x0037, 0x001E, TnefString8("Weekly"))
        .Add(kPsetidAppointment, 0x8216, 0x0102, TnefBinary(r.Encode()))
        .Add(kPsetidAppointment, 0x8233, 0x0102, TnefBinary(TimeZoneStructBytes(TokyoRule())))
        .Add(kPsetidAppointment, 0x8234, 0x001E, TnefString8("(UTC+09:00) Osaka, Sapporo; \"Tokyo\""));
    auto message = Load(TnefBuilder().Version().MessageClass("IPM.Appointment").MapiProps(p.List()).Bytes());
    const std::string ics = ICalendarText(message->Properties());
    EXPECT_TRUE(HasLine(ics, "TZID:(UTC+09:00) Osaka Sapporo Tokyo")) << ics;
    EXPECT_TRUE(HasLine(ics, "DTSTART;TZID=\"(UTC+09:00) Osaka Sapporo Tokyo\":20230102T090000")) << ics;
    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-icalendar missing";
    const Json read = IcsSummaryOfText(ics, 3);
    const Json& instances = read["instances"].array.at(0);
    ASSERT_EQ(instances.array.size(), 3u);
    EXPECT_EQ(instances.array[2]["start"].string, "2023-01-16T00:00:00Z");
}

TEST(ICalendar, TasksAndTaskRequests)
{
    NamedProps p(0x8300);
    p.Tagged(0x0037, 0x001E, TnefString8("Write the report"))
        .Tagged(0x1000, 0x001E, TnefString8("All of it."))
        .Tagged(0x0017, 0x0003, TnefLong(0))
        .Add(kPsetidTask, 0x8104, 0x0040, TnefSysTime(FileTimeOf(2015, 1, 6, 0, 0, 0)))
        .Add(kPsetidTask, 0x8105, 0x0040, TnefSysTime(FileTimeOf(2015, 1, 30, 0, 0, 0)))
        .Add(kPsetidTask, 0x8101, 0x0003, TnefLong(1))
        .Add(kPsetidTask, 0x8102, 0x0005, LE64(0x3FD0000000000000ULL)) // 0.25
        .Add(kPsetidCommon, 0x8519, 0x0102, TnefBinary(std::string(16, '\xAB')));
    const std::string task = TnefBuilder().Version().MessageClass("IPM.Task").MapiProps(p.List()).Bytes();
    const std::string ics = ICalendarText(Load(task)->Properties());
    for (const char* line : { "BEGIN:VTODO", "SUMMARY:Write the report", "DESCRIPTION:All of it.",
             "DTSTART;VALUE=DATE:20150106", "DUE;VALUE=DATE:20150130", "STATUS:IN-PROCESS", "PERCENT-COMPLETE:25",
             "PRIORITY:9", "UID:ABABABABABABABABABABABABABABABAB" })
        EXPECT_TRUE(HasLine(ics, line)) << line << "\n" << ics;

    // A task request carries the task as an attached message: the same to-do, sent (METHOD:REQUEST) from the
    // assigner, its sender, to the assignee, its recipient.
    TnefPropList attachment, sender, assignee;
    attachment.Object(0x3701, task).Long(0x3705, 5);
    sender.String8(0x0042, "Bo Boss").String8(0x0064, "SMTP").String8(0x0065, "bo@example.com");
    assignee.String8(0x3001, "Wu Worker").String8(0x39FE, "wu@example.com").Long(0x0C15, 1);
    const std::string request = TnefBuilder()
                                    .Version()
                                    .MessageClass("IPM.TaskRequest")
                                    .Subject("Task Request: Write the report")
                                    .MapiProps(sender)
                                    .RecipientTable({ assignee })
                                    .AttachRenddata()
                                    .AttachmentProps(attachment)
                                    .Bytes();
    auto requestMessage = Load(request);
    EXPECT_EQ(ItemKindOf(requestMessage->Properties()), TItemKind::TaskRequest);
    const std::string requestIcs = ICalendarText(requestMessage->Properties());
    EXPECT_TRUE(HasLine(requestIcs, "METHOD:REQUEST")) << requestIcs;
    EXPECT_TRUE(HasLine(requestIcs, "ORGANIZER;CN=Bo Boss:mailto:bo@example.com")) << requestIcs;
    EXPECT_TRUE(HasLine(requestIcs, "ATTENDEE;CN=Wu Worker;ROLE=REQ-PARTICIPANT;PARTSTAT=NEEDS-ACTION:mailto:wu@example.com"))
        << requestIcs;
    for (const char* line : { "SUMMARY:Write the report", "DUE;VALUE=DATE:20150130", "UID:ABABABABABABABABABABABABABABABAB" })
        EXPECT_TRUE(HasLine(requestIcs, line)) << line;
    EXPECT_FALSE(HasLine(ics, "METHOD:REQUEST")) << "a task alone is no scheduling message";
    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-icalendar missing";
    const Json read = IcsSummaryOfText(ics);
    EXPECT_EQ(read["components"].array.at(0)["kind"].string, "VTODO");
    EXPECT_EQ(read["components"].array.at(0)["due"].string, "2015-01-30");
    EXPECT_EQ(read["components"].array.at(0)["percent-complete"].number, 25);
}

TEST(ICalendar, MessagesOfAnotherKindAreRefusedAndNoFileIsLeft)
{
    TempDir dir;
    auto mail = Load(TnefBuilder().Version().MessageClass("IPM.Note").Subject("Hello").Bytes());
    EXPECT_THROW(ICalendarText(mail->Properties()), EWrongItemKind);
    EXPECT_THROW(SaveToICalendarFile(mail->Properties(), dir.File("x.ics")), EWrongItemKind);
    EXPECT_THROW(SaveToVCardFile(mail->Properties(), dir.File("x.vcf")), EWrongItemKind);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.ics")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.vcf")));
    try {
        ICalendarText(mail->Properties());
    } catch (const EWrongItemKind& e) {
        EXPECT_STREQ(
            e.what(), "The message is a mail message, not a calendar item or a task; it cannot be saved as iCalendar.");
    }
    auto request = Load(MeetingRequest(0x8100));
    EXPECT_THROW(VCardText(request->Properties()), EWrongItemKind);
    SaveToICalendarFile(request->Properties(), dir.File("meeting.ics"));
    EXPECT_EQ(ReadFileBytes(dir.File("meeting.ics")), ICalendarText(request->Properties()));
}

TEST(ItemKind, MessageClasses)
{
    struct Case {
        const char* cls;
        TItemKind kind;
    } cases[] = {
        { "IPM.Appointment", TItemKind::Appointment },
        { "ipm.appointment.MyForm", TItemKind::Appointment },
        { "IPM.AppointmentX", TItemKind::Message },
        { "IPM.Schedule.Meeting.Request", TItemKind::MeetingRequest },
        { "IPM.Schedule.Meeting.Canceled", TItemKind::MeetingCancellation },
        { "IPM.Schedule.Meeting.Resp.Pos", TItemKind::MeetingAccepted },
        { "IPM.Schedule.Meeting.Resp.Neg", TItemKind::MeetingDeclined },
        { "IPM.Schedule.Meeting.Resp.Tent", TItemKind::MeetingTentative },
        { "IPM.Schedule.Meeting.Notification.Forward", TItemKind::Message },
        { "IPM.Task", TItemKind::Task },
        { "IPM.TaskRequest.Accept", TItemKind::TaskRequest },
        { "IPM.Contact", TItemKind::Contact },
        { "IPM.DistList", TItemKind::DistributionList },
        { "IPM.Note", TItemKind::Message },
        { "", TItemKind::Message },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ItemKindOfClass(c.cls), c.kind) << c.cls;

    // A TNEF message names its class twice; the MAPI property wins over the legacy attribute.
    TnefPropList props;
    props.String8(0x001A, "IPM.Schedule.Meeting.Resp.Pos");
    auto both = Load(TnefBuilder().Version().MessageClass("IPM.Microsoft Schedule.MtgRespP").MapiProps(props).Bytes());
    EXPECT_EQ(ItemMessageClass(both->Properties()), "IPM.Schedule.Meeting.Resp.Pos");
    auto legacy = Load(TnefBuilder().Version().MessageClass("IPM.Microsoft Schedule.MtgRespA").Bytes());
    EXPECT_EQ(ItemMessageClass(legacy->Properties()), "IPM.Schedule.Meeting.Resp.Tent");
}

TEST(ICalendar, UidsFromGlobalObjectIds)
{
    const std::string head("\x04\x00\x00\x00\x82\x00\xE0\x00\x74\xC5\xB7\x10\x1A\x82\xE0\x08", 16);
    // An instance date (2023-01-20) is cleared: every instance shares the UID.
    const std::string instance
        = head + std::string("\x07\xE7\x01\x14", 4) + std::string(16, '\0') + LE32(2) + "\x01\x02";
    EXPECT_EQ(UidFromGlobalObjectId(instance),
        "040000008200E00074C5B7101A82E0080000000000000000000000000000000000000000020000000102");
    // Clients that speak iCalendar keep the UID they were given.
    const std::string vcal = head + std::string(20, '\0') + LE32(30) + std::string("vCal-Uid\x01\x00\x00\x00", 12)
        + "abc-123@example.org" + std::string(1, '\0');
    EXPECT_EQ(UidFromGlobalObjectId(vcal), "abc-123@example.org");
    EXPECT_EQ(AddressInText(u"Michael Rubinsky (mrubinsk@horde.org)"), "mrubinsk@horde.org");
    EXPECT_EQ(AddressInText(u"\"Doe, Jane\" <jane@example.com>"), "jane@example.com");
    EXPECT_EQ(AddressInText(u"plain@example.com"), "plain@example.com");
    EXPECT_EQ(AddressInText(u"Just A Name"), "");
}

TEST(ItemSummary, WhenAndWhereForTheHeader)
{
    ScopedTimeZone zone("America/New_York");
    auto appointment = Load(MeetingRequest(0x8100, "IPM.Appointment", ""));
    TItemSummary s = SummarizeItem(appointment->Properties());
    EXPECT_EQ(s.Kind, TItemKind::Appointment);
    EXPECT_EQ(s.SaveFormat, "ics");
    EXPECT_EQ(WideToUtf8(s.Where), "Diner, 2nd floor");
    std::string when = WideToUtf8(s.When);
    // ICU puts a narrow no-break space before AM/PM; compare with a plain blank.
    const std::string nnbsp = "\xE2\x80\xAF";
    for (size_t at = when.find(nnbsp); at != std::string::npos; at = when.find(nnbsp, at + 1))
        when = when.substr(0, at) + " " + when.substr(at + nnbsp.size());
    EXPECT_EQ(when, "Friday, January 6, 2023 12:00 PM \xE2\x80\x93 1:00 PM");
    EXPECT_EQ(WideToUtf8(FormatEventSpan(44932.0, 44934.0, true)),
        "Friday, January 6, 2023 \xE2\x80\x93 Saturday, January 7, 2023");
    EXPECT_EQ(WideToUtf8(FormatEventSpan(44932.0, 44933.0, true)), "Friday, January 6, 2023");

    auto mail = Load(TnefBuilder().Version().MessageClass("IPM.Note").Bytes());
    s = SummarizeItem(mail->Properties());
    EXPECT_EQ(s.SaveFormat, "");
    EXPECT_TRUE(s.When.empty());
}

TEST(VCard, AContactWithEverything)
{
    NamedProps p(0x8500);
    p.Tagged(0x3001, 0x001E, TnefString8("Dr. Ann B. Doe Jr."))
        .Tagged(0x3A06, 0x001E, TnefString8("Ann"))
        .Tagged(0x3A11, 0x001E, TnefString8("Doe"))
        .Tagged(0x3A44, 0x001E, TnefString8("B."))
        .Tagged(0x3A45, 0x001E, TnefString8("Dr."))
        .Tagged(0x3A05, 0x001E, TnefString8("Jr."))
        .Tagged(0x3A16, 0x001E, TnefString8("Acme; Inc."))
        .Tagged(0x3A18, 0x001E, TnefString8("Research"))
        .Tagged(0x3A17, 0x001E, TnefString8("Chemist"))
        .Tagged(0x3A08, 0x001E, TnefString8("+1 555 0100"))
        .Tagged(0x3A1C, 0x001E, TnefString8("+1 555 0199"))
        .Tagged(0x3A24, 0x001E, TnefString8("+1 555 0101"))
        .Tagged(0x3A5D, 0x001E, TnefString8("1 Home Road"))
        .Tagged(0x3A59, 0x001E, TnefString8("Springfield"))
        .Tagged(0x3A5A, 0x001E, TnefString8("USA"))
        .Tagged(0x3A42, 0x0040, TnefSysTime(FileTimeOf(1980, 5, 31, 22, 0, 0)))
        .Tagged(0x3A51, 0x001E, TnefString8("https://acme.example"))
        .Tagged(0x1000, 0x001E, TnefString8("Met at the fair,\r\nlikes tea."))
        .Add(kPsetidAddress, 0x8083, 0x001E, TnefString8("ann@acme.example"))
        .Add(kPsetidAddress, 0x8082, 0x001E, TnefString8("SMTP"))
        .Add(kPsetidAddress, 0x8093, 0x001E, TnefString8("/o=Acme/cn=ann"))
        .Add(kPsetidAddress, 0x8092, 0x001E, TnefString8("EX"))
        .Add(kPsetidAddress, 0x8094, 0x001E, TnefString8("Ann (ann.doe@home.example)"))
        .Add(kPsetidAddress, 0x8045, 0x001E, TnefString8("5 Lab Street"))
        .Add(kPsetidAddress, 0x8046, 0x001E, TnefString8("Shelbyville"))
        .Add(kPsetidAddress, 0x8048, 0x001E, TnefString8("12345"))
        .Add(kPsetidAddress, 0x8022, 0x0003, TnefLong(2));
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(300, 'j');
    TnefPropList photo;
    photo.Bool(0x7FFF, true).String8(0x3707, "ContactPicture.jpg");
    auto message = Load(TnefBuilder()
                            .Version()
                            .MessageClass("IPM.Contact")
                            .MapiProps(p.List())
                            .AttachRenddata()
                            .AttachData(jpeg)
                            .AttachmentProps(photo)
                            .Bytes());
    const std::string vcf = VCardText(message->Properties());
    for (const char* line : { "BEGIN:VCARD", "VERSION:4.0", "FN:Dr. Ann B. Doe Jr.", "N:Doe;Ann;B.;Dr.;Jr.",
             "ORG:Acme\\; Inc.;Research", "TITLE:Chemist", "EMAIL;PREF=1:ann@acme.example",
             "EMAIL;PREF=2:ann.doe@home.example", "TEL;VALUE=text;TYPE=work,voice:+1 555 0100",
             "TEL;VALUE=text;TYPE=cell,voice:+1 555 0199", "TEL;VALUE=text;TYPE=work,fax:+1 555 0101",
             "ADR;TYPE=home:;;1 Home Road;Springfield;;;USA", "ADR;TYPE=work;PREF=1:;;5 Lab Street;Shelbyville;;12345;",
             "BDAY:19800601", "URL;TYPE=work:https://acme.example", "NOTE:Met at the fair\\,\\nlikes tea." })
        EXPECT_TRUE(HasLine(vcf, line)) << line << "\n" << vcf;
    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-vobject missing";
    const Json read = VCardSummaryOfText(vcf);
    EXPECT_EQ(read["fn"].string, "Dr. Ann B. Doe Jr.");
    EXPECT_EQ(read["n"].array.at(0).string, "Doe");
    EXPECT_EQ(read["emails"].array.size(), 2u);
    EXPECT_EQ(read["tels"].array.size(), 3u);
    EXPECT_EQ(read["adrs"].array.size(), 2u);
    EXPECT_EQ(read["photo"]["type"].string, "data:image/jpeg;base64");
    EXPECT_EQ(read["photo"]["size"].number, static_cast<double>(jpeg.size()));
}

} // namespace

// A task's due date, status and percent complete, for the header: as the task's iCalendar gives them (DUE 20170310,
// IN-PROCESS, 0 %), from a task Outlook saved.
TEST(ItemSummary, TaskDueStatusAndPercentForTheHeader)
{
    const std::string path = TESSALY_CORPUS_DIR "/msg/poi__msgClassTask.msg";
    auto task = CreateMessageForFile(path);
    task->LoadFromFile(path);
    ScopedTimeZone zone("America/New_York");
    const TItemSummary s = SummarizeItem(task->Properties());
    EXPECT_EQ(WideToUtf8(s.Due), "Friday, March 10, 2017");
    EXPECT_EQ(s.TaskStatus, 1);
    EXPECT_EQ(s.PercentComplete, 0);
    EXPECT_TRUE(SummarizeItem(Load(MeetingRequest(0x8100, "IPM.Appointment", ""))->Properties()).Due.empty());
}
