#include "text/datetime.h"

#include <cmath>
#include <ctime>

#include "text/civil_days.h"

namespace pelmsg {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 as a date-time
constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL; // 1970-01-01 in FILETIME ticks
constexpr int64_t kTicksPerSecond = 10000000;
constexpr double kMaxDateTime = 2958466.0; // 10000-01-01
constexpr double kMinDateTime = -693594.0; // 0001-01-01

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Date-time to whole milliseconds since 1899-12-30, honouring the sign convention of negative values. Values
// outside the years 1 to 9999 (and NaN) count as 0: a damaged file must not make the arithmetic overflow.
int64_t ToMilliseconds(double dateTime)
{
    if (!IsValidDateTime(dateTime))
        return 0;
    double whole = std::trunc(dateTime);
    double frac = std::fabs(dateTime - whole);
    int64_t ms = static_cast<int64_t>(std::llround(frac * kSecondsPerDay * 1000.0));
    return static_cast<int64_t>(whole) * kSecondsPerDay * 1000 + ms;
}

double FromMilliseconds(int64_t ms)
{
    int64_t dayMs = kSecondsPerDay * 1000;
    int64_t days = ms >= 0 ? ms / dayMs : -((-ms + dayMs - 1) / dayMs); // floor
    int64_t timeMs = ms - days * dayMs;
    double frac = static_cast<double>(timeMs) / static_cast<double>(dayMs);
    // Negative dates carry the time of day as a positive fraction after the sign.
    return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

// Seconds since 1970 of a date-time read as UTC (fraction dropped to whole seconds, remainder returned).
int64_t ToUnixSeconds(double dateTime, int64_t& remainderMs)
{
    int64_t ms = ToMilliseconds(dateTime) - static_cast<int64_t>(kUnixEpochDays) * kSecondsPerDay * 1000;
    int64_t secs = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    remainderMs = ms - secs * 1000;
    return secs;
}

double FromUnixSeconds(int64_t secs, int64_t remainderMs)
{
    return FromMilliseconds((secs + static_cast<int64_t>(kUnixEpochDays) * kSecondsPerDay) * 1000 + remainderMs);
}

} // namespace

bool IsValidDateTime(double dateTime) { return dateTime >= kMinDateTime && dateTime < kMaxDateTime; }

std::optional<double> TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0
        || millisecond > 999)
        return std::nullopt;
    int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))
        + static_cast<int64_t>(kUnixEpochDays);
    int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    return FromMilliseconds(days * kSecondsPerDay * 1000 + ms);
}

TDateParts DecodeDateTime(double dateTime)
{
    TDateParts p;
    int64_t ms = ToMilliseconds(dateTime);
    int64_t dayMs = kSecondsPerDay * 1000;
    int64_t days = ms >= 0 ? ms / dayMs : -((-ms + dayMs - 1) / dayMs);
    int64_t timeMs = ms - days * dayMs;
    CivilFromDays(days - static_cast<int64_t>(kUnixEpochDays), p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(timeMs / 3600000);
    p.Minute = static_cast<int>(timeMs / 60000 % 60);
    p.Second = static_cast<int>(timeMs / 1000 % 60);
    p.Millisecond = static_cast<int>(timeMs % 1000);
    // 1899-12-30 was a Saturday.
    p.DayOfWeek = static_cast<int>(((days % 7) + 7 + 6) % 7);
    return p;
}

int64_t LocalOffsetAt(int64_t unixSeconds)
{
    time_t t = static_cast<time_t>(unixSeconds);
    struct tm local { };
    if (!localtime_r(&t, &local))
        return 0;
    return local.tm_gmtoff;
}

double UtcToLocal(double utcDateTime)
{
    int64_t rem = 0;
    int64_t secs = ToUnixSeconds(utcDateTime, rem);
    return FromUnixSeconds(secs + LocalOffsetAt(secs), rem);
}

double LocalToUtc(double localDateTime)
{
    int64_t rem = 0;
    int64_t localSecs = ToUnixSeconds(localDateTime, rem);
    // mktime resolves the local wall-clock time with the rules in force at that date.
    TDateParts p = DecodeDateTime(localDateTime);
    struct tm tmv { };
    tmv.tm_year = p.Year - 1900;
    tmv.tm_mon = p.Month - 1;
    tmv.tm_mday = p.Day;
    tmv.tm_hour = p.Hour;
    tmv.tm_min = p.Minute;
    tmv.tm_sec = p.Second;
    tmv.tm_isdst = -1;
    time_t t = mktime(&tmv);
    int64_t offset = (t == static_cast<time_t>(-1)) ? LocalOffsetAt(localSecs) : tmv.tm_gmtoff;
    // Use the offset mktime chose; computing from the offset keeps the milliseconds exact.
    return FromUnixSeconds(localSecs - offset, rem);
}

std::optional<double> FileTimeToLocalDateTime(uint64_t fileTime)
{
    if (fileTime > static_cast<uint64_t>(INT64_MAX))
        return std::nullopt;
    int64_t ticks = static_cast<int64_t>(fileTime);
    int64_t sinceUnix = ticks - kFileTimeUnixEpoch;
    int64_t secs
        = sinceUnix >= 0 ? sinceUnix / kTicksPerSecond : -((-sinceUnix + kTicksPerSecond - 1) / kTicksPerSecond);
    int64_t remTicks = sinceUnix - secs * kTicksPerSecond;
    int64_t remMs = remTicks / 10000;
    double local = FromUnixSeconds(secs + LocalOffsetAt(secs), remMs);
    if (local >= kMaxDateTime)
        return std::nullopt;
    return local;
}

uint64_t LocalDateTimeToFileTime(double localDateTime)
{
    double utc = LocalToUtc(localDateTime);
    int64_t rem = 0;
    int64_t secs = ToUnixSeconds(utc, rem);
    int64_t ticks = secs * kTicksPerSecond + rem * 10000 + kFileTimeUnixEpoch;
    return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

} // namespace pelmsg
