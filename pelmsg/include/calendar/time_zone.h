#pragma once

// The time zones calendar items carry: the registry-style record of one rule (bias, standard and daylight-saving
// dates; PidLidTimeZoneStruct) and the definition of a zone as rules by year (PidLidAppointmentTimeZoneDefinition*).
// Both are read from untrusted bytes with bounds checks; conversions between a zone's wall-clock time and UTC work
// on seconds since 1601-01-01.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "model/types.h"

namespace pelmsg {

// A zone definition holds at most this many rules (the limit of the format's writers).
inline constexpr size_t kMaxTimeZoneRules = 1024;
// Biases beyond a day are no zone's.
inline constexpr int32_t kMaxTimeZoneBiasMinutes = 1440;

// When a change between standard and daylight-saving time happens. With Year 0 (the usual form) it is relative:
// the Day-th (1 to 4, or 5 for the last) weekday DayOfWeek (0 Sunday) of Month; otherwise the date Year-Month-Day.
// Month 0 means the zone has no such change.
struct TTransitionDate {
    uint16_t Year = 0, Month = 0, DayOfWeek = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Milliseconds = 0;
    bool operator==(const TTransitionDate&) const = default;
};

// One rule of a zone: UTC = local time + Bias + StandardBias (or + DaylightBias during daylight-saving time), in
// minutes.
struct TTimeZoneRule {
    uint16_t StartYear = 0; // the year from which the rule applies
    uint16_t Flags = 0; // 0x0002: the rule in effect now
    int32_t Bias = 0, StandardBias = 0, DaylightBias = 0;
    TTransitionDate StandardDate, DaylightDate;

    bool HasDaylightSaving() const { return StandardDate.Month != 0 && DaylightDate.Month != 0; }
    // Offsets east of UTC, in seconds.
    int64_t StandardOffset() const { return -static_cast<int64_t>(Bias + StandardBias) * 60; }
    int64_t DaylightOffset() const { return -static_cast<int64_t>(Bias + DaylightBias) * 60; }
    // Whether two rules give the same offsets and changes (the start year and flags aside).
    bool SameClockAs(const TTimeZoneRule& other) const;
};

// A zone: its name and its rules, oldest first. The first rule also applies before its own start year.
struct TTimeZone {
    WideString Name;
    std::vector<TTimeZoneRule> Rules;

    const TTimeZoneRule& RuleForYear(int year) const;
    // The zone's wall-clock time at a UTC moment, and the UTC moment of a wall-clock time (seconds since 1601).
    // A wall-clock time that does not exist (skipped by the change to daylight-saving time) is read as standard
    // time; one that exists twice (around the change back) as daylight-saving time.
    int64_t ToLocal(int64_t utcSeconds) const;
    int64_t ToUtc(int64_t localSeconds) const;
    bool operator==(const TTimeZone&) const;
};

// Reads the 48-byte record of PidLidTimeZoneStruct. Raises EFormatError when it is short or holds impossible
// values.
TTimeZoneRule ReadTimeZoneStruct(std::string_view bytes);
// Reads a zone definition (PidLidAppointmentTimeZoneDefinitionStartDisplay, ...EndDisplay, ...Recur). Raises
// EFormatError when it is truncated, of an unknown version, has no rules or more than kMaxTimeZoneRules, or
// holds impossible values.
TTimeZone ReadTimeZoneDefinition(std::string_view bytes);

// The wall-clock moment (seconds since 1601) of a change in a year; nothing for Month 0.
std::optional<int64_t> TransitionInYear(const TTransitionDate& date, int year);

} // namespace pelmsg
