#include "text/meta_charset.h"

#include <algorithm>
#include <cctype>

namespace pelmsg {

std::pair<size_t, size_t> MetaCharsetSpan(std::string_view html)
{
    const size_t limit = std::min(html.size(), size_t { 64 } * 1024);
    auto lower = [&](size_t i) { return static_cast<char>(std::tolower(static_cast<unsigned char>(html[i]))); };
    auto matches = [&](size_t at, std::string_view word) {
        if (at + word.size() > limit)
            return false;
        for (size_t i = 0; i < word.size(); ++i)
            if (lower(at + i) != word[i])
                return false;
        return true;
    };
    for (size_t meta = 0; meta < limit; ++meta) {
        if (html[meta] != '<' || !matches(meta, "<meta"))
            continue;
        size_t end = meta;
        while (end < limit && html[end] != '>')
            ++end;
        for (size_t at = meta + 5; at < end; ++at) {
            if (!matches(at, "charset"))
                continue;
            size_t from = at + 7;
            while (from < end && (html[from] == ' ' || html[from] == '='))
                ++from;
            while (from < end && (html[from] == '"' || html[from] == '\''))
                ++from;
            size_t stop = from;
            while (stop < end && html[stop] != '"' && html[stop] != '\'' && html[stop] != ';' && html[stop] != ' '
                && html[stop] != '/' && html[stop] != '>')
                ++stop;
            if (stop > from)
                return { from, stop };
        }
        meta = end;
    }
    return { std::string_view::npos, std::string_view::npos };
}
} // namespace pelmsg
