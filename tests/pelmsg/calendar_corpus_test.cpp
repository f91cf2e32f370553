// The calendar items, contacts and tasks of the real-world corpus: every one converts and the result parses with
// python3-icalendar or python3-vobject; the recurring appointments expand to the instances their recurrence and
// the peers' expected outputs describe; the TNEF meeting requests agree with what ytnef makes of them.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "calendar/calendar.h"
#include "calendar_readers.h"
#include "message_file.h"
#include "mini_json.h"
#include "model/message.h"
#include "sha256.h"
#include "test_support.h"
#include "text/codepage.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::unique_ptr<TPelMessage> LoadCorpus(const std::string& relative)
{
    const std::string path = CorpusPath(relative);
    auto message = CreateMessageForFile(path);
    message->LoadFromFile(path);
    return message;
}

// The peers' expected output of a corpus file (the JSON hiraoka-msgreader writes).
Json PeerJson(const std::string& file)
{
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusPath("expected/" + file)))
        if (entry.path().extension() == ".json")
            return Json::Parse(ReadFileBytes(entry.path().string()));
    throw std::runtime_error("no expected JSON for " + file);
}

// "Fri, 06 Jan 2023 03:00:00 GMT" as "2023-01-06T03:00:00Z".
std::string IsoOfHttpDate(const std::string& text)
{
    static const char* months[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (text.substr(8, 3) == months[i])
            month = i + 1;
    char out[32];
    std::snprintf(out, sizeof out, "%s-%02d-%sT%sZ", text.substr(12, 4).c_str(), month, text.substr(5, 2).c_str(),
        text.substr(17, 8).c_str());
    return out;
}

// Every test here reads the corpus and hands what it writes to the Python calendar readers: without either, it
// is skipped.
class CalendarCorpus : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CorpusAvailable() || !CalendarReadersAvailable())
            GTEST_SKIP() << "corpus or python3-icalendar/vobject/dateutil missing";
    }
};

TEST_F(CalendarCorpus, EveryCalendarItemContactAndTaskConvertsAndParses)
{
    int events = 0, tasks = 0, contacts = 0;
    for (const char* folder : { "tnef", "msg" }) {
        for (const auto& entry : std::filesystem::directory_iterator(CorpusPath(folder))) {
            const std::string file = entry.path().filename().string();
            SCOPED_TRACE(file);
            std::unique_ptr<TPelMessage> message;
            try {
                message = LoadCorpus(std::string(folder) + "/" + file);
            } catch (const EPelMsgError&) {
                continue; // the readers' own tests cover files that do not load
            }
            if (const TMSGProperties* item = ICalendarItem(message->Properties())) {
                std::vector<std::string> warnings;
                const std::string ics = ICalendarText(message->Properties(), &warnings);
                EXPECT_TRUE(warnings.empty()) << warnings.front();
                const Json read = IcsSummaryOfText(ics, 5);
                ASSERT_FALSE(read["components"].array.empty());
                (ItemKindOf(*item) == TItemKind::Task ? tasks : events)++;
            }
            if (VCardItem(message->Properties())) {
                const Json read = VCardSummaryOfText(VCardText(message->Properties()));
                EXPECT_FALSE(read["fn"].string.empty());
                ++contacts;
            }
        }
    }
    // 7 TNEF and 15 .msg items: appointments, meeting requests and a response; three tasks; four contacts.
    EXPECT_EQ(events, 19);
    EXPECT_EQ(tasks, 3);
    EXPECT_EQ(contacts, 4);
}

struct Appointment {
    const char* file;
    std::vector<const char*> instances; // the first five (fewer when the series is shorter), UTC or dates
};

// The first instances, as the recurrence in each message (and in the peers' JSON of it) describes them: Tokyo
// time (UTC+9).
const Appointment kHiraokaAppointments[] = {
    // Daily, all day, 2022-12-01 to 12-07.
    { "hiraoka-msgreader__7_days__everyday.msg",
        { "2022-12-01", "2022-12-02", "2022-12-03", "2022-12-04", "2022-12-05" } },
    // Every weekday, all day, once.
    { "hiraoka-msgreader__A_daily_1.msg", { "2022-12-12" } },
    // Weekly on Monday 16:00-16:30, once.
    { "hiraoka-msgreader__A_weekly_1.msg", { "2022-12-12T07:00:00Z" } },
    // Monthly on the 12th, all day, once.
    { "hiraoka-msgreader__A_monthly_1.msg", { "2022-12-12" } },
    // Yearly on December 12, all day, once.
    { "hiraoka-msgreader__A_yearly_1.msg", { "2022-12-12" } },
    // Every Friday of 2023, 12:00-13:00.
    { "hiraoka-msgreader__Lanch_time__every_friday__in_2023_org.msg",
        { "2023-01-06T03:00:00Z", "2023-01-13T03:00:00Z", "2023-01-20T03:00:00Z", "2023-01-27T03:00:00Z",
            "2023-02-03T03:00:00Z" } },
    // The same with 01-06 deleted and 01-13 moved to Thursday 01-12.
    { "hiraoka-msgreader__Lanch_time__every_friday__in_2023_chgs1.msg",
        { "2023-01-12T03:00:00Z", "2023-01-20T03:00:00Z", "2023-01-27T03:00:00Z", "2023-02-03T03:00:00Z",
            "2023-02-10T03:00:00Z" } },
    { "hiraoka-msgreader__Lanch_time__every_friday__in_2023_chgs2.msg",
        { "2023-01-12T03:00:00Z", "2023-01-20T03:00:00Z", "2023-01-27T03:00:00Z", "2023-02-03T03:00:00Z",
            "2023-02-10T03:00:00Z" } },
    // Every Friday of 2023 with 01-06 deleted, 01-13 moved to Monday 01-09, 01-20 changed in busy status.
    { "hiraoka-msgreader__Friday_Lunch.msg",
        { "2023-01-09T03:00:00Z", "2023-01-20T03:00:00Z", "2023-01-27T03:00:00Z", "2023-02-03T03:00:00Z",
            "2023-02-10T03:00:00Z" } },
};

TEST_F(CalendarCorpus, RecurringAppointmentsExpandToTheirInstances)
{
    for (const Appointment& a : kHiraokaAppointments) {
        SCOPED_TRACE(a.file);
        auto message = LoadCorpus(std::string("msg/") + a.file);
        const Json read = IcsSummaryOfText(ICalendarText(message->Properties()), 5);
        ASSERT_EQ(read["instances"].array.size(), 1u);
        const Json& instances = read["instances"].array[0];
        ASSERT_EQ(instances.array.size(), a.instances.size());
        for (size_t i = 0; i < a.instances.size(); ++i)
            EXPECT_EQ(instances.array[i]["start"].string, a.instances[i]) << i;

        // The series starts where the peers' JSON says the appointment starts (its first instance, deleted or not).
        const Json peer = PeerJson(a.file);
        const Json& master = read["components"].array[0];
        if (master["dtstart"].string.size() > 10) {
            EXPECT_EQ(master["dtstart"].string, IsoOfHttpDate(peer["apptStartWhole"].string));
        }
        // As many changed instances as the peers list.
        EXPECT_EQ(read["components"].array.size(), 1 + peer["apptRecur"]["exceptionInfo"].array.size());
    }
}

TEST_F(CalendarCorpus, SingleAppointmentsStartWhereThePeersSay)
{
    struct Case {
        const char* file;
        const char* start;
        const char* end;
    } cases[] = {
        { "hiraoka-msgreader__A_schedule.msg", "2021-10-13T09:30:00Z", "2021-10-13T10:00:00Z" },
        { "hiraoka-msgreader__Appointment_sample_EST.msg", "2022-12-04T13:00:00Z", "2022-12-04T13:30:00Z" },
        // All day on 2022-12-02 in Tokyo (15:00 UTC the day before).
        { "hiraoka-msgreader__A_black_friday__w_tz_.msg", "2022-12-02", "2022-12-03" },
        { "hiraoka-msgreader__A_black_friday__wo_tz_.msg", "2022-12-02", "2022-12-03" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto message = LoadCorpus(std::string("msg/") + c.file);
        const std::string ics = ICalendarText(message->Properties());
        const Json read = IcsSummaryOfText(ics);
        const Json& event = read["components"].array.at(0);
        EXPECT_EQ(event["dtstart"].string, c.start);
        EXPECT_EQ(event["dtend"].string, c.end);
        const Json peer = PeerJson(c.file);
        EXPECT_EQ(event["summary"].string, peer["subject"].string);
        EXPECT_EQ(event["location"].string, peer["apptLocation"].string);
        if (std::string(c.start).size() > 10) {
            EXPECT_EQ(event["dtstart"].string, IsoOfHttpDate(peer["apptStartWhole"].string));
        }
    }
}

// What ytnef writes for a TNEF file, read with the same reader; empty when ytnef is not installed.
Json YtnefCalendar(const std::string& file, std::string& sha256)
{
    if (!ToolAvailable("/usr/bin/ytnef"))
        return Json();
    TempDir dir;
    RunCommand(
        "/usr/bin/ytnef -F -f " + ShellQuote(dir.Path()) + " " + ShellQuote(CorpusPath("tnef/" + file)) + " 2>&1");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string bytes = ReadFileBytes(entry.path().string());
        if (bytes.rfind("BEGIN:VCALENDAR", 0) == 0) {
            sha256 = Sha256Hex(bytes);
            return IcsSummary(entry.path().string());
        }
    }
    return Json();
}

std::string Trimmed(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n'))
        s.pop_back();
    while (!s.empty() && s.front() == ' ')
        s.erase(0, 1);
    return s;
}

TEST_F(CalendarCorpus, TnefMeetingRequestsAgreeWithYtnef)
{
    struct Case {
        const char* file;
        // What we write for the organizer, and why it differs from ytnef's.
        const char* organizer;
        const char* attendee;
    } cases[] = {
        // Neither message names its sender (TNEF leaves that to the mail around it); ytnef writes no organizer, we
        // take the address that last changed the request (PR_LAST_MODIFIER_NAME).
        { "horde-compress__TnefMeetingRequest.tnef", "mailto:jordyn@theupstairsroom.com",
            "mailto:mike@theupstairsroom.com" },
        // ytnef writes the attendee's display name as its address ("MAILTO:Michael Rubinsky (mrubinsk@horde.org)");
        // we write the address the name holds, and the name as CN.
        { "horde-compress__winmail2.dat", "mailto:mike@theupstairsroom.com", "mailto:mrubinsk@horde.org" },
        // An appointment, not a meeting: no organizer (ytnef writes the sender's search key, upper-cased).
        { "verdammelt-tnef__triples.tnef", "", "" },
    };
    int compared = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto message = LoadCorpus(std::string("tnef/") + c.file);
        const Json ours = IcsSummaryOfText(ICalendarText(message->Properties()));
        const Json& event = ours["components"].array.at(0);
        EXPECT_EQ(event["organizer"]["address"].string, c.organizer);
        if (*c.attendee) {
            EXPECT_EQ(event["attendees"].array.at(0)["address"].string, c.attendee);
        }
        std::string sha256;
        const Json theirs = YtnefCalendar(c.file, sha256);
        if (theirs.IsNull())
            continue;
        // The same file the corpus oracle recorded.
        const Json oracle = Json::Parse(ReadFileBytes(CorpusPath("oracle/" + std::string(c.file) + ".json")));
        EXPECT_EQ(sha256, oracle["ytnef_extract"]["files"].array.at(0)["sha256"].string);
        const Json& their = theirs["components"].array.at(0);
        EXPECT_EQ(event["dtstart"].string, their["dtstart"].string);
        EXPECT_EQ(event["dtend"].string, their["dtend"].string);
        EXPECT_EQ(event["summary"].string, their["summary"].string);
        // ytnef puts a blank before the location.
        EXPECT_EQ(event["location"].string, Trimmed(their["location"].string));
        EXPECT_EQ(Trimmed(event["description"].string), Trimmed(their["description"].string));
        ASSERT_EQ(event["attendees"].array.size(), their["attendees"].array.size());
        for (size_t i = 0; i < event["attendees"].array.size(); ++i) {
            // The same person: ytnef's address (a display name or an address) holds ours.
            std::string address = event["attendees"].array[i]["address"].string.substr(7);
            EXPECT_NE(their["attendees"].array[i]["address"].string.find(address), std::string::npos);
        }
        EXPECT_EQ(event["rrule"].string, their["rrule"].string);
        ++compared;
    }
    if (ToolAvailable("/usr/bin/ytnef")) {
        EXPECT_EQ(compared, 3);
    }
}

TEST_F(CalendarCorpus, TnefMeetingMessagesAsHordesTestsExpectThem)
{
    // horde/Compress turns these TNEF files into iCalendar in its tests; its expectations, as noted in the corpus.
    {
        auto message = LoadCorpus("tnef/horde-compress__winmail2.dat");
        const std::string ics = ICalendarText(message->Properties());
        const Json read = IcsSummaryOfText(ics);
        const Json& event = read["components"].array.at(0);
        EXPECT_EQ(read["method"].string, "REQUEST");
        EXPECT_EQ(event["summary"].string, "Test Meeting");
        EXPECT_EQ(event["description"].string, "This is a test meeting.");
        EXPECT_EQ(event["organizer"]["address"].string, "mailto:mike@theupstairsroom.com");
        ASSERT_EQ(event["attendees"].array.size(), 1u);
        EXPECT_EQ(event["attendees"].array[0]["address"].string, "mailto:mrubinsk@horde.org");
        EXPECT_EQ(event["attendees"].array[0]["role"].string, "REQ-PARTICIPANT");
        EXPECT_EQ(event["attendees"].array[0]["partstat"].string, "NEEDS-ACTION");
        EXPECT_NE(ics.find(";RSVP=TRUE"), std::string::npos);
    }
    {
        auto message = LoadCorpus("tnef/horde-compress__Itip_Reply.winmail.dat");
        const Json read = IcsSummaryOfText(ICalendarText(message->Properties()));
        const Json& event = read["components"].array.at(0);
        EXPECT_EQ(read["method"].string, "REPLY");
        EXPECT_EQ(event["summary"].string, "Infoveranstaltung VDI/VDE Jena \"Digitalisierung Medizintechnik\"");
        ASSERT_EQ(event["attendees"].array.size(), 1u);
        EXPECT_EQ(event["attendees"].array[0]["address"].string, "mailto:J.Meier@medizin.uni-leipzig.de");
        EXPECT_EQ(event["attendees"].array[0]["partstat"].string, "ACCEPTED");
    }
    {
        // Horde answers a task request with an iTIP request (METHOD REQUEST, the sender as ORGANIZER); we write
        // the task itself, to be imported as a to-do.
        auto message = LoadCorpus("tnef/horde-compress__tnef_task.winmail.dat");
        const Json read = IcsSummaryOfText(ICalendarText(message->Properties()));
        const Json& task = read["components"].array.at(0);
        EXPECT_EQ(task["kind"].string, "VTODO");
        EXPECT_EQ(task["summary"].string, "Test Task");
        EXPECT_EQ(task["due"].string, "2015-01-30");
        EXPECT_EQ(task["status"].string, "IN-PROCESS");
    }
}

TEST_F(CalendarCorpus, ContactsCarryThePeersFields)
{
    auto message = LoadCorpus("msg/hiraoka-msgreader__contactUnicode.msg");
    const Json card = VCardSummaryOfText(VCardText(message->Properties()));
    const Json peer = PeerJson("hiraoka-msgreader__contactUnicode.msg");
    EXPECT_EQ(card["fn"].string, peer["name"].string);
    EXPECT_EQ(card["n"].array.at(0).string, peer["surname"].string);
    EXPECT_EQ(card["n"].array.at(1).string, peer["givenName"].string);
    EXPECT_EQ(card["org"].array.at(0).string, peer["companyName"].string);
    EXPECT_EQ(card["title"].string, peer["title"].string);
    EXPECT_EQ(card["emails"].array.at(0).string, peer["email1EmailAddress"].string);
    std::vector<std::string> numbers;
    for (const Json& tel : card["tels"].array)
        numbers.push_back(tel["number"].string);
    for (const char* key :
        { "businessTelephoneNumber", "homeTelephoneNumber", "mobileTelephoneNumber", "businessFaxNumber" })
        EXPECT_NE(std::find(numbers.begin(), numbers.end(), peer[key].string), numbers.end()) << key;
    EXPECT_EQ(card["adrs"].array.at(0)["city"].string, peer["addressCity"].string);
    EXPECT_EQ(card["adrs"].array.at(0)["code"].string, peer["postalCode"].string);
    EXPECT_EQ(card["bday"].string, "20000101");
    EXPECT_EQ(card["urls"].array.at(0).string, peer["businessHomePage"].string);
}

} // namespace
