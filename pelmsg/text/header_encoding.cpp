// Header values outside printable ASCII as RFC 2047 encoded words ("=?charset?B?...?=").

#include "text/header_encoding.h"

#include <string>
#include <vector>

#include "text/ascii_case.h"
#include "text/base64.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

constexpr size_t kMaxWordChars = 75; // RFC 2047: an encoded word is at most 75 characters
// The first word shares its line with the header name: room is kept for "Name: " of up to 26 characters, so that
// the line stays within 78 characters; the words after it stand alone on folded lines (" " + word = 76).
constexpr size_t kFirstWordChars = kMaxWordChars - 28;

bool IsPlainAscii(const ByteString& text)
{
    for (char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    // Text that looks like an encoded word would be decoded by the reader: it must be encoded to arrive as written.
    return text.find("=?") == ByteString::npos;
}

// The text's bytes in a code page, or nothing when the code page cannot hold every character of it.
bool BytesInCodePage(const WideString& wide, int32_t codePage, ByteString& bytes)
{
    bytes = WideToCodePage(wide, codePage);
    return !bytes.empty() && CodePageToWide(bytes, codePage) == wide;
}

// Whether a code page converts text as its characters one after another, with no shift state that a character's
// bytes depend on: UTF-8, the single-byte code pages of Windows, ISO 8859 and KOI8, and the double-byte ones of
// Windows (932, 936, 949, 950). Not ISO-2022, HZ, UTF-7 or the EBCDIC double-byte pages.
bool HasNoShiftStates(int32_t codePage)
{
    return codePage == 65001 || (codePage >= 1250 && codePage <= 1258) || (codePage >= 28591 && codePage <= 28606)
        || codePage == 20866 || codePage == 21866 || codePage == 874 || codePage == 932 || codePage == 936
        || codePage == 949 || codePage == 950;
}

// Code points of UTF-16 text: the start of each character (a surrogate pair is one).
size_t NextCharacter(const WideString& text, size_t at)
{
    if (text[at] >= 0xD800 && text[at] <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00
        && text[at + 1] <= 0xDFFF)
        return at + 2;
    return at + 1;
}

} // namespace

ByteString EncodeHeaderText(const ByteString& text, const ByteString& charsetName)
{
    if (IsPlainAscii(text))
        return text;

    const WideString wide = Utf8ToWide(text);
    // The charset the words are written in: the one asked for when it holds every character and is known by its
    // table name (so that the name is a safe token to write), else UTF-8.
    ByteString charset = "utf-8";
    int32_t codePage = 65001;
    ByteString whole; // the text in the charset's code page, when that is not UTF-8
    if (!charsetName.empty() && !EqualsIgnoringAsciiCase(charsetName, "utf-8")) {
        int32_t cp = CodePageOfCharsetName(charsetName);
        if (cp != 0 && IsCodePageSupported(cp) && BytesInCodePage(wide, cp, whole)) {
            charset = charsetName;
            codePage = cp;
        }
    }
    auto encode
        = [&](const WideString& part) { return codePage == 65001 ? WideToUtf8(part) : WideToCodePage(part, codePage); };

    // Words are cut between whole characters and each is encoded on its own, so that a stateful charset
    // (ISO-2022-JP) starts and ends every word in its initial state. A word takes characters while its base64
    // still fits. In a charset without shift states a word's bytes are its characters' bytes one after another:
    // each character is converted once and the word grows by its bytes (converting every longer word whole made
    // a long file name cost a converter call per character for each character of its word).
    const bool stateless = HasNoShiftStates(codePage);
    std::vector<size_t> starts; // where each character starts (stateless only), and the text's end
    std::vector<ByteString> characters; // the bytes of each character
    if (stateless) {
        for (size_t at = 0; at < wide.size(); at = NextCharacter(wide, at))
            starts.push_back(at);
        // As many bytes as characters: a byte each, and the text converted whole says which.
        const bool byteEach = codePage != 65001 && whole.size() == starts.size();
        for (size_t i = 0; i < starts.size(); ++i)
            characters.push_back(byteEach ? ByteString(1, whole[i])
                                          : encode(wide.substr(starts[i], NextCharacter(wide, starts[i]) - starts[i])));
        starts.push_back(wide.size());
    }
    const size_t overhead = charset.size() + 7; // "=?" charset "?B?" ... "?="
    ByteString out;
    size_t at = 0, character = 0;
    bool firstWord = true;
    while (at < wide.size()) {
        size_t limit = firstWord ? kFirstWordChars : kMaxWordChars;
        size_t maxBytes = limit > overhead ? (limit - overhead) / 4 * 3 : 3;
        size_t end = NextCharacter(wide, at);
        ByteString bytes;
        if (stateless) {
            bytes = characters[character++];
            while (character < characters.size() && bytes.size() + characters[character].size() <= maxBytes)
                bytes += characters[character++];
            end = starts[character];
        } else {
            bytes = encode(wide.substr(at, end - at));
            while (end < wide.size()) {
                size_t next = NextCharacter(wide, end);
                ByteString longer = encode(wide.substr(at, next - at));
                if (longer.size() > maxBytes)
                    break;
                bytes = std::move(longer);
                end = next;
            }
        }
        if (!firstWord)
            out += "\r\n ";
        out += "=?" + charset + "?B?" + EncodeBase64(bytes) + "?=";
        firstWord = false;
        at = end;
    }
    return out;
}

} // namespace pelmsg
