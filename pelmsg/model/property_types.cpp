#include "model/property_types.h"

#include <cmath>
#include <cstring>

#include "core/byte_order.h"
#include "model/property.h"
#include "model/value_codec.h"
#include "text/datetime.h"

namespace pelmsg {

namespace {

using S = TValueStorage;

// Every property type the library knows, with how one value of it is stored.
constexpr TPropertyType kPropertyTypes[] = {
    { PT_UNSPECIFIED, "UNSPECIFIED", S::None, 0, false },
    { PT_NULL, "NULL", S::None, 0, false },
    { PT_I2, "I2", S::Fixed, 2, true },
    { PT_LONG, "LONG", S::Fixed, 4, true },
    { PT_R4, "R4", S::Fixed, 4, true },
    { PT_DOUBLE, "DOUBLE", S::Fixed, 8, true },
    { PT_CURRENCY, "CURRENCY", S::Fixed, 8, true },
    { PT_APPTIME, "APPTIME", S::Fixed, 8, true },
    { PT_ERROR, "ERROR", S::Fixed, 4, true },
    { PT_BOOLEAN, "BOOLEAN", S::Fixed, 2, true },
    { PT_OBJECT, "OBJECT", S::Bytes, 0, false },
    { PT_I8, "I8", S::Fixed, 8, true },
    { PT_STRING8, "STRING8", S::Bytes, 0, false },
    { PT_UNICODE, "UNICODE", S::Wide, 0, false },
    { PT_SYSTIME, "SYSTIME", S::Fixed, 8, true },
    { PT_CLSID, "CLSID", S::Fixed, 16, false },
    { PT_BINARY, "BINARY", S::Bytes, 0, false },
};

} // namespace

const TPropertyType* FindPropertyType(uint16_t type)
{
    const uint16_t base = BaseType(type);
    for (const TPropertyType& row : kPropertyTypes)
        if (row.Type == base)
            return &row;
    return nullptr;
}

TValueStorage ValueStorageOf(uint16_t type)
{
    if (type & MV_FLAG)
        return type == PT_MV_STRING8 ? S::Bytes : type == PT_MV_UNICODE ? S::Wide : S::None;
    const TPropertyType* row = FindPropertyType(type);
    return row ? row->Storage : S::None;
}

std::string PropertyTypeName(uint16_t type)
{
    const TPropertyType* row = FindPropertyType(type);
    if (!row)
        return {};
    return std::string(type & MV_FLAG ? "PT_MV_" : "PT_") + row->Name;
}

TValue FileTimeValue(uint64_t fileTime)
{
    auto local = FileTimeToLocalDateTime(fileTime);
    return TDateTime { local ? *local : 0.0 };
}

TValue DecodeFixedValue(uint16_t type, std::string_view bytes)
{
    unsigned char b[16] = {};
    std::memcpy(b, bytes.data(), std::min(bytes.size(), sizeof b));
    auto asDouble = [](uint64_t bits) {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    };
    switch (BaseType(type)) {
    case PT_I2:
        return static_cast<int32_t>(static_cast<int16_t>(LoadLE16(b)));
    case PT_LONG:
    case PT_ERROR:
        return static_cast<int32_t>(LoadLE32(b));
    case PT_R4: {
        const uint32_t bits = LoadLE32(b);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return static_cast<double>(f);
    }
    case PT_DOUBLE:
        return asDouble(LoadLE64(b));
    case PT_CURRENCY:
        return TCurrency { static_cast<int64_t>(LoadLE64(b)) };
    case PT_APPTIME:
        return TDateTime { asDouble(LoadLE64(b)) };
    case PT_BOOLEAN:
        return bytes.find_first_not_of('\0') != std::string_view::npos;
    case PT_I8:
        return static_cast<int64_t>(LoadLE64(b));
    case PT_SYSTIME:
        return FileTimeValue(LoadLE64(b));
    case PT_CLSID:
        return ByteString(GuidToText(b));
    default:
        return ByteString();
    }
}

std::string EncodeFixedValue(uint16_t type, const TValue& value)
{
    std::string out;
    auto putDouble = [&](double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        AppendLE64(out, bits);
    };
    switch (BaseType(type)) {
    case PT_I2:
        AppendLE16(out, static_cast<uint16_t>(ValueAsInteger(value)));
        break;
    case PT_LONG:
    case PT_ERROR:
        AppendLE32(out, static_cast<uint32_t>(ValueAsInteger(value)));
        break;
    case PT_R4: {
        const auto f = static_cast<float>(ValueAsDouble(value));
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        AppendLE32(out, bits);
        break;
    }
    case PT_DOUBLE:
    case PT_APPTIME:
        putDouble(ValueAsDouble(value));
        break;
    case PT_CURRENCY:
        if (const auto* c = std::get_if<TCurrency>(&value))
            AppendLE64(out, static_cast<uint64_t>(c->Scaled));
        else
            AppendLE64(out, static_cast<uint64_t>(static_cast<int64_t>(ValueAsDouble(value) * 10000.0)));
        break;
    case PT_BOOLEAN:
        AppendLE16(out, ValueAsInteger(value) != 0 ? 1 : 0);
        break;
    case PT_I8:
        if (const auto* i = std::get_if<int64_t>(&value))
            AppendLE64(out, static_cast<uint64_t>(*i));
        else
            AppendLE64(out, static_cast<uint64_t>(std::llround(ValueAsDouble(value))));
        break;
    case PT_SYSTIME:
        AppendLE64(out, LocalDateTimeToFileTime(ValueAsDouble(value)));
        break;
    case PT_CLSID: {
        const auto guid = GuidFromText(ValueAsBytes(value));
        out = guid ? std::string(reinterpret_cast<const char*>(guid->data()), guid->size()) : std::string(16, '\0');
        break;
    }
    default:
        break;
    }
    return out;
}

} // namespace pelmsg
