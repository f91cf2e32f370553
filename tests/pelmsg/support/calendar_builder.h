#pragma once

// Binary records of calendar items for tests: recurrence patterns, appointment recurrences, time-zone records, and
// named properties of a TNEF property list.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tnef_builder.h"

namespace pelmsg::test {

// Minutes since 1601-01-01 00:00 of a date and time (the unit of the recurrence records).
uint32_t MinutesOf(int year, int month, int day, int hour = 0, int minute = 0);

struct ExceptionRecord {
    uint32_t Start = 0, End = 0, Original = 0;
    uint16_t Flags = 0;
    std::string Subject, Location; // ASCII; written both as 8-bit and as UTF-16 text
    uint32_t BusyStatus = 0, ReminderDelta = 0, ReminderSet = 0, SubType = 0;
};

// A recurrence pattern, and with Appointment set the appointment recurrence around it.
struct RecurrenceRecord {
    uint16_t Frequency = 0x200B, PatternType = 1, CalendarType = 0;
    uint32_t FirstDateTime = 0, Period = 1, SlidingFlag = 0;
    std::vector<uint32_t> Specific = { 0x02 }; // the pattern-type words (day mask, day, N)
    uint32_t EndType = 0x2023, OccurrenceCount = 0, FirstDow = 0;
    std::vector<uint32_t> Deleted, Modified;
    uint32_t StartDate = 0, EndDate = 0;

    bool Appointment = true;
    uint32_t WriterVersion2 = 0x3009;
    uint32_t StartTimeOffset = 0, EndTimeOffset = 0;
    std::vector<ExceptionRecord> Exceptions;

    std::string Encode() const;
};

// A recurrence pattern of the frequency, pattern type, period and pattern words (a task's when not an appointment).
RecurrenceRecord PatternRecord(uint16_t frequency, uint16_t patternType, uint32_t period,
    std::vector<uint32_t> specific, bool appointment = false);
// A weekly meeting on Fridays 12:00-13:00 from 2023-01-06, ten times: 2023-01-13 deleted, the instance of 01-20
// moved to Thursday 01-19 with another subject and location, the one of 01-27 changed in busy status only.
RecurrenceRecord FridayLunchSeries(uint32_t busyStatus);
// A daily appointment 10:00-11:00 from 2000-01-01 whose first `changed` instances differ in busy status only.
RecurrenceRecord DailyWithChangedInstances(uint32_t changed);

struct ZoneRule {
    uint16_t Year = 0;
    uint16_t Flags = 0x0002;
    int32_t Bias = 0, StandardBias = 0, DaylightBias = -60;
    // month, day of week, week (5 last), hour
    std::array<uint16_t, 4> Standard { 0, 0, 0, 0 }, Daylight { 0, 0, 0, 0 };
};
// PidLidTimeZoneStruct (48 bytes).
std::string TimeZoneStructBytes(const ZoneRule& rule);
// A zone definition (PidLidAppointmentTimeZoneDefinition*).
std::string TimeZoneDefinitionBytes(const std::string& keyName, const std::vector<ZoneRule>& rules);
// The zones the tests use.
ZoneRule EasternRule2007(); // UTC-5, daylight-saving time from the second Sunday of March to the first of November
ZoneRule EasternRuleBefore2007(); // first Sunday of April to the last Sunday of October
ZoneRule TokyoRule(); // UTC+9
ZoneRule SydneyRule(); // UTC+10, daylight-saving time from the first Sunday of October to the first of April

// The name part of a named property in a TNEF property list: property set, kind 0, number.
std::string NamedNumber(const std::array<uint8_t, 16>& set, uint32_t number);
// Values as they follow a tag (and a name) in a TNEF property list.
std::string TnefBinary(const std::string& bytes);
std::string TnefString8(const std::string& text);
std::string TnefUnicode(const std::string& utf8);
std::string TnefLong(int32_t v);
std::string TnefBool(bool v);
std::string TnefSysTime(uint64_t fileTime);

} // namespace pelmsg::test
