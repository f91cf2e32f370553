#include "locale_text.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include <unicode/datefmt.h>
#include <unicode/decimfmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "datetime.h"

namespace pelmsg {

namespace {

WideString FromUnicodeString(const icu::UnicodeString& s)
{
    return WideString(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<size_t>(s.length()));
}

icu::Locale UserLocale(const char* category)
{
    return icu::Locale::createCanonical(UserLocaleName(category).c_str());
}

// Unix epoch milliseconds of a local date-time read as if it were UTC: formatting it in the GMT zone shows the
// local wall-clock fields unchanged, whatever zone ICU has cached.
double AsWallClockMillis(double dateTime)
{
    TDateParts p = DecodeDateTime(dateTime);
    auto d = TryEncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
    double days = d ? *d : dateTime;
    return (days - 25569.0) * 86400000.0;
}

} // namespace

std::string UserLocaleName(const char* category)
{
    const char* names[] = { "LC_ALL", category, "LANG" };
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string v(value);
            // Drop the encoding and modifier ("de_DE.UTF-8@euro").
            v = v.substr(0, v.find_first_of(".@"));
            if (v == "C" || v == "POSIX" || v.empty())
                return "en_US";
            return v;
        }
    }
    return "en_US";
}

WideString LocaleDateTimeText(double dateTime)
{
    if (!IsValidDateTime(dateTime))
        return LocaleNumberText(dateTime); // not a date any calendar can show
    std::unique_ptr<icu::DateFormat> fmt(
        icu::DateFormat::createDateTimeInstance(icu::DateFormat::kShort, icu::DateFormat::kMedium, UserLocale("LC_TIME")));
    if (!fmt)
        return {};
    fmt->adoptTimeZone(icu::TimeZone::createTimeZone("GMT"));
    icu::UnicodeString out;
    fmt->format(AsWallClockMillis(dateTime), out);
    return FromUnicodeString(out);
}

WideString LocaleNumberText(double value)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> fmt(icu::NumberFormat::createInstance(UserLocale("LC_NUMERIC"), status));
    if (U_FAILURE(status) || !fmt)
        return {};
    fmt->setGroupingUsed(false);
    if (value != 0 && (std::fabs(value) >= 1e15 || std::fabs(value) < 1e-5)) {
        // Very large and very small numbers read better in scientific notation.
        status = U_ZERO_ERROR;
        fmt.reset(icu::NumberFormat::createScientificInstance(UserLocale("LC_NUMERIC"), status));
        if (U_FAILURE(status) || !fmt)
            return {};
    }
    fmt->setMaximumFractionDigits(15);
    if (auto* decimal = dynamic_cast<icu::DecimalFormat*>(fmt.get())) {
        decimal->setSignificantDigitsUsed(true);
        decimal->setMaximumSignificantDigits(15);
        decimal->setMinimumSignificantDigits(1);
    }
    icu::UnicodeString out;
    fmt->format(value, out);
    return FromUnicodeString(out);
}

WideString LocaleCurrencyText(const TCurrency& value)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> fmt(icu::NumberFormat::createInstance(UserLocale("LC_NUMERIC"), status));
    if (U_FAILURE(status) || !fmt)
        return {};
    fmt->setGroupingUsed(false);
    fmt->setMinimumFractionDigits(0);
    fmt->setMaximumFractionDigits(4);
    icu::UnicodeString out;
    fmt->format(value.AsDouble(), out);
    return FromUnicodeString(out);
}

WideString BooleanText(bool value) { return value ? u"True" : u"False"; }

WideString LocaleWeekdayName(int dayOfWeek)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::DateFormatSymbols symbols(UserLocale("LC_TIME"), status);
    if (U_FAILURE(status))
        return {};
    int32_t count = 0;
    const icu::UnicodeString* names = symbols.getWeekdays(count); // index 1 = Sunday
    if (dayOfWeek < 0 || dayOfWeek + 1 >= count)
        return {};
    return FromUnicodeString(names[dayOfWeek + 1]);
}

WideString LocaleMonthName(int month)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::DateFormatSymbols symbols(UserLocale("LC_TIME"), status);
    if (U_FAILURE(status))
        return {};
    int32_t count = 0;
    const icu::UnicodeString* names
        = symbols.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
    if (month < 1 || month > count)
        return {};
    return FromUnicodeString(names[month - 1]);
}

} // namespace pelmsg
