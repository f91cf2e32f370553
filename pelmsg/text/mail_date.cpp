// Internet mail dates ("Tue, 5 Mar 2002 09:07:03 +0300"): writing a local date-time with the zone offset of that
// date, and reading one back into local time.

#include "text/mail_date.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "text/datetime.h"

namespace pelmsg {

namespace {

constexpr std::array<const char*, 7> kDayNames = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
constexpr std::array<std::string_view, 12> kMonthNames
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

constexpr int64_t kMsPerDay = 86400000;
constexpr double kUnixEpochDays = 25569.0;

// A date-time as milliseconds on a straight line. Date-times before 1899-12-30 keep their time of day as a
// positive fraction after the sign, so plain arithmetic on the double would move them the wrong way.
int64_t LinearMs(double dateTime)
{
    double whole = std::trunc(dateTime);
    double frac = std::fabs(dateTime - whole);
    return static_cast<int64_t>(whole) * kMsPerDay + std::llround(frac * static_cast<double>(kMsPerDay));
}

double FromLinearMs(int64_t ms)
{
    int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
    double frac = static_cast<double>(ms - days * kMsPerDay) / static_cast<double>(kMsPerDay);
    return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

// The local zone's offset east of UTC, in seconds, in force at a local date-time.
int64_t OffsetAtLocal(double localDateTime)
{
    int64_t utcMs = LinearMs(LocalToUtc(localDateTime));
    int64_t unixMs = utcMs - static_cast<int64_t>(kUnixEpochDays) * kMsPerDay;
    int64_t unixSeconds = unixMs >= 0 ? unixMs / 1000 : -((-unixMs + 999) / 1000);
    return LocalOffsetAt(unixSeconds);
}

// A whole token as a decimal integer (optional sign); 0 when it is not one.
int NumberOrZero(std::u16string_view token)
{
    size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == u'+' || token[i] == u'-')) {
        negative = token[i] == u'-';
        ++i;
    }
    if (i == token.size())
        return 0;
    int64_t value = 0;
    for (; i < token.size(); ++i) {
        char16_t c = token[i];
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c - u'0');
        if (value > INT32_MAX)
            return 0;
    }
    return static_cast<int>(negative ? -value : value);
}

// Takes the text up to the separator off the front of the text, together with the separator. When the separator
// does not occur, the token is empty and the text stays as it is.
std::u16string_view TakeToken(WideString& text, char16_t separator, WideString& token)
{
    size_t at = text.find(separator);
    if (at == WideString::npos) {
        token.clear();
        return token;
    }
    token.assign(text, 0, at);
    text.erase(0, at + 1);
    return token;
}

} // namespace

ByteString ZeroPad(int64_t number, int width)
{
    // The digits of the magnitude are padded; a minus sign stays in front of them.
    uint64_t magnitude = number < 0 ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    ByteString digits = std::to_string(magnitude);
    int padTo = number < 0 ? width - 1 : width;
    if (padTo > 0 && digits.size() < static_cast<size_t>(padTo))
        digits.insert(0, static_cast<size_t>(padTo) - digits.size(), '0');
    if (number < 0)
        digits.insert(digits.begin(), '-');
    return digits;
}

ByteString TimeZoneText(double localDateTime)
{
    int64_t offset = OffsetAtLocal(localDateTime);
    if (offset == 0)
        return "GMT";
    int64_t minutes = (offset < 0 ? -offset : offset) / 60;
    ByteString text(1, offset > 0 ? '+' : '-');
    text += ZeroPad(minutes / 60, 2);
    text += ZeroPad(minutes % 60, 2);
    return text;
}

ByteString FormatMailDate(double localDateTime)
{
    TDateParts p = DecodeDateTime(localDateTime);
    ByteString out = kDayNames[static_cast<size_t>(p.DayOfWeek)];
    out += ", " + std::to_string(p.Day) + " " + std::string(kMonthNames[static_cast<size_t>(p.Month - 1)]) + " "
        + std::to_string(p.Year) + " " + ZeroPad(p.Hour, 2) + ":" + ZeroPad(p.Minute, 2) + ":" + ZeroPad(p.Second, 2)
        + " " + TimeZoneText(localDateTime);
    return out;
}

int MonthFromName(std::string_view name)
{
    for (size_t i = 0; i < kMonthNames.size(); ++i)
        if (kMonthNames[i] == name)
            return static_cast<int>(i) + 1;
    return 0;
}

double ParseMailDate(const WideString& text)
{
    size_t comma = text.find(u", ");
    if (comma == WideString::npos)
        return 0;
    WideString rest = text.substr(comma + 2);
    size_t firstNonBlank = rest.find_first_not_of(u' ');
    rest.erase(0, firstNonBlank == WideString::npos ? rest.size() : firstNonBlank);

    WideString token;
    int day = NumberOrZero(TakeToken(rest, u' ', token));
    TakeToken(rest, u' ', token);
    int month = 0;
    {
        // Month names are ASCII; anything else cannot match.
        std::string ascii;
        for (char16_t c : token)
            ascii.push_back(c < 0x80 ? static_cast<char>(c) : '\x80');
        month = MonthFromName(ascii);
    }
    int year = NumberOrZero(TakeToken(rest, u' ', token));
    int hour = NumberOrZero(TakeToken(rest, u':', token));
    int minute = NumberOrZero(TakeToken(rest, u':', token));
    int second = NumberOrZero(TakeToken(rest, u' ', token));

    // An impossible date or time means no date, not a failure of the whole message.
    std::optional<double> written = TryEncodeDateTime(year, month, day, hour, minute, second);
    if (!written)
        return 0;

    int64_t offsetMinutes = 0;
    if (!rest.empty() && rest != u"GMT") {
        std::u16string_view zone(rest);
        zone = zone.substr(0, zone.find(u' '));
        auto part = [&](size_t from) { return from < zone.size() ? zone.substr(from, 2) : std::u16string_view(); };
        offsetMinutes = static_cast<int64_t>(NumberOrZero(part(1))) * 60 + NumberOrZero(part(3));
        if (!zone.empty() && zone[0] == u'-')
            offsetMinutes = -offsetMinutes;
    }
    double utc = FromLinearMs(LinearMs(*written) - offsetMinutes * 60000);
    return UtcToLocal(utc);
}

} // namespace pelmsg
