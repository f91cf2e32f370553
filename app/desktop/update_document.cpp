#include "update_document.h"

#include <vector>

namespace quorra {

namespace {

constexpr size_t kMaxVersionNumbers = 8;
constexpr size_t kMaxDigits = 9;

std::optional<std::vector<long>> Numbers(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == 'v')
        text.remove_prefix(1);
    std::vector<long> numbers;
    size_t pos = 0;
    while (true) {
        size_t digits = 0;
        long value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (++digits > kMaxDigits)
                return std::nullopt;
            value = value * 10 + (text[pos] - '0');
            ++pos;
        }
        if (digits == 0 || numbers.size() == kMaxVersionNumbers)
            return std::nullopt;
        numbers.push_back(value);
        if (pos == text.size())
            return numbers;
        if (text[pos] != '.')
            return std::nullopt;
        ++pos;
    }
}

} // namespace

std::string VersionAfterMarker(std::string_view text, std::string_view marker, char stop)
{
    const size_t at = text.find(marker);
    if (at == std::string_view::npos)
        return "<unknown>";
    std::string_view part = text.substr(at + marker.size(), 10);
    size_t cut = part.find(stop);
    if (cut == std::string_view::npos)
        cut = part.find('\r');
    if (cut != std::string_view::npos)
        part = part.substr(0, cut);
    if (part.empty())
        return "<unknown>";
    std::string version(1, 'v');
    version.append(part);
    return version;
}

std::optional<int> CompareVersionTexts(std::string_view a, std::string_view b)
{
    const auto x = Numbers(a);
    const auto y = Numbers(b);
    if (!x || !y)
        return std::nullopt;
    for (size_t i = 0; i < std::max(x->size(), y->size()); ++i) {
        const long p = i < x->size() ? (*x)[i] : 0;
        const long q = i < y->size() ? (*y)[i] : 0;
        if (p != q)
            return p < q ? -1 : 1;
    }
    return 0;
}

} // namespace quorra
