#include "calendar/vcard_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "calendar/appointment.h"
#include "calendar/civil_time.h"
#include "calendar/content_line.h"
#include "calendar/item_kind.h"
#include "calendar/named_lookup.h"
#include "calendar/property_ids.h"
#include "core/stream.h"
#include "core/texts.h"
#include "export/writer_support.h"
#include "model/message.h"
#include "model/tags.h"
#include "msg/named_properties.h"
#include "text/ascii_case.h"
#include "text/base64.h"
#include "text/codepage.h"

namespace pelmsg {

using namespace calendar_ids;

namespace {

// Tagged identifiers.
constexpr uint16_t kEntryId = 0x0FFF;
// A distribution list names at most this many members; the rest are left out.
constexpr size_t kMaxListMembers = 10000;

// The provider of one-off entry ids ({A41F2B81-A3BE-1910-9D6E-00DD010F5402}, as stored).
constexpr std::array<uint8_t, 16> kOneOffProvider
    = { 0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02 };

std::string HexOf(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 0x0F];
    }
    return out;
}

// The e-mail address of a one-off entry id (flags, provider, version, flags, then the display name, address type
// and address, UTF-16 when the second flags say so); empty when the bytes are none or the type is not SMTP.
std::string OneOffAddress(std::string_view id)
{
    if (id.size() < 24 || std::memcmp(id.data() + 4, kOneOffProvider.data(), 16) != 0)
        return {};
    const bool wide = (static_cast<unsigned char>(id[23]) & 0x80) != 0;
    size_t at = 24;
    WideString fields[3];
    for (WideString& field : fields) {
        if (wide) {
            for (; at + 1 < id.size(); at += 2) {
                const auto c = static_cast<char16_t>(static_cast<unsigned char>(id[at])
                    | static_cast<unsigned char>(id[at + 1]) << 8);
                if (c == 0)
                    break;
                field += c;
            }
            at += 2;
        } else {
            const size_t end = std::min(id.find('\0', at), id.size());
            field = CodePageToWide(id.substr(at, end - at), kDefaultMessageCodePage);
            at = end + 1;
        }
        if (at > id.size())
            return {};
    }
    const std::string type = WideToUtf8(fields[1]), address = WideToUtf8(fields[2]);
    const bool smtp = EqualsIgnoringAsciiCase(type, "SMTP") || AddressInText(fields[2]) == address;
    return smtp && address.find('@') != std::string::npos ? address : std::string();
}

struct TEmailIds {
    uint32_t DisplayName, AddressType, Address, OriginalDisplayName;
};
constexpr TEmailIds kEmails[] = {
    { 0x8080, 0x8082, 0x8083, 0x8084 },
    { 0x8090, 0x8092, 0x8093, 0x8094 },
    { 0x80A0, 0x80A2, 0x80A3, 0x80A4 },
};

struct TPhone {
    uint16_t Id;
    const char* Types;
};
constexpr TPhone kPhones[] = {
    { 0x3A1A, "voice" }, // primary
    { 0x3A08, "work,voice" }, // business
    { 0x3A1B, "work,voice" }, // business 2
    { 0x3A57, "work,voice" }, // company main
    { 0x3A09, "home,voice" }, // home
    { 0x3A2F, "home,voice" }, // home 2
    { 0x3A1C, "cell,voice" }, // mobile
    { 0x3A1E, "voice" }, // car
    { 0x3A1F, "voice" }, // other
    { 0x3A2E, "voice" }, // assistant
    { 0x3A02, "voice" }, // callback
    { 0x3A1D, "voice" }, // radio
    { 0x3A2D, "voice" }, // ISDN
    { 0x3A21, "pager" }, // pager
    { 0x3A4B, "textphone" }, // TTY/TDD
    { 0x3A24, "work,fax" }, // business fax
    { 0x3A25, "home,fax" }, // home fax
    { 0x3A23, "fax" }, // primary fax
    { 0x3A2C, "x-telex" }, // telex
};

// A postal address: by tagged identifier or, for the work address, by named property number.
struct TAddressIds {
    uint32_t PostOfficeBox, Street, City, Region, PostalCode, Country;
};
constexpr TAddressIds kHomeAddress = { 0x3A5E, 0x3A5D, 0x3A59, 0x3A5C, 0x3A5B, 0x3A5A };
constexpr TAddressIds kOtherAddress = { 0x3A64, 0x3A63, 0x3A5F, 0x3A62, 0x3A61, 0x3A60 };
constexpr TAddressIds kBusinessAddress = { 0x3A2B, 0x3A29, 0x3A27, 0x3A28, 0x3A2A, 0x3A26 };
constexpr TAddressIds kWorkAddressNamed = { 0x804A, 0x8045, 0x8046, 0x8047, 0x8048, 0x8049 };

bool LooksLikeAddress(const std::string& text) { return AddressInText(Utf8ToWide(text)) == text; }

std::string Value(const WideString& text) { return EscapeText(WideToUtf8(text)); }

std::string MediaTypeOf(std::string_view bytes, const std::string& declared)
{
    auto starts = [&](std::string_view magic) { return bytes.substr(0, magic.size()) == magic; };
    if (starts("\xFF\xD8\xFF"))
        return "image/jpeg";
    if (starts("\x89PNG"))
        return "image/png";
    if (starts("GIF8"))
        return "image/gif";
    if (starts("BM"))
        return "image/bmp";
    bool token = !declared.empty() && declared.find('/') != std::string::npos;
    for (char c : declared)
        token = token && static_cast<unsigned char>(c) > ' ' && c != ';' && c != ','
            && static_cast<unsigned char>(c) < 0x7F;
    return token ? LowerAscii(declared) : "application/octet-stream";
}

class TVCardWriter {
public:
    TVCardWriter(const TMSGProperties& item, const TVCardOptions& options)
        : item_(item)
        , p_(item)
        , v3_(options.Version == 3)
    {
    }

    std::string Write()
    {
        out_.Line("BEGIN", "VCARD");
        out_.Line("VERSION", v3_ ? "3.0" : "4.0");
        out_.Line("PRODID", std::string("-//Corvane Software//PelMsg suite ") + kLibraryVersion + "//EN");
        out_.Line("UID", EscapeText(Uid()));
        if (ItemKindOf(item_) == TItemKind::DistributionList)
            return Group();
        Names();
        Organisation();
        Emails();
        Phones();
        Addresses();
        Dates();
        Web();
        Categories();
        if (WideString note = ItemBodyText(item_); !note.empty())
            out_.Line("NOTE", Value(note));
        Revision();
        Photo();
        out_.Line("END", "VCARD");
        return out_.Text();
    }

private:
    // The contact's identity: its search key or entry id, else a hash of what it says (the same for the same
    // contact), so that address books that require a UID take it and a second import replaces the first.
    std::string Uid() const
    {
        for (uint16_t id : { kIdSearchKey, kEntryId })
            if (ByteString bytes = TItemProperties::Bytes(p_.Find(id)); !bytes.empty())
                return HexOf(bytes.substr(0, 256));
        return HashedUid(WideToUtf8(Text(kIdDisplayName) + u"\n" + Text(kIdSubject) + u"\n" + Named(kEmails[0].Address)));
    }

    // A distribution list: a group whose members are those with an e-mail address.
    std::string Group()
    {
        WideString name = Named(kLidDistributionListName);
        if (name.empty())
            name = Text(kIdDisplayName);
        if (name.empty())
            name = Text(kIdSubject);
        if (v3_)
            out_.Line("X-ADDRESSBOOKSERVER-KIND", "group");
        else
            out_.Line("KIND", "group");
        out_.Line("FN", Value(name));
        if (v3_)
            out_.Line("N", Value(name) + ";;;;");
        std::vector<std::string> seen;
        for (uint32_t lid : { kLidDistributionListOneOffMembers, kLidDistributionListMembers }) {
            for (const TMSGProperty* node : NamedValues(lid)) {
                if (seen.size() >= kMaxListMembers)
                    break;
                const std::string address = OneOffAddress(TItemProperties::Bytes(node));
                if (address.empty() || std::find(seen.begin(), seen.end(), address) != seen.end())
                    continue;
                seen.push_back(address);
                out_.Line(v3_ ? "X-ADDRESSBOOKSERVER-MEMBER" : "MEMBER", "mailto:" + address);
            }
        }
        Categories();
        if (WideString note = ItemBodyText(item_); !note.empty())
            out_.Line("NOTE", Value(note));
        Revision();
        out_.Line("END", "VCARD");
        return out_.Text();
    }

    // Every value of a (multi-valued) named property of the address set: one node per value.
    std::vector<const TMSGProperty*> NamedValues(uint32_t lid) const
    {
        std::vector<const TMSGProperty*> nodes;
        const TMSGProperty* first = p_.FindNamed(kPsetidAddress, lid);
        if (!first)
            return nodes;
        for (const TMSGProperty* node : first->Collection() ? *first->Collection() : item_)
            if (node->NamedId && *node->NamedId == *first->NamedId)
                nodes.push_back(node);
        if (nodes.empty())
            nodes.push_back(first);
        return nodes;
    }

    void Categories()
    {
        std::string list;
        for (const TMSGProperty* node : item_) {
            if (!node->NamedId || !node->NamedId->IsString || node->NamedId->Guid != kPsPublicStrings
                || node->NamedId->Name != u"Keywords")
                continue;
            const WideString text = TItemProperties::Text(node);
            if (text.empty())
                continue;
            if (!list.empty())
                list += ',';
            list += Value(text);
        }
        if (!list.empty())
            out_.Line("CATEGORIES", list);
    }

    void Revision()
    {
        if (auto changed = TItemProperties::UtcTime(p_.Find(kIdLastModificationTime)))
            out_.Line("REV", FormatCivilDateTime(*changed) + "Z");
    }

    WideString Text(uint16_t id) const { return p_.Text(id); }
    WideString Named(uint32_t lid) const { return p_.NamedText(kPsetidAddress, lid); }

    void Names()
    {
        const WideString given = Text(kIdGivenName), family = Text(kIdSurname), middle = Text(kIdMiddleName),
                         prefix = Text(kIdDisplayNamePrefix), suffix = Text(kIdGeneration);
        WideString full = Text(kIdDisplayName);
        if (full.empty())
            full = Named(kLidFileUnder);
        if (full.empty()) {
            for (const WideString* part : { &prefix, &given, &middle, &family, &suffix })
                if (!part->empty())
                    full += (full.empty() ? u"" : u" ") + *part;
        }
        if (full.empty())
            full = Text(kIdCompanyName);
        if (full.empty())
            full = Text(kIdSubject);
        out_.Line("FN", Value(full));
        out_.Line(
            "N", Value(family) + ";" + Value(given) + ";" + Value(middle) + ";" + Value(prefix) + ";" + Value(suffix));
        if (WideString nick = Text(kIdNickname); !nick.empty())
            out_.Line("NICKNAME", Value(nick));
        const int64_t gender = TItemProperties::Integer(p_.Find(kIdGender)).value_or(0);
        if (gender == 1 || gender == 2)
            out_.Line(v3_ ? "X-GENDER" : "GENDER", gender == 1 ? (v3_ ? "Female" : "F") : (v3_ ? "Male" : "M"));
    }

    void Organisation()
    {
        const WideString company = Text(kIdCompanyName), department = Text(kIdDepartmentName);
        if (!company.empty() || !department.empty())
        {
            std::string organisation = Value(company);
            if (!department.empty())
                organisation.append(";").append(Value(department));
            out_.Line("ORG", organisation);
        }
        if (WideString title = Text(kIdTitle); !title.empty())
            out_.Line("TITLE", Value(title));
        if (WideString role = Text(kIdProfession); !role.empty())
            out_.Line("ROLE", Value(role));
        if (WideString spouse = Text(kIdSpouseName); !spouse.empty())
            out_.Line(v3_ ? "X-SPOUSE" : "RELATED;TYPE=spouse;VALUE=text", Value(spouse));
        if (WideString assistant = Text(kIdAssistant); !assistant.empty())
            out_.Line(v3_ ? "X-ASSISTANT" : "RELATED;TYPE=agent;VALUE=text", Value(assistant));
    }

    void Emails()
    {
        int preference = 1;
        std::vector<std::string> seen;
        for (const TEmailIds& ids : kEmails) {
            std::string address = WideToUtf8(Named(ids.Address));
            const std::string type = WideToUtf8(Named(ids.AddressType));
            if (!(EqualsIgnoringAsciiCase(type, "SMTP") || LooksLikeAddress(address))) {
                // An Exchange address is no e-mail address; the original display name often holds the SMTP one.
                address = AddressInText(Named(ids.OriginalDisplayName));
                if (address.empty())
                    address = AddressInText(Named(ids.DisplayName));
            }
            if (address.empty() || std::find(seen.begin(), seen.end(), address) != seen.end())
                continue;
            seen.push_back(address);
            if (v3_)
                out_.Line(preference++ == 1 ? "EMAIL;TYPE=INTERNET,pref" : "EMAIL;TYPE=INTERNET", EscapeText(address));
            else
                out_.Line("EMAIL;PREF=" + std::to_string(preference++), EscapeText(address));
        }
    }

    void Phones()
    {
        for (const TPhone& phone : kPhones) {
            const WideString number = Text(phone.Id);
            if (!number.empty())
                out_.Line(std::string(v3_ ? "TEL;TYPE=" : "TEL;VALUE=text;TYPE=") + phone.Types, Value(number));
        }
    }

    WideString AddressPart(uint32_t id, bool named) const
    {
        return named ? Named(id) : Text(static_cast<uint16_t>(id));
    }

    bool Address(const TAddressIds& ids, bool named, const char* type, bool preferred)
    {
        const WideString parts[]
            = { AddressPart(ids.PostOfficeBox, named), AddressPart(ids.Street, named), AddressPart(ids.City, named),
                  AddressPart(ids.Region, named), AddressPart(ids.PostalCode, named), AddressPart(ids.Country, named) };
        bool any = false;
        for (const WideString& part : parts)
            any = any || !part.empty();
        if (!any)
            return false;
        // post office box; extended address; street; locality; region; postal code; country
        std::string value = Value(parts[0]) + ";;" + Value(parts[1]) + ";" + Value(parts[2]) + ";" + Value(parts[3])
            + ";" + Value(parts[4]) + ";" + Value(parts[5]);
        out_.Line(std::string("ADR;TYPE=") + type + (preferred ? (v3_ ? ",pref" : ";PREF=1") : ""), value);
        return true;
    }

    void Addresses()
    {
        const int64_t mailing = TItemProperties::Integer(p_.FindNamed(kPsetidAddress, kLidPostalAddressId)).value_or(0);
        Address(kHomeAddress, false, "home", mailing == 1);
        if (!Address(kWorkAddressNamed, true, "work", mailing == 2))
            Address(kBusinessAddress, false, "work", mailing == 2);
        Address(kOtherAddress, false, "x-other", mailing == 3);
    }

    // A date of the contact: the local-day property (midnight stored as if UTC), else the plain one (a local
    // midnight in UTC).
    std::optional<int64_t> Day(uint32_t localLid, uint16_t id) const
    {
        auto moment = TItemProperties::UtcTime(p_.FindNamed(kPsetidAddress, localLid));
        if (!moment)
            moment = TItemProperties::UtcTime(p_.Find(id));
        if (!moment)
            return std::nullopt;
        return (*moment + kSecondsPerDay / 2) / kSecondsPerDay;
    }

    void Dates()
    {
        if (auto birthday = Day(kLidBirthdayLocal, kIdBirthday))
            out_.Line("BDAY", FormatCivilDate(*birthday * kSecondsPerDay));
        if (auto anniversary = Day(kLidWeddingAnniversaryLocal, kIdWeddingAnniversary))
            out_.Line(v3_ ? "X-ANNIVERSARY" : "ANNIVERSARY", FormatCivilDate(*anniversary * kSecondsPerDay));
    }

    void Web()
    {
        WideString work = Named(kLidHtml);
        if (work.empty())
            work = Text(kIdBusinessHomePage);
        if (!work.empty())
            out_.Line("URL;TYPE=work", Value(work));
        if (WideString home = Text(kIdPersonalHomePage); !home.empty() && home != work)
            out_.Line("URL;TYPE=home", Value(home));
    }

    void Photo()
    {
        for (int i = 0; i < item_.AttachmentCount(); ++i) {
            const TMSGProperty* attachment = item_.Attachments(i);
            if (!attachment)
                continue;
            TItemProperties a(attachment->SubProperties);
            if (!TItemProperties::Boolean(a.Find(kIdAttachmentContactPhoto)).value_or(false))
                continue;
            const TMSGProperty* data = attachment->AttachmentDataNode();
            if (!data)
                continue;
            ByteString bytes = ValueAsBytes(data->Value);
            if (data->DataSize < bytes.size())
                bytes.resize(data->DataSize);
            if (bytes.empty())
                continue;
            std::string base64 = EncodeBase64(bytes);
            std::erase(base64, '\r');
            std::erase(base64, '\n');
            const std::string type = MediaTypeOf(bytes, WideToUtf8(a.Text(kIdAttachMimeTag)));
            if (v3_) {
                const size_t slash = type.find('/');
                std::string subtype = UpperAscii(slash == std::string::npos ? type : type.substr(slash + 1));
                out_.Line("PHOTO;ENCODING=b;TYPE=" + subtype, base64);
            } else {
                out_.Line("PHOTO", "data:" + type + ";base64," + base64);
            }
            return;
        }
    }

    const TMSGProperties& item_;
    TItemProperties p_;
    bool v3_;
    TContentLines out_;
};

} // namespace

std::string VCardText(const TMSGProperties& message, const TVCardOptions& options)
{
    const TMSGProperties* item = VCardItem(message);
    if (!item)
        throw EWrongItemKind("The message is " + ItemKindText(ItemKindOf(message))
            + ", not a contact or distribution list; it cannot be saved as a vCard.");
    return TVCardWriter(*item, options).Write();
}

void SaveToVCard(const TMSGProperties& message, TStream& stream, const TVCardOptions& options)
{
    const std::string text = VCardText(message, options);
    stream.WriteBuffer(text.data(), text.size());
}

void SaveToVCardFile(const TMSGProperties& message, const std::string& fileName, const TVCardOptions& options)
{
    const std::string text = VCardText(message, options);
    SaveThroughTemporaryFile(
        fileName, [&](TStream& file) { file.WriteBuffer(text.data(), text.size()); }, SaveOptionsFor(message));
}

} // namespace pelmsg
