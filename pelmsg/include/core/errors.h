#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pelmsg {

// Base of every exception the message library raises. what() is the text shown to the user.
class EPelMsgError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Input that is not of the expected format ("Invalid TNEF signature", ...). The offset, when known,
// is the byte position where reading failed; it is for diagnostics and not part of the text.
class EFormatError : public EPelMsgError {
public:
    explicit EFormatError(const std::string& text, int64_t offset = -1)
        : EPelMsgError(text)
        , offset_(offset)
    {
    }
    int64_t Offset() const { return offset_; }

private:
    int64_t offset_;
};

// A failure of the operating system (file not found, cannot create, write error).
class EFileError : public EPelMsgError {
public:
    using EPelMsgError::EPelMsgError;
};

// A save the user cancelled (TSaveControl): nothing was written in the target's place.
class ESaveCancelled : public EPelMsgError {
public:
    using EPelMsgError::EPelMsgError;
};

// A failure of the compound-file (structured storage) layer.
class EStorageError : public EPelMsgError {
public:
    using EPelMsgError::EPelMsgError;
};

// printf-like replacement of the one "%s" (or "%x", "%d") placeholder in a message text.
std::string FormatMessage(const std::string& pattern, const std::string& argument);

} // namespace pelmsg
