// Charset conversion for the MIME writer: message text (UTF-8) into the charset a message declares.

#include "text/charset.h"

#include <array>
#include <cstdint>

#include "text/ascii_case.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

using TByteMap = std::array<uint8_t, 256>;

constexpr TByteMap IdentityMap()
{
    TByteMap m {};
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = static_cast<uint8_t>(i);
    return m;
}

// A map that moves 64 bytes from `from` on to the given ones and leaves every other byte as it is.
constexpr TByteMap MapWithRow(size_t from, const uint8_t (&row)[64])
{
    TByteMap m = IdentityMap();
    for (size_t i = 0; i < 64; ++i)
        m[from + i] = row[i];
    return m;
}

// The punctuation and symbols of Windows-1251 (0x80-0xBF) as their nearest DOS 866 counterpart, or "?".
constexpr uint8_t kWindows1251SymbolsIn866[64] = {
    0x3F, 0x3F, 0x27, 0x3F, 0x22, 0x3A, 0xC5, 0xD8, 0x3F, 0x25, 0x3F, 0x3C, 0x3F, 0x3F, 0x3F, 0x3F, //
    0x3F, 0x27, 0x27, 0x22, 0x22, 0x07, 0x2D, 0x2D, 0x3F, 0x54, 0x3F, 0x3E, 0x3F, 0x3F, 0x3F, 0x3F, //
    0xFF, 0xF6, 0xF7, 0x3F, 0xFD, 0x3F, 0xB3, 0x15, 0xF0, 0x63, 0xF2, 0x3C, 0xBF, 0x2D, 0x52, 0xF4, //
    0xF8, 0x2B, 0x49, 0x69, 0x3F, 0xE7, 0x14, 0xFA, 0xF1, 0xFC, 0xF3, 0x3E, 0x3F, 0x3F, 0x3F, 0xF5, //
};

// Windows-1251 to DOS 866. Letters move as blocks; the punctuation and symbols get their nearest 866 counterpart.
constexpr TByteMap Windows1251ToDos866()
{
    TByteMap m = MapWithRow(0x80, kWindows1251SymbolsIn866);
    for (size_t i = 0xC0; i <= 0xEF; ++i)
        m[i] = static_cast<uint8_t>(i - 0xC0 + 0x80);
    for (size_t i = 0xF0; i <= 0xFF; ++i)
        m[i] = static_cast<uint8_t>(i - 0xF0 + 0xE0);
    return m;
}

// The letters of KOI8-R and KOI8-U (0xC0-0xFF), which the two share, as Windows-1251 bytes.
constexpr uint8_t kKoi8Letters[64] = {
    0xFE, 0xE0, 0xE1, 0xF6, 0xE4, 0xE5, 0xF4, 0xE3, 0xF5, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, //
    0xEF, 0xFF, 0xF0, 0xF1, 0xF2, 0xF3, 0xE6, 0xE2, 0xFC, 0xFB, 0xE7, 0xF8, 0xFD, 0xF9, 0xF7, 0xFA, //
    0xDE, 0xC0, 0xC1, 0xD6, 0xC4, 0xC5, 0xD4, 0xC3, 0xD5, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, //
    0xCF, 0xDF, 0xD0, 0xD1, 0xD2, 0xD3, 0xC6, 0xC2, 0xDC, 0xDB, 0xC7, 0xD8, 0xDD, 0xD9, 0xD7, 0xDA, //
};

// KOI8-R to Windows-1251: the letters and Ё/ё; everything else passes through unchanged.
constexpr TByteMap Koi8RToWindows1251()
{
    TByteMap m = MapWithRow(0xC0, kKoi8Letters);
    m[0xA3] = 0xB8;
    m[0xB3] = 0xA8;
    return m;
}

// The characters of KOI8-U's 0x80-0xBF as Windows-1251 bytes: those Windows-1251 has (the Ukrainian letters
// included) move to its byte there; the box-drawing and other characters it lacks become "?".
constexpr uint8_t kKoi8USymbolsIn1251[64] = {
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, //
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xA0, 0x3F, 0xB0, 0x3F, 0xB7, 0x3F, //
    0x3F, 0x3F, 0x3F, 0xB8, 0xBA, 0x3F, 0xB3, 0xBF, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xB4, 0x3F, 0x3F, //
    0x3F, 0x3F, 0x3F, 0xA8, 0xAA, 0x3F, 0xB2, 0xAF, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xA5, 0x3F, 0xA9, //
};

// KOI8-U to Windows-1251, made from the two code pages.
constexpr TByteMap Koi8UToWindows1251()
{
    TByteMap m = MapWithRow(0xC0, kKoi8Letters);
    for (size_t i = 0; i < 64; ++i)
        m[0x80 + i] = kKoi8USymbolsIn1251[i];
    return m;
}

constexpr std::array<TByteMap, 4> kCyrillicMaps
    = { IdentityMap(), Windows1251ToDos866(), Koi8RToWindows1251(), Koi8UToWindows1251() };

// Bytes carried one per UTF-16 unit, and back.
WideString CarryBytes(const ByteString& bytes)
{
    WideString out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    return out;
}

ByteString NarrowCarried(const WideString& carried)
{
    ByteString out(carried.size(), '\0');
    for (size_t i = 0; i < carried.size(); ++i)
        out[i] = static_cast<char>(carried[i] & 0xFF);
    return out;
}

} // namespace

TCyrillicClass CyrillicClassOf(const ByteString& charsetName)
{
    const std::string upper = UpperAscii(charsetName);
    if (upper.find("WINDOWS-1251") != ByteString::npos || upper.find("X-1251") != ByteString::npos)
        return TCyrillicClass::Windows1251ToDos866;
    if (upper.find("KOI8-R") != ByteString::npos)
        return TCyrillicClass::Koi8RToWindows1251;
    if (upper.find("KOI8-U") != ByteString::npos)
        return TCyrillicClass::Koi8UToWindows1251;
    return TCyrillicClass::Identity;
}

void RecodeCyrillic(TCyrillicClass sourceClass, TCyrillicClass targetClass, ByteString& text)
{
    // A value outside the enumeration names no recoding: treat it as the identity rather than index out of the
    // table.
    auto mapOf = [](TCyrillicClass cls) -> const TByteMap& {
        const auto index = static_cast<size_t>(cls);
        return kCyrillicMaps[index < kCyrillicMaps.size() ? index : 0];
    };
    const TByteMap& source = mapOf(sourceClass);
    const TByteMap& target = mapOf(targetClass);
    for (char& c : text)
        c = static_cast<char>(target[source[static_cast<unsigned char>(c)]]);
}

void ConvertCharset(const ByteString& charsetName, WideString& text)
{
    if (text.empty())
        return;
    if (EqualsIgnoringAsciiCase(charsetName, "utf-8")) {
        text = CarryBytes(WideToUtf8(text));
        return;
    }
    if (int32_t codePage = CodePageOfCharsetName(charsetName); codePage != 0) {
        // Empty when the code page cannot be converted: better no text than text in the wrong charset.
        text = CarryBytes(WideToCodePage(text, codePage));
        return;
    }
    ByteString bytes = WideToUtf8(text);
    RecodeCyrillic(CyrillicClassOf(charsetName), TCyrillicClass::Identity, bytes);
    text = CarryBytes(bytes);
}

void EncodeForCharset(const ByteString& charsetName, ByteString& text)
{
    WideString wide = Utf8ToWide(text);
    ConvertCharset(charsetName, wide);
    text = NarrowCarried(wide);
}

} // namespace pelmsg
