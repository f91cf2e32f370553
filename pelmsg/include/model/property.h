#pragma once

// The property tree every reader fills and every writer and view reads: nodes (a tag and a value, or a structural
// node with children) in ordered collections that own them.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/property_types.h"
#include "model/tags.h"
#include "model/types.h"
#include "rtf/compressed_rtf.h"

namespace pelmsg {

class TStream;
class TPelMessage;
class TMSGProperty;
struct TMsgRecord;

// Deletes a node's TMsgRecord with the function the .msg layer gave it when it made the record (MsgRecordOf): the
// model knows nothing of the record's type.
struct TMsgRecordDelete {
    void (*Delete)(TMsgRecord*) = nullptr;
    void operator()(TMsgRecord* record) const { Delete(record); }
};

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

// The kind of body a message has, as its readers saw it.
enum class TBodyKind : uint8_t {
    None = 0,
    PlainText = 1,
    Rtf = 2,
    Html = 3,
};

// What an attachment carries.
enum class TAttachmentKind : uint8_t {
    None = 0,
    FileData = 1, // attached file data (ATTACH_DATA_BIN)
    EmbeddedMessage = 2,
    OleObject = 3,
};

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
    template <class T> T* AddNode() { return static_cast<T*>(Append(std::unique_ptr<TMSGProperty>(new T(this)))); }

    // The node at an index, or nullptr when the index is out of range.
    TMSGProperty* Items(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    // Frees every node; BodyKind becomes None.
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
    // among the nodes of this collection (in a tree read from a .msg file, also among the entries of its
    // properties-stream node), else of the enclosing collections up to the root; Windows-1252 when the message
    // declares none or one that cannot be converted. The one rule every view and writer uses; asking again costs
    // little, as each collection remembers where its code-page nodes are.
    int32_t TextCodePage() const;
    // The code page of the message's Internet form, which an HTML body stored as bytes is written in: INTERNET_CPID
    // of this collection or the enclosing ones; TextCodePage when none declares one that can be converted.
    int32_t HtmlCodePage() const;

    // The kind of body seen among the nodes while values are read (see TMSGProperty::ReadValue).
    TBodyKind BodyKind = TBodyKind::None;

    // ---- Message fields ----
    WideString Subject() const;
    WideString PlainBody() const;
    WideString HtmlBody() const;
    WideString RtfBody() const;
    // The RTF body as the bytes it is stored in (decompressed, without trailing NULs): the form to take HTML out of
    // (ExtractHtmlFromRtf), since raw 8-bit characters in it are in the RTF's own code pages, not the message's.
    // An RTF body held as wide text comes back as UTF-8.
    ByteString RtfBodyBytes() const;
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
    // The attachments of the message, by the one rule every writer and view follows (IsAttachmentNode), in order.
    int AttachmentCount() const;
    TMSGProperty* Attachments(int index) const;
    std::vector<const TMSGProperty*> AttachmentNodes() const;
    WideString ResolveRecipient(const WideString& name) const;
    WideString ResolveRecipientList(const WideString& list) const;

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
    struct TCodePageCache;
    struct TCodePageCacheDelete {
        void operator()(TCodePageCache* cache) const;
    };
    TMSGProperty* Append(std::unique_ptr<TMSGProperty> node);
    // The code page this collection's own nodes declare, or 0: with first 0 the rule of MessageTextCodePage
    // (MESSAGE_CODEPAGE, then INTERNET_CPID, then the locale's); with first 1 INTERNET_CPID alone.
    int32_t OwnDeclaredCodePage(int first = 0) const;

    // Counts every change of items_ (nodes appended, all cleared): the count the code-page cache was made at tells
    // whether it is still good. (First, to share the padding after BodyKind.)
    uint32_t changes_ = 0;
    TPelMessage* owner_;
    TMSGProperty* parent_;
    std::vector<std::unique_ptr<TMSGProperty>> items_;
    // Where this collection's code-page nodes are, made on the first question and looked at again only when
    // nodes have been added: decoding every value of a large message must not search it every time.
    mutable std::unique_ptr<TCodePageCache, TCodePageCacheDelete> codePageCache_;
};

// The bytes of a node's value as a message stores them: a byte string as it is, a wide string as UTF-16LE, a value
// of a fixed-size type in its little-endian form (a date-time as its FILETIME, a class identifier as its 16 bytes).
// Empty for an empty or Null value. A byte string (and, on little-endian machines, a wide string) is not copied:
// the view points into the node's value; other values are encoded into scratch. The view is good while the node
// and scratch live unchanged.
std::string_view StoredValueBytes(const TMSGProperty& node, std::string& scratch);

// Whether a node of a message's collection is one of its attachments: a node of the attachment range that holds
// the attachment's properties (a TNEF attachment, a compound-file attachment storage), or attachment data that
// stands on its own. Such a node counts whether or not its data survived, so that no writer drops it.
bool IsAttachmentNode(const TMSGProperty& node);

// Removes every character below U+0021 from both ends.
WideString TrimControls(const WideString& text);
// The entries of a ";"-separated list (as the recipient accessors give them), each trimmed as TrimControls does;
// empty entries between separators are kept.
std::vector<WideString> ListEntries(const WideString& list);
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
    uint32_t DataSize = 0;
    TValue Value;
    TMSGProperties SubProperties;
    // For a named property: its property set and name, as the message defines them.
    std::unique_ptr<TNamedPropertyId> NamedId;
    // What the .msg reader recorded of the compound-file element and properties-stream entry this node was read
    // from, so that the .msg writer can write them back (msg/msg_record.h); absent for nodes of any other origin.
    std::unique_ptr<TMsgRecord, TMsgRecordDelete> MsgRecord;
    // Whether the node is one value of a multi-valued TNEF property (whose values become sibling nodes).
    bool MultiValued = false;
    // Whether the input ended inside the value: the node holds fewer bytes than the input announced. Writers never
    // present such a value (an attachment's data above all) as complete.
    bool Truncated = false;

    // The collection that owns this node.
    TMSGProperties* Collection() const { return collection_; }
    // Position in the owning collection.
    int Index() const;
    TMSGPropertyCategory Category() const { return CategoryOfIdentifier(PropId(TagID)); }

    // Copies tag, value, size, named-property name and, as plain nodes, the whole subtree; not what the .msg
    // reader recorded (the copy is no longer that element).
    void Assign(const TMSGProperty& source);

    // Reads one value of this node's type from the stream's position, as the property-type table says; Size is
    // the stored byte length, or 0 when only the type is known. Reading never goes beyond the end of the stream:
    // missing bytes of a number count as zero and a string keeps the bytes that are there. A plain or HTML body
    // sets the collection's BodyKind (HTML whatever was seen before, plain text only when nothing was).
    virtual void ReadValue(TStream& stream, uint32_t size);

    // The dictionary name (and description) of the tag; for a container not looked up in the dictionary its
    // storage name or "Properties".
    ByteString DisplayName(bool withDescription, bool fromDictionary) const;
    // The value as text; byte strings are decoded with the code page they are written in (ValueCodePage). The
    // zero date-time (a date that could not be read) gives empty text.
    WideString ValueText() const;
    // The value as text, decoding byte strings with the given code page.
    WideString ValueText(int32_t codePage) const;
    // The code page a byte-string value is written in: an HTML body's own (the charset its meta tag declares, else
    // the collection's HtmlCodePage), every other value's the collection's TextCodePage.
    int32_t ValueCodePage() const;

    // Attachment operations (meant for attachment nodes). Names are UTF-8.
    ByteString AttachmentFileName(int index) const;
    ByteString AttachmentDisplayName(int index) const;
    // What the attachment carries: an embedded message when a message class is found below it (or in the
    // children of its ATTACH_DATA_OBJ), else what the first node with identifier 0x3701 below it is.
    TAttachmentKind AttachmentKind() const;
    // The attachment's data among its own children: the object (ATTACH_DATA_OBJ as PT_OBJECT) when there is
    // one, since a TNEF attachment of a message or OLE object also carries a placeholder text as binary data;
    // else the first child with identifier 0x3701. nullptr when there is none.
    TMSGProperty* AttachmentDataNode() const;
    bool IsEmbeddedMessage() const { return AttachmentKind() == TAttachmentKind::EmbeddedMessage; }

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
    // The header the stream was read with; NoHeader also for a node filled by hand.
    TCompressedRtfKind CompressionKind = TCompressedRtfKind::NoHeader;

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
