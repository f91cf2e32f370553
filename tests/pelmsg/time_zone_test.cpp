// The time-zone records of calendar items: reading them (limits, cut-short and impossible records) and converting
// between a zone's wall-clock time and UTC across daylight-saving changes and rule changes.

#include <gtest/gtest.h>

#include "calendar/civil_time.h"
#include "calendar/time_zone.h"
#include "calendar_builder.h"
#include "core/errors.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

int64_t At(int y, int m, int d, int h, int mi = 0) { return SecondsFrom1601(y, m, d, h, mi); }

TTimeZone ZoneOf(const std::string& name, const std::vector<ZoneRule>& rules)
{
    return ReadTimeZoneDefinition(TimeZoneDefinitionBytes(name, rules));
}

TEST(TimeZone, WallClockAndUtcAcrossTheYear)
{
    struct Case {
        const char* what;
        TTimeZone zone;
        int64_t local;
        int64_t utc;
    };
    const TTimeZone eastern = ZoneOf("Eastern Standard Time", { EasternRuleBefore2007(), EasternRule2007() });
    const TTimeZone sydney = ZoneOf("AUS Eastern Standard Time", { SydneyRule() });
    const TTimeZone tokyo = ZoneOf("Tokyo Standard Time", { TokyoRule() });
    const Case cases[] = {
        { "winter", eastern, At(2013, 12, 23, 12), At(2013, 12, 23, 17) },
        { "summer", eastern, At(2013, 7, 1, 12), At(2013, 7, 1, 16) },
        { "a minute before the change", eastern, At(2013, 3, 10, 1, 59), At(2013, 3, 10, 6, 59) },
        { "the first minute of summer time", eastern, At(2013, 3, 10, 3), At(2013, 3, 10, 7) },
        { "the last summer minute", eastern, At(2013, 11, 3, 0, 59), At(2013, 11, 3, 4, 59) },
        { "back in winter", eastern, At(2013, 11, 3, 2), At(2013, 11, 3, 7) },
        // The older rule counts before 2007: 2006-03-20 is still winter, and summer began on 2 April.
        { "older rule, March", eastern, At(2006, 3, 20, 12), At(2006, 3, 20, 17) },
        { "older rule, April", eastern, At(2006, 4, 10, 12), At(2006, 4, 10, 16) },
        { "newer rule, March", eastern, At(2007, 3, 20, 12), At(2007, 3, 20, 16) },
        { "southern summer", sydney, At(2013, 1, 15, 12), At(2013, 1, 15, 1) },
        { "southern winter", sydney, At(2013, 7, 15, 12), At(2013, 7, 15, 2) },
        { "no daylight-saving time", tokyo, At(2013, 7, 15, 12), At(2013, 7, 15, 3) },
        { "across the date line", tokyo, At(2023, 1, 1, 8), At(2022, 12, 31, 23) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FormatCivilDateTime(c.zone.ToUtc(c.local)), FormatCivilDateTime(c.utc));
        EXPECT_EQ(FormatCivilDateTime(c.zone.ToLocal(c.utc)), FormatCivilDateTime(c.local));
    }
}

TEST(TimeZone, SkippedAndRepeatedWallClockTimes)
{
    const TTimeZone eastern = ZoneOf("Eastern Standard Time", { EasternRule2007() });
    // 02:30 on the day summer time begins does not exist: it is read as standard time.
    EXPECT_EQ(FormatCivilDateTime(eastern.ToUtc(At(2013, 3, 10, 2, 30))), "20130310T073000");
    // 01:30 on the day it ends exists twice: it is read as summer time.
    EXPECT_EQ(FormatCivilDateTime(eastern.ToUtc(At(2013, 11, 3, 1, 30))), "20131103T053000");
    // Both UTC moments of the repeated hour read back as 01:30.
    EXPECT_EQ(FormatCivilDateTime(eastern.ToLocal(At(2013, 11, 3, 5, 30))), "20131103T013000");
    EXPECT_EQ(FormatCivilDateTime(eastern.ToLocal(At(2013, 11, 3, 6, 30))), "20131103T013000");
}

TEST(TimeZone, TheFifthWeekdayIsTheLast)
{
    TTransitionDate lastSunday { 0, 10, 0, 5, 2, 0, 0, 0 };
    EXPECT_EQ(FormatCivilDateTime(*TransitionInYear(lastSunday, 2006)), "20061029T020000");
    EXPECT_EQ(FormatCivilDateTime(*TransitionInYear(lastSunday, 2013)), "20131027T020000");
    TTransitionDate none;
    EXPECT_FALSE(TransitionInYear(none, 2013));
}

TEST(TimeZone, ReadsTheRecordAndTheDefinition)
{
    const TTimeZoneRule rule = ReadTimeZoneStruct(TimeZoneStructBytes(EasternRule2007()));
    EXPECT_EQ(rule.Bias, 300);
    EXPECT_EQ(rule.StandardOffset(), -5 * 3600);
    EXPECT_EQ(rule.DaylightOffset(), -4 * 3600);
    EXPECT_TRUE(rule.HasDaylightSaving());
    EXPECT_EQ(rule.DaylightDate.Month, 3);
    EXPECT_EQ(rule.DaylightDate.Day, 2);

    // Rules out of order are put in order of their years.
    const TTimeZone zone = ZoneOf("Eastern Standard Time", { EasternRule2007(), EasternRuleBefore2007() });
    EXPECT_EQ(zone.Name, u"Eastern Standard Time");
    ASSERT_EQ(zone.Rules.size(), 2u);
    EXPECT_EQ(zone.Rules[0].StartYear, 0);
    EXPECT_EQ(zone.Rules[1].StartYear, 2007);
    EXPECT_TRUE(zone.Rules[1].SameClockAs(rule));
    EXPECT_FALSE(zone.Rules[0].SameClockAs(rule));

    // A zone whose daylight bias is set but which has no change dates keeps standard time.
    ZoneRule tokyo = TokyoRule();
    tokyo.DaylightBias = -60;
    EXPECT_FALSE(ReadTimeZoneStruct(TimeZoneStructBytes(tokyo)).HasDaylightSaving());
}

TEST(TimeZone, RuleCountAtItsLimit)
{
    for (size_t count : { kMaxTimeZoneRules - 1, kMaxTimeZoneRules, kMaxTimeZoneRules + 1 }) {
        SCOPED_TRACE(count);
        std::vector<ZoneRule> rules(count, EasternRule2007());
        for (size_t i = 0; i < count; ++i)
            rules[i].Year = static_cast<uint16_t>(1000 + i);
        const std::string bytes = TimeZoneDefinitionBytes("Many", rules);
        if (count <= kMaxTimeZoneRules) {
            EXPECT_EQ(ReadTimeZoneDefinition(bytes).Rules.size(), count);
        } else {
            try {
                ReadTimeZoneDefinition(bytes);
                ADD_FAILURE() << "read";
            } catch (const EFormatError& e) {
                EXPECT_NE(std::string(e.what()).find("more than 1024"), std::string::npos) << e.what();
            }
        }
    }
}

TEST(TimeZone, CutShortAndImpossibleRecordsAreRefused)
{
    const std::string definition = TimeZoneDefinitionBytes("Eastern", { EasternRuleBefore2007(), EasternRule2007() });
    for (size_t n = 0; n < definition.size(); ++n)
        EXPECT_THROW(ReadTimeZoneDefinition(definition.substr(0, n)), EFormatError) << n;
    const std::string record = TimeZoneStructBytes(EasternRule2007());
    for (size_t n = 0; n < record.size(); ++n)
        EXPECT_THROW(ReadTimeZoneStruct(record.substr(0, n)), EFormatError) << n;

    struct Case {
        const char* what;
        std::function<void(ZoneRule&)> change;
    } cases[] = {
        { "bias beyond a day", [](ZoneRule& r) { r.Bias = 1441; } },
        { "month 13", [](ZoneRule& r) { r.Standard[0] = 13; } },
        { "weekday 7", [](ZoneRule& r) { r.Daylight[1] = 7; } },
        { "sixth week", [](ZoneRule& r) { r.Daylight[2] = 6; } },
        { "hour 24", [](ZoneRule& r) { r.Standard[3] = 24; } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZoneRule rule = EasternRule2007();
        c.change(rule);
        EXPECT_THROW(ReadTimeZoneStruct(TimeZoneStructBytes(rule)), EFormatError);
        EXPECT_THROW(ReadTimeZoneDefinition(TimeZoneDefinitionBytes("Bad", { rule })), EFormatError);
    }
    std::string otherVersion = definition;
    otherVersion[0] = 3;
    EXPECT_THROW(ReadTimeZoneDefinition(otherVersion), EFormatError);
    EXPECT_THROW(ReadTimeZoneDefinition(TimeZoneDefinitionBytes("None", {})), EFormatError);
    std::string shortHeader = definition;
    shortHeader[2] = 2; // cbHeader smaller than the key name it holds
    EXPECT_THROW(ReadTimeZoneDefinition(shortHeader), EFormatError);
}

TEST(TimeZone, FlippedBitsNeverCrashTheReaderOrTheConversions)
{
    const std::string full = TimeZoneDefinitionBytes("Eastern", { EasternRuleBefore2007(), EasternRule2007() });
    int read = 0;
    ForEachBitFlip(full, [&](const std::string& bytes) {
        try {
            const TTimeZone zone = ReadTimeZoneDefinition(bytes);
            ++read;
            const int64_t utc = zone.ToUtc(At(2013, 3, 10, 2, 30));
            EXPECT_LE(std::abs(utc - At(2013, 3, 10, 2, 30)), 2 * 86400);
            zone.ToLocal(utc);
        } catch (const EFormatError&) {
        }
    });
    EXPECT_GT(read, 0);
}

} // namespace
