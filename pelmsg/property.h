#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "types.h"

namespace pelmsg {

class TStream;
class TPelMessage;
class TMSGProperty;

// Property types (low 16 bits of a tag).
enum : uint16_t {
    PT_UNSPECIFIED = 0x0000,
    PT_NULL = 0x0001,
    PT_I2 = 0x0002,
    PT_LONG = 0x0003,
    PT_R4 = 0x0004,
    PT_DOUBLE = 0x0005,
    PT_CURRENCY = 0x0006,
    PT_APPTIME = 0x0007,
    PT_ERROR = 0x000A,
    PT_BOOLEAN = 0x000B,
    PT_OBJECT = 0x000D,
    PT_I8 = 0x0014,
    PT_STRING8 = 0x001E,
    PT_UNICODE = 0x001F,
    PT_SYSTIME = 0x0040,
    PT_CLSID = 0x0048,
    PT_BINARY = 0x0102,
    PT_MV_STRING8 = 0x101E,
    PT_MV_UNICODE = 0x101F,
    MV_FLAG = 0x1000,
};

inline constexpr uint16_t PropId(uint32_t tag) { return static_cast<uint16_t>(tag >> 16); }
inline constexpr uint16_t PropType(uint32_t tag) { return static_cast<uint16_t>(tag & 0xFFFF); }
inline constexpr uint32_t MakeTag(uint16_t id, uint16_t type) { return (static_cast<uint32_t>(id) << 16) | type; }

// Tags of the structural nodes the readers make.
inline constexpr uint32_t kTagRecipientRow = 0x0C000000; // TNEF recipient row, compound-file recipient storage
inline constexpr uint32_t kTagTnefAttachment = 0x370A0102; // TNEF attachment
inline constexpr uint32_t kTagAttachmentStorage = 0x37000000; // compound-file attachment storage
inline constexpr uint32_t kTagNamedPropertyStorage = 0x00010000; // compound-file named-property storage
inline constexpr uint32_t kTagAttachDataObject = 0x3701000D; // embedded message or OLE object
inline constexpr uint32_t kTagAttachDataBinary = 0x37010102; // attached file data
inline constexpr uint32_t kTagRtfCompressed = 0x10090102;

enum class TMSGPropertyCategory {
    mpcGeneral,
    mpcEnvelope,
    mpcRecipient,
    mpcNonTransmittable,
    mpcMessage,
    mpcTransportEnvelope,
    mpcTransportRecipient,
    mpcUserNonTransmittable,
    mpcProviderNonTransmittable,
    mpcMessageClassContent,
    mpcMessageClassNonTransmittable,
    mpcUserProperty,
    mpcMessageStore,
    mpcFolderABContainer,
    mpcAttachment,
    mpcAddressBook,
    mpcUser,
    mpcDistributionList,
    mpcProfile,
    mpcStatus,
};

// The category of a property identifier (inclusive ranges, first match).
TMSGPropertyCategory CategoryOfIdentifier(uint16_t identifier);
// The enumeration identifier as written in listings: "mpcGeneral", "mpcRecipient", ...
const char* CategoryName(TMSGPropertyCategory category);

// The MAPI name of a property type ("PT_LONG", "PT_UNICODE", "PT_MV_STRING8", ...); empty for unknown types.
std::string PropertyTypeName(uint16_t type);

// The name of a named property (identifier 0x8000 and above): its property set and its number or string name.
struct TNamedPropertyId {
    std::array<uint8_t, 16> Guid {}; // as stored (little-endian GUID)
    bool IsString = false; // kind 1: string name; kind 0: number
    uint32_t Number = 0;
    WideString Name;
    bool operator==(const TNamedPropertyId&) const = default;
};

// The registry form of a GUID: braces around 8-4-4-4-12 upper-case hexadecimal digits.
std::string GuidToText(const uint8_t* bytes16);
// Parses the registry form (braces optional); nothing when the text is not a GUID.
std::optional<std::array<uint8_t, 16>> GuidFromText(std::string_view text);

// An ordered collection of property nodes that owns them. Every node owns one of these as its SubProperties.
class TMSGProperties {
public:
    explicit TMSGProperties(TPelMessage* owner = nullptr, TMSGProperty* parent = nullptr);
    ~TMSGProperties();
    TMSGProperties(const TMSGProperties&) = delete;
    TMSGProperties& operator=(const TMSGProperties&) = delete;

    // Appends a new plain node.
    TMSGProperty* Add();
    // Appends a new node of a subclass (the readers' header and compressed-RTF nodes).
    template <class T> T* AddNode()
    {
        auto node = std::unique_ptr<T>(new T(this));
        T* raw = node.get();
        items_.push_back(std::move(node));
        return raw;
    }

    // The node at an index, or nullptr when the index is out of range.
    TMSGProperty* Items(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    // Frees every node; BodyKind := 0.
    void Clear();
    // Clears, then appends a plain copy of every node of the source (recursively).
    void Assign(const TMSGProperties& source);

    // Looks for a node: by whole tag, or by identifier only (high 16 bits). This collection's own nodes come
    // first; only when none matches and Recursive is set are the children searched, node by node in order.
    TMSGProperty* FindProperty(uint32_t tag, bool byIdentifier, bool recursive) const;
    // ValueText of the node FindProperty finds; empty when none.
    WideString GetPropertyText(uint32_t tag, bool byIdentifier, bool recursive) const;

    // The message component that owns the tree, if any.
    TPelMessage* Owner() const { return owner_; }
    // The node whose SubProperties this is; nullptr for a root collection.
    TMSGProperty* ParentProperty() const { return parent_; }
    // Whether this is the root collection of its tree (the component's Properties).
    bool IsTopLevel() const;
    // The root collection of the tree this collection belongs to.
    const TMSGProperties& Root() const;

    // The code page that byte strings of this collection are written in: MESSAGE_CODEPAGE, then INTERNET_CPID,
    // among the nodes of this collection, else of the enclosing collections up to the root; Windows-1252 when
    // the message declares none or one that cannot be converted.
    int32_t TextCodePage() const;

    // 0 no body seen, 1 plain text, 2 RTF, 3 HTML; set while values are read.
    uint8_t BodyKind = 0;

    // ---- Message fields ----
    WideString Subject() const;
    WideString PlainBody() const;
    WideString HtmlBody() const;
    WideString RtfBody() const;
    WideString TransportHeaders() const;
    WideString MessageId() const;
    double SentDate() const;
    uint8_t ImportanceLevel() const;
    int32_t CodePage() const;
    ByteString Charset() const;
    WideString SenderAddress() const;
    WideString From() const;
    WideString ReceivedByAddress() const;
    WideString ToList() const;
    WideString CcList() const;
    WideString BccList() const;
    int AttachmentCount() const;
    TMSGProperty* Attachments(int index) const;
    WideString ResolveRecipient(const WideString& name) const;
    WideString ResolveRecipientList(const WideString& list) const;

    // ---- Writers ----
    void SaveToText(TStream* stream, bool withProperties) const;
    void SaveToTextFile(const std::string& fileName, bool withProperties) const;
    void SaveToHTML(TStream* stream, bool withProperties) const;
    void SaveToHTMLFile(const std::string& fileName, bool withProperties) const;
    void SaveToXML(TStream* stream, bool withProperties) const;
    void SaveToXMLFile(const std::string& fileName, bool withProperties) const;
    void SaveToEML(TStream* stream) const;
    void SaveToEMLFile(const std::string& fileName) const;
    void SaveToMSGFile(const std::string& fileName, bool allProperties) const;
    // The same compound file, made in memory and written to a stream.
    void SaveToMSG(TStream& stream, bool allProperties) const;
    void SaveAttachment(int index, TStream* stream) const;
    void SaveAttachmentToFile(int index, const std::string& fileName) const;

    // Iteration over the nodes.
    class const_iterator {
    public:
        using Inner = std::vector<std::unique_ptr<TMSGProperty>>::const_iterator;
        explicit const_iterator(Inner it)
            : it_(it)
        {
        }
        TMSGProperty* operator*() const { return it_->get(); }
        const_iterator& operator++()
        {
            ++it_;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return it_ == o.it_; }

    private:
        Inner it_;
    };
    const_iterator begin() const { return const_iterator(items_.begin()); }
    const_iterator end() const { return const_iterator(items_.end()); }

private:
    friend class TMSGProperty;
    friend class TPelMessage;
    // The code page this collection's own nodes declare, or 0.
    int32_t OwnDeclaredCodePage() const;

    TPelMessage* owner_;
    TMSGProperty* parent_;
    std::vector<std::unique_ptr<TMSGProperty>> items_;
    // The code-page nodes among items_, found again whenever the count changes (nodes are only appended or
    // cleared), so that decoding every value of a large message does not search it every time.
    mutable size_t codePageScanCount_ = SIZE_MAX;
    mutable const TMSGProperty* codePageNodes_[2] = { nullptr, nullptr };
    mutable const TMSGProperties* codePageEntries_ = nullptr; // the properties-stream node's entries, if any
    mutable size_t codePageEntryCount_ = 0;
};

// Removes every character below U+0021 from both ends.
WideString TrimControls(const WideString& text);
// The name between double quotes when it holds a blank, ".", "," or ":"; else unchanged.
WideString QuoteDisplayName(const WideString& name);

// One property of a message: a tag and a value, or a structural node (recipient, attachment, storage) whose
// children hang in SubProperties. Nodes are made by a collection (Add, AddNode) and owned by it.
class TMSGProperty {
public:
    virtual ~TMSGProperty();
    TMSGProperty(const TMSGProperty&) = delete;
    TMSGProperty& operator=(const TMSGProperty&) = delete;

    uint32_t TagID = 0;
    TValue Value;
    uint32_t DataSize = 0;
    uint32_t Reserved1 = 0; // flags word of a compound-file property entry
    TMSGProperties SubProperties;
    // The 16 bytes of the properties-stream entry this node was read from (type, identifier, flags, value
    // field), written back unchanged by the compound-file writer.
    std::optional<std::array<uint8_t, 16>> EntryBytes;
    // For a named property: its property set and name, as the message defines them.
    std::unique_ptr<TNamedPropertyId> NamedId;
    // The compound-file element this node was read from, when it came from one: the writer keeps its name and
    // kind (an empty storage stays a storage).
    WideString ElementName;
    bool ElementIsStorage = false;
    // How many bytes of EntryBytes the properties stream held (a stream may end in the middle of an entry).
    uint8_t EntryLength = 0;
    // Whether the node is one value of a multi-valued TNEF property (whose values become sibling nodes).
    bool MultiValued = false;

    // The collection that owns this node.
    TMSGProperties* Collection() const { return collection_; }
    // Position in the owning collection.
    int Index() const;
    TMSGPropertyCategory Category() const { return CategoryOfIdentifier(PropId(TagID)); }

    // Copies tag, value, size, named-property name and, as plain nodes, the whole subtree.
    void Assign(const TMSGProperty& source);

    // Reads one value of this node's type from the stream's position; Size is the stored byte length, or 0 when
    // only the type is known. Reading never goes beyond the end of the stream: missing bytes of a number count
    // as zero and a string keeps the bytes that are there.
    virtual void ReadValue(TStream& stream, uint32_t size);

    // The dictionary name (and description) of the tag; for a container not looked up in the dictionary its
    // storage name or "Properties".
    ByteString DisplayName(bool withDescription, bool fromDictionary) const;
    // The value as text; byte strings are decoded with the message's code page.
    WideString ValueText() const;
    // The value as text, decoding byte strings with the given code page.
    WideString ValueText(int32_t codePage) const;

    // Attachment operations (meant for attachment nodes). Names are UTF-8.
    ByteString AttachmentFileName(int index) const;
    ByteString AttachmentDisplayName(int index) const;
    // 0 none, 1 attached file data, 2 embedded message, 3 OLE object.
    int AttachmentKind() const;
    // The attachment's data among its own children: the object (ATTACH_DATA_OBJ as PT_OBJECT) when there is
    // one, since a TNEF attachment of a message or OLE object also carries a placeholder text as binary data;
    // else the first child with identifier 0x3701. nullptr when there is none.
    TMSGProperty* AttachmentDataNode() const;
    bool IsEmbeddedMessage() const { return AttachmentKind() == 2; }

protected:
    explicit TMSGProperty(TMSGProperties* collection);

private:
    friend class TMSGProperties;
    TMSGProperties* collection_;
};

// The compressed-RTF body (tag 0x10090102) of a compound-file message: loading turns the stored stream into
// RTF text; the writer stores the text back uncompressed.
class TMSGPropertyCompressedRTF : public TMSGProperty {
public:
    enum : uint8_t { kNoHeader = 0, kCompressed = 1, kUncompressed = 2 };
    uint8_t CompressionKind = kNoHeader;

    void ReadValue(TStream& stream, uint32_t size) override;

protected:
    friend class TMSGProperties;
    using TMSGProperty::TMSGProperty;
};

// Base of the properties-stream nodes of a compound file; keeps the stream's raw header.
class TMSGPropertyWithHeader : public TMSGProperty {
public:
    ByteString Header;
    // The header length of this kind of properties stream: 32, 24 or 8.
    virtual size_t HeaderSize() const = 0;

protected:
    friend class TMSGProperties;
    using TMSGProperty::TMSGProperty;
};

// Properties stream of the message itself (32-byte header).
class TMSGPropertyTopLevel final : public TMSGPropertyWithHeader {
public:
    size_t HeaderSize() const override { return 32; }

protected:
    friend class TMSGProperties;
    using TMSGPropertyWithHeader::TMSGPropertyWithHeader;
};

// Properties stream of an embedded message (24-byte header).
class TMSGPropertyEmbeddedMessage final : public TMSGPropertyWithHeader {
public:
    size_t HeaderSize() const override { return 24; }

protected:
    friend class TMSGProperties;
    using TMSGPropertyWithHeader::TMSGPropertyWithHeader;
};

// Properties stream of an attachment (8-byte header).
class TMSGPropertyAttachment final : public TMSGPropertyWithHeader {
public:
    size_t HeaderSize() const override { return 8; }

protected:
    friend class TMSGProperties;
    using TMSGPropertyWithHeader::TMSGPropertyWithHeader;
};

// Properties stream of a recipient (8-byte header).
class TMSGPropertyRecipient final : public TMSGPropertyWithHeader {
public:
    size_t HeaderSize() const override { return 8; }

protected:
    friend class TMSGProperties;
    using TMSGPropertyWithHeader::TMSGPropertyWithHeader;
};

// Decodes the 8-byte value field of one compound-file properties-stream entry into the node (value, DataSize,
// and the tag from the identifier and the resulting type). The stream stands at the value field.
void ReadEntryValue(TMSGProperty& node, TStream& stream, uint16_t identifier, uint16_t type);

// An ordered list of wide strings.
class TWideStrings {
public:
    int Add(const WideString& s)
    {
        items_.push_back(s);
        return static_cast<int>(items_.size()) - 1;
    }
    // Empty text when the index is out of range.
    WideString Get(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Clear() { items_.clear(); }
    // All strings in order, each followed by CR LF.
    WideString Text() const;

private:
    std::vector<WideString> items_;
};

} // namespace pelmsg
