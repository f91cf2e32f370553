#pragma once

// The binary records of calendar items (recurrence patterns, time-zone definitions) are read with the library's
// bounds-checked byte reader; this adds the record's name to what a malformed record raises.

#include <string>
#include <string_view>

#include "core/byte_reader.h"
#include "core/errors.h"
#include "text/codepage.h"

namespace pelmsg {

class TRecordReader : public TByteReader {
public:
    // `what` names the record in error texts ("recurrence pattern"); `endsEarly` raises the error for a read beyond
    // the end, naming the record the same way.
    TRecordReader(std::string_view bytes, const char* what, TOutOfBounds endsEarly)
        : TByteReader(bytes, endsEarly)
        , what_(what)
    {
    }

    int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
    // `count` UTF-16 units.
    WideString Utf16(size_t count) { return Utf16LeToWide(Bytes(2 * count)); }

    // Raises EFormatError "<record>: <text> (byte <offset>)".
    [[noreturn]] void Fail(const std::string& text) const { ThrowRecordError(what_, Position(), text); }

    [[noreturn]] static void ThrowRecordError(const char* what, uint64_t offset, const std::string& text)
    {
        throw EFormatError(
            std::string(what) + ": " + text + " (byte " + std::to_string(offset) + ")", static_cast<int64_t>(offset));
    }

private:
    const char* what_;
};

} // namespace pelmsg
