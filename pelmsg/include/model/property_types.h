#pragma once

// Property tags and types: a tag is a 32-bit number with the property identifier in the high 16 bits and the
// property type in the low 16 bits. One table says, for every type, how a value of it is stored; the readers and
// writers of every format look there.

#include <cstdint>
#include <string>

namespace pelmsg {

// Property types (low 16 bits of a tag).
enum : uint16_t {
    PT_UNSPECIFIED = 0x0000,
    PT_NULL = 0x0001,
    PT_I2 = 0x0002,
    PT_LONG = 0x0003,
    PT_R4 = 0x0004,
    PT_DOUBLE = 0x0005,
    PT_CURRENCY = 0x0006,
    PT_APPTIME = 0x0007,
    PT_ERROR = 0x000A,
    PT_BOOLEAN = 0x000B,
    PT_OBJECT = 0x000D,
    PT_I8 = 0x0014,
    PT_STRING8 = 0x001E,
    PT_UNICODE = 0x001F,
    PT_SYSTIME = 0x0040,
    PT_CLSID = 0x0048,
    PT_BINARY = 0x0102,
    PT_MV_STRING8 = 0x101E,
    PT_MV_UNICODE = 0x101F,
    MV_FLAG = 0x1000,
};

inline constexpr uint16_t PropId(uint32_t tag) { return static_cast<uint16_t>(tag >> 16); }
inline constexpr uint16_t PropType(uint32_t tag) { return static_cast<uint16_t>(tag & 0xFFFF); }
inline constexpr uint32_t MakeTag(uint16_t id, uint16_t type) { return (static_cast<uint32_t>(id) << 16) | type; }
// The type without the multi-value bit.
inline constexpr uint16_t BaseType(uint16_t type) { return static_cast<uint16_t>(type & ~MV_FLAG); }

// How one value of a type is stored.
enum class TValueStorage : uint8_t {
    None, // nothing the library decodes
    Fixed, // a fixed number of bytes (Size)
    Bytes, // a byte string of any length
    Wide, // UTF-16LE text of any length
};

// One row of the property-type table.
struct TPropertyType {
    uint16_t Type;
    const char* Name; // the MAPI name without "PT_": "LONG", "UNICODE"
    TValueStorage Storage;
    uint8_t Size; // bytes of one value of a Fixed type
    // Whether a .msg file keeps the value in its properties-stream entry (fixed types of at most 8 bytes) rather
    // than in a stream of its own.
    bool InEntry;
};

// The row of a single-valued type (the multi-value bit is not looked at); nullptr for types the table lacks.
const TPropertyType* FindPropertyType(uint16_t type);

// How one value of a type, single- or multi-valued, is read from a stream: the single-valued types as the table
// says, of the multi-valued ones only the strings (each value of a TNEF multi-valued property becomes a node of
// the single type, and a .msg stream of multi-valued strings is taken whole).
TValueStorage ValueStorageOf(uint16_t type);

// The MAPI name of a property type ("PT_LONG", "PT_UNICODE", "PT_MV_STRING8", ...); empty for unknown types.
std::string PropertyTypeName(uint16_t type);

} // namespace pelmsg
