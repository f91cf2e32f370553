// The recurrence records of appointments and tasks: reading them (each pattern type and end type, changed
// instances, the named limits at their edges, cut-short and damaged records) and their iCalendar rules.

#include <gtest/gtest.h>

#include "calendar/civil_time.h"
#include "calendar/recurrence.h"
#include "calendar/recurrence_rule.h"
#include "calendar_builder.h"
#include "core/errors.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::string FromHex(std::string_view hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

// The published example of a meeting every Monday, Thursday and Friday from 10:00 to 10:30, twelve times, whose
// instance of Monday 2007-04-16 moved to 11:00 with another subject and location.
const std::string kExampleWithException = FromHex(
    "043004300B2001000000C0210000010000000000000032000000222000000C0000000000000001000000A096BC0C01000000A096BC0C"
    "8020BC0C20ADBC0C0630000009300000580200007602000001003499BC0C5299BC0CF898BC0C11002200210053696D706C652052656375"
    "7272656E6365207769746820657863657074696F6E730800070033342F34313431000000000400000000000000000000003499BC0C5299"
    "BC0CF898BC0C2100530069006D0070006C006500200052006500630075007200720065006E0063006500200077006900740068002000"
    "65007800630065007000740069006F006E0073000700330034002F0034003100340031000000000000000000");

// The published example of a meeting every three days from 2011-04-07 to 2011-05-04, 8:00 to 8:30, with the
// instances of 2011-04-19 and 2011-04-22 deleted.
const std::string kExampleDaily = FromHex("043004300A2000000000A0050000E010000000000000212000000A00000000000000020000"
                                          "00A0C1DC0C80D2DC0C00000000207EDC0C0016DD0C0630000009300000E0010000FE0100"
                                          "0000000000000000000000");

std::string Date(uint32_t minutes) { return FormatCivilDateTime(static_cast<int64_t>(minutes) * 60); }

TEST(Recurrence, ReadsThePublishedExampleWithAChangedInstance)
{
    const TAppointmentRecurrence r = ReadAppointmentRecurrence(kExampleWithException);
    EXPECT_EQ(r.Pattern.Frequency, kRecurWeekly);
    EXPECT_EQ(r.Pattern.PatternType, kPatternWeek);
    EXPECT_EQ(r.Pattern.DayMask, 0x32u);
    EXPECT_EQ(r.Pattern.EndType, kEndAfterCount);
    EXPECT_EQ(r.Pattern.OccurrenceCount, 12u);
    ASSERT_EQ(r.Pattern.DeletedInstanceDates.size(), 1u);
    EXPECT_EQ(Date(r.Pattern.DeletedInstanceDates[0]), "20070416T000000");
    EXPECT_EQ(Date(r.Pattern.StartDate), "20070326T000000");
    EXPECT_EQ(r.StartTimeOffset, 600u);
    EXPECT_EQ(r.EndTimeOffset, 630u);
    ASSERT_EQ(r.Exceptions.size(), 1u);
    const TRecurrenceException& e = r.Exceptions[0];
    EXPECT_EQ(Date(e.StartDateTime), "20070416T110000");
    EXPECT_EQ(Date(e.EndDateTime), "20070416T113000");
    EXPECT_EQ(Date(e.OriginalStartDate), "20070416T100000");
    EXPECT_EQ(e.Subject8, "Simple Recurrence with exceptions");
    EXPECT_EQ(e.Location8, "34/4141");
    EXPECT_TRUE(r.ExtendedExceptionsRead);
    ASSERT_TRUE(e.Subject && e.Location);
    EXPECT_EQ(*e.Subject, u"Simple Recurrence with exceptions");
    EXPECT_EQ(*e.Location, u"34/4141");
    EXPECT_EQ(RecurrenceRuleText(r.Pattern), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,TH,FR");
}

TEST(Recurrence, ReadsThePublishedDailyExample)
{
    const TAppointmentRecurrence r = ReadAppointmentRecurrence(kExampleDaily);
    EXPECT_EQ(RecurrenceRuleText(r.Pattern), "FREQ=DAILY;INTERVAL=3");
    EXPECT_EQ(r.Pattern.EndType, kEndAfterDate);
    EXPECT_EQ(Date(r.Pattern.StartDate), "20110407T000000");
    EXPECT_EQ(Date(r.Pattern.EndDate), "20110504T000000");
    ASSERT_EQ(r.Pattern.DeletedInstanceDates.size(), 2u);
    EXPECT_EQ(Date(r.Pattern.DeletedInstanceDates[0]), "20110419T000000");
    EXPECT_EQ(Date(r.Pattern.DeletedInstanceDates[1]), "20110422T000000");
    EXPECT_EQ(r.StartTimeOffset, 480u);
    EXPECT_TRUE(r.Exceptions.empty());
}

struct RuleCase {
    const char* name;
    uint16_t frequency, patternType;
    uint32_t period;
    std::vector<uint32_t> specific;
    uint32_t firstDateTime, firstDow;
    const char* rule;
};

class RecurrenceRuleTable : public ::testing::TestWithParam<RuleCase> { };

TEST_P(RecurrenceRuleTable, EachPatternTypeBecomesItsRule)
{
    const RuleCase& c = GetParam();
    RecurrenceRecord record = PatternRecord(c.frequency, c.patternType, c.period, c.specific);
    record.FirstDateTime = c.firstDateTime;
    record.FirstDow = c.firstDow;
    const TRecurrencePattern p = ReadRecurrencePattern(record.Encode());
    EXPECT_EQ(RecurrenceRuleText(p), c.rule);
}

INSTANTIATE_TEST_SUITE_P(Patterns, RecurrenceRuleTable,
    ::testing::Values(RuleCase { "EveryOtherDay", kRecurDaily, kPatternDay, 2880, {}, 0, 0, "FREQ=DAILY;INTERVAL=2" },
        RuleCase { "EveryWeekday", kRecurDaily, kPatternWeek, 1, { 0x3E }, 0, 0,
            "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,TU,WE,TH,FR" },
        RuleCase { "EveryOtherWeekMondayAndFriday", kRecurWeekly, kPatternWeek, 2, { 0x22 }, 0, 1,
            "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,FR;WKST=MO" },
        RuleCase { "Every3MonthsOnThe15th", kRecurMonthly, kPatternMonth, 3, { 15 }, 0, 0,
            "FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=15" },
        RuleCase { "MonthlyOnThe31st", kRecurMonthly, kPatternMonth, 1, { 31 }, 0, 0,
            "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=-1" },
        RuleCase { "MonthlyOnThe30th", kRecurMonthly, kPatternMonth, 1, { 30 }, 0, 0,
            "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=28,29,30;BYSETPOS=-1" },
        RuleCase {
            "MonthEnd", kRecurMonthly, kPatternMonthEnd, 1, { 31 }, 0, 0, "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=-1" },
        RuleCase { "SecondTuesday", kRecurMonthly, kPatternMonthNth, 1, { 0x04, 2 }, 0, 0,
            "FREQ=MONTHLY;INTERVAL=1;BYDAY=2TU" },
        RuleCase { "LastWeekday", kRecurMonthly, kPatternMonthNth, 1, { 0x3E, 5 }, 0, 0,
            "FREQ=MONTHLY;INTERVAL=1;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1" },
        RuleCase { "YearlyDecember12", kRecurYearly, kPatternMonth, 12, { 12 }, MinutesOf(1601, 12, 1), 0,
            "FREQ=YEARLY;INTERVAL=1;BYMONTH=12;BYMONTHDAY=12" },
        RuleCase { "EveryOtherYearFebruary29", kRecurYearly, kPatternMonth, 24, { 29 }, MinutesOf(1601, 2, 1), 0,
            "FREQ=YEARLY;INTERVAL=2;BYMONTH=2;BYMONTHDAY=28,29;BYSETPOS=-1" },
        RuleCase { "FourthThursdayOfNovember", kRecurYearly, kPatternMonthNth, 12, { 0x10, 4 }, MinutesOf(1601, 11, 1),
            0, "FREQ=YEARLY;INTERVAL=1;BYMONTH=11;BYDAY=4TH" }),
    [](const ::testing::TestParamInfo<RuleCase>& test) { return std::string(test.param.name); });

TEST(Recurrence, PatternsNoRuleCanSayAreRefused)
{
    struct Case {
        const char* what;
        uint16_t frequency, patternType, calendar;
        uint32_t period;
        std::vector<uint32_t> specific;
    } cases[] = {
        { "Hijri month", kRecurMonthly, kPatternHjMonth, 6, 1, { 10 } },
        { "Hijri nth", kRecurMonthly, kPatternHjMonthNth, 6, 1, { 0x02, 1 } },
        { "Hebrew months", kRecurMonthly, kPatternMonth, 8, 1, { 10 } },
        { "90 minutes", kRecurDaily, kPatternDay, 0, 90, {} },
        { "18 months a year", kRecurYearly, kPatternMonth, 0, 18, { 1 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecurrenceRecord record = PatternRecord(c.frequency, c.patternType, c.period, c.specific);
        record.CalendarType = c.calendar;
        const TRecurrencePattern p = ReadRecurrencePattern(record.Encode());
        EXPECT_THROW(RecurrenceRuleText(p), EFormatError);
    }
    // Weeks are the same in every calendar.
    RecurrenceRecord weekly;
    weekly.Appointment = false;
    weekly.CalendarType = 6;
    EXPECT_EQ(RecurrenceRuleText(ReadRecurrencePattern(weekly.Encode())), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO");
}

TEST(Recurrence, TheFirstInstanceIsTheFirstDayThePatternIncludes)
{
    struct Case {
        const char* what;
        uint16_t frequency, patternType;
        std::vector<uint32_t> specific;
        uint32_t firstDateTime;
        uint32_t start;
        const char* first;
    } cases[] = {
        { "daily", kRecurDaily, kPatternDay, {}, 0, MinutesOf(2023, 1, 2), "20230102" },
        { "Friday from a Monday", kRecurWeekly, kPatternWeek, { 0x20 }, 0, MinutesOf(2023, 1, 2), "20230106" },
        { "31st from February", kRecurMonthly, kPatternMonth, { 31 }, 0, MinutesOf(2023, 2, 3), "20230228" },
        { "last Friday", kRecurMonthly, kPatternMonthNth, { 0x20, 5 }, 0, MinutesOf(2023, 3, 1), "20230331" },
        { "leap day", kRecurYearly, kPatternMonth, { 29 }, MinutesOf(1601, 2, 1), MinutesOf(2023, 3, 1), "20240229" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const uint32_t period = c.frequency == kRecurYearly ? 12 : c.frequency == kRecurDaily ? 1440 : 1;
        RecurrenceRecord record = PatternRecord(c.frequency, c.patternType, period, c.specific);
        record.FirstDateTime = c.firstDateTime;
        record.StartDate = c.start;
        const auto day = FirstInstanceDay(ReadRecurrencePattern(record.Encode()));
        ASSERT_TRUE(day);
        EXPECT_EQ(FormatCivilDate(*day * kSecondsPerDay), c.first);
    }
}

// A valid appointment recurrence with two changed instances, one deleted instance and every end type's fields.
RecurrenceRecord SampleRecord() { return FridayLunchSeries(3); }

TEST(Recurrence, EveryCutShortRecordFailsCleanlyOrKeepsTheCore)
{
    const RecurrenceRecord record = SampleRecord();
    const std::string full = record.Encode();
    const TAppointmentRecurrence whole = ReadAppointmentRecurrence(full);
    ASSERT_TRUE(whole.ExtendedExceptionsRead);
    // The core ends after the second ExceptionInfo: 8-bit subject and location of the first, busy status of the
    // second; what follows only repeats texts.
    RecurrenceRecord coreOnly = record;
    const size_t extendedSize
        = 4 /* ReservedBlock1Size */ + (8 + 4 + 12 + 2 + 14 * 2 + 2 + 4 * 2 + 4) + (8 + 4) + 4 /* ReservedBlock2Size */;
    const size_t core = full.size() - extendedSize;
    for (size_t n = 0; n < full.size(); ++n) {
        SCOPED_TRACE(n);
        const std::string prefix = full.substr(0, n);
        if (n < core) {
            EXPECT_THROW(ReadAppointmentRecurrence(prefix), EFormatError);
            continue;
        }
        const TAppointmentRecurrence r = ReadAppointmentRecurrence(prefix);
        ASSERT_EQ(r.Exceptions.size(), 2u);
        EXPECT_EQ(r.Exceptions[0].Subject8, "Thursday lunch");
        // The UTF-16 texts count only once all of them are there.
        EXPECT_EQ(r.ExtendedExceptionsRead, n >= full.size() - 4);
        EXPECT_EQ(r.Exceptions[0].Subject.has_value(), r.ExtendedExceptionsRead);
    }
    RecurrenceRecord pattern = record;
    pattern.Appointment = false;
    const std::string patternBytes = pattern.Encode();
    for (size_t n = 0; n < patternBytes.size(); ++n)
        EXPECT_THROW(ReadRecurrencePattern(patternBytes.substr(0, n)), EFormatError) << n;
    EXPECT_NO_THROW(ReadRecurrencePattern(patternBytes));
}

TEST(Recurrence, FlippedBitsNeverCrashTheReaderOrTheRule)
{
    const std::string full = SampleRecord().Encode();
    int read = 0, refused = 0;
    ForEachBitFlip(full, [&](const std::string& bytes) {
        try {
            const TAppointmentRecurrence r = ReadAppointmentRecurrence(bytes);
            ++read;
            try {
                RecurrenceRuleText(r.Pattern);
                FirstInstanceDay(r.Pattern);
            } catch (const EFormatError&) {
            }
        } catch (const EFormatError&) {
            ++refused;
        }
    });
    EXPECT_GT(read, 0);
    EXPECT_GT(refused, 0);
}

TEST(Recurrence, ImpossibleValuesAreRefusedWithTheirField)
{
    struct Case {
        const char* what;
        std::function<void(RecurrenceRecord&)> change;
        const char* field;
    } cases[] = {
        { "frequency", [](RecurrenceRecord& r) { r.Frequency = 0x2010; }, "RecurFrequency" },
        { "pattern type", [](RecurrenceRecord& r) { r.PatternType = 5; }, "PatternType" },
        { "period", [](RecurrenceRecord& r) { r.Period = 0; }, "Period" },
        { "no days", [](RecurrenceRecord& r) { r.Specific = { 0x80 }; }, "days of the week" },
        { "sixth",
            [](RecurrenceRecord& r) {
                r.PatternType = kPatternMonthNth;
                r.Specific = { 0x02, 6 };
            },
            "N 6" },
        { "day 32",
            [](RecurrenceRecord& r) {
                r.PatternType = kPatternMonth;
                r.Specific = { 32 };
            },
            "day of month" },
        { "end type", [](RecurrenceRecord& r) { r.EndType = 0x1234; }, "EndType" },
        { "first day of week", [](RecurrenceRecord& r) { r.FirstDow = 7; }, "FirstDOW" },
        { "start time", [](RecurrenceRecord& r) { r.StartTimeOffset = 1440; }, "StartTimeOffset" },
        { "end before start", [](RecurrenceRecord& r) { r.EndTimeOffset = 700; }, "EndTimeOffset" },
        { "instance ends before it starts",
            [](RecurrenceRecord& r) { r.Exceptions[1].End = r.Exceptions[1].Start - 1; }, "ends before it starts" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecurrenceRecord record = SampleRecord();
        c.change(record);
        try {
            ReadAppointmentRecurrence(record.Encode());
            ADD_FAILURE() << "read";
        } catch (const EFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.field), std::string::npos) << e.what();
            EXPECT_GE(e.Offset(), 0);
        }
    }
    std::string otherVersion = SampleRecord().Encode();
    otherVersion[0] = 0x05;
    EXPECT_THROW(ReadAppointmentRecurrence(otherVersion), EFormatError);
}

TEST(Recurrence, InstanceDateCountsAtTheirLimit)
{
    for (uint32_t count :
        { kMaxRecurrenceInstanceDates - 1, kMaxRecurrenceInstanceDates, kMaxRecurrenceInstanceDates + 1 }) {
        SCOPED_TRACE(count);
        for (bool deleted : { true, false }) {
            RecurrenceRecord record;
            record.Appointment = false;
            (deleted ? record.Deleted : record.Modified).assign(count, MinutesOf(2023, 1, 6));
            if (count <= kMaxRecurrenceInstanceDates) {
                const TRecurrencePattern p = ReadRecurrencePattern(record.Encode());
                EXPECT_EQ((deleted ? p.DeletedInstanceDates : p.ModifiedInstanceDates).size(), count);
            } else {
                try {
                    ReadRecurrencePattern(record.Encode());
                    ADD_FAILURE() << "read";
                } catch (const EFormatError& e) {
                    EXPECT_NE(std::string(e.what()).find(deleted ? "DeletedInstanceCount" : "ModifiedInstanceCount"),
                        std::string::npos);
                }
            }
        }
    }
    // A count the data cannot hold is refused before anything is reserved for it.
    RecurrenceRecord record;
    record.Appointment = false;
    record.Deleted = { 1, 2 };
    std::string bytes = record.Encode();
    bytes[38] = 10; // DeletedInstanceCount 10 with two dates (and 12 more bytes) behind it
    EXPECT_THROW(ReadRecurrencePattern(bytes), EFormatError);
}

TEST(Recurrence, ChangedInstanceCountAtItsLimit)
{
    ExceptionRecord e;
    e.Start = MinutesOf(2023, 1, 6, 12);
    e.End = MinutesOf(2023, 1, 6, 13);
    e.Original = e.Start;
    for (uint32_t count : { kMaxRecurrenceExceptions - 1, kMaxRecurrenceExceptions, kMaxRecurrenceExceptions + 1 }) {
        SCOPED_TRACE(count);
        RecurrenceRecord record = SampleRecord();
        record.Exceptions.assign(count, e);
        if (count <= kMaxRecurrenceExceptions) {
            const TAppointmentRecurrence r = ReadAppointmentRecurrence(record.Encode());
            EXPECT_EQ(r.Exceptions.size(), count);
            EXPECT_TRUE(r.ExtendedExceptionsRead);
        } else {
            try {
                ReadAppointmentRecurrence(record.Encode());
                ADD_FAILURE() << "read";
            } catch (const EFormatError& error) {
                EXPECT_NE(std::string(error.what()).find("ExceptionCount"), std::string::npos);
            }
        }
    }
}

} // namespace
