#include "model/property.h"

#include <algorithm>
#include <cstring>

#include "core/stream.h"
#include "model/message.h"
#include "model/tag_dictionary.h"
#include "text/codepage.h"
#include "text/datetime.h"
#include "text/locale_text.h"

namespace pelmsg {

namespace {

constexpr uint32_t kTagBodyString8 = 0x1000001E;
constexpr uint32_t kTagBodyUnicode = 0x1000001F;
constexpr uint16_t kIdBodyHtml = 0x1013;
constexpr uint32_t kTagMessageCodePage = 0x3FFD0003;
constexpr uint32_t kTagInternetCpid = 0x3FDE0003;

// Reads exactly n bytes (n <= 16) into out; bytes the stream lacks are zero.
void ReadPadded(TStream& stream, void* out, size_t n)
{
    std::memset(out, 0, n);
    stream.Read(out, n);
}

template <class T> T ReadLE(TStream& stream)
{
    unsigned char b[sizeof(T)];
    ReadPadded(stream, b, sizeof b);
    std::make_unsigned_t<T> v = 0;
    for (size_t i = sizeof b; i-- > 0;)
        v = static_cast<std::make_unsigned_t<T>>((v << 8) | b[i]);
    return static_cast<T>(v);
}

double ReadDouble(TStream& stream)
{
    uint64_t bits = ReadLE<uint64_t>(stream);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float ReadSingle(TStream& stream)
{
    uint32_t bits = ReadLE<uint32_t>(stream);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Reads up to `size` bytes, never more than the stream holds.
ByteString ReadBytes(TStream& stream, uint32_t size) { return stream.ReadString(size); }

WideString ReadWide(TStream& stream, uint32_t size)
{
    ByteString raw = stream.ReadString(size);
    WideString out(raw.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(
            static_cast<unsigned char>(raw[2 * i]) | (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    return out;
}

TValue FileTimeValue(uint64_t fileTime)
{
    auto local = FileTimeToLocalDateTime(fileTime);
    return TDateTime { local ? *local : 0.0 };
}

bool IsBlankOrControl(char16_t c) { return c < 0x21; }

WideString Trimmed(const WideString& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlankOrControl(s[b]))
        ++b;
    while (e > b && IsBlankOrControl(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

WideString DecimalText(int64_t v)
{
    std::string s = std::to_string(v);
    return WideString(s.begin(), s.end());
}

} // namespace

// ---- Categories, type names, GUIDs ----

TMSGPropertyCategory CategoryOfIdentifier(uint16_t id)
{
    using C = TMSGPropertyCategory;
    if (id >= 0x0001 && id <= 0x0BFF)
        return C::mpcEnvelope;
    if (id >= 0x0C00 && id <= 0x0DFF)
        return C::mpcRecipient;
    if (id >= 0x0E00 && id <= 0x0FFF)
        return C::mpcNonTransmittable;
    if (id >= 0x1000 && id <= 0x33FF)
        return C::mpcMessage;
    if (id >= 0x3400 && id <= 0x35FF)
        return C::mpcMessageStore;
    if (id >= 0x3600 && id <= 0x36FF)
        return C::mpcFolderABContainer;
    if (id >= 0x3700 && id <= 0x38FF)
        return C::mpcAttachment;
    if (id >= 0x3900 && id <= 0x39FF)
        return C::mpcAddressBook;
    if (id >= 0x3A00 && id <= 0x3BFF)
        return C::mpcUser;
    if (id >= 0x3C00 && id <= 0x3CFF)
        return C::mpcDistributionList;
    if (id >= 0x3D00 && id <= 0x3DFF)
        return C::mpcProfile;
    if (id >= 0x3E00 && id <= 0x3FFF)
        return C::mpcStatus;
    if (id >= 0x4000 && id <= 0x57FF)
        return C::mpcTransportEnvelope;
    if (id >= 0x5800 && id <= 0x5FFF)
        return C::mpcTransportRecipient;
    if (id >= 0x6000 && id <= 0x65FF)
        return C::mpcUserNonTransmittable;
    if (id >= 0x6600 && id <= 0x67FF)
        return C::mpcProviderNonTransmittable;
    if (id >= 0x6800 && id <= 0x7BFF)
        return C::mpcMessageClassContent;
    if (id >= 0x7C00 && id <= 0x7FFF)
        return C::mpcMessageClassNonTransmittable;
    if (id >= 0x8000 && id <= 0xFFFE)
        return C::mpcUserProperty;
    return C::mpcGeneral;
}

const char* CategoryName(TMSGPropertyCategory category)
{
    static const char* const names[] = { "mpcGeneral", "mpcEnvelope", "mpcRecipient", "mpcNonTransmittable",
        "mpcMessage", "mpcTransportEnvelope", "mpcTransportRecipient", "mpcUserNonTransmittable",
        "mpcProviderNonTransmittable", "mpcMessageClassContent", "mpcMessageClassNonTransmittable", "mpcUserProperty",
        "mpcMessageStore", "mpcFolderABContainer", "mpcAttachment", "mpcAddressBook", "mpcUser", "mpcDistributionList",
        "mpcProfile", "mpcStatus" };
    return names[static_cast<int>(category)];
}

std::string PropertyTypeName(uint16_t type)
{
    std::string prefix;
    if (type & MV_FLAG) {
        prefix = "PT_MV_";
        type = static_cast<uint16_t>(type & ~MV_FLAG);
    } else {
        prefix = "PT_";
    }
    const char* base = nullptr;
    switch (type) {
    case PT_UNSPECIFIED:
        base = "UNSPECIFIED";
        break;
    case PT_NULL:
        base = "NULL";
        break;
    case PT_I2:
        base = "I2";
        break;
    case PT_LONG:
        base = "LONG";
        break;
    case PT_R4:
        base = "R4";
        break;
    case PT_DOUBLE:
        base = "DOUBLE";
        break;
    case PT_CURRENCY:
        base = "CURRENCY";
        break;
    case PT_APPTIME:
        base = "APPTIME";
        break;
    case PT_ERROR:
        base = "ERROR";
        break;
    case PT_BOOLEAN:
        base = "BOOLEAN";
        break;
    case PT_OBJECT:
        base = "OBJECT";
        break;
    case PT_I8:
        base = "I8";
        break;
    case PT_STRING8:
        base = "STRING8";
        break;
    case PT_UNICODE:
        base = "UNICODE";
        break;
    case PT_SYSTIME:
        base = "SYSTIME";
        break;
    case PT_CLSID:
        base = "CLSID";
        break;
    case PT_BINARY:
        base = "BINARY";
        break;
    default:
        return {};
    }
    return prefix + base;
}

std::string GuidToText(const uint8_t* b)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
        b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::optional<std::array<uint8_t, 16>> GuidFromText(std::string_view text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    uint8_t raw[16];
    size_t k = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            if (c >= 'A' && c <= 'F')
                return c - 'A' + 10;
            return -1;
        };
        int hi = hex(text[i]), lo = i + 1 < text.size() ? hex(text[i + 1]) : -1;
        if (hi < 0 || lo < 0)
            return std::nullopt;
        raw[k++] = static_cast<uint8_t>(hi * 16 + lo);
        ++i;
    }
    // Data1, Data2 and Data3 are stored little-endian.
    std::array<uint8_t, 16> g {};
    const int order[16] = { 3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15 };
    for (int i = 0; i < 16; ++i)
        g[static_cast<size_t>(i)] = raw[order[i]];
    return g;
}

// ---- TMSGProperties ----

TMSGProperties::TMSGProperties(TPelMessage* owner, TMSGProperty* parent)
    : owner_(owner)
    , parent_(parent)
{
}

TMSGProperties::~TMSGProperties() = default;

TMSGProperty* TMSGProperties::Add()
{
    items_.push_back(std::unique_ptr<TMSGProperty>(new TMSGProperty(this)));
    return items_.back().get();
}

TMSGProperty* TMSGProperties::Items(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return items_[static_cast<size_t>(index)].get();
}

void TMSGProperties::Clear()
{
    items_.clear();
    BodyKind = 0;
    codePageScanCount_ = SIZE_MAX;
    codePageNodes_[0] = codePageNodes_[1] = nullptr;
    codePageEntries_ = nullptr;
}

void TMSGProperties::Assign(const TMSGProperties& source)
{
    if (&source == this)
        return;
    Clear();
    for (const TMSGProperty* node : source)
        Add()->Assign(*node);
}

TMSGProperty* TMSGProperties::FindProperty(uint32_t tag, bool byIdentifier, bool recursive) const
{
    for (const auto& node : items_) {
        if (byIdentifier ? PropId(node->TagID) == PropId(tag) : node->TagID == tag)
            return node.get();
    }
    if (!recursive)
        return nullptr;
    for (const auto& node : items_) {
        if (node->SubProperties.Empty())
            continue;
        if (TMSGProperty* found = node->SubProperties.FindProperty(tag, byIdentifier, true))
            return found;
    }
    return nullptr;
}

WideString TMSGProperties::GetPropertyText(uint32_t tag, bool byIdentifier, bool recursive) const
{
    const TMSGProperty* node = FindProperty(tag, byIdentifier, recursive);
    return node ? node->ValueText() : WideString();
}

bool TMSGProperties::IsTopLevel() const
{
    if (owner_)
        return &owner_->Properties() == this;
    return parent_ == nullptr;
}

const TMSGProperties& TMSGProperties::Root() const
{
    const TMSGProperties* c = this;
    while (c->parent_ && c->parent_->Collection())
        c = c->parent_->Collection();
    return *c;
}

int32_t TMSGProperties::OwnDeclaredCodePage() const
{
    const uint32_t tags[2] = { kTagMessageCodePage, kTagInternetCpid };
    const size_t entryCount = codePageEntries_ ? codePageEntries_->items_.size() : 0;
    if (codePageScanCount_ != items_.size() || codePageEntryCount_ != entryCount) {
        // A message read from a .msg file keeps its fixed-size properties in the node of its properties stream.
        codePageEntries_ = nullptr;
        for (const auto& node : items_)
            if (dynamic_cast<const TMSGPropertyWithHeader*>(node.get()))
                codePageEntries_ = &node->SubProperties;
        for (int i = 0; i < 2; ++i) {
            codePageNodes_[i] = FindProperty(tags[i], false, false);
            if (!codePageNodes_[i] && codePageEntries_)
                codePageNodes_[i] = codePageEntries_->FindProperty(tags[i], false, false);
        }
        codePageScanCount_ = items_.size();
        codePageEntryCount_ = codePageEntries_ ? codePageEntries_->items_.size() : 0;
    }
    for (int i = 0; i < 2; ++i) {
        const TMSGProperty* node = codePageNodes_[i];
        if (!node || node->TagID != tags[i] || !IsNumeric(node->Value))
            continue;
        auto cp = static_cast<int32_t>(ValueAsInteger(node->Value));
        if (IsCodePageSupported(cp))
            return cp;
    }
    return 0;
}

int32_t TMSGProperties::TextCodePage() const
{
    for (const TMSGProperties* c = this; c; c = c->parent_ ? c->parent_->Collection() : nullptr) {
        if (int32_t cp = c->OwnDeclaredCodePage())
            return cp;
    }
    return kDefaultMessageCodePage;
}

// ---- TMSGProperty ----

TMSGProperty::TMSGProperty(TMSGProperties* collection)
    : SubProperties(collection ? collection->owner_ : nullptr, this)
    , collection_(collection)
{
}

TMSGProperty::~TMSGProperty() = default;

int TMSGProperty::Index() const
{
    if (!collection_)
        return -1;
    const auto& items = collection_->items_;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].get() == this)
            return static_cast<int>(i);
    return -1;
}

void TMSGProperty::Assign(const TMSGProperty& source)
{
    if (&source == this)
        return;
    TagID = source.TagID;
    Value = source.Value;
    DataSize = source.DataSize;
    NamedId = source.NamedId ? std::make_unique<TNamedPropertyId>(*source.NamedId) : nullptr;
    MultiValued = source.MultiValued;
    SubProperties.Assign(source.SubProperties);
}

void TMSGProperty::ReadValue(TStream& stream, uint32_t size)
{
    if (collection_) {
        uint8_t& kind = collection_->BodyKind;
        if ((TagID == kTagBodyString8 || TagID == kTagBodyUnicode) && kind == 0)
            kind = 1;
        // An HTML body counts whatever its type (8-bit, Unicode or binary, as TNEF usually stores it).
        uint16_t type = PropType(TagID);
        if (PropId(TagID) == kIdBodyHtml && (type == PT_STRING8 || type == PT_UNICODE || type == PT_BINARY))
            kind = 3;
    }
    uint32_t defaultSize = size;
    switch (PropType(TagID)) {
    case PT_I2:
        Value = static_cast<int32_t>(ReadLE<int16_t>(stream));
        defaultSize = 2;
        break;
    case PT_LONG:
    case PT_ERROR:
        Value = ReadLE<int32_t>(stream);
        defaultSize = 4;
        break;
    case PT_R4:
        Value = static_cast<double>(ReadSingle(stream));
        defaultSize = 4;
        break;
    case PT_DOUBLE:
        Value = ReadDouble(stream);
        defaultSize = 8;
        break;
    case PT_CURRENCY:
        Value = TCurrency { ReadLE<int64_t>(stream) };
        defaultSize = 8;
        break;
    case PT_APPTIME:
        Value = TDateTime { ReadDouble(stream) };
        defaultSize = 8;
        break;
    case PT_BOOLEAN:
        Value = ReadLE<uint16_t>(stream) != 0;
        defaultSize = 2;
        break;
    case PT_I8:
        Value = ReadLE<int64_t>(stream);
        defaultSize = 8;
        break;
    case PT_SYSTIME:
        Value = FileTimeValue(ReadLE<uint64_t>(stream));
        defaultSize = 8;
        break;
    case PT_CLSID: {
        uint8_t g[16];
        ReadPadded(stream, g, sizeof g);
        Value = ByteString(GuidToText(g));
        defaultSize = 16;
        break;
    }
    case PT_OBJECT:
    case PT_STRING8:
    case PT_BINARY:
    case PT_MV_STRING8: {
        ByteString bytes = ReadBytes(stream, size);
        // A value cut short by the end of the data records the bytes it really has.
        size = static_cast<uint32_t>(bytes.size());
        Value = std::move(bytes);
        break;
    }
    case PT_UNICODE:
    case PT_MV_UNICODE: {
        int64_t available = stream.Remaining();
        if (static_cast<int64_t>(size) > available)
            size = static_cast<uint32_t>(available);
        Value = ReadWide(stream, size);
        break;
    }
    default:
        Value = ByteString();
        break;
    }
    DataSize = size != 0 ? size : defaultSize;
}

ByteString TMSGProperty::DisplayName(bool withDescription, bool fromDictionary) const
{
    if (!fromDictionary && !SubProperties.Empty()) {
        if (!IsEmptyOrNull(Value))
            return WideToAnsi(ValueText());
        return TagID == 0 ? "Properties" : "";
    }
    auto row = FindTagName(TagID);
    if (!row)
        return {};
    const TTagRow& r = TagRow(*row);
    ByteString name = r.Name;
    if (withDescription) {
        name += " (";
        name += r.Description;
        name += ")";
    }
    return name;
}

WideString TMSGProperty::ValueText() const
{
    if (IsByteString(Value) && collection_)
        return ValueText(collection_->TextCodePage());
    return ValueText(kDefaultMessageCodePage);
}

WideString TMSGProperty::ValueText(int32_t codePage) const
{
    struct Visitor {
        int32_t cp;
        WideString operator()(std::monostate) const { return {}; }
        WideString operator()(TNull) const { return {}; }
        WideString operator()(int32_t v) const { return DecimalText(v); }
        WideString operator()(int64_t v) const { return DecimalText(v); }
        WideString operator()(bool v) const { return BooleanText(v); }
        WideString operator()(double v) const { return LocaleNumberText(v); }
        WideString operator()(const TCurrency& v) const { return LocaleCurrencyText(v); }
        WideString operator()(const TDateTime& v) const { return LocaleDateTimeText(v.Days); }
        WideString operator()(const ByteString& v) const
        {
            WideString w = CodePageToWide(v, cp);
            if (w.empty() && !v.empty())
                w = CodePageToWide(v, kDefaultMessageCodePage);
            return w;
        }
        WideString operator()(const WideString& v) const { return v; }
    };
    WideString text = std::visit(Visitor { codePage }, Value);
    // Strings stored with their terminator would otherwise carry NUL characters into every view and file.
    if (IsByteString(Value) || IsWideString(Value)) {
        size_t end = text.size();
        while (end > 0 && text[end - 1] == u'\0')
            --end;
        text.resize(end);
    }
    return text;
}

ByteString TMSGProperty::AttachmentFileName(int index) const
{
    WideString name = SubProperties.GetPropertyText(0x3707001E, true, false);
    if (Trimmed(name).empty())
        name = SubProperties.GetPropertyText(0x3704001E, true, false);
    if (Trimmed(name).empty())
        return "Attachment " + std::to_string(index + 1);
    return WideToAnsi(name);
}

ByteString TMSGProperty::AttachmentDisplayName(int index) const
{
    WideString name = SubProperties.GetPropertyText(0x3001001E, true, false);
    if (name.empty())
        return AttachmentFileName(index);
    return WideToAnsi(name);
}

int TMSGProperty::AttachmentKind() const
{
    if (SubProperties.FindProperty(0x001A001E, false, true))
        return 2;
    if (const TMSGProperty* obj = SubProperties.FindProperty(kTagAttachDataObject, false, true)) {
        if (obj->SubProperties.FindProperty(0x001A001E, true, false))
            return 2;
    }
    const TMSGProperty* data = SubProperties.FindProperty(MakeTag(0x3701, 0), true, true);
    if (!data)
        return 0;
    if (data->TagID == kTagAttachDataObject)
        return 3;
    if (data->TagID == kTagAttachDataBinary)
        return 1;
    return 0;
}

TMSGProperty* TMSGProperty::AttachmentDataNode() const
{
    if (TMSGProperty* object = SubProperties.FindProperty(kTagAttachDataObject, false, false))
        return object;
    return SubProperties.FindProperty(MakeTag(0x3701, 0), true, false);
}

// ---- Entries of a compound-file properties stream ----

void ReadEntryValue(TMSGProperty& node, TStream& stream, uint16_t identifier, uint16_t type)
{
    uint16_t resulting = type;
    switch (type) {
    case 0x0001:
        node.Value = TNull {};
        break;
    case 0x0002:
    case 0x0012:
        node.Value = static_cast<int32_t>(ReadLE<int16_t>(stream));
        node.DataSize = 2;
        resulting = 0x0002;
        break;
    case 0x0010:
    case 0x0011:
        node.Value = static_cast<int32_t>(ReadLE<uint8_t>(stream));
        node.DataSize = 2;
        resulting = 0x0002;
        break;
    case 0x0003:
    case 0x0013:
        node.Value = ReadLE<int32_t>(stream);
        node.DataSize = 4;
        resulting = 0x0003;
        break;
    case 0x0004:
        node.Value = static_cast<double>(ReadSingle(stream));
        node.DataSize = 4;
        resulting = 0x0005;
        break;
    case 0x0005:
        node.Value = ReadDouble(stream);
        node.DataSize = 8;
        break;
    case 0x0006:
        node.Value = TCurrency { ReadLE<int64_t>(stream) };
        node.DataSize = 8;
        break;
    case 0x0007:
        node.Value = TDateTime { ReadDouble(stream) };
        node.DataSize = 8;
        break;
    case 0x0008: {
        uint16_t n = ReadLE<uint16_t>(stream);
        ByteString bytes = ReadBytes(stream, n);
        node.DataSize = static_cast<uint32_t>(bytes.size());
        node.Value = std::move(bytes);
        resulting = 0x001F;
        break;
    }
    case 0x000B:
        node.Value = ReadLE<uint8_t>(stream) != 0;
        node.DataSize = 1;
        break;
    case 0x000E: {
        uint8_t raw[16];
        ReadPadded(stream, raw, sizeof raw);
        node.Value = ByteString(reinterpret_cast<const char*>(raw), sizeof raw);
        node.DataSize = 16;
        resulting = 0x0102;
        break;
    }
    case 0x0014:
    case 0x0015:
        node.Value = ReadLE<int64_t>(stream);
        node.DataSize = 8;
        resulting = 0x0014;
        break;
    case 0x0019:
        node.Value = ReadLE<int32_t>(stream);
        node.DataSize = 4;
        resulting = 0x000A;
        break;
    case 0x001E: {
        uint8_t raw[4];
        ReadPadded(stream, raw, sizeof raw);
        node.Value = ByteString(reinterpret_cast<const char*>(raw), sizeof raw);
        node.DataSize = 4;
        break;
    }
    case 0x0040:
        node.Value = FileTimeValue(ReadLE<uint64_t>(stream));
        node.DataSize = 8;
        break;
    case 0x0048: {
        uint8_t g[16];
        ReadPadded(stream, g, sizeof g);
        node.Value = ByteString(GuidToText(g));
        node.DataSize = 16;
        break;
    }
    case 0x0102: {
        uint8_t raw[8];
        ReadPadded(stream, raw, sizeof raw);
        node.Value = ByteString(reinterpret_cast<const char*>(raw), sizeof raw);
        node.DataSize = 8;
        break;
    }
    default:
        node.Value = ByteString();
        node.DataSize = 0;
        resulting = 0x0000;
        break;
    }
    node.TagID = MakeTag(identifier, resulting);
    if (node.DataSize > 0 && node.DataSize < 8)
        stream.Seek(8 - node.DataSize, TSeekOrigin::Current);
}

// ---- Text helpers ----

WideString TrimControls(const WideString& text) { return Trimmed(text); }

WideString QuoteDisplayName(const WideString& name)
{
    if (name.find_first_of(u" .,:") != WideString::npos)
        return u"\"" + name + u"\"";
    return name;
}

WideString TWideStrings::Get(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return items_[static_cast<size_t>(index)];
}

WideString TWideStrings::Text() const
{
    WideString out;
    for (const auto& s : items_) {
        out += s;
        out += u"\r\n";
    }
    return out;
}

} // namespace pelmsg
