#include "calendar/appointment.h"

#include <cstdio>

#include "text/ascii_case.h"
#include "calendar/civil_time.h"
#include "calendar/named_lookup.h"
#include "calendar/property_ids.h"
#include "model/tags.h"
#include "calendar/recurrence_rule.h"
#include "calendar/rtf_text.h"
#include "text/codepage.h"
#include "rtf/compressed_rtf.h"

namespace pelmsg {

using namespace calendar_ids;

namespace {

constexpr uint32_t kRecipientOrganizer = 0x0002; // recipOrganizer in RECIPIENT_FLAGS
constexpr int64_t kStateMeeting = 0x0001; // asfMeeting in the appointment state flags
constexpr int64_t kStateCanceled = 0x0004; // asfCanceled
// Zones whose offset is not a multiple of this are not made up from two times.
constexpr int64_t kOffsetGranularitySeconds = int64_t { 15 } * 60;
constexpr int64_t kMaxZoneOffsetSeconds = int64_t { 14 } * 3600;

void Warn(std::vector<std::string>* warnings, std::string text)
{
    if (warnings)
        warnings->push_back(std::move(text));
}

std::string Hex(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 0x0F];
    }
    return out;
}

WideString Trimmed(WideString text)
{
    while (!text.empty() && text.back() <= u' ')
        text.pop_back();
    size_t start = 0;
    while (start < text.size() && text[start] <= u' ')
        ++start;
    return text.substr(start);
}

bool LooksLikeAddress(std::string_view text)
{
    const size_t at = text.find('@');
    return at != std::string_view::npos && at > 0 && at + 1 < text.size()
        && text.find_first_of(" \t/<>()\"") == std::string_view::npos;
}

// A name made of offsets, for a zone the item does not name: "UTC+09:00".
WideString OffsetName(int64_t offsetSeconds)
{
    const int64_t minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
    char text[16];
    std::snprintf(text, sizeof text, "UTC%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', static_cast<int>(minutes / 60),
        static_cast<int>(minutes % 60));
    return Utf8ToWide(text);
}

TTimeZone FixedZone(int64_t offsetSeconds)
{
    TTimeZone zone;
    zone.Name = OffsetName(offsetSeconds);
    TTimeZoneRule rule;
    rule.Bias = static_cast<int32_t>(-offsetSeconds / 60);
    zone.Rules.push_back(rule);
    return zone;
}

TParticipant RecipientRowParticipant(const TMSGProperties& row)
{
    TItemProperties p(row);
    TParticipant who;
    who.Name = Trimmed(p.Text(kIdDisplayName));
    if (who.Name.empty())
        who.Name = Trimmed(p.Text(kIdTransmittableDisplayName));
    std::string address = WideToUtf8(Trimmed(p.Text(kIdSmtpAddress)));
    if (address.empty()) {
        std::string type = WideToUtf8(p.Text(kIdAddressType));
        std::string email = WideToUtf8(Trimmed(p.Text(kIdEmailAddress)));
        if (EqualsIgnoringAsciiCase(type, "SMTP") || LooksLikeAddress(email))
            address = email;
    }
    if (address.empty())
        address = AddressInText(who.Name);
    who.Address = address;
    const int64_t type = TItemProperties::Integer(p.Find(kIdRecipientType)).value_or(1) & 0x0F;
    who.Role = type == 2 ? 2 : type == 3 ? 3 : 1;
    const int64_t track = TItemProperties::Integer(p.Find(kIdRecipientTrackStatus)).value_or(0);
    who.Response = track >= 2 && track <= 4 ? static_cast<int>(track) : 0;
    return who;
}

TParticipant SenderParticipant(const TMSGProperties& item)
{
    const TItemProperties props(item);
    TParticipant who;
    who.Name = Trimmed(props.Text(kIdSentRepresentingName));
    if (who.Name.empty())
        who.Name = Trimmed(props.Text(kIdSenderName));
    for (uint16_t id : { kIdSentRepresentingSmtpAddress, kIdSenderSmtpAddress })
        if (who.Address.empty())
            who.Address = WideToUtf8(Trimmed(props.Text(id)));
    const std::pair<uint16_t, uint16_t> typed[]
        = { { kIdSentRepresentingAddressType, kIdSentRepresentingEmailAddress },
              { kIdSenderAddressType, kIdSenderEmailAddress } };
    for (auto [typeId, addressId] : typed) {
        if (!who.Address.empty())
            break;
        std::string email = WideToUtf8(Trimmed(props.Text(addressId)));
        if (EqualsIgnoringAsciiCase(WideToUtf8(props.Text(typeId)), "SMTP") || LooksLikeAddress(email))
            who.Address = email;
    }
    if (who.Address.empty())
        who.Address = AddressInText(who.Name);
    return who;
}

class TAppointmentReader {
public:
    TAppointmentReader(const TMSGProperties& item, std::vector<std::string>* warnings)
        : item_(item)
        , props_(item)
        , warnings_(warnings)
    {
    }

    TAppointment Read()
    {
        TAppointment a;
        a.Kind = ItemKindOf(item_);
        a.CodePage = item_.TextCodePage();
        a.Subject = Summary(a.Kind);
        a.Location = props_.NamedText(kPsetidAppointment, kLidLocation);
        if (a.Location.empty())
            a.Location = props_.NamedText(kPsetidMeeting, kLidWhere);
        a.Description = ItemBodyText(item_);
        a.AllDay
            = TItemProperties::Boolean(props_.FindNamed(kPsetidAppointment, kLidAppointmentSubType)).value_or(false);
        a.Sequence = TItemProperties::Integer(props_.FindNamed(kPsetidAppointment, kLidAppointmentSequence));
        a.Sensitivity = TItemProperties::Integer(props_.Find(kIdSensitivity));
        a.Importance = TItemProperties::Integer(props_.Find(kIdImportance));
        a.BusyStatus = TItemProperties::Integer(props_.FindNamed(kPsetidAppointment, kLidBusyStatus));
        a.IntendedBusyStatus
            = TItemProperties::Integer(props_.FindNamed(kPsetidAppointment, kLidIntendedBusyStatus));
        if (a.IntendedBusyStatus && (*a.IntendedBusyStatus < 0 || *a.IntendedBusyStatus > 4))
            a.IntendedBusyStatus.reset(); // -1: none meant
        if (TItemProperties::Boolean(props_.FindNamed(kPsetidCommon, kLidReminderSet)).value_or(false)) {
            auto delta = TItemProperties::Integer(props_.FindNamed(kPsetidCommon, kLidReminderDelta));
            // Outlook writes 0x5AE980E1 ("no delta") into items without a reminder time.
            a.ReminderMinutes = delta && *delta >= 0 && *delta < 0x5AE980E1 ? *delta : 15;
        }
        const int64_t state
            = TItemProperties::Integer(props_.FindNamed(kPsetidAppointment, kLidAppointmentStateFlags)).value_or(0);
        a.Cancelled = (state & kStateCanceled) != 0 || a.Kind == TItemKind::MeetingCancellation;
        a.ResponseRequested = TItemProperties::Boolean(props_.Find(kIdResponseRequested)).value_or(false);
        a.RecurrenceText = props_.NamedText(kPsetidAppointment, kLidRecurrencePattern);
        a.TimeZoneDescription = props_.NamedText(kPsetidAppointment, kLidTimeZoneDescription);

        a.Created = TItemProperties::UtcTime(props_.Find(kIdCreationTime));
        a.LastModified = TItemProperties::UtcTime(props_.Find(kIdLastModificationTime));
        for (uint16_t id : { kIdClientSubmitTime, kIdLastModificationTime, kIdCreationTime, kIdMessageDeliveryTime }) {
            if ((a.Stamp = TItemProperties::UtcTime(props_.Find(id))))
                break;
        }
        // Meeting messages of some senders carry no message times, only when the meeting last changed.
        for (uint32_t lid : { kLidOwnerCriticalChange, kLidAttendeeCriticalChange }) {
            if (!a.Stamp)
                a.Stamp = TItemProperties::UtcTime(props_.FindNamed(kPsetidMeeting, lid));
        }

        ReadTimes(a);
        ReadParticipants(a);
        a.IsMeeting = (state & kStateMeeting) != 0 || a.Kind != TItemKind::Appointment || !a.Attendees.empty();
        ReadIdentity(a);
        return a;
    }

private:
    WideString Summary(TItemKind kind) const
    {
        // A response's subject starts with "Accepted:" and the like; the meeting's own title is the topic.
        const bool response = kind == TItemKind::MeetingAccepted || kind == TItemKind::MeetingDeclined
            || kind == TItemKind::MeetingTentative;
        const uint16_t responseOrder[] = { kIdConversationTopic, kIdNormalizedSubject, kIdSubject };
        const uint16_t order[] = { kIdSubject, kIdConversationTopic, kIdNormalizedSubject };
        for (uint16_t id : response ? responseOrder : order)
            if (WideString text = props_.Text(id); !text.empty())
                return text;
        return {};
    }

    std::optional<TTimeZone> Definition(uint32_t lid, const char* what) const
    {
        const TMSGProperty* node = props_.FindNamed(kPsetidAppointment, lid);
        if (!node)
            return std::nullopt;
        try {
            return ReadTimeZoneDefinition(TItemProperties::Bytes(node));
        } catch (const EFormatError& e) {
            Warn(warnings_, std::string("the ") + what + " time zone was left out: " + e.what());
            return std::nullopt;
        }
    }

    // The zone of the recurrence: its definition, unless that disagrees with the plain record older clients
    // keep up to date, which then wins.
    std::optional<TTimeZone> RecurrenceZone() const
    {
        std::optional<TTimeZone> definition = Definition(kLidTimeZoneDefinitionRecur, "recurrence's");
        std::optional<TTimeZoneRule> record;
        if (const TMSGProperty* node = props_.FindNamed(kPsetidAppointment, kLidTimeZoneStruct)) {
            try {
                record = ReadTimeZoneStruct(TItemProperties::Bytes(node));
            } catch (const EFormatError& e) {
                Warn(warnings_, std::string("the recurrence's time zone record was left out: ") + e.what());
            }
        }
        if (definition && record) {
            const TTimeZoneRule* effective = &definition->Rules.back();
            for (const TTimeZoneRule& rule : definition->Rules)
                if (rule.Flags & 0x0002)
                    effective = &rule;
            if (effective->SameClockAs(*record))
                return definition;
        } else if (definition) {
            return definition;
        }
        if (!record)
            return std::nullopt;
        TTimeZone zone;
        zone.Name = Trimmed(props_.NamedText(kPsetidAppointment, kLidTimeZoneDescription));
        if (zone.Name.empty() && definition)
            zone.Name = definition->Name;
        if (zone.Name.empty())
            zone.Name = OffsetName(record->StandardOffset());
        record->StartYear = 0;
        zone.Rules.push_back(*record);
        return zone;
    }

    std::optional<int64_t> Time(uint32_t lid) const
    {
        return TItemProperties::UtcTime(props_.FindNamed(kPsetidAppointment, lid));
    }

    void ReadTimes(TAppointment& a)
    {
        a.Start = Time(kLidAppointmentStartWhole);
        if (!a.Start)
            a.Start = TItemProperties::UtcTime(props_.Find(kIdStartDate));
        if (!a.Start)
            a.Start = TItemProperties::UtcTime(props_.FindNamed(kPsetidCommon, kLidCommonStart));
        a.End = Time(kLidAppointmentEndWhole);
        if (!a.End)
            a.End = TItemProperties::UtcTime(props_.Find(kIdEndDate));
        if (!a.End)
            a.End = TItemProperties::UtcTime(props_.FindNamed(kPsetidCommon, kLidCommonEnd));
        if (a.Start && !a.End) {
            auto minutes = TItemProperties::Integer(props_.FindNamed(kPsetidAppointment, kLidAppointmentDuration));
            a.End = *a.Start + (minutes && *minutes > 0 ? *minutes : 0) * kSecondsPerMinute;
        }
        if (a.Start && a.End && *a.End < *a.Start)
            a.End = a.Start;

        a.StartZone = Definition(kLidTimeZoneDefinitionStartDisplay, "start's");
        a.EndZone = Definition(kLidTimeZoneDefinitionEndDisplay, "end's");

        if (const TMSGProperty* node = props_.FindNamed(kPsetidAppointment, kLidAppointmentRecur)) {
            try {
                a.Recurrence = ReadAppointmentRecurrence(TItemProperties::Bytes(node));
            } catch (const EFormatError& e) {
                Warn(warnings_,
                    std::string("the recurrence was left out, only the first instance is written: ") + e.what());
            }
        }
        if (a.Recurrence) {
            a.RecurrenceZone = RecurrenceZone();
            if (!a.RecurrenceZone && a.Start) {
                // No zone record: the difference between the first instance's UTC start and its local start in the
                // recurrence is the zone's offset.
                const auto day = FirstInstanceDay(a.Recurrence->Pattern);
                const int64_t local = (day ? *day : a.Recurrence->Pattern.StartDate / kMinutesPerDay) * kSecondsPerDay
                    + a.Recurrence->StartTimeOffset * kSecondsPerMinute;
                const int64_t offset = local - *a.Start;
                if (offset % kOffsetGranularitySeconds == 0 && offset >= -kMaxZoneOffsetSeconds
                    && offset <= kMaxZoneOffsetSeconds)
                    a.RecurrenceZone = FixedZone(offset);
            }
        }
        if (!a.StartZone)
            a.StartZone = a.RecurrenceZone ? a.RecurrenceZone : RecurrenceZoneForSingle();
        if (!a.EndZone)
            a.EndZone = a.StartZone;
        // Definitions of one zone by the same name differ only in how much of its history they keep: the
        // longest stands for all, so that the file defines the zone once.
        std::optional<TTimeZone>* zones[] = { &a.StartZone, &a.EndZone, &a.RecurrenceZone };
        for (std::optional<TTimeZone>* zone : zones) {
            for (std::optional<TTimeZone>* other : zones) {
                if (*zone && *other && (*zone)->Name == (*other)->Name
                    && (*other)->Rules.size() > (*zone)->Rules.size())
                    **zone = **other;
            }
        }
    }

    // A single appointment without display zones may still carry the plain zone record.
    std::optional<TTimeZone> RecurrenceZoneForSingle() const
    {
        if (!props_.FindNamed(kPsetidAppointment, kLidTimeZoneStruct)
            && !props_.FindNamed(kPsetidAppointment, kLidTimeZoneDefinitionRecur))
            return std::nullopt;
        return RecurrenceZone();
    }

    static TParticipant ParticipantOf(const TMSGProperties& row) { return RecipientParticipant(row); }

    TParticipant Sender() const { return MessageSender(item_); }

    static void AddFromList(const WideString& list, int role, std::vector<TParticipant>& out)
    {
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t end = list.find(u';', pos);
            if (end == WideString::npos)
                end = list.size();
            WideString name = Trimmed(list.substr(pos, end - pos));
            if (!name.empty()) {
                TParticipant who;
                who.Name = name;
                who.Address = AddressInText(name);
                who.Role = role;
                out.push_back(who);
            }
            pos = end + 1;
        }
    }

    void ReadParticipants(TAppointment& a)
    {
        std::vector<TParticipant> recipients;
        for (const TMSGProperty* node : item_) {
            if (node->TagID != kTagRecipientRow)
                continue;
            TParticipant who = ParticipantOf(node->SubProperties);
            const int64_t flags
                = TItemProperties::Integer(TItemProperties(node->SubProperties).Find(kIdRecipientFlags)).value_or(0);
            if (flags & kRecipientOrganizer) {
                if (!a.Organizer)
                    a.Organizer = who;
                continue;
            }
            if (!who.Name.empty() || !who.Address.empty())
                recipients.push_back(who);
        }
        const bool response = a.Kind == TItemKind::MeetingAccepted || a.Kind == TItemKind::MeetingDeclined
            || a.Kind == TItemKind::MeetingTentative;
        if (response) {
            // A response goes from the attendee to the organizer.
            TParticipant replier = Sender();
            replier.Response = a.Kind == TItemKind::MeetingAccepted ? 3 : a.Kind == TItemKind::MeetingDeclined ? 4 : 2;
            a.Attendees.push_back(replier);
            if (!a.Organizer && !recipients.empty())
                a.Organizer = recipients.front();
            if (!a.Organizer) {
                std::vector<TParticipant> to;
                AddFromList(props_.Text(kIdDisplayTo), 1, to);
                if (!to.empty())
                    a.Organizer = to.front();
            }
            return;
        }
        a.Attendees = std::move(recipients);
        if (a.Attendees.empty()) {
            AddFromList(props_.NamedText(kPsetidAppointment, kLidToAttendeesString), 1, a.Attendees);
            AddFromList(props_.NamedText(kPsetidAppointment, kLidCcAttendeesString), 2, a.Attendees);
        }
        if (!a.Organizer && (a.Kind != TItemKind::Appointment || !a.Attendees.empty())) {
            TParticipant sender = Sender();
            if (!sender.Name.empty() || !sender.Address.empty())
                a.Organizer = sender;
        }
        if (!a.Organizer && (a.Kind == TItemKind::MeetingRequest || a.Kind == TItemKind::MeetingCancellation)) {
            // A request without its sender (TNEF leaves the sender to the mail around it) was last changed by
            // the one who sent it.
            TParticipant sender;
            sender.Address = AddressInText(props_.Text(kIdLastModifierName));
            if (!sender.Address.empty())
                a.Organizer = sender;
        }
    }

    void ReadIdentity(TAppointment& a)
    {
        ByteString id = TItemProperties::Bytes(props_.FindNamed(kPsetidMeeting, kLidCleanGlobalObjectId));
        ByteString instanceId = TItemProperties::Bytes(props_.FindNamed(kPsetidMeeting, kLidGlobalObjectId));
        if (id.empty())
            id = instanceId;
        if (!id.empty()) {
            a.Uid = UidFromGlobalObjectId(id);
        } else if (ByteString key = TItemProperties::Bytes(props_.Find(kIdSearchKey)); !key.empty()) {
            a.Uid = Hex(key);
        } else if (std::string legacy = WideToUtf8(Trimmed(props_.Text(kIdMessageIdLegacy))); LooksLikeToken(legacy)) {
            a.Uid = legacy;
        } else {
            a.Uid = StableUid(a);
        }
        // An instance of a recurring meeting: its date is in the global object id.
        if (instanceId.size() >= 20 && !a.Recurrence) {
            const int year
                = static_cast<unsigned char>(instanceId[16]) << 8 | static_cast<unsigned char>(instanceId[17]);
            const int month = static_cast<unsigned char>(instanceId[18]);
            const int day = static_cast<unsigned char>(instanceId[19]);
            if (year >= 1601 && year < 4500 && month >= 1 && month <= 12 && day >= 1
                && day <= DaysInMonth(year, month)) {
                if (auto replace = Time(kLidExceptionReplaceTime)) {
                    a.InstanceStart = *replace;
                } else {
                    a.InstanceStart = SecondsFrom1601(year, month, day);
                    a.InstanceIsDate = true;
                }
            }
        }
    }

    static bool LooksLikeToken(std::string_view text)
    {
        if (text.empty() || text.size() > 256)
            return false;
        for (char c : text)
            if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F)
                return false;
        return true;
    }

    // Made from what the item says, so that the same item always gets the same UID.
    static std::string StableUid(const TAppointment& a)
    {
        return HashedUid(WideToUtf8(a.Subject) + "\n" + std::to_string(a.Start.value_or(0)) + "\n"
            + std::to_string(a.End.value_or(0)) + "\n" + WideToUtf8(a.Location));
    }

    const TMSGProperties& item_;
    TItemProperties props_;
    std::vector<std::string>* warnings_;
};

} // namespace

TParticipant RecipientParticipant(const TMSGProperties& row) { return RecipientRowParticipant(row); }

TParticipant MessageSender(const TMSGProperties& item) { return SenderParticipant(item); }

TAppointment ReadAppointment(const TMSGProperties& item, std::vector<std::string>* warnings)
{
    return TAppointmentReader(item, warnings).Read();
}

WideString ItemBodyText(const TMSGProperties& item)
{
    TItemProperties props(item);
    WideString text = props.Text(kIdBody);
    if (text.empty()) {
        if (const TMSGProperty* node = props.Find(kIdRtfCompressed)) {
            ByteString bytes = ValueAsBytes(node->Value);
            if (HasCompressedRtfHeader(bytes))
                bytes = DecodeCompressedRtf(bytes).Text;
            text = PlainTextFromRtf(bytes, item.TextCodePage());
        }
    }
    size_t nul = text.find(u'\0');
    if (nul != WideString::npos)
        text.resize(nul);
    while (
        !text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ' || text.back() == u'\t'))
        text.pop_back();
    return text;
}

std::string AddressInText(const WideString& text)
{
    const std::string utf8 = WideToUtf8(text);
    for (auto [open, close] : { std::pair<char, char> { '<', '>' }, std::pair<char, char> { '(', ')' } }) {
        const size_t b = utf8.rfind(open);
        const size_t e = b == std::string::npos ? std::string::npos : utf8.find(close, b);
        if (e != std::string::npos) {
            std::string inner = utf8.substr(b + 1, e - b - 1);
            if (inner.rfind("mailto:", 0) == 0 || inner.rfind("MAILTO:", 0) == 0)
                inner = inner.substr(7);
            if (LooksLikeAddress(inner))
                return inner;
        }
    }
    return LooksLikeAddress(utf8) ? utf8 : std::string();
}

std::string HashedUid(std::string_view text)
{
    uint64_t hash = 0xCBF29CE484222325ULL; // FNV-1a
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ULL;
    }
    char uid[40];
    std::snprintf(uid, sizeof uid, "%016llX@tessaly", static_cast<unsigned long long>(hash));
    return uid;
}

std::string UidFromGlobalObjectId(const ByteString& id)
{
    static const std::string_view kVCalMarker("vCal-Uid\x01\x00\x00\x00", 12);
    constexpr size_t kDataOffset = 40;
    if (id.size() > kDataOffset + kVCalMarker.size()
        && std::string_view(id).substr(kDataOffset, kVCalMarker.size()) == kVCalMarker) {
        std::string uid = id.substr(kDataOffset + kVCalMarker.size());
        size_t nul = uid.find('\0');
        if (nul != std::string::npos)
            uid.resize(nul);
        if (!uid.empty())
            return uid;
    }
    ByteString clean = id;
    for (size_t i = 16; i < 20 && i < clean.size(); ++i)
        clean[i] = '\0';
    return Hex(clean);
}

} // namespace pelmsg
