#pragma once

// What every RTF reader of the library reads the same way: control words with their numbers, and the words that
// stand for one typographic character.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelmsg {

template <class Char> bool IsRtfLetter(Char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
template <class Char> bool IsRtfDigit(Char c) { return c >= '0' && c <= '9'; }

// A control word: a backslash, its whole run of letters and an optional (signed) number. The blank that may end
// it is not part of what ReadRtfControlWord reads.
template <class Char> struct TRtfControlWord {
    std::basic_string_view<Char> Name;
    bool HasParameter = false;
    int64_t Parameter = 0; // held to ±kMaxRtfParameter
    size_t End = 0; // after the number, or after the letters when there is none
};

// Numbers beyond this are read as this (with their sign): a run of digits in hostile input never overflows.
inline constexpr int64_t kMaxRtfParameter = int64_t { 1 } << 40;

// The control word at `at` (a backslash followed by a letter). A "-" belongs to the number only when a digit
// follows it.
template <class Char> TRtfControlWord<Char> ReadRtfControlWord(std::basic_string_view<Char> text, size_t at)
{
    TRtfControlWord<Char> word;
    size_t p = at + 1;
    while (p < text.size() && IsRtfLetter(text[p]))
        ++p;
    word.Name = text.substr(at + 1, p - at - 1);
    size_t digits = p;
    const bool negative = digits < text.size() && text[digits] == '-';
    if (negative)
        ++digits;
    if (digits < text.size() && IsRtfDigit(text[digits])) {
        word.HasParameter = true;
        for (p = digits; p < text.size() && IsRtfDigit(text[p]); ++p)
            word.Parameter = std::min<int64_t>(word.Parameter * 10 + (text[p] - '0'), kMaxRtfParameter);
        if (negative)
            word.Parameter = -word.Parameter;
    }
    word.End = p;
    return word;
}

// What follows a backslash: a control word (Word.Name not empty), with the blank that ends it; or a control
// symbol, the one character after the backslash (Symbol; 0 when the text ends at the backslash).
template <class Char> struct TRtfEscape {
    TRtfControlWord<Char> Word;
    Char Symbol = 0;
    size_t End = 0; // where the text goes on
};

// The escape at `at` (a backslash).
template <class Char> TRtfEscape<Char> ReadRtfEscape(std::basic_string_view<Char> text, size_t at)
{
    TRtfEscape<Char> escape;
    if (at + 1 >= text.size()) {
        escape.End = text.size();
    } else if (!IsRtfLetter(text[at + 1])) {
        escape.Symbol = text[at + 1];
        escape.End = at + 2;
    } else {
        escape.Word = ReadRtfControlWord(text, at);
        escape.End = escape.Word.End;
        if (escape.End < text.size() && text[escape.End] == ' ')
            ++escape.End;
    }
    return escape;
}

// The character a control word such as "\emdash" or "\ldblquote" stands for; 0 for any other word.
char16_t RtfSymbolCharacter(std::string_view word);

} // namespace pelmsg
