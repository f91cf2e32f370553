#pragma once

// Calendar items as iCalendar (RFC 5545) files: appointments and meeting messages as events, tasks as to-dos.

#include <cstddef>
#include <string>
#include <vector>

#include "model/property.h"

namespace pelmsg {

class TStream;

// What the changed instances of a series may repeat of it in all, in bytes (its UID and zone id, subject,
// location and organizer, description and attendees): at least kMinICalendarRepeatedBytes, beyond that up to
// kICalendarRepeatedBytesPerRecordByte times the size of its recurrence record, never more than
// kMaxICalendarRepeatedBytes. What does not fit is left out with a warning, so the file stays within a small
// multiple of the message.
inline constexpr size_t kMaxICalendarRepeatedBytes = size_t { 16 } * 1024 * 1024;
inline constexpr size_t kMinICalendarRepeatedBytes = size_t { 1024 } * 1024;
inline constexpr size_t kICalendarRepeatedBytesPerRecordByte = 8;
// A zone id longer than this (it may be the item's free-text zone description) is cut.
inline constexpr size_t kMaxICalendarZoneIdBytes = 80;
// Deleted instances are listed this many to an EXDATE line.
inline constexpr size_t kICalendarExdatesPerLine = 100;

// The iCalendar text of a message that is an appointment, a meeting request, cancellation or response (METHOD
// REQUEST, CANCEL, REPLY; none for an appointment), a task or a task request (the task it carries). Times keep the
// zone the item gives them (written as VTIMEZONE), else they are UTC; a recurrence becomes RRULE with EXDATE for
// deleted instances and one more event with RECURRENCE-ID per changed instance. What the file leaves out because
// the message holds it damaged (a recurrence or time-zone record) is described in `warnings`. Raises
// EWrongItemKind for any other message.
std::string ICalendarText(const TMSGProperties& message, std::vector<std::string>* warnings = nullptr);

// Writes the iCalendar text to a stream or, through a temporary file, to a file (which a failure leaves as it was).
void SaveToICalendar(const TMSGProperties& message, TStream& stream, std::vector<std::string>* warnings = nullptr);
void SaveToICalendarFile(
    const TMSGProperties& message, const std::string& fileName, std::vector<std::string>* warnings = nullptr);

} // namespace pelmsg
