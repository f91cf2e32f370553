// The encodings of Internet mail that do not depend on the message: quoted-printable bodies, folded header fields,
// encoded words, quoted strings and RFC 2231 parameters, media types and the charsets text parts can be written in.

#include "export/mail_encoding.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "text/base64.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

// Encoded lines (quoted-printable) and folded header lines are kept to these lengths.
constexpr size_t kEncodedLineLength = 76;
constexpr size_t kHeaderLineLength = 78;
// No line of a mail may be longer than this (without its CR LF).
constexpr size_t kMaxLineLength = 998;

bool IsWhite(char c) { return c == ' ' || c == '\t'; }

// Code pages whose text does not extend ASCII: a text part in them would not have CR LF line breaks.
bool ExtendsAscii(int32_t codePage)
{
    return codePage != 1200 && codePage != 1201 && codePage != 12000 && codePage != 12001;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Folds one physical line of a header field at blanks outside quoted strings, from `start` on.
ByteString FoldLine(std::string_view line, size_t start)
{
    if (line.size() <= kHeaderLineLength)
        return ByteString(line);
    std::vector<size_t> breaks;
    bool quoted = false, escaped = false;
    for (size_t i = start; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (IsWhite(c) && i > start && i + 1 < line.size() && !IsWhite(line[i + 1])) {
            breaks.push_back(i);
        }
    }
    breaks.push_back(line.size());
    ByteString out;
    size_t from = 0, lineLength = 0;
    for (size_t end : breaks) {
        size_t piece = end - from;
        if (lineLength > 0 && lineLength + piece > kHeaderLineLength) {
            out += "\r\n";
            lineLength = 0;
        }
        out.append(line.substr(from, piece));
        lineLength += piece;
        from = end;
    }
    return out;
}

// Lines that folding at blanks could not bring within what mail allows are cut, the rest going on in a
// continuation line (after a blank): a reader unfolding the field sees a blank inserted there, which is better
// than a line that mail servers reject or cut anywhere.
void CutLongLines(ByteString& folded)
{
    size_t lineStart = 0;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (folded[i] == '\r' && i + 1 < folded.size() && folded[i + 1] == '\n') {
            lineStart = i + 2;
            ++i;
            continue;
        }
        if (i - lineStart >= kMaxLineLength - 2) {
            folded.insert(i, "\r\n ");
            lineStart = i + 2;
            i += 2;
        }
    }
}

bool IsTokenChar(char c)
{
    return c > 0x20 && c < 0x7F && std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

} // namespace

bool IsAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

int32_t WritableCodePage(const ByteString& charset)
{
    int32_t codePage = CodePageOfCharsetName(charset);
    if (codePage == 0 || !ExtendsAscii(codePage) || !IsCodePageSupported(codePage))
        return 0;
    return codePage;
}

bool Represents(const ByteString& bytes, int32_t codePage, const ByteString& utf8)
{
    return codePage == 65001 ? bytes == utf8 : CodePageToWide(bytes, codePage) == Utf8ToWide(utf8);
}

WideString HeaderSafe(WideString text)
{
    for (char16_t& c : text)
        if ((c < 0x20 && c != u'\t') || c == 0x7F)
            c = u' ';
    return text;
}

size_t EncodeQuotedPrintable(std::string_view text, size_t from, size_t to, size_t& lineLength, ByteString& out)
{
    out.reserve(out.size() + (to - from) + (to - from) / 16);
    size_t i = from;
    for (; i < to; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            lineLength = 0;
            ++i;
            continue;
        }
        bool lineEnds = i + 1 == text.size() || (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n');
        bool literal = (c >= 33 && c <= 126 && c != '=') || (IsWhite(static_cast<char>(c)) && !lineEnds);
        size_t width = literal ? 1 : 3;
        if (lineLength + width > kEncodedLineLength - 1) {
            out += "=\r\n";
            lineLength = 0;
        }
        if (literal) {
            out += static_cast<char>(c);
        } else {
            out += '=';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0x0F];
        }
        lineLength += width;
    }
    return i;
}

bool IsSevenBitText(std::string_view text)
{
    size_t lineLength = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lineLength = 0;
            ++i;
            continue;
        }
        if (c == 0 || c >= 0x80 || c == '\r' || c == '\n' || ++lineLength > kEncodedLineLength)
            return false;
    }
    return true;
}

size_t LongestWord(std::string_view text)
{
    size_t longest = 0, run = 0;
    for (char c : text) {
        run = IsWhite(c) ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

ByteString EncodedWords(std::string_view ascii)
{
    constexpr size_t kBytesPerWord = 45; // 60 base64 characters
    ByteString out;
    for (size_t from = 0; from < ascii.size(); from += kBytesPerWord) {
        if (from > 0)
            out += "\r\n ";
        out += "=?utf-8?B?" + EncodeBase64(ascii.substr(from, kBytesPerWord)) + "?=";
    }
    return out;
}

ByteString FoldHeader(const ByteString& field)
{
    size_t valueStart = field.find(": ");
    valueStart = valueStart == ByteString::npos ? 0 : valueStart + 2;
    ByteString out;
    size_t from = 0;
    for (size_t end = field.find("\r\n");; end = field.find("\r\n", from)) {
        std::string_view line
            = std::string_view(field).substr(from, end == ByteString::npos ? ByteString::npos : end - from);
        ByteString folded = FoldLine(line, from == 0 ? valueStart : 0);
        CutLongLines(folded);
        out += folded;
        if (end == ByteString::npos)
            break;
        out += "\r\n";
        from = end + 2;
    }
    return out;
}

ByteString MediaType(const WideString& text)
{
    ByteString type = WideToAnsi(text);
    size_t slash = type.find('/');
    bool valid = slash != ByteString::npos && slash > 0 && slash + 1 < type.size();
    for (size_t i = 0; valid && i < type.size(); ++i)
        valid = i == slash || IsTokenChar(type[i]);
    if (!valid || StartsWithIgnoringCase(type, "multipart/") || StartsWithIgnoringCase(type, "message/"))
        return "application/octet-stream";
    return type;
}

ByteString QuotedString(std::string_view text)
{
    ByteString out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

ByteString ExtendedParameter(const char* name, const ByteString& utf8)
{
    constexpr size_t kSection = 60;
    std::vector<ByteString> sections(1);
    for (char byte : utf8) {
        auto c = static_cast<unsigned char>(byte);
        ByteString piece;
        if (c < 0x80
            && (std::isalnum(c)
                || std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos)) {
            piece = ByteString(1, static_cast<char>(c));
        } else {
            piece = { '%', kHexDigits[c >> 4], kHexDigits[c & 0x0F] };
        }
        if (sections.back().size() + piece.size() > kSection)
            sections.emplace_back();
        sections.back() += piece;
    }
    if (sections.size() == 1)
        return ByteString(name) + "*=utf-8''" + sections[0];
    ByteString out;
    for (size_t i = 0; i < sections.size(); ++i) {
        if (i > 0)
            out += "; ";
        out += ByteString(name) + "*" + std::to_string(i) + "*=" + (i == 0 ? "utf-8''" : "") + sections[i];
    }
    return out;
}

} // namespace pelmsg
