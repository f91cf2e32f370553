#pragma once

// The streams of an embedded OLE object's storage that say what it is: "\1CompObj" (the object's user type and
// ProgID) and, for a Package object, "\1Ole10Native" (the file packaged in it). Both are read bounds-checked:
// every length is checked against the bytes that are there before anything is taken or allocated.

#include <optional>
#include <string>
#include <string_view>

namespace pelmsg {

// A file packaged in an OLE object.
struct TOlePackage {
    std::string Label; // as the sender's system wrote them (ANSI)
    std::string FileName; // the label, else the file name part of the temporary or the source path
    std::string Data;
};

// Reads an Ole10Native stream; nothing when it is malformed or cut short.
std::optional<TOlePackage> ReadOle10Native(std::string_view stream);

// What a CompObj stream names; a field the stream does not hold in full stays empty.
struct TOleCompObj {
    std::string UserType; // "Microsoft Word Document", "Package", ...
    std::string ProgId; // "Word.Document.8", ...
};

TOleCompObj ReadOleCompObj(std::string_view stream);

} // namespace pelmsg
