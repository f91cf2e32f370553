// Reads an Outlook .msg compound file into the property tree, mirroring its storages and streams.

#include "msg/msg_reader.h"

#include <array>
#include <cstring>
#include <map>

#include "core/byte_order.h"
#include "core/byte_reader.h"
#include "core/errors.h"
#include "core/stream.h"
#include "core/texts.h"
#include "model/limits.h"
#include "model/message.h"
#include "msg/msg_names.h"
#include "msg/msg_record.h"
#include "msg/named_properties.h"
#include "msg/property_entry.h"
#include "storage/storage.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

bool Contains(const std::u16string& name, std::u16string_view part) { return name.find(part) != std::u16string::npos; }

// The value of the last 8 characters when they are all hexadecimal digits.
std::optional<uint32_t> TrailingHexTag(const std::u16string& name)
{
    if (name.size() < 8)
        return std::nullopt;
    uint32_t value = 0;
    for (size_t i = name.size() - 8; i < name.size(); ++i) {
        char16_t c = name[i];
        uint32_t digit;
        if (c >= u'0' && c <= u'9')
            digit = static_cast<uint32_t>(c - u'0');
        else if (c >= u'a' && c <= u'f')
            digit = static_cast<uint32_t>(c - u'a' + 10);
        else if (c >= u'A' && c <= u'F')
            digit = static_cast<uint32_t>(c - u'A' + 10);
        else
            return std::nullopt;
        value = value << 4 | digit;
    }
    return value;
}

WideString LastEight(const std::u16string& name) { return name.substr(name.size() - 8); }

// Whether a stream of that size holds one value of the type as the writer stores it: a fixed-size value stored
// with more or fewer bytes is kept as those bytes, so that none are lost or added when it is written back.
bool HoldsOneValue(uint16_t type, uint64_t size)
{
    const TPropertyType* row = FindPropertyType(type);
    return !row || row->Storage != TValueStorage::Fixed || size == row->Size;
}

bool IsOleObjectMarker(const std::u16string& name)
{
    static const std::u16string markers[] = { u"\u0001Ole", u"\u0001CompObj", u"\u0001Ole10Native",
        u"\u0002OlePres000", u"\u0003MailStream", u"\u0005SummaryInformation", u"\u0005DocumentSummaryInformation" };
    for (const auto& m : markers)
        if (name == m)
            return true;
    return false;
}

bool IsObjectDataStream(const std::u16string& name)
{
    return name == u"\x0001Ole10Native" || name == u"Workbook" || name == u"WordDocument";
}

bool HoldsOleObjectMarker(IStorage& storage)
{
    auto elements = storage.EnumElements();
    STATSTG element;
    while (elements->Next(element))
        if (IsOleObjectMarker(element.pwcsName))
            return true;
    return false;
}

// The properties-stream node of a storage, by what the storage is: the message itself (32-byte header), an
// embedded message (24), a recipient or an attachment (8); storages of any other kind get a plain node.
TMSGProperty* AddPropertiesStreamNode(TMSGProperties& collection)
{
    const TMSGProperty* parent = collection.ParentProperty();
    if (!parent)
        return collection.AddNode<TMSGPropertyTopLevel>();
    if (parent->TagID == kTagAttachDataObject)
        return collection.AddNode<TMSGPropertyEmbeddedMessage>();
    switch (parent->Category()) {
    case TMSGPropertyCategory::mpcRecipient:
        return collection.AddNode<TMSGPropertyRecipient>();
    case TMSGPropertyCategory::mpcAttachment:
        // An attachment storage's own stream has the short header even when it holds an embedded message.
        return collection.AddNode<TMSGPropertyAttachment>();
    default:
        return collection.Add();
    }
}

// An element's name for a warning: control characters (the "\x01Ole" kind) as "\x01".
std::string ShownName(const std::u16string& name)
{
    std::string shown;
    for (char16_t c : name) {
        if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            shown += hex;
        } else {
            shown += WideToUtf8(WideString(1, c));
        }
    }
    return shown;
}

class TMsgReader {
public:
    explicit TMsgReader(std::vector<TReadWarning>& warnings)
        : warnings_(warnings)
    {
    }

    void ReadStorage(IStorage& storage, TMSGProperties& collection)
    {
        auto elements = storage.EnumElements();
        STATSTG element;
        while (elements->Next(element)) {
            if (element.type == STGTY_STORAGE)
                ReadChildStorage(storage, element.pwcsName, collection);
            else if (element.type == STGTY_STREAM)
                ReadStream(storage, element, collection);
        }
    }

private:
    void ReadChildStorage(IStorage& storage, const std::u16string& name, TMSGProperties& collection)
    {
        std::unique_ptr<IStorage> child = Open(&IStorage::OpenStorage, storage, name, "storage", "skipped");
        if (!child)
            return;
        TMSGProperty* node = collection.Add();
        TMsgRecord& record = MsgRecordOf(*node);
        record.ElementName = name;
        record.IsStorage = true;
        bool valueSet = false;
        if (Contains(name, u"nameid_version")) {
            node->TagID = kTagNamedPropertyStorage;
        } else if (Contains(name, u"recip_version")) {
            node->TagID = kTagRecipientRow;
        } else if (Contains(name, u"attach_version")) {
            node->TagID = kTagAttachmentStorage;
        } else if (auto tag = TrailingHexTag(name)) {
            node->TagID = *tag;
            node->Value = LastEight(name);
            valueSet = true;
        }
        if (node->TagID == kTagAttachDataObject && HoldsOleObjectMarker(*child)) {
            // An OLE object is kept whole, as the bytes of a compound file of its own.
            auto bytes = std::make_shared<TLockBytes>();
            {
                auto copy = StgCreateDocfileInMemory(bytes);
                child->CopyTo(*copy);
                // The image's time is the object's, not the moment it was read: the same file gives the same bytes.
                copy->SetElementTimes(u"", std::nullopt, std::nullopt, child->Stat().mtime);
                copy->Commit();
            }
            TSpanStream image(bytes->Bytes());
            node->ReadValue(image, static_cast<uint32_t>(std::min<size_t>(bytes->Bytes().size(), UINT32_MAX)));
            return;
        }
        if (!valueSet)
            node->Value = WideString(name);
        ReadStorage(*child, node->SubProperties);
    }

    void ReadStream(IStorage& storage, const STATSTG& element, TMSGProperties& collection)
    {
        const std::u16string& name = element.pwcsName;
        if (name == kPropertiesStreamName) {
            ReadPropertiesStream(storage, name, collection);
            return;
        }
        if (IsObjectDataStream(name)) {
            ReadObjectData(storage, element, collection);
            return;
        }
        auto tag = TrailingHexTag(name);
        if (!tag)
            return; // streams of other programs ("Olk10SideProps_0001") are not properties
        // In the named-property storage, "__substg1.0_10090102" is one of the lookup streams, not a body.
        const TMSGProperty* parent = collection.ParentProperty();
        const bool body = *tag == kTagRtfCompressed && !(parent && parent->TagID == kTagNamedPropertyStorage);
        TMSGProperty* node = body ? collection.AddNode<TMSGPropertyCompressedRTF>() : collection.Add();
        node->TagID = *tag;
        MsgRecordOf(*node).ElementName = name;
        std::unique_ptr<IStream> stream = Open(&IStorage::OpenStream, storage, name, "stream", "not read");
        if (!stream) {
            node->Truncated = element.cbSize > 0;
            return; // the node stays with an empty value
        }
        if (element.cbSize > 0) {
            TOleStream data(*stream);
            auto size = static_cast<uint32_t>(std::min<uint64_t>(element.cbSize, UINT32_MAX));
            // Values of a multi-valued property ("...-00000001") are raw bytes whatever their name says.
            bool valueOfMultiValued = name.size() > 9 && name[name.size() - 9] == u'-';
            if (ValueStorageOf(PropType(*tag)) != TValueStorage::None && !valueOfMultiValued
                && HoldsOneValue(PropType(*tag), size)) {
                node->ReadValue(data, size);
            } else {
                // Multi-valued lengths and values, unknown types and fixed-size values of another size: the bytes
                // as they are, so nothing is lost.
                node->Value = data.ReadString(size);
                node->DataSize = static_cast<uint32_t>(ValueStringLength(node->Value));
            }
            NoteShortRead(*node, name, data.Position(), size);
        }
    }

    void ReadPropertiesStream(IStorage& storage, const std::u16string& name, TMSGProperties& collection)
    {
        std::unique_ptr<IStream> stream = Open(&IStorage::OpenStream, storage, name, "property stream", "not read");
        if (!stream)
            return;
        TMSGProperty* node = AddPropertiesStreamNode(collection);
        node->TagID = 0;
        node->Value = WideString(name);
        MsgRecordOf(*node).ElementName = name;
        TOleStream data(*stream);
        const int64_t size = data.Size();
        if (size <= 0)
            return;
        if (auto* withHeader = dynamic_cast<TMSGPropertyWithHeader*>(node))
            withHeader->Header = data.ReadString(withHeader->HeaderSize());
        while (data.Position() < size) {
            const int64_t start = data.Position();
            std::array<uint8_t, kEntrySize> raw {};
            size_t got = data.Read(raw.data(), raw.size());
            TMSGProperty* child = node->SubProperties.Add();
            // Zeros stand for what the stream did not hold.
            const TByteView entry(raw.data(), raw.size());
            DecodeEntryValue(
                *child, entry.Bytes(kEntryValueOffset, kEntrySize - kEntryValueOffset), entry.U16(2), entry.U16(0));
            TMsgRecord& record = MsgRecordOf(*child);
            record.EntryFlags = entry.U32(4);
            record.Entry = raw;
            record.EntryLength = static_cast<uint8_t>(got);
            if (got < raw.size()) {
                child->Truncated = true;
                Warn("property stream cut short: its last entry has " + std::to_string(got) + " of "
                    + std::to_string(raw.size()) + " bytes");
            }
            data.Seek(start + static_cast<int64_t>(kEntrySize), TSeekOrigin::Beginning);
        }
    }

    void ReadObjectData(IStorage& storage, const STATSTG& element, TMSGProperties& collection)
    {
        if (element.cbSize == 0)
            return;
        std::unique_ptr<IStream> stream
            = Open(&IStorage::OpenStream, storage, element.pwcsName, "object data", "not read");
        if (!stream)
            return;
        const auto size = static_cast<uint32_t>(std::min<uint64_t>(element.cbSize, UINT32_MAX));
        TMSGProperty* node = collection.Add();
        MsgRecordOf(*node).ElementName = element.pwcsName;
        node->TagID = kTagAttachDataObject;
        TOleStream data(*stream);
        node->ReadValue(data, size);
        NoteShortRead(*node, element.pwcsName, data.Position(), size);
        // The object storage the stream lies in takes its data as its own value; the stream stays a node of its
        // own as well, so that the storage is written back with it.
        TMSGProperty* parent = collection.ParentProperty();
        if (parent && parent->TagID == kTagAttachDataObject && parent->DataSize == 0) {
            parent->Value = node->Value;
            parent->DataSize = node->DataSize;
            parent->Truncated = node->Truncated;
        }
    }

private:
    // The element opened by `open` (IStorage::OpenStorage or OpenStream), or nullptr with a warning when the
    // storage refuses it: an element that cannot be opened is passed over, and the rest of the file is read.
    template <class Element>
    std::unique_ptr<Element> Open(std::unique_ptr<Element> (IStorage::*open)(const std::u16string&), IStorage& storage,
        const std::u16string& name, const char* what, const char* outcome)
    {
        try {
            return (storage.*open)(name);
        } catch (const EStorageError& e) {
            Warn(std::string(what) + " " + ShownName(name) + " " + outcome + ": " + e.what());
            return nullptr;
        }
    }

    void Warn(std::string text)
    {
        if (warnings_.size() < kMaxReadWarnings)
            warnings_.push_back({ -1, std::move(text) });
    }

    // A stream that gave fewer bytes than its directory entry announces: the value is marked as cut.
    void NoteShortRead(TMSGProperty& node, const std::u16string& name, int64_t read, uint32_t size)
    {
        if (read >= static_cast<int64_t>(size))
            return;
        node.Truncated = true;
        const bool attachmentData = PropId(node.TagID) == kIdAttachDataObject;
        Warn((attachmentData ? std::string("attachment data truncated") : "stream " + ShownName(name) + " cut short")
            + ": " + std::to_string(read) + " of " + std::to_string(size) + " bytes present");
    }

    std::vector<TReadWarning>& warnings_;
};

} // namespace

void TPelMSGFile::LoadFromFile(const std::string& fileName)
{
    TPelMessage::LoadFromFile(fileName);
    if (!StgIsStorageFile(fileName))
        throw EFormatError(FormatMessage(SNotCompoundFile, fileName));
    std::unique_ptr<IStorage> root = StgOpenStorage(fileName);
    ReadTree(*root);
}

void TPelMSGFile::LoadFromStream(TStream& stream)
{
    TPelMessage::LoadFromStream(stream);
    WithMemoryError("read the message", [&] {
        std::string bytes = stream.ReadString(static_cast<size_t>(stream.Remaining()));
        LimitNodes(static_cast<int64_t>(bytes.size()));
        try {
            std::unique_ptr<IStorage> root = StgOpenStorageOnMemory(std::move(bytes));
            ReadTree(*root);
        } catch (...) {
            EndNodeLimit();
            throw;
        }
        EndNodeLimit();
    });
}

void TPelMSGFile::ReadTree(IStorage& root)
{
    std::vector<TReadWarning> warnings;
    TMsgReader(warnings).ReadStorage(root, Properties());
    AttachNamedPropertyNames(Properties());
    for (TReadWarning& w : warnings)
        AddWarning(w.Offset, std::move(w.Text));
}

} // namespace pelmsg
