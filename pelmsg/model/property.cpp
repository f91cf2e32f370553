#include "model/property.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>

#include "core/stream.h"
#include "model/lookup_work.h"
#include "model/message.h"
#include "model/tag_dictionary.h"
#include "model/value_codec.h"
#include "rtf/compressed_rtf.h"
#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/message_code_page.h"
#include "text/locale_text.h"

namespace pelmsg {

namespace {

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
    uint8_t raw[16] = {};
    size_t k = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        int hi = AsciiHexValue(text[i]), lo = i + 1 < text.size() ? AsciiHexValue(text[i + 1]) : -1;
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

// Where a collection's code-page nodes are. Nodes are only appended (or all cleared), so the pointers stay good as
// long as the counts of changes they were found at do.
struct TMSGProperties::TCodePageCache {
    uint32_t Changes = 0; // the collection's change count when the nodes were found
    uint32_t EntryChanges = 0; // the properties-stream entries' change count then
    const TMSGProperties* Entries = nullptr; // the entries of the collection's properties-stream node, if any
    const TMSGProperty* Nodes[3] = { nullptr, nullptr, nullptr }; // MESSAGE_CODEPAGE, INTERNET_CPID, LOCALE_ID
};

void TMSGProperties::TCodePageCacheDelete::operator()(TCodePageCache* cache) const { delete cache; }

TMSGProperties::TMSGProperties(TPelMessage* owner, TMSGProperty* parent)
    : owner_(owner)
    , parent_(parent)
{
}

TMSGProperties::~TMSGProperties() = default;

TMSGProperty* TMSGProperties::Add() { return Append(std::unique_ptr<TMSGProperty>(new TMSGProperty(this))); }

TMSGProperty* TMSGProperties::Append(std::unique_ptr<TMSGProperty> node)
{
    if (owner_)
        owner_->CountNode();
    items_.push_back(std::move(node));
    ++changes_;
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
    ++changes_;
    BodyKind = TBodyKind::None;
    codePageCache_.reset();
}

void TMSGProperties::Assign(const TMSGProperties& source)
{
    if (&source == this)
        return;
    Clear();
    for (const TMSGProperty* node : source)
        Add()->Assign(*node);
}

TLookupWork& LookupWork()
{
    thread_local TLookupWork work;
    return work;
}

TMSGProperty* TMSGProperties::FindProperty(uint32_t tag, bool byIdentifier, bool recursive) const
{
    TLookupWork& work = LookupWork();
    for (size_t i = 0; i < items_.size(); ++i) {
        const TMSGProperty* node = items_[i].get();
        if (byIdentifier ? PropId(node->TagID) == PropId(tag) : node->TagID == tag) {
            work.NodesExamined += i + 1;
            return items_[i].get();
        }
    }
    work.NodesExamined += items_.size();
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

int32_t TMSGProperties::OwnDeclaredCodePage(int first) const
{
    static constexpr uint32_t kTagMessageLocaleId = MakeTag(0x3FF1, PT_LONG);
    static constexpr uint32_t kTags[3] = { kTagMessageCodePage, kTagInternetCodePage, kTagMessageLocaleId };
    // The window reads a message while a worker saves it: the cache, filled on first use, is filled under a lock.
    static std::mutex cacheLock;
    const std::lock_guard<std::mutex> lock(cacheLock);
    if (!codePageCache_)
        codePageCache_.reset(new TCodePageCache { changes_ - 1 });
    TCodePageCache& cache = *codePageCache_;
    if (cache.Changes != changes_ || (cache.Entries && cache.EntryChanges != cache.Entries->changes_)) {
        // A message read from a .msg file keeps its fixed-size properties in the node of its properties stream.
        ++LookupWork().CodePageScans;
        cache.Entries = nullptr;
        for (const auto& node : items_)
            if (dynamic_cast<const TMSGPropertyWithHeader*>(node.get()))
                cache.Entries = &node->SubProperties;
        for (int i = 0; i < 3; ++i) {
            cache.Nodes[i] = FindProperty(kTags[i], false, false);
            if (!cache.Nodes[i] && cache.Entries)
                cache.Nodes[i] = cache.Entries->FindProperty(kTags[i], false, false);
        }
        cache.Changes = changes_;
        cache.EntryChanges = cache.Entries ? cache.Entries->changes_ : 0;
    }
    int32_t values[3] = { 0, 0, 0 };
    for (int i = 0; i < 3; ++i) {
        // The value is read anew each time: a node's value may change after it was found.
        const TMSGProperty* node = cache.Nodes[i];
        if (node && node->TagID == kTags[i] && IsNumeric(node->Value))
            values[i] = static_cast<int32_t>(ValueAsInteger(node->Value));
    }
    // An HTML body is written in the internet code page as it stands (ISO-2022-JP stays ISO-2022-JP).
    if (first == 1)
        return IsCodePageSupported(values[1]) ? values[1] : 0;
    return MessageTextCodePage(values[0], values[1], static_cast<uint32_t>(values[2]));
}

int32_t TMSGProperties::TextCodePage() const
{
    for (const TMSGProperties* c = this; c; c = c->parent_ ? c->parent_->Collection() : nullptr) {
        if (int32_t cp = c->OwnDeclaredCodePage())
            return cp;
    }
    return kDefaultMessageCodePage;
}

int32_t TMSGProperties::HtmlCodePage() const
{
    for (const TMSGProperties* c = this; c; c = c->parent_ ? c->parent_->Collection() : nullptr) {
        if (int32_t cp = c->OwnDeclaredCodePage(1))
            return cp;
    }
    return TextCodePage();
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
    Truncated = source.Truncated;
    SubProperties.Assign(source.SubProperties);
}

void TMSGProperty::ReadValue(TStream& stream, uint32_t size)
{
    const uint16_t type = PropType(TagID);
    if (collection_) {
        TBodyKind& kind = collection_->BodyKind;
        if (PropId(TagID) == kIdBody && (type == PT_STRING8 || type == PT_UNICODE) && kind == TBodyKind::None)
            kind = TBodyKind::PlainText;
        // An HTML body counts whatever its type (8-bit, Unicode or binary, as TNEF usually stores it).
        if (PropId(TagID) == kIdBodyHtml && (type == PT_STRING8 || type == PT_UNICODE || type == PT_BINARY))
            kind = TBodyKind::Html;
    }
    uint32_t defaultSize = size;
    switch (ValueStorageOf(type)) {
    case TValueStorage::Fixed: {
        const uint8_t fixed = FindPropertyType(type)->Size;
        char bytes[16] = {};
        stream.Read(bytes, fixed);
        Value = DecodeFixedValue(type, std::string_view(bytes, fixed));
        defaultSize = fixed;
        break;
    }
    case TValueStorage::Bytes: {
        ByteString bytes = stream.ReadString(size);
        // A value cut short by the end of the data records the bytes it really has.
        size = static_cast<uint32_t>(bytes.size());
        Value = std::move(bytes);
        break;
    }
    case TValueStorage::Wide: {
        int64_t available = stream.Remaining();
        if (static_cast<int64_t>(size) > available)
            size = static_cast<uint32_t>(available);
        Value = Utf16LeToWide(stream.ReadString(size));
        break;
    }
    case TValueStorage::None:
        Value = ByteString();
        break;
    }
    DataSize = size != 0 ? size : defaultSize;
}

void TMSGPropertyCompressedRTF::ReadValue(TStream& stream, uint32_t)
{
    if (Collection())
        Collection()->BodyKind = TBodyKind::Rtf;
    stream.Seek(0, TSeekOrigin::Beginning);
    ByteString raw = stream.ReadString(static_cast<size_t>(stream.Size()));
    TCompressedRtf decoded = DecodeCompressedRtf(raw);
    if (decoded.Kind != TCompressedRtfKind::NoHeader)
        CompressionKind = decoded.Kind;
    Value = std::move(decoded.Text);
    if (ValueStringLength(Value) != 0)
        DataSize = decoded.RecordedSize;
}

std::string_view StoredValueBytes(const TMSGProperty& node, std::string& scratch)
{
    const TValue& value = node.Value;
    if (IsEmptyOrNull(value))
        return {};
    // A fixed-size type is stored in its own form, whatever kind of value it was read into (a class identifier is
    // kept as its registry text, a FILETIME as a local date-time).
    if (ValueStorageOf(PropType(node.TagID)) == TValueStorage::Fixed) {
        scratch = EncodeFixedValue(PropType(node.TagID), value);
        return scratch;
    }
    if (const auto* bytes = std::get_if<ByteString>(&value))
        return *bytes;
    if (const auto* wide = std::get_if<WideString>(&value)) {
        if constexpr (std::endian::native == std::endian::little)
            return std::string_view(reinterpret_cast<const char*>(wide->data()), wide->size() * sizeof(char16_t));
        scratch = WideToUtf16Le(*wide);
        return scratch;
    }
    // A number, Boolean or date-time in a node of another type: the form its own kind is stored in.
    uint16_t kind = PT_LONG;
    if (std::holds_alternative<int64_t>(value))
        kind = PT_I8;
    else if (std::holds_alternative<bool>(value))
        kind = PT_BOOLEAN;
    else if (std::holds_alternative<double>(value))
        kind = PT_DOUBLE;
    else if (std::holds_alternative<TCurrency>(value))
        kind = PT_CURRENCY;
    else if (std::holds_alternative<TDateTime>(value))
        kind = PT_SYSTIME;
    scratch = EncodeFixedValue(kind, value);
    return scratch;
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
        return ValueText(ValueCodePage());
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
        WideString operator()(const TCurrency& v) const { return LocaleCurrencyText(v.AsDouble()); }
        // The zero date-time is what a date that could not be read becomes: no date, never 30 December 1899.
        WideString operator()(const TDateTime& v) const
        {
            return v.Days == 0 ? WideString() : LocaleDateTimeText(v.Days);
        }
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
    WideString name = SubProperties.GetPropertyText(kTagAttachLongFileName, true, false);
    if (Trimmed(name).empty())
        name = SubProperties.GetPropertyText(kTagAttachFileName, true, false);
    if (Trimmed(name).empty())
        return "Attachment " + std::to_string(index + 1);
    return WideToAnsi(name);
}

ByteString TMSGProperty::AttachmentDisplayName(int index) const
{
    WideString name = SubProperties.GetPropertyText(kTagDisplayName, true, false);
    if (name.empty())
        return AttachmentFileName(index);
    return WideToAnsi(name);
}

TAttachmentKind TMSGProperty::AttachmentKind() const
{
    if (SubProperties.FindProperty(kTagMessageClass, false, true))
        return TAttachmentKind::EmbeddedMessage;
    if (const TMSGProperty* obj = SubProperties.FindProperty(kTagAttachDataObject, false, true)) {
        if (obj->SubProperties.FindProperty(kTagMessageClass, true, false))
            return TAttachmentKind::EmbeddedMessage;
    }
    const TMSGProperty* data = SubProperties.FindProperty(MakeTag(kIdAttachDataObject, 0), true, true);
    if (!data)
        return TAttachmentKind::None;
    if (data->TagID == kTagAttachDataObject)
        return TAttachmentKind::OleObject;
    if (data->TagID == kTagAttachDataBinary)
        return TAttachmentKind::FileData;
    return TAttachmentKind::None;
}

TMSGProperty* TMSGProperty::AttachmentDataNode() const
{
    if (TMSGProperty* object = SubProperties.FindProperty(kTagAttachDataObject, false, false))
        return object;
    return SubProperties.FindProperty(MakeTag(kIdAttachDataObject, 0), true, false);
}

// ---- Text helpers ----

WideString TrimControls(const WideString& text) { return Trimmed(text); }

std::vector<WideString> ListEntries(const WideString& list)
{
    std::vector<WideString> entries;
    for (size_t from = 0; from < list.size();) {
        size_t end = list.find(u';', from);
        if (end == WideString::npos)
            end = list.size();
        entries.push_back(Trimmed(list.substr(from, end - from)));
        from = end + 1;
    }
    return entries;
}

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
