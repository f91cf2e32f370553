#pragma once

#include <string>

#include "core/strings.h"

namespace pelmsg {

// Texts that follow the user's locale (LC_ALL, then LC_TIME or LC_NUMERIC, then LANG; the C locale reads as
// English), formatted by ICU.

// The ICU locale name for a category: "LC_TIME" or "LC_NUMERIC".
std::string UserLocaleName(const char* category);

// A date-time as the locale's short date and time with seconds ("3/5/02, 9:07:03 AM" in English).
WideString LocaleDateTimeText(double dateTime);
// A floating-point number with up to 15 significant digits, no grouping, the locale's decimal separator.
WideString LocaleNumberText(double value);
// A currency amount with up to four decimals.
WideString LocaleCurrencyText(double value);
// "True" or "False".
WideString BooleanText(bool value);

// Full weekday and month names in the user's locale (Sunday = 0, January = 1).
WideString LocaleWeekdayName(int dayOfWeek);
WideString LocaleMonthName(int month);

} // namespace pelmsg
