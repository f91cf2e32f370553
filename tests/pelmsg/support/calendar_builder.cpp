#include "calendar_builder.h"

#include "text/codepage.h"

namespace pelmsg::test {

namespace {

std::string Pad4(std::string s)
{
    while (s.size() % 4)
        s.push_back('\0');
    return s;
}

std::string Utf16(const std::string& utf8)
{
    std::string out;
    for (char16_t c : Utf8ToWide(utf8))
        out += LE16(c);
    return out;
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
        if (e.Flags & 0x0001)
            b += LE16(static_cast<uint16_t>(e.Subject.size() + 1)) + LE16(static_cast<uint16_t>(e.Subject.size()))
                + e.Subject;
        if (e.Flags & 0x0004)
            b += LE32(e.ReminderDelta);
        if (e.Flags & 0x0008)
            b += LE32(e.ReminderSet);
        if (e.Flags & 0x0010)
            b += LE16(static_cast<uint16_t>(e.Location.size() + 1)) + LE16(static_cast<uint16_t>(e.Location.size()))
                + e.Location;
        if (e.Flags & 0x0020)
            b += LE32(e.BusyStatus);
        if (e.Flags & 0x0080)
            b += LE32(e.SubType);
    }
    b += LE32(0); // ReservedBlock1Size
    for (const ExceptionRecord& e : Exceptions) {
        if (WriterVersion2 >= 0x3009)
            b += LE32(4) + LE32(0); // ChangeHighlight
        b += LE32(0); // ReservedBlockEE1Size
        if (e.Flags & 0x0011) {
            b += LE32(e.Start) + LE32(e.End) + LE32(e.Original);
            if (e.Flags & 0x0001)
                b += LE16(static_cast<uint16_t>(Utf8ToWide(e.Subject).size())) + Utf16(e.Subject);
            if (e.Flags & 0x0010)
                b += LE16(static_cast<uint16_t>(Utf8ToWide(e.Location).size())) + Utf16(e.Location);
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
    const std::string key = Utf16(keyName);
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
    ZoneRule r;
    r.Year = 2007;
    r.Bias = 300;
    r.Standard = { 11, 0, 1, 2 };
    r.Daylight = { 3, 0, 2, 2 };
    return r;
}

ZoneRule EasternRuleBefore2007()
{
    ZoneRule r = EasternRule2007();
    r.Year = 0;
    r.Flags = 0;
    r.Standard = { 10, 0, 5, 2 };
    r.Daylight = { 4, 0, 1, 2 };
    return r;
}

ZoneRule TokyoRule()
{
    ZoneRule r;
    r.Bias = -540;
    r.DaylightBias = 0;
    return r;
}

ZoneRule SydneyRule()
{
    ZoneRule r;
    r.Bias = -600;
    r.Standard = { 4, 0, 1, 3 };
    r.Daylight = { 10, 0, 1, 2 };
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
    const std::string v = Utf16(utf8) + std::string(2, '\0');
    return LE32(1) + LE32(static_cast<uint32_t>(v.size())) + Pad4(v);
}

std::string TnefLong(int32_t v) { return LE32(static_cast<uint32_t>(v)); }

std::string TnefBool(bool v) { return Pad4(LE16(v ? 1 : 0)); }

std::string TnefSysTime(uint64_t fileTime) { return LE64(fileTime); }

} // namespace pelmsg::test
