#include "calendar/vcard_writer.h"

#include <algorithm>

#include "text/ascii_case.h"
#include "calendar/appointment.h"
#include "calendar/civil_time.h"
#include "calendar/content_line.h"
#include "calendar/item_kind.h"
#include "calendar/named_lookup.h"
#include "calendar/property_ids.h"
#include "model/tags.h"
#include "text/codepage.h"
#include "core/texts.h"
#include "core/stream.h"
#include "model/message.h"
#include "text/base64.h"
#include "export/writer_support.h"

namespace pelmsg {

using namespace calendar_ids;

namespace {

// Tagged properties of contacts.
constexpr uint16_t kGeneration = 0x3A05;
constexpr uint16_t kGivenName = 0x3A06;
constexpr uint16_t kSurname = 0x3A11;
constexpr uint16_t kMiddleName = 0x3A44;
constexpr uint16_t kDisplayNamePrefix = 0x3A45;
constexpr uint16_t kNickname = 0x3A4F;
constexpr uint16_t kCompanyName = 0x3A16;
constexpr uint16_t kDepartmentName = 0x3A18;
constexpr uint16_t kTitle = 0x3A17;
constexpr uint16_t kProfession = 0x3A46;
constexpr uint16_t kBirthday = 0x3A42;
constexpr uint16_t kWeddingAnniversary = 0x3A41;
constexpr uint16_t kBusinessHomePage = 0x3A51;
constexpr uint16_t kPersonalHomePage = 0x3A50;
constexpr uint16_t kGender = 0x3A4D;
constexpr uint16_t kSpouseName = 0x3A48;
constexpr uint16_t kAssistant = 0x3A30;

// PSETID_Address.
constexpr uint32_t kLidFileUnder = 0x8005;
constexpr uint32_t kLidPostalAddressId = 0x8022;
constexpr uint32_t kLidHtml = 0x802B;
constexpr uint32_t kLidBirthdayLocal = 0x80DE;
constexpr uint32_t kLidWeddingAnniversaryLocal = 0x80DF;

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
    explicit TVCardWriter(const TMSGProperties& item)
        : item_(item)
        , p_(item)
    {
    }

    std::string Write()
    {
        out_.Line("BEGIN", "VCARD");
        out_.Line("VERSION", "4.0");
        out_.Line("PRODID", std::string("-//Corvane Software//PelMsg suite ") + kLibraryVersion + "//EN");
        Names();
        Organisation();
        Emails();
        Phones();
        Addresses();
        Dates();
        Web();
        if (WideString note = ItemBodyText(item_); !note.empty())
            out_.Line("NOTE", Value(note));
        Photo();
        out_.Line("END", "VCARD");
        return out_.Text();
    }

private:
    WideString Text(uint16_t id) const { return p_.Text(id); }
    WideString Named(uint32_t lid) const { return p_.NamedText(kPsetidAddress, lid); }

    void Names()
    {
        const WideString given = Text(kGivenName), family = Text(kSurname), middle = Text(kMiddleName),
                         prefix = Text(kDisplayNamePrefix), suffix = Text(kGeneration);
        WideString full = Text(kIdDisplayName);
        if (full.empty())
            full = Named(kLidFileUnder);
        if (full.empty()) {
            for (const WideString* part : { &prefix, &given, &middle, &family, &suffix })
                if (!part->empty())
                    full += (full.empty() ? u"" : u" ") + *part;
        }
        if (full.empty())
            full = Text(kCompanyName);
        if (full.empty())
            full = Text(kIdSubject);
        out_.Line("FN", Value(full));
        out_.Line(
            "N", Value(family) + ";" + Value(given) + ";" + Value(middle) + ";" + Value(prefix) + ";" + Value(suffix));
        if (WideString nick = Text(kNickname); !nick.empty())
            out_.Line("NICKNAME", Value(nick));
        const int64_t gender = TItemProperties::Integer(p_.Find(kGender)).value_or(0);
        if (gender == 1 || gender == 2)
            out_.Line("GENDER", gender == 1 ? "F" : "M");
    }

    void Organisation()
    {
        const WideString company = Text(kCompanyName), department = Text(kDepartmentName);
        if (!company.empty() || !department.empty())
        {
            std::string organisation = Value(company);
            if (!department.empty())
                organisation.append(";").append(Value(department));
            out_.Line("ORG", organisation);
        }
        if (WideString title = Text(kTitle); !title.empty())
            out_.Line("TITLE", Value(title));
        if (WideString role = Text(kProfession); !role.empty())
            out_.Line("ROLE", Value(role));
        if (WideString spouse = Text(kSpouseName); !spouse.empty())
            out_.Line("RELATED;TYPE=spouse;VALUE=text", Value(spouse));
        if (WideString assistant = Text(kAssistant); !assistant.empty())
            out_.Line("RELATED;TYPE=agent;VALUE=text", Value(assistant));
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
            out_.Line("EMAIL;PREF=" + std::to_string(preference++), EscapeText(address));
        }
    }

    void Phones()
    {
        for (const TPhone& phone : kPhones) {
            const WideString number = Text(phone.Id);
            if (!number.empty())
                out_.Line(std::string("TEL;VALUE=text;TYPE=") + phone.Types, Value(number));
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
        out_.Line(std::string("ADR;TYPE=") + type + (preferred ? ";PREF=1" : ""), value);
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
        if (auto birthday = Day(kLidBirthdayLocal, kBirthday))
            out_.Line("BDAY", FormatCivilDate(*birthday * kSecondsPerDay));
        if (auto anniversary = Day(kLidWeddingAnniversaryLocal, kWeddingAnniversary))
            out_.Line("ANNIVERSARY", FormatCivilDate(*anniversary * kSecondsPerDay));
    }

    void Web()
    {
        WideString work = Named(kLidHtml);
        if (work.empty())
            work = Text(kBusinessHomePage);
        if (!work.empty())
            out_.Line("URL;TYPE=work", Value(work));
        if (WideString home = Text(kPersonalHomePage); !home.empty() && home != work)
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
            out_.Line(
                "PHOTO", "data:" + MediaTypeOf(bytes, WideToUtf8(a.Text(kIdAttachMimeTag))) + ";base64," + base64);
            return;
        }
    }

    const TMSGProperties& item_;
    TItemProperties p_;
    TContentLines out_;
};

} // namespace

std::string VCardText(const TMSGProperties& message)
{
    const TMSGProperties* item = VCardItem(message);
    if (!item)
        throw EWrongItemKind(
            "The message is " + ItemKindText(ItemKindOf(message)) + ", not a contact; it cannot be saved as a vCard.");
    return TVCardWriter(*item).Write();
}

void SaveToVCard(const TMSGProperties& message, TStream& stream)
{
    const std::string text = VCardText(message);
    stream.WriteBuffer(text.data(), text.size());
}

void SaveToVCardFile(const TMSGProperties& message, const std::string& fileName)
{
    const std::string text = VCardText(message);
    SaveThroughTemporaryFile(
        fileName, [&](TStream& file) { file.WriteBuffer(text.data(), text.size()); }, SaveOptionsFor(message));
}

} // namespace pelmsg
