#include "storage/element_name.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "core/errors.h"
#include "storage/cfb_format.h"

namespace pelmsg::cfb {

namespace {

struct TUpperCaseRun {
    uint16_t First;
    uint16_t Last;
    uint16_t Stride;
    int32_t Delta;
};

constexpr TUpperCaseRun kUpperCaseRuns[] = {
#include "storage/upcase_table.inc"
};

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

char16_t UpperCaseUnit(char16_t unit)
{
    if (unit < 0x80)
        return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
    // The last run that starts at or before the unit is the only one that can hold it.
    const auto* next = std::upper_bound(std::begin(kUpperCaseRuns), std::end(kUpperCaseRuns), unit,
        [](char16_t u, const TUpperCaseRun& run) { return u < run.First; });
    if (next == std::begin(kUpperCaseRuns))
        return unit;
    const TUpperCaseRun& run = *std::prev(next);
    if (unit > run.Last || (unit - run.First) % run.Stride != 0)
        return unit;
    return static_cast<char16_t>(static_cast<int32_t>(unit) + run.Delta);
}

int CompareElementNames(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t ua = UpperCaseUnit(a[i]);
        char16_t ub = UpperCaseUnit(b[i]);
        if (ua != ub)
            return ua < ub ? -1 : 1;
    }
    return 0;
}

void CheckNewElementName(std::u16string_view name)
{
    if (name.empty())
        throw EStorageError("Element name is empty");
    if (name.size() > kMaxNameLength)
        throw EStorageError(
            "Element name longer than " + std::to_string(kMaxNameLength) + " characters: " + NameForMessage(name));
    for (char16_t c : name) {
        if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!')
            throw EStorageError("Element name contains a character compound files do not allow (NUL / \\ : !): "
                + NameForMessage(name));
    }
}

std::string NameForMessage(std::u16string_view name)
{
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD; // a lone surrogate
        }
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            (void)std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

} // namespace pelmsg::cfb
