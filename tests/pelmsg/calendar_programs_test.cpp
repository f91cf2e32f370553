// Real calendar programs and address books take what the writers make of every calendar item, task and contact
// of the corpus: khal (its iCalendar reader, and an import into a calendar), calcurse (an import of events and
// to-dos) and khard (an address book of the vCards). Each runs in a private home with its own configuration;
// the test skips itself when a program or the corpus is missing.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

#include "calendar/calendar.h"
#include "calendar/civil_time.h"
#include "message_file.h"
#include "model/message.h"
#include "model/tags.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

bool Installed(const char* program) { return ::access((std::string("/usr/bin/") + program).c_str(), X_OK) == 0; }

// A private home: HOME and the XDG folders point into it, the zone is UTC, and the programs' configurations
// name calendars and address books inside it.
class PrivateHome {
public:
    PrivateHome()
    {
        for (const char* sub : { "/cal", "/calcurse", "/book", "/config", "/data", "/cache" })
            std::filesystem::create_directories(dir_.Path() + sub);
        WriteFileBytes(dir_.File("khal.conf"),
            "[calendars]\n[[test]]\npath = " + dir_.File("cal")
                + "\ntype = calendar\n[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\n"
                  "longdateformat = %Y-%m-%d\ndatetimeformat = %Y-%m-%d %H:%M\n"
                  "longdatetimeformat = %Y-%m-%d %H:%M\ndefault_timezone = UTC\nlocal_timezone = UTC\n");
        WriteFileBytes(dir_.File("khard.conf"),
            "[addressbooks]\n[[test]]\npath = " + dir_.File("book")
                + "\n[general]\ndebug = no\ndefault_action = list\neditor = /bin/false\nmerge_editor = /bin/false\n"
                  "[contact table]\ndisplay = formatted_name\ngroup_by_addressbook = no\nreverse = no\n"
                  "show_nicknames = no\nshow_uids = yes\nsort = last_name\nlocalize_dates = no\n"
                  "preferred_phone_number_type = pref, cell, home\npreferred_email_address_type = pref, work, home\n"
                  "[vcard]\nprivate_objects = Jabber,\npreferred_version = 3.0\nsearch_in_source_files = no\n"
                  "skip_unparsable = no\n");
    }
    CommandResult Run(const std::string& command) const
    {
        const std::string env = "env -i PATH=/usr/bin:/bin HOME=" + ShellQuote(dir_.Path())
            + " XDG_CONFIG_HOME=" + ShellQuote(dir_.File("config")) + " XDG_DATA_HOME=" + ShellQuote(dir_.File("data"))
            + " XDG_CACHE_HOME=" + ShellQuote(dir_.File("cache")) + " TZ=UTC LC_ALL=C.UTF-8 ";
        return RunCommand(env + "timeout 120 " + command + " 2>&1");
    }
    std::string File(const std::string& name) const { return dir_.File(name); }

private:
    TempDir dir_;
};

std::string Minute(int64_t utc) // "2015-01-28 13:00"
{
    const TCivilTime t = CivilFromSeconds(utc);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute);
    return text;
}

// "20150128T080000" → "01/28/2015 @ 08:00", as calcurse keeps appointments.
std::string CalcurseTime(const std::string& value)
{
    return value.substr(4, 2) + "/" + value.substr(6, 2) + "/" + value.substr(0, 4) + " @ " + value.substr(9, 2) + ":"
        + value.substr(11, 2);
}

// The value of the first line of the name (unfolded) after `after`, without its parameters.
std::string FirstValue(std::string text, const std::string& name, const std::string& after = {})
{
    for (size_t at; (at = text.find("\r\n ")) != std::string::npos;)
        text.erase(at, 3);
    const size_t from = after.empty() ? 0 : text.find(after);
    if (from == std::string::npos)
        return {};
    const size_t at = text.find("\r\n" + name, from);
    if (at == std::string::npos)
        return {};
    const size_t colon = text.find(':', at);
    return text.substr(colon + 1, text.find("\r\n", colon) - colon - 1);
}

struct CorpusItem {
    std::string name;
    std::unique_ptr<TPelMessage> message;
};

std::vector<CorpusItem> CorpusItems()
{
    std::vector<CorpusItem> items;
    for (const char* folder : { "tnef", "msg" }) {
        for (const auto& entry : std::filesystem::directory_iterator(CorpusPath(folder))) {
            CorpusItem item { entry.path().filename().string(), CreateMessageForFile(entry.path().string()) };
            try {
                item.message->LoadFromFile(entry.path().string());
            } catch (const EPelMsgError&) {
                continue;
            }
            if (ICalendarItem(item.message->Properties()) || VCardItem(item.message->Properties()))
                items.push_back(std::move(item));
        }
    }
    return items;
}

TEST(CalendarPrograms, KhalAndCalcurseTakeEveryEventAndToDo)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus missing";
    if (!Installed("khal") || !Installed("calcurse"))
        GTEST_SKIP() << "khal or calcurse missing (scripts/install-deps.sh test)";
    int events = 0, todos = 0;
    for (const CorpusItem& item : CorpusItems()) {
        const TMSGProperties* source = ICalendarItem(item.message->Properties());
        if (!source)
            continue;
        SCOPED_TRACE(item.name);
        std::string ics;
        try {
            ics = ICalendarText(item.message->Properties());
        } catch (const EFormatError& e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        PrivateHome home;
        WriteFileBytes(home.File("item.ics"), ics);
        const TItemKind kind = ItemKindOf(*source);
        if (kind == TItemKind::Journal)
            continue;
        const CommandResult calcurse
            = home.Run("calcurse -D " + ShellQuote(home.File("calcurse")) + " -i " + ShellQuote(home.File("item.ics")));
        EXPECT_EQ(calcurse.ExitCode, 0) << calcurse.Output;
        EXPECT_NE(calcurse.Output.find(" 0 skipped"), std::string::npos) << calcurse.Output;
        if (kind == TItemKind::Task) {
            // calcurse keeps a to-do's summary (it has no due dates).
            const std::string todo = ReadFileBytes(home.File("calcurse/todo"));
            const std::string summary = U8(TItemProperties(*source).Text(kIdSubject));
            EXPECT_NE(todo.find(summary), std::string::npos) << todo;
            ++todos;
            continue;
        }
        const TAppointment a = ReadAppointment(*source);
        // khal: its own reader, and an import into a calendar that it then lists.
        const CommandResult printed = home.Run("khal -c " + ShellQuote(home.File("khal.conf"))
            + " printics --format '{start-long}|{end-long}|{title}' " + ShellQuote(home.File("item.ics")));
        EXPECT_EQ(printed.ExitCode, 0) << printed.Output;
        const CommandResult imported = home.Run("khal -c " + ShellQuote(home.File("khal.conf")) + " import --batch -a test "
            + ShellQuote(home.File("item.ics")));
        EXPECT_EQ(imported.ExitCode, 0) << imported.Output;
        EXPECT_EQ(imported.Output.find("rror"), std::string::npos) << imported.Output;
        EXPECT_FALSE(std::filesystem::is_empty(home.File("cal"))) << "khal stored nothing";
        if (!a.Recurrence && a.Start && !a.AllDay) {
            const std::string line = Minute(*a.Start) + "|" + Minute(a.End.value_or(*a.Start)) + "|" + U8(a.Subject);
            EXPECT_NE(printed.Output.find(line), std::string::npos) << line << "\n" << printed.Output;
        } else {
            EXPECT_NE(printed.Output.find("|" + U8(a.Subject)), std::string::npos) << printed.Output;
        }
        // calcurse keeps the wall-clock times as written, in its own format.
        const std::string apts = ReadFileBytes(home.File("calcurse/apts"));
        const std::string start = FirstValue(ics, "DTSTART", "BEGIN:VEVENT");
        if (start.size() >= 15) {
            EXPECT_NE(apts.find(CalcurseTime(start)), std::string::npos) << start << "\n" << apts;
        }
        EXPECT_NE(apts.find(U8(a.Subject)), std::string::npos) << apts;
        ++events;
    }
    EXPECT_GE(events, 15);
    EXPECT_GE(todos, 2);
}

TEST(CalendarPrograms, KhardTakesEveryContact)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus missing";
    if (!Installed("khard"))
        GTEST_SKIP() << "khard missing (scripts/install-deps.sh test)";
    PrivateHome home;
    std::vector<std::pair<std::string, std::string>> expected; // UID, name
    int n = 0;
    for (const CorpusItem& item : CorpusItems()) {
        if (!VCardItem(item.message->Properties()))
            continue;
        SCOPED_TRACE(item.name);
        const std::string card = VCardText(item.message->Properties());
        const std::string uid = FirstValue(card, "UID");
        // Twins (the same contact in 8-bit and in Unicode strings) are one contact, by one UID.
        if (std::any_of(expected.begin(), expected.end(), [&](const auto& e) { return e.first == uid; }))
            continue;
        WriteFileBytes(home.File("book/" + std::to_string(n++) + ".vcf"), card);
        expected.emplace_back(uid, FirstValue(card, "FN"));
    }
    ASSERT_GE(expected.size(), 3u);
    const CommandResult listed = home.Run("khard -c " + ShellQuote(home.File("khard.conf")) + " list --parsable");
    EXPECT_EQ(listed.ExitCode, 0) << listed.Output;
    EXPECT_EQ(listed.Output.find("will not be available"), std::string::npos) << listed.Output;
    for (const auto& [uid, name] : expected) {
        EXPECT_NE(listed.Output.find(uid), std::string::npos) << uid << "\n" << listed.Output;
        EXPECT_NE(listed.Output.find(name.substr(0, name.find('\\'))), std::string::npos) << name;
    }
}

} // namespace
