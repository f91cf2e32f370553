#pragma once

// Message text in the charset a message declares, for the MIME writer.

#include <cstdint>

#include "core/strings.h"

namespace pelmsg {

// Converts message text (UTF-8, this program's byte text) into the named charset: the default behind the
// OnConvertCodepage event of the MIME writer. "utf-8" gives UTF-8, a name of the charset table its code page,
// any other name the bytes recoded through the Cyrillic class the name implies.
void EncodeForCharset(const ByteString& charsetName, ByteString& text);
// The text's bytes in the named charset, carried one byte per UTF-16 unit (each unit holds one byte).
void ConvertCharset(const ByteString& charsetName, WideString& text);

// The Cyrillic charsets text can be recoded between, by their tables: each class names the recoding from it into
// the class of the identity (so that recoding from a class and into another composes the two).
enum class TCyrillicClass : uint8_t {
    Identity = 0,
    Windows1251ToDos866 = 1,
    Koi8RToWindows1251 = 2,
    Koi8UToWindows1251 = 3,
};

// The class a charset name implies: "windows-1251" or "x-1251", "koi8-r", "koi8-u" anywhere in it (any case);
// Identity otherwise.
TCyrillicClass CyrillicClassOf(const ByteString& charsetName);
// Maps every byte through the source class's table and then the target class's.
void RecodeCyrillic(TCyrillicClass sourceClass, TCyrillicClass targetClass, ByteString& text);

} // namespace pelmsg
