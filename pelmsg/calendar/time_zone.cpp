#include "calendar/time_zone.h"

#include <algorithm>
#include <cstdlib>

#include "calendar/record_reader.h"
#include "calendar/civil_time.h"

namespace pelmsg {

namespace {

constexpr uint8_t kDefinitionMajorVersion = 0x02;
constexpr size_t kTimeZoneStructSize = 48;

TTransitionDate ReadTransition(TRecordReader& r)
{
    TTransitionDate d;
    d.Year = r.U16LE();
    d.Month = r.U16LE();
    d.DayOfWeek = r.U16LE();
    d.Day = r.U16LE();
    d.Hour = r.U16LE();
    d.Minute = r.U16LE();
    d.Second = r.U16LE();
    d.Milliseconds = r.U16LE();
    return d;
}

void CheckTransition(const TRecordReader& r, const TTransitionDate& d, const char* field)
{
    if (d.Month == 0)
        return;
    bool valid = d.Month <= 12 && d.Hour <= 23 && d.Minute <= 59 && d.Second <= 59;
    if (d.Year == 0)
        valid = valid && d.DayOfWeek <= 6 && d.Day >= 1 && d.Day <= 5;
    else
        valid = valid && d.Day >= 1 && d.Day <= 31;
    if (!valid)
        r.Fail(std::string(field) + " is not a date");
}

void CheckBiases(const TRecordReader& r, const TTimeZoneRule& rule)
{
    for (int32_t bias : { rule.Bias, rule.StandardBias, rule.DaylightBias })
        if (bias < -kMaxTimeZoneBiasMinutes || bias > kMaxTimeZoneBiasMinutes)
            r.Fail("bias of " + std::to_string(bias) + " minutes");
}

// The biases and change dates shared by both records.
void ReadClock(TRecordReader& r, TTimeZoneRule& rule, bool withYears)
{
    rule.Bias = r.I32LE();
    rule.StandardBias = r.I32LE();
    rule.DaylightBias = r.I32LE();
    if (withYears)
        r.U16LE(); // wStandardYear
    rule.StandardDate = ReadTransition(r);
    if (withYears)
        r.U16LE(); // wDaylightYear
    rule.DaylightDate = ReadTransition(r);
    CheckBiases(r, rule);
    CheckTransition(r, rule.StandardDate, "stStandardDate");
    CheckTransition(r, rule.DaylightDate, "stDaylightDate");
}

// Whether the wall-clock time lies in daylight-saving time under the rule: the change to it happens at the daylight
// date in standard time, the change back at the standard date in daylight-saving time.
bool InDaylightSaving(const TTimeZoneRule& rule, int64_t local, int year)
{
    if (!rule.HasDaylightSaving())
        return false;
    auto start = TransitionInYear(rule.DaylightDate, year);
    auto end = TransitionInYear(rule.StandardDate, year);
    if (!start || !end)
        return false;
    const int64_t shift = rule.DaylightOffset() - rule.StandardOffset();
    if (*start < *end) // northern hemisphere: daylight-saving time inside the year
        return local >= *start + shift && local < *end;
    return !(local >= *end && local < *start + shift); // southern: around the turn of the year
}

} // namespace

bool TTimeZoneRule::SameClockAs(const TTimeZoneRule& other) const
{
    if (Bias != other.Bias || StandardBias != other.StandardBias)
        return false;
    if (HasDaylightSaving() != other.HasDaylightSaving())
        return false;
    return !HasDaylightSaving()
        || (DaylightBias == other.DaylightBias && StandardDate == other.StandardDate
            && DaylightDate == other.DaylightDate);
}

const TTimeZoneRule& TTimeZone::RuleForYear(int year) const
{
    static const TTimeZoneRule utc;
    if (Rules.empty())
        return utc;
    const TTimeZoneRule* found = &Rules.front();
    for (const TTimeZoneRule& rule : Rules)
        if (rule.StartYear <= year)
            found = &rule;
    return *found;
}

int64_t TTimeZone::ToUtc(int64_t localSeconds) const
{
    const int year = CivilFromSeconds(localSeconds).Year;
    const TTimeZoneRule& rule = RuleForYear(year);
    return localSeconds - (InDaylightSaving(rule, localSeconds, year) ? rule.DaylightOffset() : rule.StandardOffset());
}

int64_t TTimeZone::ToLocal(int64_t utcSeconds) const
{
    const int64_t firstGuess = utcSeconds + RuleForYear(CivilFromSeconds(utcSeconds).Year).StandardOffset();
    const int year = CivilFromSeconds(firstGuess).Year;
    const TTimeZoneRule& rule = RuleForYear(year);
    const int64_t standard = utcSeconds + rule.StandardOffset();
    const int64_t daylight = utcSeconds + rule.DaylightOffset();
    // The daylight-saving reading holds when it lies in daylight-saving time (and maps back to the same moment).
    if (rule.HasDaylightSaving() && InDaylightSaving(rule, daylight, CivilFromSeconds(daylight).Year))
        return daylight;
    return standard;
}

bool TTimeZone::operator==(const TTimeZone& other) const
{
    if (Name != other.Name || Rules.size() != other.Rules.size())
        return false;
    for (size_t i = 0; i < Rules.size(); ++i)
        if (Rules[i].StartYear != other.Rules[i].StartYear || !Rules[i].SameClockAs(other.Rules[i]))
            return false;
    return true;
}

std::optional<int64_t> TransitionInYear(const TTransitionDate& date, int year)
{
    if (date.Month < 1 || date.Month > 12)
        return std::nullopt;
    int day;
    if (date.Year != 0) {
        day = std::min<int>(date.Day, DaysInMonth(year, date.Month));
    } else {
        const int64_t first = DaysFrom1601(year, date.Month, 1);
        const int firstWeekday = DayOfWeekOfDays(first);
        day = 1 + (static_cast<int>(date.DayOfWeek) - firstWeekday + 7) % 7 + (std::clamp<int>(date.Day, 1, 5) - 1) * 7;
        while (day > DaysInMonth(year, date.Month))
            day -= 7; // the fifth means the last
    }
    return SecondsFrom1601(year, date.Month, day, date.Hour, date.Minute, date.Second);
}

TTimeZoneRule ReadTimeZoneStruct(std::string_view bytes)
{
    TRecordReader r(bytes, "time zone record", [](uint64_t offset) {
        TRecordReader::ThrowRecordError("time zone record", offset, "the data ends too early");
    });
    if (bytes.size() < kTimeZoneStructSize)
        r.Fail("only " + std::to_string(bytes.size()) + " of " + std::to_string(kTimeZoneStructSize) + " bytes");
    TTimeZoneRule rule;
    ReadClock(r, rule, true);
    return rule;
}

TTimeZone ReadTimeZoneDefinition(std::string_view bytes)
{
    TRecordReader r(bytes, "time zone definition", [](uint64_t offset) {
        TRecordReader::ThrowRecordError("time zone definition", offset, "the data ends too early");
    });
    const uint8_t major = r.U8();
    r.U8(); // MinorVersion
    if (major != kDefinitionMajorVersion)
        r.Fail("unknown version " + std::to_string(major));
    const uint16_t headerSize = r.U16LE();
    const size_t headerEnd = r.Position() + headerSize;
    if (headerSize > r.Remaining())
        r.Fail("cbHeader runs past the end of the data");
    r.U16LE(); // Reserved
    const uint16_t keyLength = r.U16LE();
    TTimeZone zone;
    zone.Name = r.Utf16(keyLength);
    while (!zone.Name.empty() && zone.Name.back() == u'\0')
        zone.Name.pop_back();
    const uint16_t ruleCount = r.U16LE();
    if (r.Position() > headerEnd)
        r.Fail("the header is longer than cbHeader says");
    r.Skip(headerEnd - r.Position());
    if (ruleCount == 0)
        r.Fail("no rules");
    if (ruleCount > kMaxTimeZoneRules)
        r.Fail(std::to_string(ruleCount) + " rules, more than " + std::to_string(kMaxTimeZoneRules));
    constexpr size_t kRuleSize = 66;
    if (static_cast<size_t>(ruleCount) * kRuleSize > r.Remaining())
        r.Fail(std::to_string(ruleCount) + " rules run past the end of the data");
    zone.Rules.reserve(ruleCount);
    for (uint16_t i = 0; i < ruleCount; ++i) {
        TTimeZoneRule rule;
        r.U8(); // rule MajorVersion
        r.U8(); // rule MinorVersion
        r.U16LE(); // rule Reserved
        rule.Flags = r.U16LE();
        rule.StartYear = r.U16LE();
        r.Skip(14);
        ReadClock(r, rule, false);
        zone.Rules.push_back(rule);
    }
    std::stable_sort(zone.Rules.begin(), zone.Rules.end(),
        [](const TTimeZoneRule& a, const TTimeZoneRule& b) { return a.StartYear < b.StartYear; });
    return zone;
}

} // namespace pelmsg
