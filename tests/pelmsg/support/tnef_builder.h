#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/types.h"

namespace pelmsg::test {

// Little-endian encoders for building binary test input.
std::string LE16(uint16_t v);
std::string LE32(uint32_t v);
std::string LE64(uint64_t v);
// Bytes padded with NULs to a multiple of four, as values in a property list are.
std::string Pad4(std::string bytes);
// UTF-16LE units of UTF-8 text, without a terminator.
std::string Utf16Le(const std::string& utf8);
// A FILETIME for a UTC moment.
uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second);

// A list of encoded MAPI properties (as inside attMAPIProps, attAttachment and recipient rows).
class TnefPropList {
public:
    TnefPropList& Short(uint16_t id, int16_t v);
    TnefPropList& Long(uint16_t id, int32_t v);
    TnefPropList& Bool(uint16_t id, bool v);
    TnefPropList& Double(uint16_t id, double v);
    TnefPropList& Int64(uint16_t id, int64_t v);
    TnefPropList& SysTime(uint16_t id, uint64_t fileTime);
    // PT_STRING8; the terminating NUL is added (and counted) as senders do.
    TnefPropList& String8(uint16_t id, const std::string& bytes);
    // PT_UNICODE from UTF-8 text, with a terminating NUL unit.
    TnefPropList& Unicode(uint16_t id, const std::string& utf8);
    TnefPropList& Binary(uint16_t id, const std::string& bytes);
    // PT_OBJECT: the length counts the 16-byte interface identifier that precedes the data.
    TnefPropList& Object(uint16_t id, const std::string& bytes);
    TnefPropList& MultiLong(uint16_t id, const std::vector<int32_t>& values);
    TnefPropList& MultiString8(uint16_t id, const std::vector<std::string>& values);
    // A named property (identifier 0x8000 and above) with a numeric or a string name.
    TnefPropList& NamedLong(uint16_t id, const std::array<uint8_t, 16>& guid, uint32_t number, int32_t v);
    TnefPropList& NamedString8(
        uint16_t id, const std::array<uint8_t, 16>& guid, const std::string& utf8Name, const std::string& value);
    // Any bytes after the tag, for malformed cases.
    TnefPropList& Raw(uint32_t tag, const std::string& afterTag);

    int Count() const { return count_; }
    // Count followed by the properties.
    std::string Encode() const;
    // The properties alone.
    const std::string& Body() const { return body_; }

private:
    TnefPropList& Add(uint32_t tag, const std::string& afterTag);
    std::string body_;
    int count_ = 0;
};

// A TNEF stream: signature, key and attributes, with correct checksums.
class TnefBuilder {
public:
    explicit TnefBuilder(uint16_t key = 0x4A2B);

    // attTnefVersion (level 1), which a stream must start with.
    TnefBuilder& Version(uint32_t version = 0x00010000);
    TnefBuilder& OemCodePage(uint32_t codePage);
    TnefBuilder& MessageClass(const std::string& cls);
    TnefBuilder& Subject(const std::string& bytes);
    // A legacy date attribute (14-byte date record) at a level.
    TnefBuilder& DateRecord(
        uint8_t level, uint32_t identifier, int year, int month, int day, int hour, int minute, int second);
    TnefBuilder& MapiProps(const TnefPropList& props);
    TnefBuilder& RecipientTable(const std::vector<TnefPropList>& rows);
    // Starts an attachment.
    TnefBuilder& AttachRenddata();
    TnefBuilder& AttachTitle(const std::string& name);
    TnefBuilder& AttachData(const std::string& bytes);
    TnefBuilder& AttachmentProps(const TnefPropList& props);
    // Any attribute.
    TnefBuilder& Attribute(uint8_t level, uint32_t identifier, const std::string& data);
    // Bytes appended as they are (garbage, truncation tests).
    TnefBuilder& RawBytes(const std::string& bytes);

    std::string Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// The envelope of the writers' test mail: subject "Lunch", from Ann Lee <ann@example.org>, to Bob.
TnefPropList LunchEnvelope();

} // namespace pelmsg::test
