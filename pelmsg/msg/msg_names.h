#pragma once

// Names of the elements of a .msg compound file.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace pelmsg {

// The stream of the fixed-size properties of a message, recipient or attachment.
inline constexpr std::u16string_view kPropertiesStreamName = u"__properties_version1.0";
// The storage of the named-property mapping, at the top of a message file.
inline constexpr std::u16string_view kNamedPropertyStorageName = u"__nameid_version1.0";

// The stream of one property: "__substg1.0_" and the tag in eight upper-case hexadecimal digits.
inline std::u16string SubstgName(uint32_t tag)
{
    char text[24];
    (void)std::snprintf(text, sizeof text, "__substg1.0_%08X", static_cast<unsigned>(tag));
    return std::u16string(text, text + 20);
}

} // namespace pelmsg
