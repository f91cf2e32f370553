#include "calendar/recurrence.h"

#include "calendar/record_reader.h"

namespace pelmsg {

namespace {

constexpr uint16_t kRecurrenceReaderVersion = 0x3004;
constexpr uint32_t kChangeHighlightWriterVersion = 0x3009;
constexpr uint32_t kMinutesPerDay32 = 1440;

bool IsKnownPatternType(uint16_t type)
{
    switch (type) {
    case kPatternDay:
    case kPatternWeek:
    case kPatternMonth:
    case kPatternMonthNth:
    case kPatternMonthEnd:
    case kPatternHjMonth:
    case kPatternHjMonthNth:
    case kPatternHjMonthEnd:
        return true;
    default:
        return false;
    }
}

std::vector<uint32_t> ReadDates(TRecordReader& r, const char* countField, const char* datesField)
{
    const uint32_t count = r.U32LE();
    if (count > kMaxRecurrenceInstanceDates)
        r.Fail(std::string(countField) + " " + std::to_string(count) + " is more than "
            + std::to_string(kMaxRecurrenceInstanceDates));
    if (count > r.Remaining() / 4)
        r.Fail(std::string(datesField) + " run past the end of the data");
    std::vector<uint32_t> dates;
    dates.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        dates.push_back(r.U32LE());
    return dates;
}

TRecurrencePattern ReadPattern(TRecordReader& r)
{
    TRecurrencePattern p;
    const uint16_t readerVersion = r.U16LE();
    r.U16LE(); // WriterVersion
    if (readerVersion != kRecurrenceReaderVersion)
        r.Fail("unknown ReaderVersion " + std::to_string(readerVersion));
    p.Frequency = r.U16LE();
    if (p.Frequency < kRecurDaily || p.Frequency > kRecurYearly)
        r.Fail("unknown RecurFrequency " + std::to_string(p.Frequency));
    p.PatternType = r.U16LE();
    if (!IsKnownPatternType(p.PatternType))
        r.Fail("unknown PatternType " + std::to_string(p.PatternType));
    p.CalendarType = r.U16LE();
    p.FirstDateTime = r.U32LE();
    p.Period = r.U32LE();
    if (p.Period == 0)
        r.Fail("a Period of 0");
    p.SlidingFlag = r.U32LE();
    switch (p.PatternType) {
    case kPatternDay:
        break;
    case kPatternWeek:
        p.DayMask = r.U32LE();
        break;
    case kPatternMonthNth:
    case kPatternHjMonthNth:
        p.DayMask = r.U32LE();
        p.Nth = r.U32LE();
        if (p.Nth < 1 || p.Nth > 5)
            r.Fail("N " + std::to_string(p.Nth) + " is not 1 to 5");
        break;
    default:
        p.DayOfMonth = r.U32LE();
        if (p.PatternType != kPatternMonthEnd && p.PatternType != kPatternHjMonthEnd
            && (p.DayOfMonth < 1 || p.DayOfMonth > 31))
            r.Fail("day of month " + std::to_string(p.DayOfMonth));
        break;
    }
    if ((p.PatternType == kPatternWeek || p.PatternType == kPatternMonthNth || p.PatternType == kPatternHjMonthNth)
        && (p.DayMask & 0x7F) == 0)
        r.Fail("no days of the week");
    p.EndType = r.U32LE();
    if (p.EndType != kEndAfterDate && p.EndType != kEndAfterCount && p.EndType != kEndNever
        && p.EndType != kEndNeverOld)
        r.Fail("unknown EndType " + std::to_string(p.EndType));
    p.OccurrenceCount = r.U32LE();
    p.FirstDayOfWeek = r.U32LE();
    if (p.FirstDayOfWeek > 6)
        r.Fail("FirstDOW " + std::to_string(p.FirstDayOfWeek));
    p.DeletedInstanceDates = ReadDates(r, "DeletedInstanceCount", "DeletedInstanceDates");
    p.ModifiedInstanceDates = ReadDates(r, "ModifiedInstanceCount", "ModifiedInstanceDates");
    p.StartDate = r.U32LE();
    p.EndDate = r.U32LE();
    return p;
}

ByteString ReadString8(TRecordReader& r)
{
    r.U16LE(); // the length with a terminating NUL that is not stored
    const uint16_t length = r.U16LE();
    return ByteString(r.Bytes(length));
}

// The values a changed instance may override, in the order they are stored, each there when its flag is set:
// subject and location as counted 8-bit strings, the others as 32-bit numbers.
struct TOverrideField {
    uint16_t Flag;
    ByteString TRecurrenceException::*Text;
    uint32_t TRecurrenceException::*Number;
};
constexpr TOverrideField kOverrideFields[] = {
    { kOverrideSubject, &TRecurrenceException::Subject8, nullptr },
    { kOverrideMeetingType, nullptr, &TRecurrenceException::MeetingType },
    { kOverrideReminderDelta, nullptr, &TRecurrenceException::ReminderDelta },
    { kOverrideReminderSet, nullptr, &TRecurrenceException::ReminderSet },
    { kOverrideLocation, &TRecurrenceException::Location8, nullptr },
    { kOverrideBusyStatus, nullptr, &TRecurrenceException::BusyStatus },
    { kOverrideAttachment, nullptr, &TRecurrenceException::Attachment },
    { kOverrideSubType, nullptr, &TRecurrenceException::SubType },
    { kOverrideAppointmentColor, nullptr, &TRecurrenceException::AppointmentColor },
};

TRecurrenceException ReadExceptionInfo(TRecordReader& r)
{
    TRecurrenceException e;
    e.StartDateTime = r.U32LE();
    e.EndDateTime = r.U32LE();
    e.OriginalStartDate = r.U32LE();
    e.OverrideFlags = r.U16LE();
    for (const TOverrideField& field : kOverrideFields) {
        if (!(e.OverrideFlags & field.Flag))
            continue;
        if (field.Text)
            e.*field.Text = ReadString8(r);
        else
            e.*field.Number = r.U32LE();
    }
    if (e.EndDateTime < e.StartDateTime)
        r.Fail("a changed instance ends before it starts");
    return e;
}

void ReadExtendedException(TRecordReader& r, uint32_t writerVersion, TRecurrenceException& e)
{
    if (writerVersion >= kChangeHighlightWriterVersion) {
        const uint32_t size = r.U32LE();
        r.Skip(size);
    }
    r.Skip(r.U32LE());
    if (e.OverrideFlags & (kOverrideSubject | kOverrideLocation)) {
        r.U32LE(); // ExtendedException StartDateTime
        r.U32LE(); // ExtendedException EndDateTime
        r.U32LE(); // ExtendedException OriginalStartDate
        if (e.OverrideFlags & kOverrideSubject)
            e.Subject = r.Utf16(r.U16LE());
        if (e.OverrideFlags & kOverrideLocation)
            e.Location = r.Utf16(r.U16LE());
        r.Skip(r.U32LE());
    }
}

} // namespace

TRecurrencePattern ReadRecurrencePattern(std::string_view bytes)
{
    TRecordReader r(bytes, "recurrence pattern", [](uint64_t offset) {
        TRecordReader::ThrowRecordError("recurrence pattern", offset, "the data ends too early");
    });
    return ReadPattern(r);
}

TAppointmentRecurrence ReadAppointmentRecurrence(std::string_view bytes)
{
    TRecordReader r(bytes, "appointment recurrence", [](uint64_t offset) {
        TRecordReader::ThrowRecordError("appointment recurrence", offset, "the data ends too early");
    });
    TAppointmentRecurrence a;
    a.Pattern = ReadPattern(r);
    a.ReaderVersion2 = r.U32LE();
    a.WriterVersion2 = r.U32LE();
    a.StartTimeOffset = r.U32LE();
    a.EndTimeOffset = r.U32LE();
    if (a.StartTimeOffset >= kMinutesPerDay32)
        r.Fail("StartTimeOffset " + std::to_string(a.StartTimeOffset) + " is not a time of day");
    if (a.EndTimeOffset < a.StartTimeOffset)
        r.Fail("EndTimeOffset lies before StartTimeOffset");
    const uint16_t count = r.U16LE();
    if (count > kMaxRecurrenceExceptions)
        r.Fail("ExceptionCount " + std::to_string(count) + " is more than " + std::to_string(kMaxRecurrenceExceptions));
    // Each changed instance takes at least 14 bytes.
    if (count > r.Remaining() / 14)
        r.Fail("ExceptionInfo runs past the end of the data");
    a.Exceptions.reserve(count);
    for (uint16_t i = 0; i < count; ++i)
        a.Exceptions.push_back(ReadExceptionInfo(r));
    // What follows only repeats the changed instances' texts in UTF-16; a record cut short there keeps the rest.
    try {
        r.Skip(r.U32LE());
        std::vector<TRecurrenceException> extended = a.Exceptions;
        for (TRecurrenceException& e : extended)
            ReadExtendedException(r, a.WriterVersion2, e);
        a.Exceptions = std::move(extended);
        a.ExtendedExceptionsRead = true;
    } catch (const EFormatError&) {
        a.ExtendedExceptionsRead = false;
    }
    return a;
}

} // namespace pelmsg
