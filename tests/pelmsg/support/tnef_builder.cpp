#include "tnef_builder.h"

#include <cstring>

#include "text/codepage.h"

namespace pelmsg::test {

std::string LE16(uint16_t v) { return std::string { static_cast<char>(v & 0xFF), static_cast<char>(v >> 8) }; }

std::string LE32(uint32_t v) { return LE16(static_cast<uint16_t>(v & 0xFFFF)) + LE16(static_cast<uint16_t>(v >> 16)); }

std::string LE64(uint64_t v) { return LE32(static_cast<uint32_t>(v)) + LE32(static_cast<uint32_t>(v >> 32)); }

uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    // Days from civil (proleptic Gregorian), then ticks since 1601.
    int y = year - (month <= 2);
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = static_cast<int64_t>(era) * 146097 + doe - 719468;
    int64_t secs = days * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<uint64_t>((secs + 11644473600LL) * 10000000LL);
}

std::string Pad4(std::string s)
{
    while (s.size() % 4)
        s.push_back('\0');
    return s;
}

std::string Utf16Le(const std::string& utf8)
{
    WideString w = Utf8ToWide(utf8);
    std::string out;
    for (char16_t c : w)
        out += LE16(c);
    return out;
}

TnefPropList& TnefPropList::Add(uint32_t tag, const std::string& afterTag)
{
    body_ += LE32(tag) + afterTag;
    ++count_;
    return *this;
}

TnefPropList& TnefPropList::Raw(uint32_t tag, const std::string& afterTag) { return Add(tag, afterTag); }

TnefPropList& TnefPropList::Short(uint16_t id, int16_t v)
{
    return Add(static_cast<uint32_t>(id) << 16 | 0x0002, Pad4(LE16(static_cast<uint16_t>(v))));
}

TnefPropList& TnefPropList::Long(uint16_t id, int32_t v)
{
    return Add(static_cast<uint32_t>(id) << 16 | 0x0003, LE32(static_cast<uint32_t>(v)));
}

TnefPropList& TnefPropList::Bool(uint16_t id, bool v)
{
    return Add(static_cast<uint32_t>(id) << 16 | 0x000B, Pad4(LE16(v ? 1 : 0)));
}

TnefPropList& TnefPropList::Double(uint16_t id, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return Add(static_cast<uint32_t>(id) << 16 | 0x0005, LE64(bits));
}

TnefPropList& TnefPropList::Int64(uint16_t id, int64_t v)
{
    return Add(static_cast<uint32_t>(id) << 16 | 0x0014, LE64(static_cast<uint64_t>(v)));
}

TnefPropList& TnefPropList::SysTime(uint16_t id, uint64_t fileTime)
{
    return Add(static_cast<uint32_t>(id) << 16 | 0x0040, LE64(fileTime));
}

TnefPropList& TnefPropList::String8(uint16_t id, const std::string& bytes)
{
    std::string value = bytes + '\0';
    return Add(
        static_cast<uint32_t>(id) << 16 | 0x001E, LE32(1) + LE32(static_cast<uint32_t>(value.size())) + Pad4(value));
}

TnefPropList& TnefPropList::Unicode(uint16_t id, const std::string& utf8)
{
    std::string value = Utf16Le(utf8) + std::string(2, '\0');
    return Add(
        static_cast<uint32_t>(id) << 16 | 0x001F, LE32(1) + LE32(static_cast<uint32_t>(value.size())) + Pad4(value));
}

TnefPropList& TnefPropList::Binary(uint16_t id, const std::string& bytes)
{
    return Add(
        static_cast<uint32_t>(id) << 16 | 0x0102, LE32(1) + LE32(static_cast<uint32_t>(bytes.size())) + Pad4(bytes));
}

TnefPropList& TnefPropList::Object(uint16_t id, const std::string& bytes)
{
    // IID_IMessage {00020307-0000-0000-C000-000000000046}
    static const unsigned char iid[16]
        = { 0x07, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };
    std::string value = std::string(reinterpret_cast<const char*>(iid), 16) + bytes;
    return Add(
        static_cast<uint32_t>(id) << 16 | 0x000D, LE32(1) + LE32(static_cast<uint32_t>(value.size())) + Pad4(value));
}

TnefPropList& TnefPropList::MultiLong(uint16_t id, const std::vector<int32_t>& values)
{
    std::string after = LE32(static_cast<uint32_t>(values.size()));
    for (int32_t v : values)
        after += LE32(static_cast<uint32_t>(v));
    return Add(static_cast<uint32_t>(id) << 16 | 0x1003, after);
}

TnefPropList& TnefPropList::MultiString8(uint16_t id, const std::vector<std::string>& values)
{
    std::string after = LE32(static_cast<uint32_t>(values.size()));
    for (const auto& v : values) {
        std::string value = v + '\0';
        after += LE32(static_cast<uint32_t>(value.size())) + Pad4(value);
    }
    return Add(static_cast<uint32_t>(id) << 16 | 0x101E, after);
}

TnefPropList& TnefPropList::NamedLong(uint16_t id, const std::array<uint8_t, 16>& guid, uint32_t number, int32_t v)
{
    std::string name = std::string(reinterpret_cast<const char*>(guid.data()), 16) + LE32(0) + LE32(number);
    return Add(static_cast<uint32_t>(id) << 16 | 0x0003, name + LE32(static_cast<uint32_t>(v)));
}

TnefPropList& TnefPropList::NamedString8(
    uint16_t id, const std::array<uint8_t, 16>& guid, const std::string& utf8Name, const std::string& value)
{
    std::string wideName = Utf16Le(utf8Name) + std::string(2, '\0');
    std::string name = std::string(reinterpret_cast<const char*>(guid.data()), 16) + LE32(1)
        + LE32(static_cast<uint32_t>(wideName.size())) + Pad4(wideName);
    std::string v = value + '\0';
    return Add(
        static_cast<uint32_t>(id) << 16 | 0x001E, name + LE32(1) + LE32(static_cast<uint32_t>(v.size())) + Pad4(v));
}

std::string TnefPropList::Encode() const { return LE32(static_cast<uint32_t>(count_)) + body_; }

TnefBuilder::TnefBuilder(uint16_t key) { bytes_ = LE32(0x223E9F78) + LE16(key); }

TnefBuilder& TnefBuilder::Attribute(uint8_t level, uint32_t identifier, const std::string& data)
{
    uint16_t checksum = 0;
    for (char c : data)
        checksum = static_cast<uint16_t>(checksum + static_cast<unsigned char>(c));
    bytes_ += static_cast<char>(level);
    bytes_ += LE32(identifier) + LE32(static_cast<uint32_t>(data.size())) + data + LE16(checksum);
    return *this;
}

TnefBuilder& TnefBuilder::Version(uint32_t version) { return Attribute(1, 0x00089006, LE32(version)); }

TnefBuilder& TnefBuilder::OemCodePage(uint32_t codePage) { return Attribute(1, 0x00069007, LE32(codePage) + LE32(0)); }

TnefBuilder& TnefBuilder::MessageClass(const std::string& cls) { return Attribute(1, 0x00078008, cls + '\0'); }

TnefBuilder& TnefBuilder::Subject(const std::string& bytes) { return Attribute(1, 0x00018004, bytes + '\0'); }

TnefBuilder& TnefBuilder::DateRecord(
    uint8_t level, uint32_t identifier, int year, int month, int day, int hour, int minute, int second)
{
    std::string record;
    for (int v : { year, month, day, hour, minute, second, 0 })
        record += LE16(static_cast<uint16_t>(v));
    return Attribute(level, identifier, record);
}

TnefBuilder& TnefBuilder::MapiProps(const TnefPropList& props) { return Attribute(1, 0x00069003, props.Encode()); }

TnefBuilder& TnefBuilder::RecipientTable(const std::vector<TnefPropList>& rows)
{
    std::string data = LE32(static_cast<uint32_t>(rows.size()));
    for (const auto& row : rows)
        data += row.Encode();
    return Attribute(1, 0x00069004, data);
}

TnefBuilder& TnefBuilder::AttachRenddata()
{
    // attachment type 1 (file), position, rendering size, flags
    return Attribute(2, 0x00069002, LE16(1) + LE32(0xFFFFFFFF) + LE16(32) + LE16(32) + LE32(0));
}

TnefBuilder& TnefBuilder::AttachTitle(const std::string& name) { return Attribute(2, 0x00018010, name + '\0'); }

TnefBuilder& TnefBuilder::AttachData(const std::string& bytes) { return Attribute(2, 0x0006800F, bytes); }

TnefBuilder& TnefBuilder::AttachmentProps(const TnefPropList& props)
{
    return Attribute(2, 0x00069005, props.Encode());
}

TnefBuilder& TnefBuilder::RawBytes(const std::string& bytes)
{
    bytes_ += bytes;
    return *this;
}

TnefPropList LunchEnvelope()
{
    return std::move(TnefPropList()
                         .Unicode(0x0037, "Lunch")
                         .Unicode(0x0042, "Ann Lee")
                         .Unicode(0x5D01, "ann@example.org")
                         .Unicode(0x0E04, "Bob"));
}

} // namespace pelmsg::test
