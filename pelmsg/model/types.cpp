#include "model/types.h"

#include <cmath>

#include "text/codepage.h"

namespace pelmsg {

bool IsNumeric(const TValue& v)
{
    return std::holds_alternative<int32_t>(v) || std::holds_alternative<int64_t>(v) || std::holds_alternative<double>(v)
        || std::holds_alternative<TCurrency>(v);
}

int64_t ValueAsInteger(const TValue& v)
{
    if (const auto* p = std::get_if<int32_t>(&v))
        return *p;
    if (const auto* p = std::get_if<int64_t>(&v))
        return *p;
    if (const auto* p = std::get_if<bool>(&v))
        return *p ? 1 : 0;
    double d = 0;
    if (const auto* pd = std::get_if<double>(&v))
        d = *pd;
    else if (const auto* pc = std::get_if<TCurrency>(&v))
        d = pc->AsDouble();
    else if (const auto* pt = std::get_if<TDateTime>(&v))
        d = pt->Days;
    else
        return 0;
    if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18)
        return 0;
    return static_cast<int64_t>(d);
}

double ValueAsDouble(const TValue& v)
{
    if (const auto* p = std::get_if<int32_t>(&v))
        return *p;
    if (const auto* p = std::get_if<int64_t>(&v))
        return static_cast<double>(*p);
    if (const auto* p = std::get_if<bool>(&v))
        return *p ? 1 : 0;
    if (const auto* p = std::get_if<double>(&v))
        return *p;
    if (const auto* p = std::get_if<TCurrency>(&v))
        return p->AsDouble();
    if (const auto* p = std::get_if<TDateTime>(&v))
        return p->Days;
    return 0;
}

ByteString ValueAsBytes(const TValue& v)
{
    if (const auto* p = std::get_if<ByteString>(&v))
        return *p;
    if (const auto* p = std::get_if<WideString>(&v))
        return WideToUtf8(*p);
    return {};
}

size_t ValueStringLength(const TValue& v)
{
    if (const auto* p = std::get_if<ByteString>(&v))
        return p->size();
    if (const auto* p = std::get_if<WideString>(&v))
        return p->size();
    return 0;
}

} // namespace pelmsg
