// The message fields of a property collection: which tags are consulted, in which order and where.

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/message.h"
#include "model/property.h"
#include "rtf/compressed_rtf.h"
#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/mail_date.h"
#include "text/meta_charset.h"

namespace pelmsg {

namespace {

// The first non-empty text among the tags, each looked up by whole tag.
WideString FirstText(const TMSGProperties& c, std::initializer_list<uint32_t> tags, bool recursive)
{
    for (uint32_t tag : tags) {
        WideString text = c.GetPropertyText(tag, false, recursive);
        if (!text.empty())
            return text;
    }
    return {};
}

void DeleteFirstNul(WideString& text)
{
    size_t nul = text.find(u'\0');
    if (nul != WideString::npos)
        text.erase(nul, 1);
}

// The charset an HTML document declares in a meta tag ("charset=xyz" or charset="xyz"), in lower case, or empty.
std::string DeclaredHtmlCharset(std::string_view html)
{
    const auto [from, stop] = MetaCharsetSpan(html);
    return from == std::string_view::npos ? std::string() : LowerAscii(html.substr(from, stop - from));
}

} // namespace

WideString TMSGProperties::Subject() const
{
    return FirstText(*this,
        { MakeTag(kIdSubject, PT_UNICODE), MakeTag(kIdSubject, PT_STRING8), MakeTag(kIdConversationTopic, PT_STRING8) },
        !IsTopLevel());
}

WideString TMSGProperties::PlainBody() const
{
    return FirstText(*this, { MakeTag(kIdBody, PT_UNICODE), MakeTag(kIdBody, PT_STRING8) }, !IsTopLevel());
}

WideString TMSGProperties::HtmlBody() const
{
    const TMSGProperty* node = FindProperty(MakeTag(kIdBodyHtml, 0), true, !IsTopLevel());
    if (!node)
        return {};
    return node->ValueText();
}

int32_t TMSGProperty::ValueCodePage() const
{
    if (!collection_)
        return kDefaultMessageCodePage;
    const auto* bytes = std::get_if<ByteString>(&Value);
    if (!bytes || PropId(TagID) != kIdBodyHtml)
        return collection_->TextCodePage();
    // An HTML body stored as bytes is in the charset its meta tag declares, else in the code page of the message's
    // Internet form. Bytes cannot be UTF-16 or UTF-32 text (their declaration was made for the text before it was
    // stored as bytes): such a declaration counts as none.
    int32_t declared = CodePageOfMimeCharset(DeclaredHtmlCharset(*bytes));
    if (declared == 1200 || declared == 1201 || declared == 12000 || declared == 12001)
        declared = 0;
    return declared != 0 && IsCodePageSupported(declared) ? declared : collection_->HtmlCodePage();
}

WideString TMSGProperties::RtfBody() const
{
    const TMSGProperty* node = FindProperty(MakeTag(kIdRtfCompressed, 0), true, !IsTopLevel());
    if (!node)
        return {};
    WideString text;
    const auto* bytes = std::get_if<ByteString>(&node->Value);
    if (bytes && HasCompressedRtfHeader(*bytes)) {
        // A TNEF tree keeps the stored (compressed) bytes; the body is their decompressed text.
        text = CodePageToWide(DecodeCompressedRtf(*bytes).Text, node->Collection()->TextCodePage());
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
    } else {
        text = node->ValueText();
    }
    // RTF text is RTF: "&lt;" or "&#65;" in it are characters of the message, never HTML to unescape.
    return text;
}

ByteString TMSGProperties::RtfBodyBytes() const
{
    const TMSGProperty* node = FindProperty(MakeTag(kIdRtfCompressed, 0), true, !IsTopLevel());
    if (!node)
        return {};
    const auto* bytes = std::get_if<ByteString>(&node->Value);
    if (!bytes)
        return WideToAnsi(node->ValueText());
    ByteString text = HasCompressedRtfHeader(*bytes) ? DecodeCompressedRtf(*bytes).Text : *bytes;
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

WideString TMSGProperties::TransportHeaders() const
{
    return FirstText(*this,
        { MakeTag(kIdTransportMessageHeaders, PT_STRING8), MakeTag(kIdTransportMessageHeaders, PT_UNICODE) },
        !IsTopLevel());
}

WideString TMSGProperties::MessageId() const
{
    return GetPropertyText(MakeTag(kIdInternetMessageId, 0), true, !IsTopLevel());
}

double TMSGProperties::SentDate() const
{
    WideString headers = TrimControls(TransportHeaders());
    if (!headers.empty()) {
        size_t pos = 0;
        while (pos <= headers.size()) {
            size_t end = headers.find_first_of(u"\r\n", pos);
            if (end == WideString::npos)
                end = headers.size();
            WideString line = headers.substr(pos, end - pos);
            if (line.compare(0, 5, u"Date:") == 0) {
                // Only the first "Date:" line counts; an impossible date there counts as no date.
                double parsed = ParseMailDate(TrimControls(line.substr(5)));
                if (parsed != 0)
                    return parsed;
                break;
            }
            if (end >= headers.size())
                break;
            pos = end + 1;
            if (headers[end] == u'\r' && pos < headers.size() && headers[pos] == u'\n')
                ++pos;
        }
    }
    for (uint32_t tag : { MakeTag(kIdClientSubmitTime, PT_SYSTIME), MakeTag(kIdOriginalSubmitTime, PT_SYSTIME),
             MakeTag(kIdMessageDeliveryTime, PT_SYSTIME), MakeTag(kIdOriginalDeliveryTime, PT_SYSTIME),
             MakeTag(kIdProviderSubmitTime, PT_SYSTIME), MakeTag(kIdLastModificationTime, PT_SYSTIME),
             MakeTag(kIdCreationTime, PT_SYSTIME), MakeTag(kIdDeferredDeliveryTime, PT_SYSTIME) }) {
        if (const TMSGProperty* node = FindProperty(tag, false, true))
            return ValueAsDouble(node->Value);
    }
    return 0;
}

uint8_t TMSGProperties::ImportanceLevel() const
{
    // The scale runs from 0 (lowest) over 2 (normal) to 4 (highest). PRIORITY counts -1 (not urgent) to 1 (urgent)
    // and is taken as far as -2 and 2, the lowest and highest levels; IMPORTANCE counts 0 (low) to 2 (high). Both
    // are shifted onto the scale; a value outside its range counts as the nearest end, not as some other level.
    if (const TMSGProperty* priority = FindProperty(kTagPriority, false, true))
        return static_cast<uint8_t>(std::clamp<int64_t>(ValueAsInteger(priority->Value), -2, 2) + 2);
    if (const TMSGProperty* importance = FindProperty(kTagImportance, false, true))
        return static_cast<uint8_t>(std::clamp<int64_t>(ValueAsInteger(importance->Value), 0, 2) + 1);
    return 2;
}

int32_t TMSGProperties::CodePage() const
{
    for (uint32_t tag : { kTagMessageCodePage, kTagInternetCodePage }) {
        if (const TMSGProperty* node = FindProperty(tag, false, true))
            return IsNumeric(node->Value) ? static_cast<int32_t>(ValueAsInteger(node->Value)) : 0;
    }
    if (!IsTopLevel()) {
        if (owner_)
            return owner_->Properties().CodePage();
        const TMSGProperties& root = Root();
        if (&root != this)
            return root.CodePage();
    }
    return 0;
}

ByteString TMSGProperties::Charset() const
{
    int32_t cp = CodePage();
    for (const auto& row : CharsetCodePages)
        if (row.CodePage == cp)
            return row.Name;
    return "windows-" + std::to_string(cp);
}

WideString TMSGProperties::SenderAddress() const
{
    return FirstText(*this,
        { MakeTag(kIdSenderEmailAddress, PT_STRING8), MakeTag(kIdSenderEmailAddress, PT_UNICODE),
            MakeTag(kIdSentRepresentingEmailAddress, PT_STRING8),
            MakeTag(kIdSentRepresentingEmailAddress, PT_UNICODE) },
        !IsTopLevel());
}

WideString TMSGProperties::From() const
{
    WideString name = FirstText(*this,
        { MakeTag(kIdSentRepresentingName, PT_STRING8), MakeTag(kIdSentRepresentingName, PT_UNICODE) }, !IsTopLevel());
    DeleteFirstNul(name);
    WideString address = GetPropertyText(MakeTag(kIdSenderSmtpAddress, 0), true, false);
    if (address.empty())
        address = GetPropertyText(MakeTag(kIdSentRepresentingSmtpAddress, 0), true, false);
    if (address.empty())
        address = SenderAddress();
    if (address.empty())
        return ResolveRecipientList(name);
    if (!name.empty())
        return QuoteDisplayName(name) + u" <" + address + u">";
    return address;
}

WideString TMSGProperties::ReceivedByAddress() const
{
    WideString address = FirstText(*this,
        { MakeTag(kIdReceivedRepresentingEmailAddress, PT_STRING8),
            MakeTag(kIdReceivedRepresentingEmailAddress, PT_UNICODE) },
        !IsTopLevel());
    if (address.empty())
        address
            = FirstText(*this, { MakeTag(kIdEmailAddress, PT_STRING8), MakeTag(kIdEmailAddress, PT_UNICODE) }, true);
    return address;
}

WideString TMSGProperties::ToList() const
{
    WideString list = FirstText(*this,
        { MakeTag(kIdDisplayTo, PT_STRING8), MakeTag(kIdDisplayTo, PT_UNICODE),
            MakeTag(kIdReceivedRepresentingName, PT_STRING8), MakeTag(kIdReceivedRepresentingName, PT_UNICODE) },
        !IsTopLevel());
    DeleteFirstNul(list);
    return ResolveRecipientList(list);
}

WideString TMSGProperties::CcList() const
{
    return ResolveRecipientList(FirstText(*this,
        { MakeTag(kIdOriginalDisplayCc, PT_STRING8), MakeTag(kIdOriginalDisplayCc, PT_UNICODE),
            MakeTag(kIdDisplayCc, PT_STRING8), MakeTag(kIdDisplayCc, PT_UNICODE) },
        !IsTopLevel()));
}

WideString TMSGProperties::BccList() const
{
    return ResolveRecipientList(FirstText(*this,
        { MakeTag(kIdOriginalDisplayBcc, PT_STRING8), MakeTag(kIdOriginalDisplayBcc, PT_UNICODE),
            MakeTag(kIdDisplayBcc, PT_STRING8), MakeTag(kIdDisplayBcc, PT_UNICODE) },
        !IsTopLevel()));
}

namespace {

// One recipient row as the recipient lists name it: its display name and its address (SMTP, then the original
// address, then the address of its address type).
struct TRecipientRow {
    WideString Name;
    WideString Address;
};

TRecipientRow ReadRecipientRow(const TMSGProperties& row)
{
    TRecipientRow result { row.GetPropertyText(MakeTag(kIdDisplayName, 0), true, false), {} };
    result.Address = row.GetPropertyText(MakeTag(kIdSmtpAddress, 0), true, false);
    if (result.Address.empty())
        result.Address = row.GetPropertyText(MakeTag(kIdOrgEmailAddress, 0), true, false);
    if (result.Address.empty())
        result.Address = row.GetPropertyText(MakeTag(kIdEmailAddress, 0), true, false);
    return result;
}

// "Name <address>" for a name and its row's address; the name alone when the row has no address of its own.
WideString NameWithAddress(const WideString& name, const WideString& address)
{
    if (address.empty() || address == name)
        return name;
    return QuoteDisplayName(name) + u" <" + address + u">";
}

} // namespace

WideString TMSGProperties::ResolveRecipient(const WideString& name) const
{
    for (const TMSGProperty* node : *this) {
        if (node->Category() != TMSGPropertyCategory::mpcRecipient)
            continue;
        TRecipientRow row = ReadRecipientRow(node->SubProperties);
        if (row.Name == name)
            return NameWithAddress(name, row.Address);
    }
    return name;
}

WideString TMSGProperties::ResolveRecipientList(const WideString& list) const
{
    if (list.empty())
        return {};
    // The recipient rows are read once, each into the queue of its display name. Names that occur more than once
    // in the list pair with the rows of that name in order ("Bob;Bob" with rows bob0 and bob1 gives both
    // addresses); a name mentioned more often than rows carry it keeps the last row's address.
    struct TNameRows {
        std::vector<WideString> Addresses;
        size_t Next = 0;
    };
    std::unordered_map<WideString, TNameRows> rows;
    for (const TMSGProperty* node : *this) {
        if (node->Category() != TMSGPropertyCategory::mpcRecipient)
            continue;
        TRecipientRow row = ReadRecipientRow(node->SubProperties);
        rows[std::move(row.Name)].Addresses.push_back(std::move(row.Address));
    }
    WideString result;
    for (const WideString& name : ListEntries(list)) {
        WideString resolved = name;
        if (auto it = rows.find(name); it != rows.end() && !it->second.Addresses.empty()) {
            TNameRows& named = it->second;
            size_t index = std::min(named.Next, named.Addresses.size() - 1);
            named.Next = index + 1;
            resolved = NameWithAddress(name, named.Addresses[index]);
        }
        if (!resolved.empty()) {
            if (!result.empty())
                result += u';';
            result += resolved;
        }
    }
    return result;
}

bool IsAttachmentNode(const TMSGProperty& node)
{
    if (node.Category() != TMSGPropertyCategory::mpcAttachment)
        return false;
    return !node.SubProperties.Empty() || PropId(node.TagID) == kIdAttachDataObject;
}

std::vector<const TMSGProperty*> TMSGProperties::AttachmentNodes() const
{
    std::vector<const TMSGProperty*> nodes;
    for (const TMSGProperty* node : *this)
        if (IsAttachmentNode(*node))
            nodes.push_back(node);
    return nodes;
}

int TMSGProperties::AttachmentCount() const
{
    int count = 0;
    for (const TMSGProperty* node : *this)
        count += IsAttachmentNode(*node) ? 1 : 0;
    return count;
}

TMSGProperty* TMSGProperties::Attachments(int index) const
{
    int count = 0;
    for (TMSGProperty* node : *this) {
        if (!IsAttachmentNode(*node))
            continue;
        if (count == index)
            return node;
        ++count;
    }
    return nullptr;
}

} // namespace pelmsg
