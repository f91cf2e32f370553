#pragma once

#include <cstdint>
#include <optional>

namespace pelmsg {

// Date-times are days since 1899-12-30 00:00 in local time, the fraction being the time of day. As in the
// system's date-time type, a value before that day keeps its time of day as a positive fraction after the
// sign: -1.25 is 1899-12-29 06:00.

struct TDateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
    int DayOfWeek = 0; // 0 Sunday .. 6 Saturday (output only)
};

// Whether a date-time lies in the years 1 to 9999 (NaN and infinities do not).
bool IsValidDateTime(double dateTime);

// Builds a date-time; nothing when a field is out of range (month 0, 31 February, hour 24, year 0 or above 9999).
std::optional<double> TryEncodeDateTime(
    int year, int month, int day, int hour, int minute, int second, int millisecond = 0);
// Splits a date-time into its fields (milliseconds rounded).
TDateParts DecodeDateTime(double dateTime);

// Seconds east of UTC in force in the local zone at the UTC instant given as seconds since 1970.
int64_t LocalOffsetAt(int64_t unixSeconds);

// UTC date-time to local date-time with the offset in force at that date.
double UtcToLocal(double utcDateTime);
// Local date-time to UTC with the offset in force at that date (the inverse of UtcToLocal).
double LocalToUtc(double localDateTime);

// FILETIME (100 ns since 1601-01-01 UTC) to a local date-time, using the offset in force at that date.
// Nothing when the result lies beyond the year 9999.
std::optional<double> FileTimeToLocalDateTime(uint64_t fileTime);
// Local date-time back to a FILETIME; the exact inverse of FileTimeToLocalDateTime.
uint64_t LocalDateTimeToFileTime(double localDateTime);

} // namespace pelmsg
