#pragma once

// The binary recurrence of calendar items and tasks: the recurrence pattern (PidLidTaskRecurrence and the first part
// of PidLidAppointmentRecur) and the appointment recurrence with its start and end times and its changed instances.
// Read from untrusted bytes with bounds checks and named limits.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "model/types.h"

namespace pelmsg {

// A recurrence lists at most this many deleted, and as many changed, instance dates.
inline constexpr uint32_t kMaxRecurrenceInstanceDates = 50000;
// An appointment recurrence describes at most this many changed instances.
inline constexpr uint32_t kMaxRecurrenceExceptions = 50000;

// How often the pattern repeats.
enum : uint16_t {
    kRecurDaily = 0x200A,
    kRecurWeekly = 0x200B,
    kRecurMonthly = 0x200C,
    kRecurYearly = 0x200D,
};

// What the pattern counts.
enum : uint16_t {
    kPatternDay = 0x0000,
    kPatternWeek = 0x0001,
    kPatternMonth = 0x0002, // a day of the month
    kPatternMonthNth = 0x0003, // the n-th of some weekdays in the month
    kPatternMonthEnd = 0x0004, // the last day of the month
    kPatternHjMonth = 0x000A, // the same three in the Hijri calendar
    kPatternHjMonthNth = 0x000B,
    kPatternHjMonthEnd = 0x000C,
};

// How the recurrence ends.
enum : uint32_t {
    kEndAfterDate = 0x2021,
    kEndAfterCount = 0x2022,
    kEndNever = 0x2023,
    kEndNeverOld = 0xFFFFFFFF, // written by old clients for "never"
};

// Which values a changed instance overrides.
enum : uint16_t {
    kOverrideSubject = 0x0001,
    kOverrideMeetingType = 0x0002,
    kOverrideReminderDelta = 0x0004,
    kOverrideReminderSet = 0x0008,
    kOverrideLocation = 0x0010,
    kOverrideBusyStatus = 0x0020,
    kOverrideAttachment = 0x0040,
    kOverrideSubType = 0x0080,
    kOverrideAppointmentColor = 0x0100,
    kOverrideExceptionalBody = 0x0200,
};

// Times are minutes since 1601-01-01 00:00 in the zone of the recurrence; dates are such times at midnight.
struct TRecurrencePattern {
    uint16_t Frequency = kRecurDaily;
    uint16_t PatternType = kPatternDay;
    uint16_t CalendarType = 0;
    uint32_t FirstDateTime = 0;
    // Minutes for a daily pattern, weeks for a weekly one, months for monthly and yearly ones.
    uint32_t Period = 1;
    uint32_t SlidingFlag = 0;
    // Week and MonthNth: the days, bit 0 Sunday to bit 6 Saturday.
    uint32_t DayMask = 0;
    // Month, MonthEnd: the day of the month (29 to 31 also mean the last day of a shorter month).
    uint32_t DayOfMonth = 0;
    // MonthNth: 1 to 4, or 5 for the last.
    uint32_t Nth = 0;
    uint32_t EndType = kEndNever;
    uint32_t OccurrenceCount = 0;
    uint32_t FirstDayOfWeek = 0; // 0 Sunday
    // The original dates of deleted and of changed instances.
    std::vector<uint32_t> DeletedInstanceDates;
    // The dates changed instances now fall on.
    std::vector<uint32_t> ModifiedInstanceDates;
    uint32_t StartDate = 0;
    uint32_t EndDate = 0;
};

// One changed instance of an appointment.
struct TRecurrenceException {
    uint32_t StartDateTime = 0;
    uint32_t EndDateTime = 0;
    uint32_t OriginalStartDate = 0; // the start the instance had in the pattern
    uint16_t OverrideFlags = 0;
    // Subject and location as 8-bit text (the message's code page) and, when the record holds it, as UTF-16.
    ByteString Subject8, Location8;
    std::optional<WideString> Subject, Location;
    uint32_t MeetingType = 0, ReminderDelta = 0, ReminderSet = 0, BusyStatus = 0, Attachment = 0, SubType = 0,
             AppointmentColor = 0;
};

struct TAppointmentRecurrence {
    TRecurrencePattern Pattern;
    uint32_t ReaderVersion2 = 0;
    uint32_t WriterVersion2 = 0;
    // Minutes after midnight of each instance's start and end (the end may lie on a later day).
    uint32_t StartTimeOffset = 0;
    uint32_t EndTimeOffset = 0;
    std::vector<TRecurrenceException> Exceptions;
    // Whether the UTF-16 subjects and locations of the changed instances could be read; a record cut short after
    // the 8-bit ones keeps those.
    bool ExtendedExceptionsRead = false;
};

// Read a recurrence pattern, or an appointment recurrence, from the bytes of the property. Raise EFormatError
// with the field and the byte offset when the bytes are cut short, a count exceeds its limit or a value is
// impossible (unknown frequency, pattern type or end type, a period of 0, no days).
TRecurrencePattern ReadRecurrencePattern(std::string_view bytes);
TAppointmentRecurrence ReadAppointmentRecurrence(std::string_view bytes);

} // namespace pelmsg
