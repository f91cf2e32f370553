#pragma once

// A bounds-checked little-endian reader for the binary records of calendar items (recurrence patterns, time-zone
// definitions). Every read checks what remains first and fails with the record's name, the field and the byte
// offset; nothing is ever allocated from a length before that length has been checked against the bytes left.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_order.h"
#include "core/errors.h"

namespace pelmsg {

class TBlobReader {
public:
    // `what` names the record in error texts ("recurrence pattern").
    TBlobReader(std::string_view bytes, const char* what)
        : bytes_(bytes)
        , what_(what)
    {
    }

    size_t Offset() const { return offset_; }
    size_t Remaining() const { return bytes_.size() - offset_; }
    bool AtEnd() const { return offset_ == bytes_.size(); }

    uint8_t U8(const char* field) { return static_cast<uint8_t>(Take(1, field)[0]); }
    uint16_t U16(const char* field) { return LoadLE16(Take(2, field)); }
    uint32_t U32(const char* field) { return LoadLE32(Take(4, field)); }
    int32_t I32(const char* field) { return static_cast<int32_t>(U32(field)); }
    // The next `count` bytes.
    std::string_view Bytes(size_t count, const char* field) { return std::string_view(Take(count, field), count); }
    void Skip(size_t count, const char* field) { Take(count, field); }
    // `count` UTF-16 units.
    std::u16string Utf16(size_t count, const char* field)
    {
        if (count > Remaining() / 2)
            Fail(std::string(field) + " runs past the end of the data");
        std::u16string text(count, u'\0');
        for (size_t i = 0; i < count; ++i)
            text[i] = static_cast<char16_t>(U16(field));
        return text;
    }

    // Raises EFormatError "<record>: <text> (byte <offset>)".
    [[noreturn]] void Fail(const std::string& text) const
    {
        throw EFormatError(std::string(what_) + ": " + text + " (byte " + std::to_string(offset_) + ")",
            static_cast<int64_t>(offset_));
    }

private:
    const char* Take(size_t count, const char* field)
    {
        if (count > Remaining())
            Fail(std::string(field) + " runs past the end of the data");
        const char* at = bytes_.data() + offset_;
        offset_ += count;
        return at;
    }

    std::string_view bytes_;
    const char* what_;
    size_t offset_ = 0;
};

} // namespace pelmsg
