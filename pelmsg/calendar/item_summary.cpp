#include "calendar/item_summary.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "calendar/appointment.h"
#include "calendar/civil_time.h"
#include "calendar/named_lookup.h"
#include "calendar/property_ids.h"
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

// A task's due date, status and percent complete, as far as the task gives them.
void SummarizeTask(const TMSGProperties& message, TItemSummary& s)
{
    using namespace calendar_ids;
    const TItemProperties p(message);
    // The due date is a day: the local midnight stored as if it were UTC (seconds since 1601).
    if (auto due = TItemProperties::UtcTime(p.FindNamed(kPsetidTask, kLidTaskDueDate))) {
        constexpr int64_t kDaysFrom1601To1899 = 109205; // 1601-01-01 to 1899-12-30, the model's day 0
        const double day = static_cast<double>((*due + kSecondsPerDay / 2) / kSecondsPerDay - kDaysFrom1601To1899);
        if (IsValidDateTime(day))
            s.Due = DateText(day);
    }
    const bool complete = TItemProperties::Boolean(p.FindNamed(kPsetidTask, kLidTaskComplete)).value_or(false);
    if (auto status = TItemProperties::Integer(p.FindNamed(kPsetidTask, kLidTaskStatus));
        status && *status >= 0 && *status <= 4)
        s.TaskStatus = static_cast<int>(*status);
    else if (complete)
        s.TaskStatus = 2;
    if (auto percent = TItemProperties::Number(p.FindNamed(kPsetidTask, kLidPercentComplete));
        percent && std::isfinite(*percent))
        s.PercentComplete = static_cast<int>(std::lround(std::clamp(*percent, 0.0, 1.0) * 100));
    if (s.TaskStatus == 2)
        s.PercentComplete = 100;
}

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
    if (s.Kind == TItemKind::Task || s.Kind == TItemKind::TaskRequest) {
        SummarizeTask(message, s);
        return s;
    }
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
