#pragma once

// A recurrence pattern in the terms of an iCalendar recurrence rule (RFC 5545 RRULE): the rule itself and the day
// its first instance falls on.

#include <cstdint>
#include <optional>
#include <string>

#include "calendar/recurrence.h"

namespace pelmsg {

// The rule's frequency and days ("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,FR;WKST=SU"); the caller adds COUNT or UNTIL.
// A day of the month that shorter months lack falls on their last day, as the pattern means it. Raises
// EFormatError for a pattern no rule can express: one of the Hijri calendar, months of a calendar other than the
// Gregorian one, a daily period that is no whole number of days, a yearly one that is no whole number of years.
std::string RecurrenceRuleText(const TRecurrencePattern& pattern);

// Whether the pattern's days include a day (days since 1601-01-01), the period aside.
bool PatternIncludesDay(const TRecurrencePattern& pattern, int64_t day);

// The first day (days since 1601-01-01) on or after the pattern's start date that the pattern includes; nothing
// when there is none within four years.
std::optional<int64_t> FirstInstanceDay(const TRecurrencePattern& pattern);

// The month (1 to 12) a yearly pattern falls in.
int YearlyPatternMonth(const TRecurrencePattern& pattern);

} // namespace pelmsg
