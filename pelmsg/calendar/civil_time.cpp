#include "calendar/civil_time.h"

#include <cmath>
#include <cstdio>

#include "text/civil_days.h"
#include "text/datetime.h"

namespace pelmsg {

namespace {

// 1601-01-01 counted from 1970-01-01 (the civil algorithms count from there).
constexpr int64_t kDays1601To1970 = 134774;

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

} // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (month < 1 || month > 12)
        return 30;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

int64_t DaysFrom1601(int year, int month, int day)
{
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kDays1601To1970;
}

int64_t SecondsFrom1601(int year, int month, int day, int hour, int minute, int second)
{
    return DaysFrom1601(year, month, day) * kSecondsPerDay + int64_t { hour } * 3600 + int64_t { minute } * 60 + second;
}

int DayOfWeekOfDays(int64_t days) { return static_cast<int>(((days % 7) + 7 + 1) % 7); }

TCivilTime CivilFromSeconds(int64_t seconds)
{
    TCivilTime t;
    const int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const int64_t rest = seconds - days * kSecondsPerDay;
    CivilFromDays(days - kDays1601To1970, t.Year, t.Month, t.Day);
    t.Hour = static_cast<int>(rest / 3600);
    t.Minute = static_cast<int>(rest / 60 % 60);
    t.Second = static_cast<int>(rest % 60);
    t.DayOfWeek = DayOfWeekOfDays(days);
    return t;
}

std::optional<int64_t> SecondsFromDateTime(double dateTime)
{
    if (dateTime == 0 || !IsValidDateTime(dateTime))
        return std::nullopt;
    TDateParts p = DecodeDateTime(dateTime);
    if (p.Year < 1601 || p.Year >= 4500)
        return std::nullopt;
    return SecondsFrom1601(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
}

std::optional<int64_t> UtcSecondsFromDateTime(double localDateTime)
{
    if (localDateTime == 0 || !IsValidDateTime(localDateTime))
        return std::nullopt;
    return SecondsFromDateTime(LocalToUtc(localDateTime));
}

double LocalDateTimeFromUtcSeconds(int64_t utcSeconds)
{
    TCivilTime t = CivilFromSeconds(utcSeconds);
    auto utc = TryEncodeDateTime(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
    return utc ? UtcToLocal(*utc) : 0.0;
}

std::string FormatCivilDate(int64_t seconds)
{
    TCivilTime t = CivilFromSeconds(seconds);
    char text[16];
    (void)std::snprintf(text, sizeof text, "%04d%02d%02d", t.Year, t.Month, t.Day);
    return text;
}

std::string FormatCivilDateTime(int64_t seconds)
{
    TCivilTime t = CivilFromSeconds(seconds);
    char text[24];
    (void)std::snprintf(
        text, sizeof text, "%04d%02d%02dT%02d%02d%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
    return text;
}

} // namespace pelmsg
