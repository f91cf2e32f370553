// Header field values: unfolding, RFC 2047 encoded words, and Content-Type parameters with their RFC 2231 forms.

#include "mime/header_words.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "mime/transfer_encoding.h"
#include "text/ascii_case.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

bool IsValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > bytes.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

// 8-bit header bytes: UTF-8 when they are, else Windows-1252 (the common mistake of mail programs).
std::string RawToUtf8(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return WideToUtf8(CodePageToWide(bytes, kDefaultMessageCodePage));
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The header value with folding line breaks removed (the blank after them stays).
std::string Unfold(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value)
        if (c != '\r' && c != '\n')
            out += c;
    return out;
}

// An encoded word at `at` ("=?charset?E?text?="): its decoded UTF-8 and the position after it; false when the
// text there is none.
bool ReadEncodedWord(std::string_view text, size_t at, std::string& decoded, size_t& end)
{
    if (text.compare(at, 2, "=?") != 0)
        return false;
    const size_t q1 = text.find('?', at + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?')
        return false;
    const size_t close = text.find("?=", q1 + 3);
    if (close == std::string_view::npos)
        return false;
    std::string_view charset = text.substr(at + 2, q1 - at - 2);
    if (const size_t star = charset.find('*'); star != std::string_view::npos)
        charset = charset.substr(0, star); // RFC 2231 language suffix
    const char encoding = UpperAscii(text[q1 + 1]);
    std::string_view payload = text.substr(q1 + 3, close - q1 - 3);
    if (payload.find_first_of(" \t") != std::string_view::npos)
        return false;
    std::string bytes;
    if (encoding == 'B') {
        bytes = DecodeBase64Lenient(payload);
    } else if (encoding == 'Q') {
        for (size_t i = 0; i < payload.size(); ++i) {
            if (payload[i] == '_') {
                bytes += ' ';
            } else if (payload[i] == '=' && i + 2 < payload.size() && AsciiHexValue(payload[i + 1]) >= 0
                && AsciiHexValue(payload[i + 2]) >= 0) {
                bytes += static_cast<char>(AsciiHexValue(payload[i + 1]) * 16 + AsciiHexValue(payload[i + 2]));
                i += 2;
            } else {
                bytes += payload[i];
            }
        }
    } else {
        return false;
    }
    decoded = MailCharsetToUtf8(bytes, charset);
    end = close + 2;
    return true;
}

// RFC 2231 percent-encoded text ("%E2%82%AC") as bytes.
std::string PercentDecode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && AsciiHexValue(text[i + 1]) >= 0
            && AsciiHexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(AsciiHexValue(text[i + 1]) * 16 + AsciiHexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string MailCharsetToUtf8(std::string_view bytes, std::string_view charset)
{
    const std::string lower = LowerAscii(charset);
    if (lower == "utf-8" || lower == "utf8" || lower == "us-ascii" || lower.empty())
        return RawToUtf8(bytes);
    const int32_t codePage = CodePageOfMimeCharset(charset);
    if (codePage == 0 || !IsCodePageSupported(codePage))
        return RawToUtf8(bytes);
    return WideToUtf8(CodePageToWide(bytes, codePage));
}

std::string DecodeHeaderText(std::string_view value)
{
    const std::string text = Unfold(value);
    std::string out;
    std::string pendingBlanks; // blanks after an encoded word: dropped when another encoded word follows
    bool afterWord = false;
    size_t i = 0, rawFrom = 0;
    auto flushRaw = [&](size_t to) {
        if (to > rawFrom)
            out += RawToUtf8(std::string_view(text).substr(rawFrom, to - rawFrom));
    };
    while (i < text.size()) {
        std::string decoded;
        size_t end = 0;
        if (text[i] == '=' && ReadEncodedWord(text, i, decoded, end)) {
            // Blanks between two encoded words are not part of the text.
            const std::string_view between = std::string_view(text).substr(rawFrom, i - rawFrom);
            const bool onlyBlanks = std::all_of(between.begin(), between.end(), IsBlank);
            if (!(afterWord && onlyBlanks))
                flushRaw(i);
            out += decoded;
            i = rawFrom = end;
            afterWord = true;
            continue;
        }
        if (!IsBlank(text[i]))
            afterWord = false;
        ++i;
    }
    flushRaw(text.size());
    // Trim the blank a field value starts with and the ones it ends with.
    const size_t first = out.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const size_t last = out.find_last_not_of(" \t");
    return out.substr(first, last - first + 1);
}

TContentType ParseContentType(std::string_view value)
{
    TContentType result;
    const std::string text = Unfold(value);
    size_t i = 0;
    auto skipBlanksAndComments = [&] {
        for (;;) {
            while (i < text.size() && IsBlank(text[i]))
                ++i;
            if (i < text.size() && text[i] == '(') {
                int level = 0;
                for (; i < text.size(); ++i) {
                    if (text[i] == '\\') {
                        ++i;
                        continue;
                    }
                    if (text[i] == '(')
                        ++level;
                    else if (text[i] == ')' && --level == 0) {
                        ++i;
                        break;
                    }
                }
                continue;
            }
            return;
        }
    };
    auto token = [&] {
        const size_t from = i;
        while (i < text.size() && !IsBlank(text[i]) && text[i] != ';' && text[i] != '=' && text[i] != '/'
            && text[i] != '(' && text[i] != '"')
            ++i;
        return text.substr(from, i - from);
    };
    skipBlanksAndComments();
    std::string type = LowerAscii(token());
    skipBlanksAndComments();
    if (i < text.size() && text[i] == '/') {
        ++i;
        skipBlanksAndComments();
        result.Subtype = LowerAscii(token());
    }
    result.Type = type;
    if (result.Type.empty() || (result.Subtype.empty() && value.find('/') != std::string_view::npos)) {
        result.Type.clear();
        result.Subtype.clear();
    }

    // Parameters; RFC 2231 sections ("name*0*", "name*1") are collected by name and joined in order.
    struct TSection {
        std::string Text;
        bool Encoded = false;
    };
    std::map<std::string, std::map<unsigned, TSection>> sectioned;
    std::vector<std::string> order;
    while (i < text.size()) {
        if (text[i] != ';') {
            ++i; // junk between parameters
            continue;
        }
        ++i;
        skipBlanksAndComments();
        std::string name = LowerAscii(token());
        skipBlanksAndComments();
        if (name.empty() || i >= text.size() || text[i] != '=')
            continue;
        ++i;
        skipBlanksAndComments();
        std::string parameterValue;
        if (i < text.size() && text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                parameterValue += text[i];
            }
            ++i;
        } else {
            const size_t from = i;
            while (i < text.size() && text[i] != ';')
                ++i;
            parameterValue = text.substr(from, i - from);
            while (!parameterValue.empty() && IsBlank(parameterValue.back()))
                parameterValue.pop_back();
        }
        bool encoded = false;
        unsigned section = 0;
        if (!name.empty() && name.back() == '*') {
            encoded = true;
            name.pop_back();
        }
        if (const size_t star = name.find('*'); star != std::string::npos) {
            const std::string digits = name.substr(star + 1);
            if (digits.empty() || digits.size() > 3 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            section = static_cast<unsigned>(std::stoul(digits));
            name.resize(star);
        }
        if (!sectioned.count(name))
            order.push_back(name);
        auto& sections = sectioned[name];
        if (!sections.count(section))
            sections[section] = { std::move(parameterValue), encoded };
    }
    for (const std::string& name : order) {
        std::string charset, bytes;
        bool any = false, sawEncoded = false;
        for (auto& [index, part] : sectioned[name]) {
            std::string piece = part.Text;
            if (part.Encoded) {
                if (index == 0 || !any) {
                    // "charset'language'text"
                    const size_t q1 = piece.find('\'');
                    const size_t q2 = q1 == std::string::npos ? std::string::npos : piece.find('\'', q1 + 1);
                    if (q2 != std::string::npos) {
                        charset = piece.substr(0, q1);
                        piece = piece.substr(q2 + 1);
                    }
                }
                piece = PercentDecode(piece);
                sawEncoded = true;
            }
            bytes += piece;
            any = true;
        }
        std::string decoded
            = sawEncoded ? MailCharsetToUtf8(bytes, charset) : DecodeHeaderText(bytes); // encoded words in quotes
        result.Parameters.emplace_back(name, std::move(decoded));
    }
    return result;
}

} // namespace pelmsg
