#include "calendar/item_summary.h"

#include <cmath>
#include <memory>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "calendar/appointment.h"
#include "calendar/civil_time.h"
#include "text/datetime.h"
#include "text/locale_text.h"

namespace pelmsg {

namespace {

// Unix milliseconds of a wall-clock date-time read as UTC: a formatter in the GMT zone shows its fields unchanged.
double WallClockMillis(double dateTime)
{
    TDateParts p = DecodeDateTime(dateTime);
    auto d = TryEncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
    return std::round(((d ? *d : dateTime) - 25569.0) * 86400000.0);
}

WideString Format(icu::DateFormat::EStyle dateStyle, icu::DateFormat::EStyle timeStyle, double dateTime)
{
    const icu::Locale locale = icu::Locale::createCanonical(UserLocaleName("LC_TIME").c_str());
    std::unique_ptr<icu::DateFormat> fmt(icu::DateFormat::createDateTimeInstance(dateStyle, timeStyle, locale));
    if (!fmt)
        return {};
    fmt->adoptTimeZone(icu::TimeZone::createTimeZone("GMT"));
    icu::UnicodeString out;
    fmt->format(WallClockMillis(dateTime), out);
    return WideString(reinterpret_cast<const char16_t*>(out.getBuffer()), static_cast<size_t>(out.length()));
}

WideString DateText(double dateTime) { return Format(icu::DateFormat::kFull, icu::DateFormat::kNone, dateTime); }
WideString TimeText(double dateTime) { return Format(icu::DateFormat::kNone, icu::DateFormat::kShort, dateTime); }

} // namespace

WideString FormatEventSpan(double start, double end, bool allDay)
{
    if (!IsValidDateTime(start) || !IsValidDateTime(end))
        return {};
    if (allDay) {
        const double last = std::floor(end) - 1; // the end is the start of the day after
        if (last <= std::floor(start))
            return DateText(start);
        return DateText(start) + u" \u2013 " + DateText(last);
    }
    if (std::floor(start) == std::floor(end))
        return DateText(start) + u" " + TimeText(start) + u" \u2013 " + TimeText(end);
    return DateText(start) + u" " + TimeText(start) + u" \u2013 " + DateText(end) + u" " + TimeText(end);
}

TItemSummary SummarizeItem(const TMSGProperties& message)
{
    TItemSummary s;
    s.Kind = ItemKindOf(message);
    if (ICalendarItem(message))
        s.SaveFormat = "ics";
    else if (VCardItem(message))
        s.SaveFormat = "vcf";
    if (!IsEventKind(s.Kind))
        return s;
    try {
        const TAppointment a = ReadAppointment(message);
        s.Where = a.Location;
        if (a.Recurrence && !a.RecurrenceText.empty()) {
            s.When = a.RecurrenceText;
            if (!a.TimeZoneDescription.empty())
                s.When += u" " + a.TimeZoneDescription;
        } else if (a.Start) {
            if (a.AllDay) {
                // The days as the item's zone counts them.
                const int64_t first = a.StartZone ? a.StartZone->ToLocal(*a.Start) : *a.Start + kSecondsPerDay / 2;
                const int64_t last = a.EndZone ? a.EndZone->ToLocal(a.End.value_or(*a.Start))
                                               : a.End.value_or(*a.Start) + kSecondsPerDay / 2;
                auto asDate = [](int64_t seconds) {
                    const TCivilTime t = CivilFromSeconds(seconds);
                    return TryEncodeDateTime(t.Year, t.Month, t.Day, 0, 0, 0).value_or(0);
                };
                s.When = FormatEventSpan(asDate(first), asDate(last), true);
            } else {
                s.When = FormatEventSpan(LocalDateTimeFromUtcSeconds(*a.Start),
                    LocalDateTimeFromUtcSeconds(a.End.value_or(*a.Start)), false);
            }
        }
    } catch (const EPelMsgError&) {
        // The header shows what there is.
    }
    return s;
}

} // namespace pelmsg
