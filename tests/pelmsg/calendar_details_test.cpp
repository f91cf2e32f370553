// Details of the calendar and contact files that calendar programs and address books care about: people without
// an address left out, busy statuses, an event without a start refused, a recurring task without a start
// anchored on its pattern, dates independent of the converting machine's zone, journal entries, vCard UIDs,
// categories and revisions, vCard 3.0, and distribution lists as groups.

#include <gtest/gtest.h>

#include "calendar/calendar.h"
#include "calendar_builder.h"
#include "calendar_readers.h"
#include "core/errors.h"
#include "core/stream.h"
#include "model/message.h"
#include "msg/named_properties.h"
#include "test_support.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

const std::array<uint8_t, 16> kPsetidLogSet
    = { 0x0A, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };
const std::array<uint8_t, 16> kPublicStrings
    = { 0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

// Adds named properties with identifiers from 0x8100 on.
class Named {
public:
    explicit Named(TnefPropList& list)
        : list_(list)
    {
    }
    Named& Add(const std::array<uint8_t, 16>& set, uint32_t lid, uint16_t type, const std::string& value)
    {
        list_.Raw(static_cast<uint32_t>(next_++) << 16 | type, NamedNumber(set, lid) + value);
        return *this;
    }

private:
    TnefPropList& list_;
    uint16_t next_ = 0x8100;
};

std::unique_ptr<TPelTNEFFile> Load(const std::string& bytes)
{
    auto message = std::make_unique<TPelTNEFFile>();
    TSpanStream stream(bytes);
    message->LoadFromStream(stream);
    return message;
}

bool HasLine(const std::string& text, const std::string& line)
{
    std::string unfolded = "\r\n" + text;
    for (size_t at; (at = unfolded.find("\r\n ")) != std::string::npos;)
        unfolded.erase(at, 3);
    return unfolded.find("\r\n" + line + "\r\n") != std::string::npos;
}

std::string Meeting(const TnefPropList& extra, const std::vector<TnefPropList>& people, bool withStart = true)
{
    TnefPropList p = extra;
    p.String8(0x0037, "Review");
    Named named(p);
    if (withStart) {
        named.Add(kPsetidAppointment, 0x820D, 0x0040, TnefSysTime(FileTimeOf(2023, 5, 2, 9, 0, 0)));
        named.Add(kPsetidAppointment, 0x820E, 0x0040, TnefSysTime(FileTimeOf(2023, 5, 2, 10, 0, 0)));
    }
    named.Add(kPsetidAppointment, 0x8205, 0x0003, TnefLong(4)); // working elsewhere
    named.Add(kPsetidAppointment, 0x8224, 0x0003, TnefLong(2)); // meant as busy
    return TnefBuilder().Version().MessageClass("IPM.Schedule.Meeting.Request").MapiProps(p).RecipientTable(people).Bytes();
}

TEST(CalendarDetails, PeopleWithoutAnAddressAreLeftOutAndBusyStatuses)
{
    TnefPropList sender, unknownOrganizer, named, nameless;
    sender.String8(0x0042, "Unknown");
    unknownOrganizer.String8(0x3001, "Unknown").Long(0x5FFD, 3);
    named.String8(0x3001, "Ann").String8(0x39FE, "ann@example.com").Long(0x0C15, 1);
    nameless.String8(0x3001, "Room without mail").Long(0x0C15, 1);
    const std::string ics = ICalendarText(Load(Meeting(sender, { unknownOrganizer, named, nameless }))->Properties());
    EXPECT_EQ(ics.find("invalid:nomail"), std::string::npos) << ics;
    EXPECT_EQ(ics.find("ORGANIZER"), std::string::npos) << ics;
    EXPECT_TRUE(HasLine(ics, "ATTENDEE;CN=Ann;ROLE=REQ-PARTICIPANT;PARTSTAT=NEEDS-ACTION:mailto:ann@example.com"))
        << ics;
    EXPECT_EQ(ics.find("Room without mail"), std::string::npos);
    EXPECT_TRUE(HasLine(ics, "TRANSP:TRANSPARENT"));
    EXPECT_TRUE(HasLine(ics, "X-MICROSOFT-CDO-BUSYSTATUS:WORKINGELSEWHERE"));
    EXPECT_TRUE(HasLine(ics, "X-MICROSOFT-CDO-INTENDEDSTATUS:BUSY"));
}

TEST(CalendarDetails, AnEventWithoutAStartIsRefusedWithAClearMessage)
{
    auto message = Load(Meeting({}, {}, false));
    try {
        (void)ICalendarText(message->Properties());
        FAIL() << "an event without a start was written";
    } catch (const EFormatError& e) {
        EXPECT_STREQ(e.what(),
            "The meeting request has no start time, which iCalendar requires; it cannot be saved as iCalendar.");
    }
}

TEST(CalendarDetails, TimesDoNotDependOnTheMachinesZone)
{
    // Only the legacy sent-date record dates the request: its stamp is the same in every zone.
    const std::string dateRecord("\xE7\x07\x05\x00\x01\x00\x08\x00\x1E\x00\x00\x00\x01\x00", 14);
    TnefPropList none;
    TnefPropList p;
    p.String8(0x0037, "Review");
    Named(p)
        .Add(kPsetidAppointment, 0x820D, 0x0040, TnefSysTime(FileTimeOf(2023, 3, 26, 1, 30, 0)))
        .Add(kPsetidAppointment, 0x820E, 0x0040, TnefSysTime(FileTimeOf(2023, 3, 26, 2, 30, 0)));
    const std::string tnef = TnefBuilder()
                                 .Version()
                                 .MessageClass("IPM.Schedule.Meeting.Request")
                                 .Attribute(1, 0x00038005, dateRecord)
                                 .MapiProps(p)
                                 .Bytes();
    std::string first;
    for (const char* zone : { "UTC", "Europe/Berlin", "America/New_York", "Asia/Tokyo" }) {
        SCOPED_TRACE(zone);
        ScopedTimeZone tz(zone);
        const std::string ics = ICalendarText(Load(tnef)->Properties());
        EXPECT_TRUE(HasLine(ics, "DTSTAMP:20230501T083000Z")) << ics;
        EXPECT_TRUE(HasLine(ics, "DTSTART:20230326T013000Z")) << ics;
        if (first.empty())
            first = ics;
        EXPECT_EQ(ics, first);
    }
}

std::string RecurringTask(bool withPatternStart)
{
    RecurrenceRecord r;
    r.Appointment = false;
    r.Specific = { 0x05 }; // Sunday and Tuesday
    r.StartDate = withPatternStart ? MinutesOf(2015, 1, 6) : 0;
    TnefPropList p;
    p.String8(0x0037, "Water the plants");
    Named(p)
        .Add(kPsetidTask, 0x8126, 0x000B, TnefBool(true))
        .Add(kPsetidTask, 0x8116, 0x0102, TnefBinary(r.Encode()))
        .Add(kPsetidTask, 0x8105, 0x0040, TnefSysTime(FileTimeOf(2015, 1, 6, 0, 0, 0)));
    return TnefBuilder().Version().MessageClass("IPM.Task").MapiProps(p).Bytes();
}

TEST(CalendarDetails, ARecurringTaskWithoutAStartKeepsItsRecurrence)
{
    std::vector<std::string> warnings;
    const std::string ics = ICalendarText(Load(RecurringTask(true))->Properties(), &warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(HasLine(ics, "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=SU,TU")) << ics;
    EXPECT_TRUE(HasLine(ics, "DTSTART;VALUE=DATE:20150106")) << ics;
    if (CalendarReadersAvailable()) {
        const Json read = IcsSummaryOfText(ics, 3);
        const Json& instances = read["instances"].array.at(0);
        ASSERT_EQ(instances.array.size(), 3u);
        EXPECT_EQ(instances.array[1]["start"].string, "2015-01-11");
        EXPECT_EQ(instances.array[2]["start"].string, "2015-01-13");
    }
    // Nothing to anchor the rule on: no rule, and a warning that says so.
    warnings.clear();
    const std::string unanchored = ICalendarText(Load(RecurringTask(false))->Properties(), &warnings);
    EXPECT_EQ(unanchored.find("RRULE"), std::string::npos);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("has a start date"), std::string::npos) << warnings[0];
}

TEST(CalendarDetails, AJournalEntryIsAJournal)
{
    TnefPropList p;
    p.String8(0x0037, "Call with Ann").String8(0x1000, "Talked about the plan.");
    Named(p)
        .Add(kPsetidLogSet, 0x8706, 0x0040, TnefSysTime(FileTimeOf(2020, 2, 3, 14, 0, 0)))
        .Add(kPsetidLogSet, 0x8700, 0x001E, TnefString8("Phone call"));
    auto message = Load(TnefBuilder().Version().MessageClass("IPM.Activity").MapiProps(p).Bytes());
    EXPECT_EQ(ItemKindOf(message->Properties()), TItemKind::Journal);
    const std::string ics = ICalendarText(message->Properties());
    for (const char* line : { "BEGIN:VJOURNAL", "DTSTART:20200203T140000Z", "SUMMARY:Call with Ann",
             "DESCRIPTION:Talked about the plan.", "CATEGORIES:Phone call", "END:VJOURNAL" })
        EXPECT_TRUE(HasLine(ics, line)) << line << "\n" << ics;
}

std::string Contact()
{
    TnefPropList p;
    p.String8(0x3001, "Ann Example").String8(0x3A06, "Ann").String8(0x3A11, "Example");
    p.Binary(0x300B, std::string("\x01\x02\xAB\xCD", 4));
    p.Raw(0x3008u << 16 | 0x0040, TnefSysTime(FileTimeOf(2022, 7, 20, 23, 58, 23)));
    Named named(p);
    named.Add(kPsetidAddress, 0x8083, 0x001E, TnefString8("ann@example.com"))
        .Add(kPsetidAddress, 0x8082, 0x001E, TnefString8("SMTP"));
    // Categories: the multi-valued "Keywords" of the public strings.
    std::string keywords = std::string(reinterpret_cast<const char*>(kPublicStrings.data()), 16) + LE32(1) + LE32(18);
    for (char c : std::string("Keywords"))
        keywords += std::string(1, c) + '\0';
    keywords += std::string(2, '\0') + std::string(2, '\0');
    p.Raw(0x8110u << 16 | 0x101E,
        keywords + LE32(2) + LE32(8) + "Friends" + '\0' + LE32(5) + "Golf" + '\0' + std::string(3, '\0'));
    return TnefBuilder().Version().MessageClass("IPM.Contact").MapiProps(p).Bytes();
}

TEST(CalendarDetails, VCardsCarryAUidCategoriesAndTheirLastChange)
{
    auto message = Load(Contact());
    const std::string card = VCardText(message->Properties());
    EXPECT_TRUE(HasLine(card, "UID:0102ABCD")) << card;
    EXPECT_TRUE(HasLine(card, "REV:20220720T235823Z")) << card;
    EXPECT_TRUE(HasLine(card, "CATEGORIES:Friends,Golf")) << card;
    EXPECT_TRUE(HasLine(card, "VERSION:4.0"));
    const std::string v3 = VCardText(message->Properties(), TVCardOptions { 3 });
    EXPECT_TRUE(HasLine(v3, "VERSION:3.0")) << v3;
    EXPECT_TRUE(HasLine(v3, "UID:0102ABCD"));
    EXPECT_TRUE(HasLine(v3, "EMAIL;TYPE=INTERNET,pref:ann@example.com")) << v3;
    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-vobject missing";
    for (const std::string* text : { &card, &v3 }) {
        const Json read = VCardSummaryOfText(*text);
        EXPECT_FALSE(read.IsNull());
    }
}

// A one-off entry id: flags, the one-off provider, version, flags (0x8000: UTF-16), name, type, address.
std::string OneOff(const std::string& name, const std::string& address)
{
    std::string id = std::string(4, '\0')
        + std::string("\x81\x2B\x1F\xA4\xBE\xA3\x10\x19\x9D\x6E\x00\xDD\x01\x0F\x54\x02", 16) + LE16(0) + LE16(0x8001);
    for (const std::string& field : { name, std::string("SMTP"), address }) {
        for (char c : field)
            id += std::string(1, c) + '\0';
        id += std::string(2, '\0');
    }
    return id;
}

TEST(CalendarDetails, ADistributionListIsAGroupOfItsMembers)
{
    TnefPropList p;
    p.String8(0x0037, "Team");
    const std::string members[] = { OneOff("Ann", "ann@example.com"), OneOff("Bo", "bo@example.com"),
        std::string("\x00\x00\x00\x00 not an entry id", 20) };
    std::string values = LE32(3);
    for (const std::string& m : members)
        values += LE32(static_cast<uint32_t>(m.size())) + m + std::string((4 - m.size() % 4) % 4, '\0');
    p.Raw(0x8100u << 16 | 0x1102, NamedNumber(kPsetidAddress, 0x8054) + values);
    auto message = Load(TnefBuilder().Version().MessageClass("IPM.DistList").MapiProps(p).Bytes());
    const std::string card = VCardText(message->Properties());
    for (const char* line : { "KIND:group", "FN:Team", "MEMBER:mailto:ann@example.com", "MEMBER:mailto:bo@example.com" })
        EXPECT_TRUE(HasLine(card, line)) << line << "\n" << card;
    EXPECT_NE(card.find("\r\nUID:"), std::string::npos);
    const std::string v3 = VCardText(message->Properties(), TVCardOptions { 3 });
    EXPECT_TRUE(HasLine(v3, "X-ADDRESSBOOKSERVER-KIND:group")) << v3;
    EXPECT_TRUE(HasLine(v3, "X-ADDRESSBOOKSERVER-MEMBER:mailto:bo@example.com")) << v3;
}

} // namespace
