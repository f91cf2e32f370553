#pragma once

#include <cstdint>
#include <variant>

#include "core/strings.h"

namespace pelmsg {

// The value "Null" (as opposed to an empty, never-set value).
struct TNull {
    bool operator==(const TNull&) const = default;
};

// Signed 64-bit integer with four implied decimals.
struct TCurrency {
    int64_t Scaled = 0;
    bool operator==(const TCurrency&) const = default;
    double AsDouble() const { return static_cast<double>(Scaled) / 10000.0; }
};

// Days since 1899-12-30 in local time; the fraction is the time of day.
struct TDateTime {
    double Days = 0;
    bool operator==(const TDateTime&) const = default;
};

// The value of a property node. std::monostate is "empty" (never set).
// int64_t keeps 64-bit integers exact instead of folding them into a double.
using TValue
    = std::variant<std::monostate, TNull, int32_t, bool, double, TCurrency, TDateTime, ByteString, WideString, int64_t>;

inline bool IsEmpty(const TValue& v) { return std::holds_alternative<std::monostate>(v); }
inline bool IsNull(const TValue& v) { return std::holds_alternative<TNull>(v); }
inline bool IsEmptyOrNull(const TValue& v) { return IsEmpty(v) || IsNull(v); }
inline bool IsByteString(const TValue& v) { return std::holds_alternative<ByteString>(v); }
inline bool IsWideString(const TValue& v) { return std::holds_alternative<WideString>(v); }

// Whether the value is a number (integer, float, currency); date-times are not.
bool IsNumeric(const TValue& v);
// The value as an integer: numbers truncated toward zero, Booleans 0/1, date-times their day count; 0 otherwise.
int64_t ValueAsInteger(const TValue& v);
// The value as a double: numbers, date-times and Booleans; 0 otherwise.
double ValueAsDouble(const TValue& v);
// The value as raw bytes: byte strings as they are, wide strings in UTF-8, everything else empty.
ByteString ValueAsBytes(const TValue& v);
// The length of the value as a string (bytes, or UTF-16 units for wide strings); 0 for other kinds.
size_t ValueStringLength(const TValue& v);

} // namespace pelmsg
