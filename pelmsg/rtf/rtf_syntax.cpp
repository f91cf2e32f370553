#include "rtf/rtf_syntax.h"

#include <utility>

namespace pelmsg {

char16_t RtfSymbolCharacter(std::string_view word)
{
    static constexpr std::pair<std::string_view, char16_t> kSymbols[] = {
        { "emdash", u'\u2014' },
        { "endash", u'\u2013' },
        { "bullet", u'\u2022' },
        { "lquote", u'\u2018' },
        { "rquote", u'\u2019' },
        { "ldblquote", u'\u201C' },
        { "rdblquote", u'\u201D' },
        { "emspace", u'\u2003' },
        { "enspace", u'\u2002' },
        { "qmspace", u'\u2005' },
    };
    for (const auto& [name, c] : kSymbols)
        if (name == word)
            return c;
    return 0;
}

} // namespace pelmsg
