// Reads a TNEF stream (winmail.dat) strictly forward into the property tree.

#include <algorithm>
#include <cstring>

#include "core/byte_reader.h"
#include "core/errors.h"
#include "core/stream.h"
#include "core/texts.h"
#include "model/limits.h"
#include "model/message.h"
#include "text/codepage.h"
#include "text/datetime.h"

namespace pelmsg {

namespace {

constexpr uint32_t kTnefSignature = 0x223E9F78;
constexpr uint32_t kTnefVersion = 0x00010000;

// Attributes with special handling, recognised by their attribute number (the low 16 bits): some writers put
// another attribute type in the high bits, and the number alone names the attribute.
constexpr uint16_t attMAPIProps = 0x9003;
constexpr uint16_t attRecipTable = 0x9004;
constexpr uint16_t attAttachRenddata = 0x9002;
constexpr uint16_t attAttachTitle = 0x8010;
constexpr uint16_t attAttachment = 0x9005;

uint16_t AttributeNumber(uint32_t identifier) { return static_cast<uint16_t>(identifier & 0xFFFF); }
// Attribute numbers (low 16 bits) whose values need converting.
constexpr uint16_t attMessageStatusNumber = 0x8007;
constexpr uint16_t attPriorityNumber = 0x800D;

struct TLegacyAttribute {
    uint32_t StoredIdentifier;
    uint32_t Tag;
};

// Legacy attribute to property tag, matched on the attribute number (low 16 bits) in this order.
constexpr TLegacyAttribute kLegacyAttributes[] = {
    { 0x00010000, 0x0044001E }, // attOwner
    { 0x00010001, 0x0042001E }, // attSentFor
    { 0x00010002, 0x0044001E }, // attDelegate
    { 0x00030006, 0x00600040 }, // attDateStart
    { 0x00030007, 0x00610040 }, // attDateEnd
    { 0x00050008, 0x00620003 }, // attAidOwner
    { 0x00060009, 0x0063000B }, // attRequestRes
    { 0x00018000, 0x00240102 }, // attFrom
    { 0x00018004, 0x0037001E }, // attSubject
    { 0x00038005, 0x00390040 }, // attDateSent
    { 0x00038006, 0x0E060040 }, // attDateRecd
    { 0x00068007, 0x0E070003 }, // attMessageStatus
    { 0x00088008, 0x001A001E }, // attMessageClass
    { 0x00068009, 0x0FFF0102 }, // attMessageID
    { 0x0006800A, 0x0E090102 }, // attParentID
    { 0x0006800B, 0x00000102 }, // attConversationID
    { 0x0001800C, 0x1000001E }, // attBody
    { 0x0005800D, 0x00170003 }, // attPriority
    { 0x0006800F, 0x37010102 }, // attAttachData
    { 0x00018010, 0x3704001E }, // attAttachTitle
    { 0x00068011, 0x37090102 }, // attAttachMetaFile
    { 0x00038012, 0x30070040 }, // attAttachCreateDate
    { 0x00038013, 0x30080040 }, // attAttachModifyDate
    { 0x00038020, 0x30080040 }, // attDateModified
    { 0x00069001, 0x370C001E }, // attAttachTransportFilename
    { 0x00069002, 0x37010102 }, // attAttachRenddata
    { 0x00069003, 0x00000001 }, // attMAPIProps
    { 0x00069004, 0x0E12000D }, // attRecipTable
    { 0x00069005, 0x0E13000D }, // attAttachment
    { 0x00089006, 0x0E000014 }, // attTnefVersion
    { 0x00089007, 0x3FFD0003 }, // attOemCodepage
    { 0x00089008, 0x004B001E }, // attOriginalMessageClass
};

uint32_t LegacyTag(uint32_t identifier)
{
    for (const auto& row : kLegacyAttributes)
        if ((row.StoredIdentifier & 0xFFFF) == (identifier & 0xFFFF))
            return row.Tag;
    return identifier;
}

// Reads the level byte; -1 at the end of the stream.
int ReadLevel(TStream& s)
{
    unsigned char b = 0;
    return s.Read(&b, 1) == 1 ? b : -1;
}

// Lengths are signed 32-bit in the format: a "negative" one counts as 0.
uint32_t Length(uint32_t raw) { return raw > 0x7FFFFFFF ? 0 : raw; }

uint32_t Padded4(uint32_t n) { return static_cast<uint32_t>((static_cast<uint64_t>(n) + 3) & ~3ULL); }

void SkipForward(TStream& s, int64_t count)
{
    if (count > 0)
        s.Seek(std::min(count, s.Remaining()), TSeekOrigin::Current);
}

// The 14-byte date record of the legacy date attributes: year, month, day, hour, minute, second, day of week.
// It holds the sender's wall-clock time, which is shown as it stands.
double DecodeDateRecord(ByteString data)
{
    data.resize(14, '\0');
    auto field = [&](size_t i) { return static_cast<int>(LoadLE16(data.data() + 2 * i)); };
    auto dt = TryEncodeDateTime(field(0), field(1), field(2), field(3), field(4), field(5));
    return dt ? *dt : 0.0;
}

// The legacy message status byte (fmsModified 0x01, fmsLocal 0x02, fmsSubmitted 0x04, fmsRead 0x20,
// fmsHasAttach 0x80) as MESSAGE_FLAGS bits.
int32_t MessageFlagsOfStatus(uint32_t status)
{
    int32_t flags = 0;
    if (status & 0x20)
        flags |= 0x01; // MSGFLAG_READ
    if (!(status & 0x01))
        flags |= 0x02; // MSGFLAG_UNMODIFIED
    if (status & 0x04)
        flags |= 0x04; // MSGFLAG_SUBMIT
    if (status & 0x02)
        flags |= 0x08; // MSGFLAG_UNSENT
    if (status & 0x80)
        flags |= 0x10; // MSGFLAG_HASATTACH
    return flags;
}

class TTnefReader {
public:
    TTnefReader(TMSGProperties& root, int depth)
        : root_(root)
        , depth_(depth)
    {
    }

    void Read(TStream& stream)
    {
        if (ReadSignature(stream) != kTnefSignature)
            throw EFormatError(SInvalidTnefSignature, 0);
        ReadLE16(stream); // key, not used
        int64_t start = stream.Position();
        try {
            ReadMessageBlock(stream);
        } catch (const EPelMsgError&) {
            // A damaged message block keeps what was read; attachments are then not looked for.
            stream.Seek(start, TSeekOrigin::Beginning);
        }
        AddDeferredDates();
        ReadAttachmentBlock(stream);
    }

private:
    static uint32_t ReadSignature(TStream& s)
    {
        unsigned char b[4];
        if (s.Read(b, 4) != 4)
            throw EFormatError(SInvalidTnefSignature, 0);
        return LoadLE32(b);
    }

    void ReadMessageBlock(TStream& s)
    {
        if (ReadLevel(s) != 1)
            throw EFormatError(SInvalidMessageFile, s.Position());
        ReadLE32(s); // identifier, not checked
        uint32_t versionLength = Length(ReadLE32(s));
        {
            TWindowStream data(s, versionLength);
            if (ReadLE32(data) != kTnefVersion)
                throw EFormatError(SInvalidSequence, s.Position());
            SkipForward(data, data.Remaining());
        }
        ReadLE16(s); // checksum, not verified

        ReadAttributes(s, 1, 0, [&](uint32_t identifier, TStream& data, uint32_t length) {
            ReadMessageAttribute(identifier, data, length);
        });
    }

    // Reads attributes of one level while they follow (and more than minRemaining bytes are left); each one's data
    // is a window of the stream, skipped to its end afterwards. Another level ends the block.
    template <class Handle> static void ReadAttributes(TStream& s, int level, int64_t minRemaining, Handle handle)
    {
        while (s.Remaining() > minRemaining) {
            int found = ReadLevel(s);
            if (found != level) {
                if (found >= 0)
                    s.Seek(-1, TSeekOrigin::Current);
                return;
            }
            // An attribute whose identifier and length are cut off by the end of the data is no attribute: read
            // as one, it would be some other attribute, its number made up of the bytes that are there.
            if (s.Remaining() < 8)
                return;
            uint32_t identifier = ReadLE32(s);
            uint32_t length = Length(ReadLE32(s));
            {
                TWindowStream data(s, length);
                handle(identifier, data, length);
                SkipForward(data, data.Remaining());
            }
            ReadLE16(s); // checksum, not verified
        }
    }

    void ReadMessageAttribute(uint32_t identifier, TStream& data, uint32_t length)
    {
        if (AttributeNumber(identifier) == attMAPIProps) {
            uint32_t count = ReadLE32(data);
            ReadEncodedProperties(data, root_, count);
        } else if (AttributeNumber(identifier) == attRecipTable) {
            uint32_t rows = ReadLE32(data);
            for (uint32_t r = 0; r < rows && data.Remaining() > 0; ++r) {
                TMSGProperty* row = root_.Add();
                row->TagID = kTagRecipientRow;
                uint32_t count = ReadLE32(data);
                ReadEncodedProperties(data, row->SubProperties, count);
            }
        } else {
            uint32_t tag = LegacyTag(identifier);
            if (PropType(tag) == PT_SYSTIME && length >= 12 && length <= 14) {
                // A date record holds the sender's wall-clock time without its zone; the MAPI properties usually
                // carry the same moment exactly. The record is kept only for a date the message has no other of
                // (added after the message block).
                ByteString record = data.ReadString(length);
                deferredDates_.push_back({ tag, DecodeDateRecord(record), length });
                return;
            }
            ReadLegacyAttribute(root_, identifier, tag, data, length);
        }
    }

    void AddDeferredDates()
    {
        for (const TDeferredDate& date : deferredDates_) {
            if (root_.FindProperty(date.Tag, false, false))
                continue;
            TMSGProperty* node = root_.Add();
            node->TagID = date.Tag;
            node->Value = TDateTime { date.Value };
            node->DataSize = date.Size;
        }
        deferredDates_.clear();
    }

    void ReadAttachmentBlock(TStream& s)
    {
        TMSGProperty* current = nullptr;
        ReadAttributes(s, 2, 4, [&](uint32_t identifier, TStream& data, uint32_t length) {
            if (AttributeNumber(identifier) == attAttachTitle) {
                if (current) {
                    ByteString title = data.ReadString(length);
                    size_t nul = title.find('\0');
                    if (nul != ByteString::npos)
                        title.resize(nul);
                    TMSGProperty* node = current->SubProperties.Add();
                    node->TagID = kTagAttachFileName;
                    node->Value = std::move(title);
                    node->DataSize = length;
                }
            } else if (AttributeNumber(identifier) == attAttachRenddata) {
                current = NewAttachment();
            } else if (AttributeNumber(identifier) == attAttachment) {
                // Properties that come before any rendering attribute still describe an attachment.
                if (!current)
                    current = NewAttachment();
                uint32_t count = ReadLE32(data);
                ReadEncodedProperties(data, current->SubProperties, count);
            } else {
                TMSGProperties& target = current ? current->SubProperties : root_;
                ReadLegacyAttribute(target, identifier, LegacyTag(identifier), data, length);
            }
        });
    }

    TMSGProperty* NewAttachment()
    {
        TMSGProperty* node = root_.Add();
        node->TagID = kTagTnefAttachment;
        return node;
    }

    static void ReadLegacyAttribute(
        TMSGProperties& target, uint32_t identifier, uint32_t tag, TStream& data, uint32_t length)
    {
        TMSGProperty* node = target.Add();
        node->TagID = tag;
        uint16_t number = static_cast<uint16_t>(identifier & 0xFFFF);
        if (PropType(tag) == PT_SYSTIME && length >= 12 && length <= 14) {
            // Legacy dates are date records, not FILETIMEs.
            ByteString record = data.ReadString(length);
            node->Value = TDateTime { DecodeDateRecord(record) };
            node->DataSize = length;
            return;
        }
        node->ReadValue(data, length);
        if (number == attPriorityNumber && tag == kTagImportance) {
            // attPriority counts 1 high, 2 normal, 3 low; IMPORTANCE counts 0 low, 1 normal, 2 high.
            int64_t priority = ValueAsInteger(node->Value) & 0xFFFF;
            if (priority >= 1 && priority <= 3)
                node->Value = static_cast<int32_t>(3 - priority);
        } else if (number == attMessageStatusNumber && tag == kTagMessageFlags) {
            node->Value = MessageFlagsOfStatus(static_cast<uint32_t>(ValueAsInteger(node->Value)) & 0xFF);
        }
    }

    // Reads up to `count` encoded MAPI properties from the data into a collection.
    void ReadEncodedProperties(TStream& data, TMSGProperties& target, uint32_t count)
    {
        // A tag cut off by the end of the data names no property (it would name another one).
        for (uint32_t i = 0; i < count && data.Remaining() >= 4; ++i)
            ReadEncodedProperty(data, target);
    }

    void ReadEncodedProperty(TStream& data, TMSGProperties& target)
    {
        uint32_t tag = ReadLE32(data);
        std::unique_ptr<TNamedPropertyId> named;
        if (PropId(tag) >= 0x8000 && PropId(tag) <= 0xFFFE) {
            named = std::make_unique<TNamedPropertyId>();
            ByteString guid = data.ReadString(16);
            std::memcpy(named->Guid.data(), guid.data(), guid.size());
            uint32_t kind = ReadLE32(data);
            if (kind == 0) {
                named->Number = ReadLE32(data);
            } else if (kind == 1) {
                named->IsString = true;
                uint32_t n = Length(ReadLE32(data));
                WideString wide = Utf16LeToWide(data.ReadString(n));
                while (!wide.empty() && wide.back() == u'\0')
                    wide.pop_back();
                named->Name = std::move(wide);
                SkipForward(data, Padded4(n) - n);
            } else {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%x", kind);
                throw EFormatError(FormatMessage(SInvalidPropertyKind, hex), data.Position());
            }
        }
        uint16_t type = PropType(tag);
        bool multiValued = (type & MV_FLAG) != 0;
        if (multiValued) {
            type = static_cast<uint16_t>(type & ~MV_FLAG);
            tag &= ~static_cast<uint32_t>(MV_FLAG);
        }
        const TValueStorage storage = ValueStorageOf(type);
        const bool variableSize = storage == TValueStorage::Bytes || storage == TValueStorage::Wide;

        auto newNode = [&]() {
            TMSGProperty* node = target.Add();
            node->TagID = tag;
            node->MultiValued = multiValued;
            if (named)
                node->NamedId = std::make_unique<TNamedPropertyId>(*named);
            return node;
        };

        if (!multiValued && !variableSize) {
            TMSGProperty* node = newNode();
            node->ReadValue(data, 0);
            SkipForward(data, Padded4(node->DataSize) - node->DataSize);
            return;
        }
        uint32_t values = ReadLE32(data);
        for (uint32_t v = 0; v < values && data.Remaining() > 0; ++v) {
            int64_t before = data.Position();
            if (variableSize) {
                uint32_t length = Length(ReadLE32(data));
                int64_t valueStart = data.Position();
                TMSGProperty* node = newNode();
                if (type == PT_OBJECT) {
                    // The length counts the 16-byte interface identifier that comes first.
                    SkipForward(data, 16);
                    node->ReadValue(data, length >= 16 ? length - 16 : 0);
                    ReadAttachedMessage(*node);
                } else {
                    node->ReadValue(data, length);
                }
                data.Seek(
                    std::min(valueStart + static_cast<int64_t>(Padded4(length)), data.Size()), TSeekOrigin::Beginning);
            } else {
                TMSGProperty* node = newNode();
                node->ReadValue(data, 0);
                SkipForward(data, Padded4(node->DataSize) - node->DataSize);
            }
            // A value of a type without size moves nothing: a huge count must not make endless nodes.
            if (data.Position() == before)
                break;
        }
    }

    // An object whose data is itself a TNEF stream is an attached message: read it into the node's children.
    void ReadAttachedMessage(TMSGProperty& node) const
    {
        const auto* bytes = std::get_if<ByteString>(&node.Value);
        if (!bytes || bytes->size() < 6 || depth_ + 1 > kMaxAttachedMessageDepth)
            return;
        if (LoadLE32(bytes->data()) != kTnefSignature)
            return;
        TSpanStream nested(*bytes);
        try {
            TTnefReader(node.SubProperties, depth_ + 1).Read(nested);
        } catch (const EPelMsgError&) {
            // A damaged attached message keeps what was read of it; the outer message goes on.
        }
    }

    TMSGProperties& root_;
    int depth_;
    struct TDeferredDate {
        uint32_t Tag;
        double Value;
        uint32_t Size;
    };
    std::vector<TDeferredDate> deferredDates_;
};

} // namespace

void TPelTNEFFile::LoadFromStream(TStream& stream)
{
    TPelMessage::LoadFromStream(stream);
    TTnefReader(Properties(), 0).Read(stream);
}

void TPelTNEFFile::LoadFromFile(const std::string& fileName)
{
    TPelMessage::LoadFromFile(fileName);
    TFileStream file(fileName, TFileStream::Mode::OpenRead);
    LoadFromStream(file);
}

} // namespace pelmsg
