#include "text/locale_text.h"

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

#include "text/datetime.h"

namespace pelmsg {

namespace {

WideString FromUnicodeString(const icu::UnicodeString& s)
{
    return WideString(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<size_t>(s.length()));
}

icu::Locale UserLocale(const char* category) { return icu::Locale::createCanonical(UserLocaleName(category).c_str()); }

// Unix epoch milliseconds of a local date-time read as if it were UTC: formatting it in the GMT zone shows the
// local wall-clock fields unchanged, whatever zone ICU has cached.
double AsWallClockMillis(double dateTime)
{
    TDateParts p = DecodeDateTime(dateTime);
    auto d = TryEncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
    double days = d ? *d : dateTime;
    // Rounded: the product lands a hair below the whole millisecond, and ICU would show the second before.
    return std::round((days - 25569.0) * 86400000.0);
}

// Making an ICU formatter costs tens of microseconds, far more than formatting one value, and a property listing
// formats thousands. Each thread keeps the formatter it made last for each kind and reuses it while the user's
// locale stays the same.
template <class T> class TFormatterCache {
public:
    template <class Make> T* Get(const char* category, Make make)
    {
        std::string name = UserLocaleName(category);
        if (!formatter_ || name != locale_) {
            formatter_ = make(icu::Locale::createCanonical(name.c_str()));
            locale_ = std::move(name);
        }
        return formatter_.get();
    }

private:
    std::string locale_;
    std::unique_ptr<T> formatter_;
};

// Short date and medium time in the GMT zone (the wall-clock fields are formatted as they are).
icu::DateFormat* DateTimeFormatter()
{
    thread_local TFormatterCache<icu::DateFormat> cache;
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDelete): the cache is thread_local and outlives the call
    return cache.Get("LC_TIME", [](const icu::Locale& locale) {
        std::unique_ptr<icu::DateFormat> fmt(
            icu::DateFormat::createDateTimeInstance(icu::DateFormat::kShort, icu::DateFormat::kMedium, locale));
        if (fmt)
            fmt->adoptTimeZone(icu::TimeZone::createTimeZone("GMT"));
        return fmt;
    });
}

// Up to 15 significant digits, no grouping; plain or scientific notation.
icu::NumberFormat* NumberFormatter(bool scientific)
{
    auto make = [scientific](const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::NumberFormat> fmt(scientific ? icu::NumberFormat::createScientificInstance(locale, status)
                                                          : icu::NumberFormat::createInstance(locale, status));
        if (U_FAILURE(status) || !fmt)
            return std::unique_ptr<icu::NumberFormat>();
        if (!scientific)
            fmt->setGroupingUsed(false);
        fmt->setMaximumFractionDigits(15);
        if (auto* decimal = dynamic_cast<icu::DecimalFormat*>(fmt.get())) {
            decimal->setSignificantDigitsUsed(true);
            decimal->setMaximumSignificantDigits(15);
            decimal->setMinimumSignificantDigits(1);
        }
        return fmt;
    };
    thread_local TFormatterCache<icu::NumberFormat> plain, science;
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDelete): the cache is thread_local and outlives the call
    return (scientific ? science : plain).Get("LC_NUMERIC", make);
}

// Up to four decimals, no grouping.
icu::NumberFormat* CurrencyFormatter()
{
    thread_local TFormatterCache<icu::NumberFormat> cache;
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDelete): the cache is thread_local and outlives the call
    return cache.Get("LC_NUMERIC", [](const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::NumberFormat> fmt(icu::NumberFormat::createInstance(locale, status));
        if (U_FAILURE(status) || !fmt)
            return std::unique_ptr<icu::NumberFormat>();
        fmt->setGroupingUsed(false);
        fmt->setMinimumFractionDigits(0);
        fmt->setMaximumFractionDigits(4);
        return fmt;
    });
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
    icu::DateFormat* fmt = DateTimeFormatter();
    if (!fmt)
        return {};
    icu::UnicodeString out;
    fmt->format(AsWallClockMillis(dateTime), out);
    return FromUnicodeString(out);
}

WideString LocaleNumberText(double value)
{
    // Very large and very small numbers read better in scientific notation.
    icu::NumberFormat* fmt = NumberFormatter(value != 0 && (std::fabs(value) >= 1e15 || std::fabs(value) < 1e-5));
    if (!fmt)
        return {};
    icu::UnicodeString out;
    fmt->format(value, out);
    return FromUnicodeString(out);
}

WideString LocaleCurrencyText(double value)
{
    icu::NumberFormat* fmt = CurrencyFormatter();
    if (!fmt)
        return {};
    icu::UnicodeString out;
    fmt->format(value, out);
    return FromUnicodeString(out);
}

WideString BooleanText(bool value) { return value ? u"True" : u"False"; }

namespace {

// The name at the index of the list of names the user's date symbols (LC_TIME) give, which `names` picks; empty
// for an index outside it.
template <class Names> WideString DateSymbolName(Names names, int index)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::DateFormatSymbols symbols(UserLocale("LC_TIME"), status);
    if (U_FAILURE(status))
        return {};
    int32_t count = 0;
    const icu::UnicodeString* list = names(symbols, count);
    if (index < 0 || index >= count)
        return {};
    return FromUnicodeString(list[index]);
}

} // namespace

WideString LocaleWeekdayName(int dayOfWeek)
{
    // Index 1 is Sunday; 0 holds nothing.
    if (dayOfWeek < 0)
        return {};
    return DateSymbolName(
        [](const icu::DateFormatSymbols& s, int32_t& count) { return s.getWeekdays(count); }, dayOfWeek + 1);
}

WideString LocaleMonthName(int month)
{
    return DateSymbolName(
        [](const icu::DateFormatSymbols& s, int32_t& count) {
            return s.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
        },
        month - 1);
}

} // namespace pelmsg
