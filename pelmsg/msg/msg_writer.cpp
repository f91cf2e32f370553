// Writes a property tree as an Outlook .msg compound file.

#include "msg/msg_writer.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "core/byte_order.h"
#include "core/stream.h"
#include "core/errors.h"
#include "model/limits.h"
#include "model/message.h"
#include "model/property.h"
#include "model/value_codec.h"
#include "msg/msg_names.h"
#include "msg/msg_record.h"
#include "msg/named_properties.h"
#include "msg/property_entry.h"
#include "rtf/compressed_rtf.h"
#include "storage/storage.h"
#include "text/codepage.h"
#include "text/datetime.h"

namespace pelmsg {

namespace {

constexpr uint32_t kObjectSize = 0xFFFFFFFF; // the size an embedded message or storage entry records
constexpr uint32_t kStoreUnicodeOk = 0x00040000;
constexpr int32_t kAttachByValue = 1;
constexpr int32_t kAttachEmbeddedMessage = 5;
constexpr int32_t kAttachOle = 6;

// The common properties the "only common used properties" mode keeps, in this order.
constexpr uint32_t kSelectedTags[] = { 0x001A001E, 0x004B001E, 0x004B001F, 0x0072001E, 0x0072001F, 0x0073001E,
    0x0073001F, 0x0E04001E, 0x0E04001F, 0x0E03001E, 0x0E03001F, 0x0E02001E, 0x0E02001F, 0x0042001E, 0x0042001F,
    0x0044001E, 0x0044001F, 0x0065001E, 0x0065001F, 0x0078001E, 0x0078001F, 0x0037001E, 0x0037001F, 0x003D001E,
    0x0E1D001E, 0x0070001E, 0x00390040, 0x1035001E, 0x1000001E, 0x1000001F, 0x1013001E, 0x300B0102 };

WideString Ascii(const std::string& s) { return WideString(s.begin(), s.end()); }

WideString NumberedName(const char* prefix, size_t index)
{
    char text[40];
    (void)std::snprintf(text, sizeof text, "%s%08X", prefix, static_cast<unsigned>(index));
    return Ascii(text);
}

void WriteStream(IStorage& storage, const std::u16string& name, const std::string& bytes)
{
    std::unique_ptr<IStream> stream = storage.CreateStream(name);
    if (!bytes.empty())
        stream->Write(bytes.data(), bytes.size());
}

bool IsCompoundFileImage(const TValue& value)
{
    const auto* bytes = std::get_if<ByteString>(&value);
    return bytes && bytes->size() >= 512 && HasCompoundFileSignature(*bytes);
}

// Whether an OLE object's image can be written as a storage at that depth (the depth its object storage will
// have): its chains can be followed, its element names are names the format allows, and its nesting stays within
// the format's limit. Tried on a scratch file, since a failure half-way would leave half an element behind.
bool ObjectCopies(const ByteString& image, int depth)
{
    try {
        std::unique_ptr<IStorage> source = StgOpenStorageOnMemory(image);
        auto scratch = std::make_shared<TLockBytes>();
        std::unique_ptr<IStorage> root = StgCreateDocfileInMemory(scratch);
        std::unique_ptr<IStorage> at = root->CreateStorage(u"o");
        for (int level = 1; level < depth; ++level)
            at = at->CreateStorage(u"o");
        source->CopyTo(*at);
        return true;
    } catch (const EPelMsgError&) {
        return false;
    }
}

// Tells the message's owner, when there is one, that an attachment was written otherwise than it came.
void NoteWritten(const TMSGProperties& message, const std::string& text)
{
    if (TPelMessage* owner = message.Root().Owner())
        owner->AddWarning(-1, text);
}

// A string value without the terminators senders store with it.
ByteString StringBytes(const TValue& value)
{
    ByteString bytes = ValueAsBytes(value);
    if (const auto* wide = std::get_if<WideString>(&value)) {
        // An 8-bit property that holds wide text (a hand-built tree): store it as the program's byte text.
        bytes = WideToAnsi(*wide);
    }
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    return bytes;
}

WideString WideValue(const TValue& value, int32_t codePage)
{
    WideString text;
    if (const auto* wide = std::get_if<WideString>(&value))
        text = *wide;
    else if (const auto* bytes = std::get_if<ByteString>(&value))
        text = CodePageToWide(*bytes, codePage);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}

// Whether a .msg file keeps a value of the type in its properties-stream entry.
bool IsEntryType(uint16_t type)
{
    const TPropertyType* row = FindPropertyType(type);
    return row && row->InEntry && !(type & MV_FLAG);
}

bool IsWritableType(uint16_t type)
{
    uint16_t base = static_cast<uint16_t>(type & ~MV_FLAG);
    bool multi = (type & MV_FLAG) != 0;
    if (multi && (base == PT_BOOLEAN || base == PT_ERROR))
        return false;
    return IsEntryType(base) || base == PT_STRING8 || base == PT_UNICODE || base == PT_BINARY || base == PT_CLSID;
}

// ---------------------------------------------------------------------------------------------------------------
// Mirroring a tree read from a .msg file: every node becomes the storage or stream it was read from.

class TMirrorWriter {
public:
    TMirrorWriter(const TMSGProperties& root, bool standalone)
        : root_(root)
        , standalone_(standalone)
    {
    }

    void Write(IStorage& storage, const TMSGProperties& collection, bool topLevel)
    {
        for (const TMSGProperty* node : collection)
            WriteNode(storage, *node, topLevel);
        if (topLevel && standalone_ && !collection.FindProperty(kTagNamedPropertyStorage, false, false)) {
            // An attached message saved on its own needs the named-property mapping of the message it came in.
            if (const TMSGProperty* names = root_.FindProperty(kTagNamedPropertyStorage, false, false))
                WriteNode(storage, *names, false);
        }
    }

private:
    static WideString ContainerName(const TMSGProperty& node)
    {
        if (const std::u16string& element = ElementNameOf(node); !element.empty())
            return element;
        if (!IsEmptyOrNull(node.Value)) {
            WideString text = node.ValueText();
            if (!text.empty())
                return text;
        }
        switch (node.TagID) {
        case kTagNamedPropertyStorage:
            return u"nameid_version";
        case kTagRecipientRow:
            return u"recip_version";
        case kTagAttachmentStorage:
            return u"attach_version";
        default: {
            char hex[12];
            (void)std::snprintf(hex, sizeof hex, "%08X", node.TagID);
            return Ascii(hex);
        }
        }
    }

    void WriteNode(IStorage& storage, const TMSGProperty& node, bool topLevel)
    {
        const std::u16string& element = ElementNameOf(node);
        const bool isStorage = IsStorageElement(node);
        if (node.SubProperties.Empty() && node.TagID == kTagAttachDataObject && IsCompoundFileImage(node.Value)
            && (isStorage || element.empty())) {
            if (!ObjectCopies(std::get<ByteString>(node.Value), depth_ + 1)) {
                // A damaged object cannot be rebuilt as a storage: its bytes are kept as the attachment's data.
                NoteWritten(root_, "an OLE object attachment is damaged; written as plain binary data");
                WriteStream(storage, SubstgName(kTagAttachDataBinary), std::get<ByteString>(node.Value));
                return;
            }
            // An OLE object kept whole: the storage it came from, rebuilt from its image.
            std::unique_ptr<IStorage> image = StgOpenStorageOnMemory(std::get<ByteString>(node.Value));
            std::unique_ptr<IStorage> child = storage.CreateStorage(element.empty() ? SubstgName(node.TagID) : element);
            image->CopyTo(*child);
            child->SetElementTimes(u"", std::nullopt, std::nullopt, image->Stat().mtime);
            return;
        }
        if (node.SubProperties.Empty() && !isStorage
            && (dynamic_cast<const TMSGPropertyWithHeader*>(&node) || element == kPropertiesStreamName)) {
            // A properties stream without entries still has its header.
            WritePropertiesStream(storage, node, topLevel);
            return;
        }
        if (!node.SubProperties.Empty() || isStorage) {
            WideString name = ContainerName(node);
            if (name == kPropertiesStreamName) {
                WritePropertiesStream(storage, node, topLevel);
                return;
            }
            std::unique_ptr<IStorage> child = storage.CreateStorage(name);
            ++depth_;
            Write(*child, node.SubProperties, false);
            --depth_;
            return;
        }
        WideString name = element;
        if (name.empty()) {
            if (node.TagID == 0)
                return;
            name = SubstgName(node.TagID);
        }
        WriteStream(storage, name, LeafContent(node));
    }

    static std::string LeafContent(const TMSGProperty& node)
    {
        if (node.DataSize == 0)
            return {};
        if (const auto* rtf = dynamic_cast<const TMSGPropertyCompressedRTF*>(&node))
            return UncompressedRtfStream(
                ValueAsBytes(rtf->Value), rtf->CompressionKind != TCompressedRtfKind::NoHeader);
        uint16_t type = PropType(node.TagID);
        if (IsByteString(node.Value)
            && (IsEntryType(type) || (type == PT_CLSID && !GuidFromText(ValueAsBytes(node.Value)))))
            return ValueAsBytes(node.Value); // kept raw by the reader
        switch (type) {
        case PT_OBJECT:
        case PT_BINARY: {
            ByteString bytes = ValueAsBytes(node.Value);
            bytes.resize(std::min<size_t>(bytes.size(), node.DataSize));
            return bytes;
        }
        case PT_STRING8:
        case PT_MV_STRING8:
            return ValueAsBytes(node.Value);
        case PT_UNICODE:
        case PT_MV_UNICODE:
            return WideToUtf16Le(
                std::holds_alternative<WideString>(node.Value) ? std::get<WideString>(node.Value) : node.ValueText());
        case PT_BOOLEAN: {
            std::string out;
            AppendLE16(out, ValueAsInteger(node.Value) != 0 ? 1 : 0);
            return out;
        }
        case PT_I2:
        case PT_LONG:
        case PT_R4:
        case PT_DOUBLE:
        case PT_SYSTIME:
        case PT_CLSID:
            return EncodeFixedValue(type, node.Value);
        default:
            // Types the reader keeps as raw bytes (multi-valued lengths and values, unknown types).
            return ValueAsBytes(node.Value);
        }
    }

    void WritePropertiesStream(IStorage& storage, const TMSGProperty& node, bool topLevel) const
    {
        std::string bytes;
        const auto* withHeader = dynamic_cast<const TMSGPropertyWithHeader*>(&node);
        if (topLevel && standalone_) {
            // The message saved is a message of its own: its stream has the 32-byte header of a top-level one.
            std::string header = withHeader ? withHeader->Header : std::string();
            header.resize(withHeader ? std::max<size_t>(withHeader->HeaderSize(), header.size()) : 0, '\0');
            if (header.size() < 24)
                header = std::string(24, '\0');
            header.resize(32, '\0');
            bytes = header;
        } else if (withHeader) {
            bytes = withHeader->Header;
            // A stream that ended inside its header was read as far as it went and is written so; entries need
            // the whole header in front of them.
            if (!node.SubProperties.Empty() || ElementNameOf(node).empty())
                bytes.resize(withHeader->HeaderSize(), '\0');
        }
        for (const TMSGProperty* entry : node.SubProperties)
            bytes += EntryBytes(*entry);
        WriteStream(storage, std::u16string(kPropertiesStreamName), bytes);
    }

    // The 16 bytes of one entry: as read when the node came from a properties stream, else from its value.
    static std::string EntryBytes(const TMSGProperty& node)
    {
        const TMsgRecord* record = node.MsgRecord.get();
        if (record && record->HasEntry())
            return std::string(reinterpret_cast<const char*>(record->Entry.data()), record->EntryLength);
        return EncodeEntry(node, record ? record->EntryFlags : 0);
    }

    int depth_ = 0; // of the storage being written (the root is 0)
    const TMSGProperties& root_;
    bool standalone_;
};

// ---------------------------------------------------------------------------------------------------------------
// Writing a tree that does not come from a .msg file (a TNEF message) the way Outlook lays out a message.

struct TOutProperty {
    uint32_t Tag; // the stored tag: identifier, type, multi-value bit
    std::vector<const TMSGProperty*> Values;
};

struct TOutMessage;

struct TOutAttachment {
    std::vector<TOutProperty> Properties;
    std::unique_ptr<TOutMessage> Embedded;
    const TMSGProperty* OleObject = nullptr;
};

struct TOutMessage {
    std::vector<TOutProperty> Properties;
    std::vector<std::vector<TOutProperty>> Recipients;
    std::vector<TOutAttachment> Attachments;
    int32_t CodePage = kDefaultMessageCodePage;
};

// Collects the properties of one object: a tag that comes again replaces the earlier value (a TNEF message holds
// legacy attributes and their MAPI counterparts), the values of a multi-valued property stay together.
class TPropertyCollector {
public:
    void Add(const TMSGProperty& node)
    {
        uint16_t type = PropType(node.TagID);
        if (PropId(node.TagID) == 0 || !IsWritableType(type))
            return;
        if (PropId(node.TagID) >= 0x8000 && !node.NamedId)
            return; // a named property whose name is unknown cannot be mapped
        uint32_t tag = node.MultiValued ? (node.TagID | MV_FLAG) : node.TagID;
        auto found = positions_.find(tag);
        if (found != positions_.end()) {
            TOutProperty& existing = properties_[found->second];
            if (node.MultiValued && lastTag_ == tag)
                existing.Values.push_back(&node);
            else
                existing.Values.assign(1, &node);
        } else {
            positions_[tag] = properties_.size();
            properties_.push_back({ tag, { &node } });
        }
        lastTag_ = tag;
    }
    void Set(const TMSGProperty& node)
    {
        auto found = positions_.find(node.TagID);
        if (found != positions_.end())
            properties_[found->second].Values.assign(1, &node);
        else
            Add(node);
    }
    void Remove(uint16_t identifier)
    {
        properties_.erase(std::remove_if(properties_.begin(), properties_.end(),
                              [&](const TOutProperty& p) { return PropId(p.Tag) == identifier; }),
            properties_.end());
        positions_.clear();
        for (size_t i = 0; i < properties_.size(); ++i)
            positions_[properties_[i].Tag] = i;
    }
    bool Has(uint32_t tag) const { return positions_.contains(tag); }
    std::vector<TOutProperty> Take() { return std::move(properties_); }

private:
    std::vector<TOutProperty> properties_;
    std::map<uint32_t, size_t> positions_;
    uint32_t lastTag_ = 0;
};

class TLayoutWriter {
public:
    explicit TLayoutWriter(TNamedPropertyMap& names)
        : names_(names)
    {
    }

    TOutMessage Build(const TMSGProperties& collection, int depth)
    {
        TOutMessage message;
        message.CodePage = collection.TextCodePage();
        TPropertyCollector properties;
        for (const TMSGProperty* node : collection) {
            if (node->TagID == kTagRecipientRow) {
                TPropertyCollector row;
                for (const TMSGProperty* p : node->SubProperties)
                    if (p->SubProperties.Empty())
                        row.Add(*p);
                message.Recipients.push_back(row.Take());
            } else if (IsAttachmentNode(*node)) {
                message.Attachments.push_back(BuildAttachment(*node, depth));
            } else if (node->SubProperties.Empty()) {
                properties.Add(*node);
            }
        }
        AddDisplayLists(collection, properties);
        message.Properties = properties.Take();
        return message;
    }

    // Mail programs show To, Cc and Bcc from the display lists, which a TNEF stream often leaves out (the sender's
    // store computes them from the recipients): make them from the recipient rows when the message has none.
    void AddDisplayLists(const TMSGProperties& collection, TPropertyCollector& properties)
    {
        const uint16_t listOfType[4] = { 0, 0x0E04, 0x0E03, 0x0E02 }; // by RECIPIENT_TYPE: To, Cc, Bcc
        WideString lists[4];
        for (const TMSGProperty* row : collection) {
            if (row->TagID != kTagRecipientRow)
                continue;
            const TMSGProperty* type = row->SubProperties.FindProperty(kTagRecipientType, false, false);
            int64_t kind = type ? (ValueAsInteger(type->Value) & 0x0F) : 1;
            if (kind < 1 || kind > 3)
                continue;
            WideString name = row->SubProperties.GetPropertyText(0x30010000, true, false);
            if (name.empty())
                continue;
            if (!lists[kind].empty())
                lists[kind] += u"; ";
            lists[kind] += name;
        }
        for (int kind = 1; kind <= 3; ++kind) {
            if (lists[kind].empty() || properties.Has(MakeTag(listOfType[kind], PT_UNICODE))
                || properties.Has(MakeTag(listOfType[kind], PT_STRING8)))
                continue;
            TMSGProperty* node = synthetic_.Add();
            node->TagID = MakeTag(listOfType[kind], PT_UNICODE);
            node->Value = lists[kind];
            properties.Add(*node);
        }
    }

    static TOutMessage BuildSelected(const TMSGProperties& collection)
    {
        TOutMessage message;
        message.CodePage = collection.TextCodePage();
        // A tree read from a .msg keeps its values in property streams and in the entries of its properties
        // stream; a TNEF tree in its top-level nodes.
        std::vector<const TMSGProperty*> candidates;
        for (const TMSGProperty* node : collection) {
            if (node->SubProperties.Empty())
                candidates.push_back(node);
            else if (dynamic_cast<const TMSGPropertyWithHeader*>(node))
                for (const TMSGProperty* entry : node->SubProperties)
                    if (entry->MsgRecord && entry->MsgRecord->HasEntry()
                        && IsEntryType(PropType(entry->MsgRecord->EntryType())))
                        candidates.push_back(entry);
        }
        TPropertyCollector properties;
        for (uint32_t tag : kSelectedTags)
            for (const TMSGProperty* node : candidates)
                if (node->TagID == tag)
                    properties.Add(*node);
        message.Properties = properties.Take();
        return message;
    }

    // Writes a message into a storage: the root (32-byte header) or an attached message (24 bytes).
    void Write(IStorage& storage, const TOutMessage& message, bool topLevel)
    {
        std::string header(8, '\0');
        AppendLE32(header, static_cast<uint32_t>(message.Recipients.size()));
        AppendLE32(header, static_cast<uint32_t>(message.Attachments.size()));
        AppendLE32(header, static_cast<uint32_t>(message.Recipients.size()));
        AppendLE32(header, static_cast<uint32_t>(message.Attachments.size()));
        if (topLevel)
            header.append(8, '\0');
        std::vector<TOutProperty> properties = message.Properties;
        if (topLevel && HasUnicode(message))
            MarkUnicode(properties);
        WriteObject(storage, properties, header, message.CodePage);

        for (size_t r = 0; r < message.Recipients.size(); ++r) {
            std::unique_ptr<IStorage> row = storage.CreateStorage(NumberedName("__recip_version1.0_#", r));
            std::vector<TOutProperty> recipient = message.Recipients[r];
            if (!HasTag(recipient, kTagRowId))
                recipient.push_back({ kTagRowId, { Synthetic(kTagRowId, static_cast<int32_t>(r)) } });
            WriteObject(*row, recipient, std::string(8, '\0'), message.CodePage);
        }
        for (size_t a = 0; a < message.Attachments.size(); ++a) {
            const TOutAttachment& attachment = message.Attachments[a];
            std::unique_ptr<IStorage> store = storage.CreateStorage(NumberedName("__attach_version1.0_#", a));
            std::vector<TOutProperty> properties2 = attachment.Properties;
            if (!HasTag(properties2, kTagAttachNumber))
                properties2.push_back({ kTagAttachNumber, { Synthetic(kTagAttachNumber, static_cast<int32_t>(a)) } });
            bool object = attachment.Embedded || attachment.OleObject;
            WriteObject(*store, properties2, std::string(8, '\0'), message.CodePage, object);
            if (attachment.Embedded) {
                std::unique_ptr<IStorage> inner = store->CreateStorage(SubstgName(kTagAttachDataObject));
                Write(*inner, *attachment.Embedded, false);
            } else if (attachment.OleObject) {
                std::unique_ptr<IStorage> image
                    = StgOpenStorageOnMemory(std::get<ByteString>(attachment.OleObject->Value));
                std::unique_ptr<IStorage> inner = store->CreateStorage(SubstgName(kTagAttachDataObject));
                image->CopyTo(*inner);
                inner->SetElementTimes(u"", std::nullopt, std::nullopt, image->Stat().mtime);
            }
        }
    }

    void WriteNamedProperties(IStorage& root)
    {
        std::unique_ptr<IStorage> storage = root.CreateStorage(std::u16string(kNamedPropertyStorageName));
        for (const auto& [name, bytes] : names_.Streams())
            WriteStream(*storage, name, bytes);
    }

private:
    static bool HasTag(const std::vector<TOutProperty>& properties, uint32_t tag)
    {
        return std::any_of(properties.begin(), properties.end(), [&](const TOutProperty& p) { return p.Tag == tag; });
    }

    const TMSGProperty* Synthetic(uint32_t tag, TValue value)
    {
        TMSGProperty* node = synthetic_.Add();
        node->TagID = tag;
        node->Value = std::move(value);
        node->DataSize = 4;
        return node;
    }

    TOutAttachment BuildAttachment(const TMSGProperty& node, int depth)
    {
        TOutAttachment attachment;
        // Attachment data standing on its own (no attachment around it) is the whole attachment.
        const bool alone = node.SubProperties.Empty();
        const TMSGProperty* object = alone
            ? (node.TagID == kTagAttachDataObject ? &node : nullptr)
            : node.SubProperties.FindProperty(kTagAttachDataObject, false, false);
        int32_t method = 0;
        bool fellBack = false;
        if (object && !object->SubProperties.Empty() && depth + 1 <= kMaxAttachedMessageDepth) {
            attachment.Embedded = std::make_unique<TOutMessage>(Build(object->SubProperties, depth + 1));
            method = kAttachEmbeddedMessage;
        } else if (object && IsCompoundFileImage(object->Value)) {
            // The object storage sits below the attachment's storage, two levels per attached message.
            if (ObjectCopies(std::get<ByteString>(object->Value), 2 * depth + 2)) {
                attachment.OleObject = object;
                method = kAttachOle;
            } else {
                NoteWritten(node.Collection() ? *node.Collection() : synthetic_,
                    "an OLE object attachment is damaged; written as plain binary data");
                fellBack = true;
            }
        }
        TPropertyCollector properties;
        if (alone && !object)
            properties.Add(node);
        for (const TMSGProperty* p : node.SubProperties) {
            if (!p->SubProperties.Empty() && p != object)
                continue;
            if (PropId(p->TagID) == 0x3701) {
                // The data: the object is written as a storage; an object that is neither a message nor an OLE
                // storage is kept as binary data; a placeholder text beside an object is left out.
                if (method != 0)
                    continue;
                if (p == object || (object && p->TagID != kTagAttachDataObject))
                    continue;
            }
            properties.Add(*p);
        }
        if (object && method == 0) {
            TMSGProperty* data = synthetic_.Add();
            data->TagID = kTagAttachDataBinary;
            data->Value = ByteString(ValueAsBytes(object->Value));
            data->DataSize = static_cast<uint32_t>(ValueStringLength(data->Value));
            properties.Set(*data);
        }
        if (method != 0 || fellBack || !properties.Has(kTagAttachMethod))
            properties.Set(*Synthetic(kTagAttachMethod, method != 0 ? method : kAttachByValue));
        attachment.Properties = properties.Take();
        return attachment;
    }

    static bool HasUnicode(const TOutMessage& message)
    {
        auto any = [](const std::vector<TOutProperty>& props) {
            return std::any_of(props.begin(), props.end(),
                [](const TOutProperty& p) { return (PropType(p.Tag) & ~MV_FLAG) == PT_UNICODE; });
        };
        if (any(message.Properties))
            return true;
        for (const auto& r : message.Recipients)
            if (any(r))
                return true;
        for (const auto& a : message.Attachments)
            if (any(a.Properties) || (a.Embedded && HasUnicode(*a.Embedded)))
                return true;
        return false;
    }

    void MarkUnicode(std::vector<TOutProperty>& properties)
    {
        int64_t mask = 0;
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            if (it->Tag == kTagStoreSupportMask) {
                mask = ValueAsInteger(it->Values.front()->Value);
                properties.erase(it);
                break;
            }
        }
        properties.push_back({ kTagStoreSupportMask,
            { Synthetic(kTagStoreSupportMask, static_cast<int32_t>(static_cast<uint32_t>(mask) | kStoreUnicodeOk)) } });
    }

    // The identifier a property is stored under: named properties get theirs from the message's mapping.
    uint32_t StoredTag(const TOutProperty& p)
    {
        if (PropId(p.Tag) < 0x8000)
            return p.Tag;
        uint16_t id = names_.IdentifierFor(*p.Values.front()->NamedId);
        return id == 0 ? 0 : MakeTag(id, PropType(p.Tag));
    }

    void WriteObject(IStorage& storage, const std::vector<TOutProperty>& properties, std::string header,
        int32_t codePage, bool hasObject = false)
    {
        std::string entries = std::move(header);
        for (const TOutProperty& p : properties) {
            uint32_t tag = StoredTag(p);
            if (tag == 0)
                continue;
            uint16_t type = PropType(tag);
            std::string entry;
            AppendLE32(entry, tag);
            AppendLE32(entry, kEntryFlagsReadWrite);
            if (IsEntryType(type)) {
                std::string value = FixedEntryValue(*p.Values.front(), type);
                value.resize(8, '\0');
                entries += entry + value;
                continue;
            }
            uint32_t size = WriteVariable(storage, tag, p, codePage);
            AppendLE32(entry, size);
            AppendLE32(entry, 0);
            entries += entry;
        }
        if (hasObject) {
            std::string entry;
            AppendLE32(entry, kTagAttachDataObject);
            AppendLE32(entry, kEntryFlagsReadWrite);
            AppendLE32(entry, kObjectSize);
            AppendLE32(entry, 0);
            entries += entry;
        }
        WriteStream(storage, std::u16string(kPropertiesStreamName), entries);
    }

    static std::string FixedEntryValue(const TMSGProperty& node, uint16_t type)
    {
        if (node.MsgRecord && node.MsgRecord->HasEntry())
            return std::string(reinterpret_cast<const char*>(node.MsgRecord->Entry.data()) + kEntryValueOffset,
                kEntrySize - kEntryValueOffset);
        return EncodeFixedValue(type, node.Value);
    }

    // Writes the stream(s) of a variable-size or multi-valued property; returns the size its entry records.
    static uint32_t WriteVariable(IStorage& storage, uint32_t tag, const TOutProperty& p, int32_t codePage)
    {
        uint16_t type = PropType(tag);
        uint16_t base = static_cast<uint16_t>(type & ~MV_FLAG);
        if (!(type & MV_FLAG)) {
            const TMSGProperty& node = *p.Values.front();
            std::string bytes;
            uint32_t size;
            if (base == PT_STRING8) {
                bytes = StringBytes(node.Value);
                size = static_cast<uint32_t>(bytes.size() + 1);
            } else if (base == PT_UNICODE) {
                bytes = WideToUtf16Le(WideValue(node.Value, codePage));
                size = static_cast<uint32_t>(bytes.size() + 2);
            } else if (base == PT_CLSID) {
                bytes = EncodeFixedValue(PT_CLSID, node.Value);
                size = 16;
            } else {
                bytes = ValueAsBytes(node.Value);
                size = static_cast<uint32_t>(bytes.size());
            }
            WriteStream(storage, SubstgName(tag), bytes);
            return size;
        }
        if (IsEntryType(base) || base == PT_CLSID) {
            std::string bytes;
            for (const TMSGProperty* v : p.Values)
                bytes += base == PT_CLSID ? EncodeFixedValue(PT_CLSID, v->Value) : EncodeFixedValue(base, v->Value);
            WriteStream(storage, SubstgName(tag), bytes);
            return static_cast<uint32_t>(bytes.size());
        }
        // Strings and binaries: a stream of lengths, and one stream per value.
        std::string lengths;
        for (size_t i = 0; i < p.Values.size(); ++i) {
            std::string bytes;
            if (base == PT_STRING8)
                bytes = StringBytes(p.Values[i]->Value) + '\0';
            else if (base == PT_UNICODE)
                bytes = WideToUtf16Le(WideValue(p.Values[i]->Value, codePage)) + std::string(2, '\0');
            else
                bytes = ValueAsBytes(p.Values[i]->Value);
            AppendLE32(lengths, static_cast<uint32_t>(bytes.size()));
            if (base == PT_BINARY)
                AppendLE32(lengths, 0);
            char suffix[16];
            (void)std::snprintf(suffix, sizeof suffix, "-%08X", static_cast<unsigned>(i));
            WriteStream(storage, SubstgName(tag) + Ascii(suffix), bytes);
        }
        WriteStream(storage, SubstgName(tag), lengths);
        return static_cast<uint32_t>(lengths.size());
    }

    TNamedPropertyMap& names_;
    TMSGProperties synthetic_;
};

// Whether a collection was read from a .msg file: it holds the node of a properties stream.
bool ComesFromMsg(const TMSGProperties& collection)
{
    for (const TMSGProperty* node : collection)
        if (ElementNameOf(*node) == kPropertiesStreamName || dynamic_cast<const TMSGPropertyWithHeader*>(node))
            return true;
    return false;
}

// Writes the message into the root storage of a compound file.
void WriteMessageStorage(const TMSGProperties& message, IStorage& root, bool allProperties)
{
    const bool standalone = !message.IsTopLevel();
    if (allProperties && ComesFromMsg(message)) {
        TMirrorWriter(message.Root(), standalone).Write(root, message, true);
    } else {
        TNamedPropertyMap names;
        TLayoutWriter writer(names);
        TOutMessage out = allProperties ? writer.Build(message, 0) : writer.BuildSelected(message);
        writer.Write(root, out, true);
        if (!names.Empty())
            writer.WriteNamedProperties(root);
    }
    root.Commit();
}

// The time the file's storages are stamped with: the message's own (last modification, else creation), else
// zero, never the clock, so that the same message always gives the same file.
TDocfileOptions FileOptions(const TMSGProperties& message)
{
    TDocfileOptions options;
    options.ElementTime = 0;
    for (uint32_t tag : { MakeTag(kIdLastModificationTime, PT_SYSTIME), MakeTag(kIdCreationTime, PT_SYSTIME) }) {
        const TMSGProperty* node = message.FindProperty(tag, false, true);
        if (const auto* date = node ? std::get_if<TDateTime>(&node->Value) : nullptr;
            date && IsValidDateTime(date->Days)) {
            options.ElementTime = LocalDateTimeToFileTime(date->Days);
            break;
        }
    }
    return options;
}

} // namespace

void WriteMsgFile(const TMSGProperties& message, const std::string& fileName, bool allProperties)
{
    // Through the one save function, like every other output: the image is made in memory and then saved.
    SaveThroughTemporaryFile(
        fileName, [&](TStream& file) { WriteMsgStream(message, file, allProperties); }, SaveOptionsFor(message));
}

void WriteMsgStream(const TMSGProperties& message, TStream& stream, bool allProperties)
{
    auto image = std::make_shared<TLockBytes>();
    {
        std::unique_ptr<IStorage> root = StgCreateDocfileInMemory(image, FileOptions(message));
        WriteMessageStorage(message, *root, allProperties);
    }
    stream.WriteBuffer(image->Bytes().data(), image->Bytes().size());
}

} // namespace pelmsg
