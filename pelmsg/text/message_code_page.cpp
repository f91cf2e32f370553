#include "text/message_code_page.h"

#include "text/codepage.h"

namespace pelmsg {

int32_t WindowsCodePageOfInternetCodePage(int32_t internetCodePage)
{
    switch (internetCodePage) {
    case 50220: // iso-2022-jp
    case 50221: // csISO2022JP
    case 50222: // iso-2022-jp, one-byte katakana
    case 51932: // euc-jp
    case 20932: // EUC-JP (JIS X 0208-1990 and 0212-1990)
        return 932;
    case 50225: // iso-2022-kr
    case 51949: // euc-kr
        return 949;
    case 50227: // x-cp50227, simplified Chinese ISO-2022
    case 51936: // euc-cn
    case 52936: // hz-gb-2312
    case 20936: // gb2312 (x-cp20936)
        return 936;
    case 51950: // euc-tw
        return 950;
    default:
        return internetCodePage;
    }
}

int32_t WindowsCodePageOfLocale(uint32_t localeId)
{
    const uint32_t language = localeId & 0x3FF;
    const uint32_t sublanguage = (localeId >> 10) & 0x3F;
    switch (language) {
    case 0x11: // Japanese
        return 932;
    case 0x12: // Korean
        return 949;
    case 0x04: // Chinese: Taiwan, Hong Kong and Macao write traditional characters
        return sublanguage == 0x01 || sublanguage == 0x03 || sublanguage == 0x05 ? 950 : 936;
    case 0x1E: // Thai
        return 874;
    case 0x2A: // Vietnamese
        return 1258;
    case 0x19: // Russian
    case 0x22: // Ukrainian
    case 0x23: // Belarusian
    case 0x02: // Bulgarian
    case 0x2F: // Macedonian
    case 0x3F: // Kazakh
    case 0x44: // Tatar
    case 0x50: // Mongolian
        return 1251;
    case 0x1A: // Croatian, Serbian, Bosnian: Latin, or Cyrillic (sublanguages 3, 7)
        return sublanguage == 0x03 || sublanguage == 0x07 ? 1251 : 1250;
    case 0x05: // Czech
    case 0x0E: // Hungarian
    case 0x15: // Polish
    case 0x18: // Romanian
    case 0x1B: // Slovak
    case 0x1C: // Albanian
    case 0x24: // Slovenian
        return 1250;
    case 0x08: // Greek
        return 1253;
    case 0x1F: // Turkish
        return 1254;
    case 0x2C: // Azerbaijani: Latin, or Cyrillic (sublanguage 2)
        return sublanguage == 0x02 ? 1251 : 1254;
    case 0x0D: // Hebrew
        return 1255;
    case 0x01: // Arabic
    case 0x20: // Urdu
    case 0x29: // Persian
        return 1256;
    case 0x25: // Estonian
    case 0x26: // Latvian
    case 0x27: // Lithuanian
        return 1257;
    case 0x00:
    case 0x7F: // the invariant locale
        return 0;
    default:
        return language < 0x100 ? 1252 : 0;
    }
}

int32_t MessageTextCodePage(int32_t messageCodePage, int32_t internetCodePage, uint32_t localeId)
{
    if (messageCodePage != 0 && IsCodePageSupported(messageCodePage))
        return messageCodePage;
    if (internetCodePage != 0) {
        const int32_t windows = WindowsCodePageOfInternetCodePage(internetCodePage);
        if (IsCodePageSupported(windows))
            return windows;
    }
    // A Western locale says nothing the default does not: the message then inherits its parent's code page.
    if (const int32_t windows = WindowsCodePageOfLocale(localeId);
        windows != 0 && windows != 1252 && IsCodePageSupported(windows))
        return windows;
    return 0;
}

} // namespace pelmsg
