#include "calendar_builder.h"

#include "text/codepage.h"

namespace pelmsg::test {

namespace {

// 8-bit text after its length with and without the terminator, as the exceptions keep subject and location.
std::string Counted8(const std::string& text)
{
    return LE16(static_cast<uint16_t>(text.size() + 1)) + LE16(static_cast<uint16_t>(text.size())) + text;
}

// A SYSTEMTIME of a relative change date: year 0, month, day of week, week, hour.
std::string ChangeDate(const std::array<uint16_t, 4>& d)
{
    return LE16(0) + LE16(d[0]) + LE16(d[1]) + LE16(d[2]) + LE16(d[3]) + LE16(0) + LE16(0) + LE16(0);
}

std::string Biases(const ZoneRule& r)
{
    return LE32(static_cast<uint32_t>(r.Bias)) + LE32(static_cast<uint32_t>(r.StandardBias))
        + LE32(static_cast<uint32_t>(r.DaylightBias));
}

} // namespace

uint32_t MinutesOf(int year, int month, int day, int hour, int minute)
{
    return static_cast<uint32_t>(FileTimeOf(year, month, day, hour, minute, 0) / 600000000ULL);
}

std::string RecurrenceRecord::Encode() const
{
    std::string b = LE16(0x3004) + LE16(0x3004) + LE16(Frequency) + LE16(PatternType) + LE16(CalendarType)
        + LE32(FirstDateTime) + LE32(Period) + LE32(SlidingFlag);
    for (uint32_t w : Specific)
        b += LE32(w);
    b += LE32(EndType) + LE32(OccurrenceCount) + LE32(FirstDow);
    b += LE32(static_cast<uint32_t>(Deleted.size()));
    for (uint32_t d : Deleted)
        b += LE32(d);
    b += LE32(static_cast<uint32_t>(Modified.size()));
    for (uint32_t d : Modified)
        b += LE32(d);
    b += LE32(StartDate) + LE32(EndDate);
    if (!Appointment)
        return b;
    b += LE32(0x3006) + LE32(WriterVersion2) + LE32(StartTimeOffset) + LE32(EndTimeOffset);
    b += LE16(static_cast<uint16_t>(Exceptions.size()));
    for (const ExceptionRecord& e : Exceptions) {
        b += LE32(e.Start) + LE32(e.End) + LE32(e.Original) + LE16(e.Flags);
        // The fields each flag adds, in the order they follow each other.
        const std::pair<uint16_t, std::string> fields[]
            = { { 0x0001, Counted8(e.Subject) }, { 0x0004, LE32(e.ReminderDelta) }, { 0x0008, LE32(e.ReminderSet) },
                  { 0x0010, Counted8(e.Location) }, { 0x0020, LE32(e.BusyStatus) }, { 0x0080, LE32(e.SubType) } };
        for (const auto& [flag, bytes] : fields)
            if (e.Flags & flag)
                b += bytes;
    }
    b += LE32(0); // ReservedBlock1Size
    for (const ExceptionRecord& e : Exceptions) {
        if (WriterVersion2 >= 0x3009)
            b += LE32(4) + LE32(0); // ChangeHighlight
        b += LE32(0); // ReservedBlockEE1Size
        if (e.Flags & 0x0011) {
            b += LE32(e.Start) + LE32(e.End) + LE32(e.Original);
            if (e.Flags & 0x0001)
                b += LE16(static_cast<uint16_t>(Utf8ToWide(e.Subject).size())) + Utf16Le(e.Subject);
            if (e.Flags & 0x0010)
                b += LE16(static_cast<uint16_t>(Utf8ToWide(e.Location).size())) + Utf16Le(e.Location);
            b += LE32(0); // ReservedBlockEE2Size
        }
    }
    b += LE32(0); // ReservedBlock2Size
    return b;
}

std::string TimeZoneStructBytes(const ZoneRule& rule)
{
    return Biases(rule) + LE16(0) + ChangeDate(rule.Standard) + LE16(0) + ChangeDate(rule.Daylight);
}

std::string TimeZoneDefinitionBytes(const std::string& keyName, const std::vector<ZoneRule>& rules)
{
    const std::string key = Utf16Le(keyName);
    const uint16_t cch = static_cast<uint16_t>(key.size() / 2);
    std::string b = std::string("\x02\x01", 2) + LE16(static_cast<uint16_t>(6 + key.size())) + LE16(2) + LE16(cch) + key
        + LE16(static_cast<uint16_t>(rules.size()));
    for (const ZoneRule& r : rules)
        b += std::string("\x02\x01", 2) + LE16(0x3E) + LE16(r.Flags) + LE16(r.Year) + std::string(14, '\0') + Biases(r)
            + ChangeDate(r.Standard) + ChangeDate(r.Daylight);
    return b;
}

ZoneRule EasternRule2007()
{
    return { .Year = 2007, .Bias = 300, .Standard = { 11, 0, 1, 2 }, .Daylight = { 3, 0, 2, 2 } };
}

ZoneRule EasternRuleBefore2007()
{
    return { .Year = 0, .Flags = 0, .Bias = 300, .Standard = { 10, 0, 5, 2 }, .Daylight = { 4, 0, 1, 2 } };
}

ZoneRule TokyoRule() { return { .Bias = -540, .DaylightBias = 0 }; }

ZoneRule SydneyRule() { return { .Bias = -600, .Standard = { 4, 0, 1, 3 }, .Daylight = { 10, 0, 1, 2 } }; }

RecurrenceRecord PatternRecord(
    uint16_t frequency, uint16_t patternType, uint32_t period, std::vector<uint32_t> specific, bool appointment)
{
    RecurrenceRecord r;
    r.Appointment = appointment;
    r.Frequency = frequency;
    r.PatternType = patternType;
    r.Period = period;
    r.Specific = std::move(specific);
    return r;
}

RecurrenceRecord FridayLunchSeries(uint32_t busyStatus)
{
    RecurrenceRecord r = PatternRecord(0x200B, 0x0001, 1, { 0x20 }, true);
    r.EndType = 0x2022;
    r.OccurrenceCount = 10;
    r.StartDate = MinutesOf(2023, 1, 6);
    r.EndDate = MinutesOf(2023, 3, 10);
    r.StartTimeOffset = 720;
    r.EndTimeOffset = 780;
    r.Deleted = { MinutesOf(2023, 1, 13), MinutesOf(2023, 1, 20), MinutesOf(2023, 1, 27) };
    r.Modified = { MinutesOf(2023, 1, 19), MinutesOf(2023, 1, 27) };
    ExceptionRecord moved;
    moved.Start = MinutesOf(2023, 1, 19, 12);
    moved.End = MinutesOf(2023, 1, 19, 13);
    moved.Original = MinutesOf(2023, 1, 20, 12);
    moved.Flags = 0x0011; // subject and location
    moved.Subject = "Thursday lunch";
    moved.Location = "Cafe";
    ExceptionRecord busy;
    busy.Start = busy.Original = MinutesOf(2023, 1, 27, 12);
    busy.End = MinutesOf(2023, 1, 27, 13);
    busy.Flags = 0x0020; // busy status
    busy.BusyStatus = busyStatus;
    r.Exceptions = { moved, busy };
    return r;
}

RecurrenceRecord DailyWithChangedInstances(uint32_t changed)
{
    RecurrenceRecord r = PatternRecord(0x200A, 0x0000, 1440, {}, true);
    r.StartDate = MinutesOf(2000, 1, 1);
    r.StartTimeOffset = 600;
    r.EndTimeOffset = 660;
    for (uint32_t i = 0; i < changed; ++i) {
        ExceptionRecord e;
        e.Start = e.Original = MinutesOf(2000, 1, 1, 10) + 1440 * i;
        e.End = e.Start + 60;
        e.Flags = 0x0020;
        e.BusyStatus = 1;
        r.Exceptions.push_back(e);
        r.Modified.push_back(MinutesOf(2000, 1, 1) + 1440 * i);
    }
    return r;
}

std::string NamedNumber(const std::array<uint8_t, 16>& set, uint32_t number)
{
    return std::string(reinterpret_cast<const char*>(set.data()), 16) + LE32(0) + LE32(number);
}

std::string TnefBinary(const std::string& bytes)
{
    return LE32(1) + LE32(static_cast<uint32_t>(bytes.size())) + Pad4(bytes);
}

std::string TnefString8(const std::string& text)
{
    const std::string v = text + '\0';
    return LE32(1) + LE32(static_cast<uint32_t>(v.size())) + Pad4(v);
}

std::string TnefUnicode(const std::string& utf8)
{
    const std::string v = Utf16Le(utf8) + std::string(2, '\0');
    return LE32(1) + LE32(static_cast<uint32_t>(v.size())) + Pad4(v);
}

std::string TnefLong(int32_t v) { return LE32(static_cast<uint32_t>(v)); }

std::string TnefBool(bool v) { return Pad4(LE16(v ? 1 : 0)); }

std::string TnefSysTime(uint64_t fileTime) { return LE64(fileTime); }

} // namespace pelmsg::test
