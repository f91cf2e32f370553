#pragma once

// Calendar arithmetic on wall-clock times counted in seconds since 1601-01-01 00:00, the epoch of the recurrence and
// time-zone records (which count minutes from the same day). Whether such a count is UTC or a zone's local time is
// up to the caller; these functions never look at the machine's zone.

#include <cstdint>
#include <optional>
#include <string>

namespace pelmsg {

inline constexpr int64_t kSecondsPerMinute = 60;
inline constexpr int64_t kSecondsPerDay = 86400;
inline constexpr int64_t kMinutesPerDay = 1440;

// The fields of a wall-clock time. DayOfWeek: 0 Sunday .. 6 Saturday.
struct TCivilTime {
    int Year = 1601, Month = 1, Day = 1;
    int Hour = 0, Minute = 0, Second = 0;
    int DayOfWeek = 1;
};

// Days since 1601-01-01 of a date of the proleptic Gregorian calendar (negative before it).
int64_t DaysFrom1601(int year, int month, int day);
// Seconds since 1601-01-01 00:00 of a date and time.
int64_t SecondsFrom1601(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The fields of a count of seconds since 1601-01-01 00:00.
TCivilTime CivilFromSeconds(int64_t seconds);
// 0 Sunday .. 6 Saturday of a day count since 1601-01-01 (a Monday).
int DayOfWeekOfDays(int64_t days);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// A date-time of the property model (days since 1899-12-30, as stored) as seconds since 1601-01-01, read as the
// same wall-clock time; nothing for 0 (the readers' "no date") and for dates outside the years 1601 to 4499
// (the records use 4501-01-01 for "none").
std::optional<int64_t> SecondsFromDateTime(double dateTime);
// A date-time property value (local time, as the readers store it) as UTC seconds since 1601-01-01.
std::optional<int64_t> UtcSecondsFromDateTime(double localDateTime);
// UTC seconds since 1601 as a date-time of the property model in the machine's local time.
double LocalDateTimeFromUtcSeconds(int64_t utcSeconds);

// "YYYYMMDD" and "YYYYMMDDTHHMMSS" (the iCalendar forms; the caller adds "Z" for UTC).
std::string FormatCivilDate(int64_t seconds);
std::string FormatCivilDateTime(int64_t seconds);

} // namespace pelmsg
