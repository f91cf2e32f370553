#pragma once

// Values of the fixed-size property types to and from their little-endian bytes, as every format stores them.

#include <cstdint>
#include <string>
#include <string_view>

#include "model/types.h"

namespace pelmsg {

// A value of a fixed-size type from its bytes; bytes the type needs beyond those given count as zeros. A FILETIME
// becomes a local date-time (see FileTimeValue), a class identifier its registry text, a Boolean is true when any
// byte is not zero. Types that are not of fixed size give an empty byte string.
TValue DecodeFixedValue(uint16_t type, std::string_view bytes);
// The bytes of a value of a fixed-size type (as many as the type's size), from whatever kind of value the node
// holds: numbers are converted, a class identifier that is no GUID text gives zeros.
std::string EncodeFixedValue(uint16_t type, const TValue& value);
// A FILETIME as a local date-time value with the offset in force at that date; 0 when it lies beyond the year 9999.
TValue FileTimeValue(uint64_t fileTime);

} // namespace pelmsg
