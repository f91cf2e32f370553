#pragma once

// The content lines iCalendar (RFC 5545) and vCard (RFC 6350) are made of: "NAME;PARAM=value:VALUE", UTF-8,
// folded after 75 octets.

#include <string>
#include <string_view>

namespace pelmsg {

// The longest line, in octets without the line break.
inline constexpr size_t kMaxContentLineOctets = 75;

// Collects content lines, each ended with CR LF. A line longer than kMaxContentLineOctets continues on lines that
// start with a blank, never split inside a UTF-8 character.
class TContentLines {
public:
    // `name` is the property name with its parameters; `value` the value as it is written.
    void Line(std::string_view name, std::string_view value);
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// A text value: "\", ";" and "," escaped with "\", each line break (CR LF, CR or LF) as "\n", other control
// characters and invalid UTF-8 left out.
std::string EscapeText(std::string_view utf8);
// A parameter value: in double quotes when it holds ":", ";" or ","; double quotes and control characters left out.
std::string ParameterValue(std::string_view utf8);

} // namespace pelmsg
