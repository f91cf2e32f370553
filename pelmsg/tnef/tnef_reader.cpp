// Reads a TNEF stream (winmail.dat) strictly forward into the property tree.

#include "tnef/tnef_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "core/byte_reader.h"
#include "core/errors.h"
#include "core/stream.h"
#include "core/texts.h"
#include "model/limits.h"
#include "model/message.h"
#include "text/codepage.h"
#include "text/datetime.h"
#include "tnef/tnef_format.h"

namespace pelmsg {

namespace {

using namespace tnef_format;

// Attribute numbers (low 16 bits) whose values need converting.
constexpr uint16_t attMessageStatusNumber = 0x8007;
constexpr uint16_t attPriorityNumber = 0x800D;
constexpr uint16_t attAttachDataNumber = 0x800F;

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

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// "1,234": byte counts in warnings are read by people.
std::string Grouped(int64_t value)
{
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        const size_t left = digits.size() - i;
        if (i > 0 && left % 3 == 0 && digits[i - 1] != '-')
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// Where the reader writes down what it skipped or cut: the message's warnings, with offsets in the outermost
// input. An attached message read from a value reports into the same list, its offsets moved by where the value
// lies and its texts marked as coming from the attached message.
struct TWarningSink {
    std::vector<TReadWarning>* Warnings = nullptr;
    int64_t Base = 0;
    std::string Prefix;

    void Add(int64_t offset, const std::string& text) const
    {
        if (Warnings && Warnings->size() < kMaxReadWarnings)
            Warnings->push_back({ Base + offset, Prefix + text });
        else if (Warnings && Warnings->size() == kMaxReadWarnings)
            Warnings->push_back({ -1, "more damage follows; no further warnings are listed" });
    }
};

class TTnefReader {
public:
    TTnefReader(TMSGProperties& root, int depth, TWarningSink sink)
        : root_(root)
        , depth_(depth)
        , sink_(std::move(sink))
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
        } catch (const EPelMsgError& e) {
            // A message block that does not start as one keeps what was read; attachments are then looked for
            // from its start.
            sink_.Add(start, std::string("message attributes not read: ") + e.what());
            stream.Seek(start, TSeekOrigin::Beginning);
        }
        AddDeferredDates();
        ReadAttachmentBlock(stream);
        ReportUnreadEnd(stream);
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
        if (s.Remaining() == 0)
            return; // signature and key alone: an empty message
        const int64_t start = s.Position();
        if (ReadLevel(s) != 1)
            throw EFormatError(SInvalidMessageFile, s.Position());
        ReadLE32(s); // identifier, not checked
        uint32_t versionLength = Length(ReadLE32(s));
        {
            TWindowStream data(s, versionLength);
            const uint32_t version = ReadLE32(data);
            // Another version number still comes before the same attributes: they are read, with a word.
            if (version != kTnefVersion)
                sink_.Add(start, "unknown TNEF version " + Hex32(version) + " (expected 0x00010000); read as 1.0");
            SkipForward(data, data.Remaining());
        }
        ReadLE16(s); // checksum

        ReadAttributes(s, 1, 0, [&](uint32_t identifier, TStream& data, uint32_t length) {
            ReadMessageAttribute(identifier, data, length);
        });
    }

    // Reads attributes of one level while they follow (and more than minRemaining bytes are left); each one's data
    // is a window of the stream, skipped to its end afterwards. Another level ends the block. Damage is written
    // down: an attribute cut short by the end of the input, a wrong checksum, and a property list that cannot be
    // read on (the rest of that attribute is skipped; the next attribute is read).
    template <class Handle> void ReadAttributes(TStream& s, int level, int64_t minRemaining, Handle handle)
    {
        while (s.Remaining() > minRemaining) {
            const int64_t attributeStart = s.Position();
            int found = ReadLevel(s);
            if (found != level) {
                if (found >= 0)
                    s.Seek(-1, TSeekOrigin::Current);
                return;
            }
            // An attribute whose identifier and length are cut off by the end of the data is no attribute: read
            // as one, it would be some other attribute, its number made up of the bytes that are there.
            if (s.Remaining() < 8) {
                sink_.Add(attributeStart, "the input ends inside an attribute header");
                SkipForward(s, s.Remaining());
                return;
            }
            uint32_t identifier = ReadLE32(s);
            uint32_t length = Length(ReadLE32(s));
            dataStart_ = s.Position();
            const int64_t present = std::min<int64_t>(length, s.Remaining());
            attributeCut_ = present < static_cast<int64_t>(length);
            if (attributeCut_) {
                const bool attachmentData = AttributeNumber(identifier) == attAttachDataNumber;
                sink_.Add(attributeStart,
                    std::string(attachmentData
                            ? "attachment data truncated: "
                            : "attribute " + Hex32(identifier) + " cut short by the end of the input: ")
                        + Grouped(present) + " of " + Grouped(length) + " bytes present");
            }
            {
                TWindowStream data(s, length);
                try {
                    handle(identifier, data, length);
                } catch (const EPelMsgError& e) {
                    sink_.Add(dataStart_ + data.Position(),
                        std::string(e.what()) + " in attribute " + Hex32(identifier) + "; the rest of it is skipped");
                }
                SkipForward(data, data.Remaining());
            }
            attributeCut_ = false;
            unsigned char checksum[2];
            if (s.Read(checksum, 2) != 2) {
                if (!(present < static_cast<int64_t>(length)))
                    sink_.Add(attributeStart, "attribute " + Hex32(identifier) + " has no checksum: the input ends");
                return;
            }
            if (LoadLE16(checksum) != ChecksumOf(s, dataStart_, present))
                sink_.Add(attributeStart, "checksum mismatch in attribute " + Hex32(identifier));
        }
    }

    // The 16-bit sum of the data bytes of an attribute; the stream is back where it was afterwards.
    static uint16_t ChecksumOf(TStream& s, int64_t start, int64_t length)
    {
        const int64_t back = s.Position();
        s.Seek(start, TSeekOrigin::Beginning);
        uint32_t sum = 0;
        char block[16384];
        while (length > 0) {
            size_t n = s.Read(block, static_cast<size_t>(std::min<int64_t>(length, sizeof block)));
            if (n == 0)
                break;
            for (size_t i = 0; i < n; ++i)
                sum += static_cast<unsigned char>(block[i]);
            length -= static_cast<int64_t>(n);
        }
        s.Seek(back, TSeekOrigin::Beginning);
        return static_cast<uint16_t>(sum);
    }

    // Bytes after the last attribute that were not read: the attachments (or the message) may go on there. Line
    // ends and zero bytes that mail transport appends are not worth a word.
    void ReportUnreadEnd(TStream& s)
    {
        const int64_t at = s.Position();
        ByteString rest = s.ReadString(static_cast<size_t>(std::min<int64_t>(s.Remaining(), 4096)));
        const int64_t count = static_cast<int64_t>(rest.size()) + s.Remaining();
        if (rest.find_first_not_of(std::string("\r\n\0", 3)) != ByteString::npos)
            sink_.Add(at, Grouped(count) + " bytes after the last attribute were not read");
    }

    void ReadMessageAttribute(uint32_t identifier, TStream& data, uint32_t length)
    {
        if (AttributeNumber(identifier) == attMAPIProps) {
            uint32_t count = ReadLE32(data);
            ReadEncodedProperties(data, root_, count);
        } else if (AttributeNumber(identifier) == attRecipTable) {
            uint32_t rows = ReadLE32(data);
            uint32_t r = 0;
            for (; r < rows && data.Remaining() > 0; ++r) {
                TMSGProperty* row = root_.Add();
                row->TagID = kTagRecipientRow;
                uint32_t count = ReadLE32(data);
                ReadEncodedProperties(data, row->SubProperties, count);
            }
            if (r < rows)
                sink_.Add(dataStart_ + data.Position(),
                    "recipient table cut short: " + Grouped(r) + " of " + Grouped(rows) + " rows present");
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
        if (deferredDates_.empty())
            return;
        // The tags the message block holds, collected once: looking each date up in the whole block would take
        // time in the number of dates times the number of nodes.
        std::unordered_set<uint32_t> present;
        for (const TMSGProperty* node : root_)
            present.insert(node->TagID);
        for (const TDeferredDate& date : deferredDates_) {
            if (!present.insert(date.Tag).second)
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

    void ReadLegacyAttribute(
        TMSGProperties& target, uint32_t identifier, uint32_t tag, TStream& data, uint32_t length)
    {
        TMSGProperty* node = target.Add();
        node->TagID = tag;
        node->Truncated = attributeCut_;
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
        uint32_t i = 0;
        for (; i < count && data.Remaining() >= 4; ++i)
            ReadEncodedProperty(data, target);
        if (i < count)
            sink_.Add(dataStart_ + data.Position(),
                "property list cut short: " + Grouped(i) + " of " + Grouped(count) + " properties present");
    }

    // Writes down a value that the data ends inside of, and marks its node.
    void NoteCutValue(TMSGProperty& node, int64_t at, int64_t present, int64_t length)
    {
        node.Truncated = true;
        const bool attachmentData = PropId(node.TagID) == kIdAttachDataObject;
        sink_.Add(dataStart_ + at,
            (attachmentData ? std::string("attachment data truncated: ")
                            : "property " + Hex32(node.TagID) + " value cut short: ")
                + Grouped(std::max<int64_t>(present, 0)) + " of " + Grouped(length) + " bytes present");
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

        auto readFixed = [&]() {
            TMSGProperty* node = newNode();
            const int64_t at = data.Position();
            const int64_t present = data.Remaining();
            node->ReadValue(data, 0);
            if (present < static_cast<int64_t>(node->DataSize))
                NoteCutValue(*node, at, present, node->DataSize);
            SkipForward(data, Padded4(node->DataSize) - node->DataSize);
        };
        if (!multiValued && !variableSize) {
            readFixed();
            return;
        }
        uint32_t values = ReadLE32(data);
        uint32_t v = 0;
        for (; v < values && data.Remaining() > 0; ++v) {
            int64_t before = data.Position();
            if (variableSize) {
                uint32_t length = Length(ReadLE32(data));
                int64_t valueStart = data.Position();
                TMSGProperty* node = newNode();
                if (static_cast<int64_t>(length) > data.Remaining())
                    NoteCutValue(*node, valueStart, data.Remaining() - (type == PT_OBJECT ? 16 : 0),
                        static_cast<int64_t>(length) - (type == PT_OBJECT ? 16 : 0));
                if (type == PT_OBJECT) {
                    // The length counts the 16-byte interface identifier that comes first.
                    SkipForward(data, 16);
                    const int64_t objectStart = data.Position();
                    node->ReadValue(data, length >= 16 ? length - 16 : 0);
                    ReadAttachedMessage(*node, dataStart_ + objectStart);
                } else {
                    node->ReadValue(data, length);
                }
                data.Seek(
                    std::min(valueStart + static_cast<int64_t>(Padded4(length)), data.Size()), TSeekOrigin::Beginning);
            } else {
                readFixed();
            }
            // A value of a type without size moves nothing: a huge count must not make endless nodes.
            if (data.Position() == before)
                break;
        }
        if (v < values && data.Remaining() == 0)
            sink_.Add(dataStart_ + data.Position(),
                "values of property " + Hex32(tag) + " cut short: " + Grouped(v) + " of " + Grouped(values)
                    + " present");
    }

    // An object whose data is itself a TNEF stream is an attached message: read it into the node's children.
    void ReadAttachedMessage(TMSGProperty& node, int64_t offset)
    {
        const auto* bytes = std::get_if<ByteString>(&node.Value);
        if (!bytes || bytes->size() < 6 || depth_ + 1 > kMaxAttachedMessageDepth)
            return;
        if (LoadLE32(bytes->data()) != kTnefSignature)
            return;
        TSpanStream nested(*bytes);
        TWarningSink sink { sink_.Warnings, sink_.Base + offset, sink_.Prefix + "attached message: " };
        try {
            TTnefReader(node.SubProperties, depth_ + 1, sink).Read(nested);
        } catch (const EPelMsgError& e) {
            // A damaged attached message keeps what was read of it; the outer message goes on.
            sink.Add(nested.Position(), e.what());
        }
    }

    TMSGProperties& root_;
    int depth_;
    TWarningSink sink_;
    int64_t dataStart_ = 0; // where the data of the attribute being read starts in the stream
    bool attributeCut_ = false; // the attribute being read runs past the end of the input
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
    WithMemoryError("read the message", [&] {
        LimitNodes(stream.Size());
        std::vector<TReadWarning> warnings;
        try {
            TTnefReader(Properties(), 0, TWarningSink { &warnings, 0, {} }).Read(stream);
        } catch (...) {
            EndNodeLimit();
            throw;
        }
        EndNodeLimit();
        for (TReadWarning& w : warnings)
            AddWarning(w.Offset, std::move(w.Text));
    });
}

void TPelTNEFFile::LoadFromFile(const std::string& fileName)
{
    TPelMessage::LoadFromFile(fileName);
    TFileStream file(fileName, TFileStream::Mode::OpenRead);
    LoadFromStream(file);
}

} // namespace pelmsg
