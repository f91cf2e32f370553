#pragma once

// Internet mail dates ("Tue, 5 Mar 2002 09:07:03 +0300").

#include <cstdint>
#include <string_view>

#include "core/strings.h"

namespace pelmsg {

// Decimal digits of the number, left-padded with "0" to the width.
ByteString ZeroPad(int64_t number, int width);
// The local zone's offset at the given local date-time: "GMT" for 0, else a sign and four digits ("+0300").
ByteString TimeZoneText(double localDateTime);
// Internet mail date of a local date-time: "Tue, 5 Mar 2002 09:07:03 +0300", with the offset in force at that date.
ByteString FormatMailDate(double localDateTime);
// 1 to 12 for "Jan" to "Dec" (case-sensitive), 0 otherwise.
int MonthFromName(std::string_view name);
// Parses an Internet mail date into a local date-time. 0 when there is no ", "; also 0 (no date) when the date
// or time it names is impossible.
double ParseMailDate(const WideString& text);

} // namespace pelmsg
