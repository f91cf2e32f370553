#include "calendar/recurrence_rule.h"

#include <algorithm>

#include "calendar/civil_time.h"
#include "core/errors.h"

namespace pelmsg {

namespace {

const char* const kWeekdays[] = { "SU", "MO", "TU", "WE", "TH", "FR", "SA" };

// Calendars whose months are the Gregorian ones (their years are only numbered differently).
bool HasGregorianMonths(uint16_t calendarType)
{
    switch (calendarType) {
    case 0: // the default: Gregorian
    case 1: // Gregorian (localized)
    case 2: // Gregorian (U.S. English)
    case 3: // Japanese era
    case 4: // Taiwan
    case 5: // Korean Tangun era
    case 7: // Thai Buddhist era
    case 9: // Gregorian Middle East French
    case 10: // Gregorian Arabic
    case 11: // Gregorian transliterated English
    case 12: // Gregorian transliterated French
        return true;
    default:
        return false;
    }
}

[[noreturn]] void Unsupported(const std::string& what)
{
    throw EFormatError("recurrence pattern: " + what + " cannot be written as an iCalendar rule");
}

std::string DayList(uint32_t mask)
{
    std::string out;
    for (int d = 0; d < 7; ++d) {
        if (mask & (1u << d)) {
            if (!out.empty())
                out += ',';
            out += kWeekdays[d];
        }
    }
    return out;
}

int DayCount(uint32_t mask)
{
    int n = 0;
    for (unsigned d = 0; d < 7; ++d)
        n += ((mask >> d) & 1u) != 0 ? 1 : 0;
    return n;
}

bool IsMonthPattern(uint16_t type)
{
    return type == kPatternMonth || type == kPatternMonthNth || type == kPatternMonthEnd;
}

// The day of the month the n-th (5: last) day of the weekday set falls on; 0 when the month has none.
int NthDayOfMonth(int year, int month, uint32_t mask, uint32_t nth)
{
    const int days = DaysInMonth(year, month);
    const int firstWeekday = DayOfWeekOfDays(DaysFrom1601(year, month, 1));
    // 5 means the last one, not the fifth: a set of several weekdays matches more than five days a month.
    int found = 0, seen = 0;
    for (int day = 1; day <= days; ++day) {
        if (mask & (1u << ((firstWeekday + day - 1) % 7))) {
            found = day;
            if (nth < 5 && ++seen == static_cast<int>(nth))
                return day;
        }
    }
    return nth >= 5 ? found : 0;
}

} // namespace

int YearlyPatternMonth(const TRecurrencePattern& pattern)
{
    // FirstDateTime counts the minutes from 1601-01-01 to the first day of the month the pattern starts in, modulo
    // the period: for a yearly pattern, a day in the pattern's month of 1601.
    return CivilFromSeconds(static_cast<int64_t>(pattern.FirstDateTime) * kSecondsPerMinute).Month;
}

std::string RecurrenceRuleText(const TRecurrencePattern& p)
{
    std::string rule;
    switch (p.PatternType) {
    case kPatternDay:
        if (p.Period % kMinutesPerDay != 0)
            Unsupported("a daily period of " + std::to_string(p.Period) + " minutes");
        return "FREQ=DAILY;INTERVAL=" + std::to_string(p.Period / kMinutesPerDay);
    case kPatternWeek:
        rule = "FREQ=WEEKLY;INTERVAL=" + std::to_string(p.Period) + ";BYDAY=" + DayList(p.DayMask);
        if (p.Period > 1)
            rule += std::string(";WKST=") + kWeekdays[p.FirstDayOfWeek % 7];
        return rule;
    case kPatternMonth:
    case kPatternMonthNth:
    case kPatternMonthEnd:
        break;
    default:
        Unsupported("a pattern of the Hijri calendar");
    }
    if (!HasGregorianMonths(p.CalendarType))
        Unsupported("a pattern in calendar " + std::to_string(p.CalendarType));
    if (p.Frequency == kRecurYearly) {
        if (p.Period % 12 != 0)
            Unsupported("a yearly period of " + std::to_string(p.Period) + " months");
        rule = "FREQ=YEARLY;INTERVAL=" + std::to_string(p.Period / 12)
            + ";BYMONTH=" + std::to_string(YearlyPatternMonth(p));
    } else {
        rule = "FREQ=MONTHLY;INTERVAL=" + std::to_string(p.Period);
    }
    if (p.PatternType == kPatternMonthEnd || (p.PatternType == kPatternMonth && p.DayOfMonth >= 31)) {
        rule += ";BYMONTHDAY=-1";
    } else if (p.PatternType == kPatternMonth && p.DayOfMonth >= 29) {
        // The 29th or 30th, or the last day of a month that ends before.
        rule += ";BYMONTHDAY=28";
        for (uint32_t d = 29; d <= p.DayOfMonth; ++d)
            rule.append(",").append(std::to_string(d));
        rule += ";BYSETPOS=-1";
    } else if (p.PatternType == kPatternMonth) {
        rule += ";BYMONTHDAY=" + std::to_string(p.DayOfMonth);
    } else {
        const std::string position = p.Nth >= 5 ? "-1" : std::to_string(p.Nth);
        if (DayCount(p.DayMask) == 1)
            rule += ";BYDAY=" + position + DayList(p.DayMask);
        else
            rule += ";BYDAY=" + DayList(p.DayMask) + ";BYSETPOS=" + position;
    }
    return rule;
}

bool PatternIncludesDay(const TRecurrencePattern& p, int64_t day)
{
    const TCivilTime t = CivilFromSeconds(day * kSecondsPerDay);
    if (IsMonthPattern(p.PatternType) && p.Frequency == kRecurYearly && t.Month != YearlyPatternMonth(p))
        return false;
    switch (p.PatternType) {
    case kPatternDay:
        return true;
    case kPatternWeek:
        return (p.DayMask >> t.DayOfWeek) & 1;
    case kPatternMonth:
        return t.Day == std::min<int>(static_cast<int>(p.DayOfMonth), DaysInMonth(t.Year, t.Month));
    case kPatternMonthEnd:
        return t.Day == DaysInMonth(t.Year, t.Month);
    case kPatternMonthNth:
        return t.Day == NthDayOfMonth(t.Year, t.Month, p.DayMask & 0x7F, p.Nth);
    default:
        return false;
    }
}

std::optional<int64_t> FirstInstanceDay(const TRecurrencePattern& p)
{
    const int64_t start = p.StartDate / kMinutesPerDay;
    constexpr int64_t kSearchDays = 4 * 366 + 31;
    for (int64_t day = start; day < start + kSearchDays; ++day)
        if (PatternIncludesDay(p, day))
            return day;
    return std::nullopt;
}

} // namespace pelmsg
