#include "msg/property_entry.h"

#include <algorithm>

#include "core/byte_order.h"
#include "model/value_codec.h"

namespace pelmsg {

namespace {

// What the value field of an entry holds.
enum class TEntryValue : uint8_t {
    Null, // nothing: the value is Null and DataSize stays as it was
    Fixed, // Bytes bytes of the type DecodeAs
    UnsignedByte, // one unsigned byte, a 16-bit integer in the tree
    Counted, // a 16-bit length, then that many bytes (as many as the field holds)
    Raw, // Bytes bytes kept as they are (the field's size words)
};

struct TEntryCode {
    uint16_t Code; // as stored
    uint16_t Type; // the type of the node it becomes
    TEntryValue Kind;
    uint16_t DecodeAs; // for Fixed: the type whose bytes the field holds
    uint8_t Bytes; // bytes of the field read (a Raw value of 16 takes 8 zeros after the field)
    uint8_t DataSize; // what the node records
};

// Every type code of an entry. The writer uses, for a node of a type, the first row of that type whose DataSize
// is the node's, else the first row of the type.
constexpr TEntryCode kEntryCodes[] = {
    { 0x0001, PT_NULL, TEntryValue::Null, 0, 0, 0 },
    { 0x0002, PT_I2, TEntryValue::Fixed, PT_I2, 2, 2 },
    { 0x0012, PT_I2, TEntryValue::Fixed, PT_I2, 2, 2 },
    { 0x0010, PT_I2, TEntryValue::UnsignedByte, 0, 1, 2 },
    { 0x0011, PT_I2, TEntryValue::UnsignedByte, 0, 1, 2 },
    { 0x0003, PT_LONG, TEntryValue::Fixed, PT_LONG, 4, 4 },
    { 0x0013, PT_LONG, TEntryValue::Fixed, PT_LONG, 4, 4 },
    { 0x0005, PT_DOUBLE, TEntryValue::Fixed, PT_DOUBLE, 8, 8 },
    { 0x0004, PT_DOUBLE, TEntryValue::Fixed, PT_R4, 4, 4 },
    { 0x0006, PT_CURRENCY, TEntryValue::Fixed, PT_CURRENCY, 8, 8 },
    { 0x0007, PT_APPTIME, TEntryValue::Fixed, PT_APPTIME, 8, 8 },
    { 0x0008, PT_UNICODE, TEntryValue::Counted, 0, 0, 0 },
    { 0x000B, PT_BOOLEAN, TEntryValue::Fixed, PT_BOOLEAN, 1, 1 },
    { 0x000E, PT_BINARY, TEntryValue::Raw, 0, 16, 16 },
    { 0x0102, PT_BINARY, TEntryValue::Raw, 0, 8, 8 },
    { 0x0014, PT_I8, TEntryValue::Fixed, PT_I8, 8, 8 },
    { 0x0015, PT_I8, TEntryValue::Fixed, PT_I8, 8, 8 },
    { 0x0019, PT_ERROR, TEntryValue::Fixed, PT_LONG, 4, 4 },
    { 0x001E, PT_STRING8, TEntryValue::Raw, 0, 4, 4 },
    { 0x0040, PT_SYSTIME, TEntryValue::Fixed, PT_SYSTIME, 8, 8 },
    { 0x0048, PT_CLSID, TEntryValue::Fixed, PT_CLSID, 16, 16 },
};

const TEntryCode* FindCode(uint16_t code)
{
    for (const TEntryCode& row : kEntryCodes)
        if (row.Code == code)
            return &row;
    return nullptr;
}

const TEntryCode* CodeForNode(const TMSGProperty& node)
{
    const TEntryCode* first = nullptr;
    for (const TEntryCode& row : kEntryCodes) {
        if (row.Type != PropType(node.TagID))
            continue;
        if (row.DataSize == node.DataSize)
            return &row;
        if (!first)
            first = &row;
    }
    return first;
}

} // namespace

void DecodeEntryValue(TMSGProperty& node, std::string_view field, uint16_t identifier, uint16_t typeCode)
{
    const TEntryCode* row = FindCode(typeCode);
    if (!row) {
        node.Value = ByteString();
        node.DataSize = 0;
        node.TagID = MakeTag(identifier, 0);
        return;
    }
    // The field's bytes, and zeros for what the stream did not hold.
    std::string bytes(field.substr(0, std::min<size_t>(field.size(), 16)));
    bytes.resize(16, '\0');
    switch (row->Kind) {
    case TEntryValue::Null:
        node.Value = TNull {};
        break;
    case TEntryValue::Fixed:
        node.Value = DecodeFixedValue(row->DecodeAs, std::string_view(bytes).substr(0, row->Bytes));
        node.DataSize = row->DataSize;
        break;
    case TEntryValue::UnsignedByte:
        node.Value = static_cast<int32_t>(static_cast<unsigned char>(bytes[0]));
        node.DataSize = row->DataSize;
        break;
    case TEntryValue::Counted: {
        const size_t length = LoadLE16(bytes.data());
        ByteString text(field.substr(std::min<size_t>(field.size(), 2)).substr(0, length));
        node.DataSize = static_cast<uint32_t>(text.size());
        node.Value = std::move(text);
        break;
    }
    case TEntryValue::Raw:
        node.Value = bytes.substr(0, row->Bytes);
        node.DataSize = row->DataSize;
        break;
    }
    node.TagID = MakeTag(identifier, row->Type);
}

std::string EncodeEntry(const TMSGProperty& node, uint32_t flags)
{
    const TEntryCode* row = CodeForNode(node);
    std::string value;
    if (row) {
        switch (row->Kind) {
        case TEntryValue::Null:
        case TEntryValue::UnsignedByte:
            break;
        case TEntryValue::Fixed:
            value = EncodeFixedValue(row->DecodeAs, node.Value);
            break;
        case TEntryValue::Counted:
            AppendLE16(value, static_cast<uint16_t>(node.DataSize));
            value += ValueAsBytes(node.Value).substr(0, node.DataSize);
            break;
        case TEntryValue::Raw:
            value = ValueAsBytes(node.Value);
            // A string's size word holds its length; a binary keeps its size and reserved words.
            if (row->Type == PT_STRING8)
                value = value.substr(0, node.DataSize);
            break;
        }
    }
    std::string out;
    AppendLE16(out, row ? row->Code : 0);
    AppendLE16(out, PropId(node.TagID));
    AppendLE32(out, flags);
    out += value;
    // Every entry is 16 bytes: a value that needs more is cut, one that needs less is padded with zeros.
    out.resize(kEntrySize, '\0');
    return out;
}

} // namespace pelmsg
