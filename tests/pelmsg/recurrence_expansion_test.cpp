// Recurrences judged by their instances, not their rule text: for each pattern type (the n-th and the last
// weekday of months and years among them) with deleted and changed instances, the first ten instances
// python3-dateutil expands from the written iCalendar file equal the ones this test computes on its own from the
// recurrence record's fields.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

#include "calendar/calendar.h"
#include "calendar_builder.h"
#include "calendar_readers.h"
#include "core/stream.h"
#include "model/message.h"
#include "msg/named_properties.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;
namespace chr = std::chrono;

namespace {

constexpr int kInstances = 10;
constexpr int kTokyoOffsetMinutes = 9 * 60;

chr::sys_days DayOf(uint32_t minutes) { return chr::sys_days(chr::days((minutes / 1440) - 134774)); }
uint32_t MinutesOfDay(chr::sys_days d) { return static_cast<uint32_t>((d.time_since_epoch().count() + 134774) * 1440); }

std::string UtcText(chr::sys_days day, int64_t minutesAfterMidnightLocal)
{
    const auto t = chr::sys_seconds(day) + chr::minutes(minutesAfterMidnightLocal - kTokyoOffsetMinutes);
    const auto d = chr::floor<chr::days>(t);
    const chr::year_month_day ymd(d);
    const chr::hh_mm_ss hms(t - d);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:00Z", static_cast<int>(ymd.year()),
        static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), static_cast<long>(hms.hours().count() % 24),
        static_cast<long>(hms.minutes().count() % 60));
    return text;
}

// The day of a month the pattern picks: day N (or the month's last when shorter), the last day, or the n-th
// (5: last) of the weekdays in the mask.
std::optional<chr::sys_days> PickInMonth(const RecurrenceRecord& r, chr::year_month ym)
{
    const chr::sys_days last = chr::sys_days(chr::year_month_day_last(ym.year(), chr::month_day_last(ym.month())));
    const chr::sys_days first = chr::sys_days(ym / 1);
    switch (r.PatternType) {
    case 2: {
        const unsigned n = std::min<unsigned>(r.Specific[0], static_cast<unsigned>(chr::year_month_day(last).day()));
        return chr::sys_days(ym / chr::day(n));
    }
    case 4:
        return last;
    case 3: {
        std::vector<chr::sys_days> matches;
        for (chr::sys_days d = first; d <= last; d += chr::days(1))
            if (r.Specific[0] & (1u << chr::weekday(d).c_encoding()))
                matches.push_back(d);
        if (r.Specific[1] >= 5)
            return matches.back();
        return matches.at(r.Specific[1] - 1);
    }
    default:
        return std::nullopt;
    }
}

// Every day of the pattern from its start date on, in order (enough for the first instances).
std::vector<chr::sys_days> PatternDays(const RecurrenceRecord& r, size_t count)
{
    std::vector<chr::sys_days> out;
    const chr::sys_days start = DayOf(r.StartDate);
    if (r.PatternType == 0) {
        for (chr::sys_days d = start; out.size() < count; d += chr::days(r.Period / 1440))
            out.push_back(d);
        return out;
    }
    if (r.PatternType == 1) {
        // Weeks begin on the pattern's first day of the week; every Period-th week from the start's.
        chr::sys_days weekStart = start;
        while (chr::weekday(weekStart).c_encoding() != r.FirstDow)
            weekStart -= chr::days(1);
        for (; out.size() < count; weekStart += chr::days(7 * r.Period))
            for (int i = 0; i < 7; ++i) {
                const chr::sys_days d = weekStart + chr::days(i);
                if (d >= start && (r.Specific[0] & (1u << chr::weekday(d).c_encoding())) && out.size() < count)
                    out.push_back(d);
            }
        return out;
    }
    // Months: every month of the period from the start's month; yearly ones only in the month the first date
    // time names (minutes into 1601).
    chr::year_month ym = chr::year_month_day(start).year() / chr::year_month_day(start).month();
    const unsigned yearlyMonth = static_cast<unsigned>(chr::year_month_day(DayOf(r.FirstDateTime)).month());
    const bool yearly = r.Frequency == 0x200D;
    for (int guard = 0; out.size() < count && guard < 1200; ++guard, ym += chr::months(yearly ? 1 : r.Period)) {
        if (yearly && static_cast<unsigned>(ym.month()) != yearlyMonth)
            continue;
        if (auto d = PickInMonth(r, ym); d && *d >= start)
            out.push_back(*d);
    }
    return out;
}

struct Instance {
    std::string Start, End, Summary;
};

// The instances the record describes: the pattern's days at its times, less deleted ones, changed ones in place.
std::vector<Instance> ExpectedInstances(const RecurrenceRecord& r, const std::string& subject)
{
    std::set<uint32_t> deleted(r.Deleted.begin(), r.Deleted.end());
    std::map<uint32_t, const ExceptionRecord*> changed;
    for (const ExceptionRecord& e : r.Exceptions)
        changed[e.Original / 1440 * 1440] = &e;
    std::vector<Instance> out;
    uint32_t seen = 0;
    for (chr::sys_days d : PatternDays(r, 40)) {
        if (r.EndType == 0x2022 && seen++ >= r.OccurrenceCount)
            break;
        const uint32_t key = MinutesOfDay(d);
        if (auto c = changed.find(key); c != changed.end()) {
            const ExceptionRecord& e = *c->second;
            out.push_back({ UtcText(DayOf(e.Start), e.Start % 1440), UtcText(DayOf(e.End), e.End % 1440),
                (e.Flags & 1) ? e.Subject : subject });
        } else if (!deleted.count(key)) {
            out.push_back({ UtcText(d, r.StartTimeOffset), UtcText(d, r.EndTimeOffset), subject });
        }
        if (out.size() == kInstances)
            break;
    }
    std::sort(out.begin(), out.end(), [](const Instance& a, const Instance& b) { return a.Start < b.Start; });
    return out;
}

std::string AppointmentWith(const RecurrenceRecord& r, const std::string& subject)
{
    TnefPropList p;
    p.String8(0x0037, subject);
    p.Raw(0x8100u << 16 | 0x0102, NamedNumber(kPsetidAppointment, 0x8216) + TnefBinary(r.Encode()));
    p.Raw(0x8101u << 16 | 0x0102, NamedNumber(kPsetidAppointment, 0x8233) + TnefBinary(TimeZoneStructBytes(TokyoRule())));
    return TnefBuilder().Version().MessageClass("IPM.Appointment").MapiProps(p).Bytes();
}

struct PatternCase {
    const char* what;
    uint16_t frequency, patternType;
    std::vector<uint32_t> specific;
    uint32_t period;
    uint32_t start; // StartDate
    uint32_t firstDateTime = 0;
};

// Deletes the pattern's second instance and moves its fourth by a day and an hour under another subject.
RecurrenceRecord RecordOf(const PatternCase& c, bool withChanges, uint32_t endType, uint32_t count)
{
    RecurrenceRecord r = PatternRecord(c.frequency, c.patternType, c.period, c.specific, true);
    r.StartDate = c.start;
    r.FirstDateTime = c.firstDateTime;
    r.EndType = endType;
    r.OccurrenceCount = count;
    r.FirstDow = 1;
    r.StartTimeOffset = 600;
    r.EndTimeOffset = 690;
    if (!withChanges)
        return r;
    const std::vector<chr::sys_days> days = PatternDays(r, 4);
    r.Deleted = { MinutesOfDay(days[1]), MinutesOfDay(days[3]) };
    ExceptionRecord moved;
    moved.Original = MinutesOfDay(days[3]) + 600;
    moved.Start = moved.Original + 1440 + 60;
    moved.End = moved.Start + 30;
    moved.Flags = 0x0001;
    moved.Subject = "Moved";
    r.Modified = { moved.Start / 1440 * 1440 };
    r.Exceptions = { moved };
    return r;
}

class RecurrenceExpansion : public ::testing::TestWithParam<PatternCase> {};

TEST_P(RecurrenceExpansion, TheFirstTenInstancesAreTheOnesTheRecordDescribes)
{
    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-icalendar, python3-vobject or python3-dateutil missing";
    const PatternCase& c = GetParam();
    struct Variant {
        const char* what;
        bool changes;
        uint32_t endType, count;
    } variants[] = { { "plain", false, 0x2023, 0 }, { "deleted and changed", true, 0x2023, 0 },
        { "six times", true, 0x2022, 6 } };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.what);
        const RecurrenceRecord r = RecordOf(c, v.changes, v.endType, v.count);
        const std::string tnef = AppointmentWith(r, "Series");
        TPelTNEFFile message;
        TSpanStream stream(tnef);
        message.LoadFromStream(stream);
        const std::string ics = ICalendarText(message.Properties());
        const Json read = IcsSummaryOfText(ics, kInstances);
        const std::vector<Instance> expected = ExpectedInstances(r, "Series");
        ASSERT_EQ(read["instances"].array.size(), 1u) << ics;
        const Json& got = read["instances"].array[0];
        ASSERT_EQ(got.array.size(), expected.size()) << ics;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(got.array[i]["start"].string, expected[i].Start) << i << "\n" << ics;
            EXPECT_EQ(got.array[i]["end"].string, expected[i].End) << i;
            EXPECT_EQ(got.array[i]["summary"].string, expected[i].Summary) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, RecurrenceExpansion,
    ::testing::Values(PatternCase { "daily", 0x200A, 0, {}, 1440, MinutesOf(2023, 1, 2) },
        PatternCase { "every third day", 0x200A, 0, {}, 3 * 1440, MinutesOf(2023, 1, 30) },
        PatternCase { "weekly on Monday and Thursday", 0x200B, 1, { 0x12 }, 1, MinutesOf(2023, 1, 4) },
        PatternCase { "every second week on Friday", 0x200B, 1, { 0x20 }, 2, MinutesOf(2023, 1, 2) },
        PatternCase { "monthly on the 15th", 0x200C, 2, { 15 }, 1, MinutesOf(2023, 1, 20) },
        PatternCase { "monthly on the 31st", 0x200C, 2, { 31 }, 1, MinutesOf(2023, 1, 31) },
        PatternCase { "monthly on the second Tuesday", 0x200C, 3, { 0x04, 2 }, 1, MinutesOf(2023, 1, 1) },
        PatternCase { "monthly on the last weekday", 0x200C, 3, { 0x3E, 5 }, 1, MinutesOf(2013, 12, 31) },
        PatternCase { "monthly on the last day", 0x200C, 3, { 0x7F, 5 }, 1, MinutesOf(2014, 2, 28) },
        PatternCase { "monthly on the last Sunday", 0x200C, 3, { 0x01, 5 }, 1, MinutesOf(2023, 1, 1) },
        PatternCase { "monthly on the last weekend day", 0x200C, 3, { 0x41, 5 }, 1, MinutesOf(2023, 4, 2) },
        PatternCase { "monthly at the month's end", 0x200C, 4, { 31 }, 1, MinutesOf(2023, 2, 1) },
        PatternCase { "yearly on 29 February", 0x200D, 2, { 29 }, 12, MinutesOf(2023, 3, 1), MinutesOf(1601, 2, 1) },
        PatternCase { "yearly on the first Monday of September", 0x200D, 3, { 0x02, 1 }, 12, MinutesOf(2023, 1, 1),
            MinutesOf(1601, 9, 1) },
        PatternCase { "yearly on the last weekday of December", 0x200D, 3, { 0x3E, 5 }, 12, MinutesOf(2013, 12, 31),
            MinutesOf(1601, 12, 1) },
        PatternCase { "yearly on the last Sunday of October", 0x200D, 3, { 0x01, 5 }, 12, MinutesOf(2023, 1, 1),
            MinutesOf(1601, 10, 1) }),
    [](const ::testing::TestParamInfo<PatternCase>& param) {
        std::string name;
        for (const char* p = param.param.what; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p)))
                name += *p;
        return name;
    });

} // namespace
