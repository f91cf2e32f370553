#include "core/errors.h"

namespace pelmsg {

std::string FormatMessage(const std::string& pattern, const std::string& argument)
{
    for (size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '%' && (pattern[i + 1] == 's' || pattern[i + 1] == 'x' || pattern[i + 1] == 'd'))
            return pattern.substr(0, i) + argument + pattern.substr(i + 2);
    }
    return pattern;
}

} // namespace pelmsg
