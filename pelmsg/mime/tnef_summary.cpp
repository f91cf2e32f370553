// A light pass over a TNEF stream for the few fields a list of parts shows. It walks the same attributes and
// property encodings as the TNEF reader, but keeps only the values of a handful of tags (into a message of its own,
// so that subject, sender and class come out as the opened message shows them) and skips every other value by its
// length: a message with large bodies or attachments costs no more than one without. Every read is bounds-checked;
// damage ends the attribute it is in (the next one is still read) or, in the attribute headers, the pass.

#include "mime/tnef_summary.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "calendar/item_kind.h"
#include "core/byte_reader.h"
#include "core/stream.h"
#include "model/message.h"
#include "model/tags.h"
#include "text/codepage.h"
#include "tnef/tnef_format.h"

namespace pelmsg {

namespace {

using namespace tnef_format;

// The property identifiers whose values the summary keeps: what Subject, From and ItemMessageClass look at, and
// the code pages 8-bit text is decoded with.
constexpr std::array<uint16_t, 10> kKeptIds = { kIdSubject, kIdConversationTopic, kIdMessageClass,
    kIdSentRepresentingName, kIdSenderSmtpAddress, kIdSentRepresentingSmtpAddress, kIdSenderEmailAddress,
    kIdSentRepresentingEmailAddress, kIdMessageCodePage, kIdInternetCodePage };
// Values kept of one tag: a legacy attribute and its MAPI property both count (a legacy class name gives way to the
// MAPI one); further copies, and tags past kMaxKept different ones, are passed over, so that repeated values (or the
// kept identifiers under made-up types) cannot grow the summary.
constexpr size_t kKeptPerTag = 2;
constexpr size_t kMaxKept = 64;

// Lengths are signed 32-bit in the format: a "negative" one counts as 0.
uint32_t Length(uint32_t raw) { return raw > 0x7FFFFFFF ? 0 : raw; }
size_t Padded4(size_t n) { return (n + 3) & ~size_t { 3 }; }

class TSummaryReader {
public:
    explicit TSummaryReader(TPelMessage& message)
        : message_(message)
    {
    }

    // Whether every message attribute was read (TTnefSummary::Complete).
    bool Complete() const { return complete_; }

    void Read(std::string_view tnef)
    {
        TByteReader r(tnef);
        if (r.Remaining() < 6 || r.U32LE() != kTnefSignature)
            return;
        r.Skip(2); // key
        for (size_t n = 0; r.Remaining() >= 9; ++n) {
            // The attachments follow the message attributes: the first attribute of another level ends the pass.
            if (r.U8() != kMessageLevel) {
                complete_ = whole_;
                return;
            }
            if (n == TTnefSummaryLimits::kMaxAttributes)
                return;
            const uint32_t identifier = r.U32LE();
            const uint32_t length = Length(r.U32LE());
            // An attribute cut short by the end of the stream is read as far as it goes.
            whole_ = whole_ && length <= r.Remaining();
            const std::string_view data = r.Bytes(std::min<size_t>(length, r.Remaining()));
            // The first attribute is the version, whatever its identifier says (the reader takes it so).
            try {
                if (n > 0)
                    Attribute(AttributeNumber(identifier), data);
            } catch (const EPelMsgError&) {
                // The rest of a damaged attribute is skipped; the next one is read.
                whole_ = false;
            }
            whole_ = whole_ && r.Remaining() >= 2;
            r.Skip(std::min<size_t>(2, r.Remaining())); // checksum, not checked: a wrong one hides nothing
        }
        complete_ = whole_ && r.Remaining() == 0;
    }

private:
    void Attribute(uint16_t number, std::string_view data)
    {
        if (number == attSubject)
            Keep(MakeTag(kIdSubject, PT_STRING8), false, data);
        else if (number == attMessageClass)
            Keep(MakeTag(kIdMessageClass, PT_STRING8), false, data);
        else if (number == attOemCodepage)
            Keep(kTagMessageCodePage, false, data);
        else if (number == attMAPIProps)
            Properties(data);
    }

    // Reads an encoded property list, keeping the values of the kept tags.
    void Properties(std::string_view data)
    {
        TByteReader p(data);
        const uint32_t count = p.U32LE();
        // A tag cut off by the end of the data names no property.
        for (uint32_t i = 0; i < count && p.Remaining() >= 4; ++i) {
            if (!Spend())
                return;
            Property(p);
        }
    }

    // One property: each of its values costs one more step when there may be many (multi-valued, variable size).
    void Property(TByteReader& p)
    {
        uint32_t tag = p.U32LE();
        const bool named = PropId(tag) >= 0x8000 && PropId(tag) <= 0xFFFE;
        if (named) {
            p.Skip(16); // property set
            const uint32_t kind = p.U32LE();
            if (kind == 0)
                p.Skip(4);
            else if (kind == 1)
                p.Skip(Padded4(Length(p.U32LE())));
            else
                throw EFormatError("unknown kind of named property");
        }
        uint16_t type = PropType(tag);
        const bool multiValued = (type & MV_FLAG) != 0;
        if (multiValued) {
            type = BaseType(type);
            tag = MakeTag(PropId(tag), type);
        }
        const TValueStorage storage = ValueStorageOf(type);
        const bool kept
            = !named && type != PT_OBJECT && std::find(kKeptIds.begin(), kKeptIds.end(), PropId(tag)) != kKeptIds.end();
        const bool variable = storage == TValueStorage::Bytes || storage == TValueStorage::Wide;
        if (!variable && !multiValued) {
            const size_t size = storage == TValueStorage::Fixed ? FindPropertyType(type)->Size : 0;
            Value(p, tag, false, kept, size);
            return;
        }
        const uint32_t values = p.U32LE();
        for (uint32_t v = 0; v < values && p.Remaining() > 0; ++v) {
            if (!Spend())
                return;
            size_t size = storage == TValueStorage::Fixed ? FindPropertyType(type)->Size : 0;
            if (variable)
                size = Length(p.U32LE());
            // Only the first value is kept: the summary is then short of the others.
            whole_ = whole_ && !(kept && v > 0);
            // A value of a type without size moves nothing: the rest of the count is passed over, as in the reader.
            if (!Value(p, tag, multiValued, kept && v == 0, size) && !variable)
                return;
        }
    }

    // Reads one value of that many bytes and its padding, keeping it when asked; false when it took no bytes.
    bool Value(TByteReader& p, uint32_t tag, bool multiValued, bool keep, size_t size)
    {
        const size_t present = std::min(size, p.Remaining());
        whole_ = whole_ && present == size;
        const std::string_view value = p.Bytes(present);
        if (keep)
            Keep(tag, multiValued, value);
        p.Skip(std::min(Padded4(size) - size, p.Remaining()));
        return present > 0;
    }

    // Counts one property or value against the bound of the pass; false once it is spent.
    bool Spend()
    {
        if (spent_ == TTnefSummaryLimits::kMaxValues) {
            whole_ = false;
            return false;
        }
        ++spent_;
        return true;
    }

    // Adds a node for the value, read as the TNEF reader reads it (text cut to kMaxTextBytes).
    void Keep(uint32_t tag, bool multiValued, std::string_view value)
    {
        const auto same = [tag](const std::pair<uint32_t, size_t>& row) { return row.first == tag; };
        auto row = std::find_if(kept_.begin(), kept_.end(), same);
        if (row == kept_.end() && kept_.size() < kMaxKept)
            row = kept_.insert(kept_.end(), { tag, 0 });
        if (row == kept_.end() || row->second == kKeptPerTag) {
            whole_ = false;
            return;
        }
        ++row->second;
        size_t size = value.size();
        if (size > TTnefSummaryLimits::kMaxTextBytes) {
            size = TTnefSummaryLimits::kMaxTextBytes; // even: UTF-16 text is not cut inside a unit
            whole_ = false;
        }
        TSpanStream stream(value.substr(0, size));
        TMSGProperty* node = message_.Properties().Add();
        node->TagID = tag;
        node->MultiValued = multiValued;
        node->ReadValue(stream, static_cast<uint32_t>(size));
    }

    TPelMessage& message_;
    size_t spent_ = 0;
    std::vector<std::pair<uint32_t, size_t>> kept_; // tag, values kept of it
    bool whole_ = true; // nothing damaged, cut or passed over yet
    bool complete_ = false;
};

} // namespace

TTnefSummary SummarizeTnef(std::string_view tnef)
{
    TPelMessage message;
    TSummaryReader reader(message);
    try {
        reader.Read(tnef);
    } catch (const EPelMsgError&) {
        // An attribute header cut off by the end: what was read stands.
    }
    TTnefSummary summary;
    summary.Complete = reader.Complete();
    summary.Subject = WideToUtf8(message.Subject());
    summary.From = WideToUtf8(message.From());
    summary.MessageClass = ItemMessageClass(message.Properties());
    return summary;
}

} // namespace pelmsg
