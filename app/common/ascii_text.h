#pragma once

// ASCII case helpers of the application (file names, language keys, component names).

#include <string>
#include <string_view>

namespace quorra {

inline char LowerAsciiChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string LowerAsciiText(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = LowerAsciiChar(c);
    return out;
}

inline bool SameTextAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i]))
            return false;
    return true;
}

// Whether a < b comparing ASCII letters without regard to case.
inline bool LessTextAscii(std::string_view a, std::string_view b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(LowerAsciiChar(a[i]));
        unsigned char y = static_cast<unsigned char>(LowerAsciiChar(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

} // namespace quorra
