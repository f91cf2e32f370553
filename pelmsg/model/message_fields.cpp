// The message fields of a property collection: which tags are consulted, in which order and where.

#include <algorithm>
#include <string>

#include "model/message.h"
#include "model/property.h"
#include "rtf/compressed_rtf.h"
#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/text_encoding.h"

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

// The charset an HTML document declares in a meta tag ("charset=xyz" or charset="xyz"), or empty.
std::string DeclaredHtmlCharset(std::string_view html)
{
    std::string lower = LowerAscii(html.substr(0, std::min<size_t>(html.size(), 64 * 1024)));
    size_t meta = lower.find("<meta");
    while (meta != std::string::npos) {
        size_t end = lower.find('>', meta);
        if (end == std::string::npos)
            end = lower.size();
        size_t at = lower.find("charset", meta);
        if (at != std::string::npos && at < end) {
            at += 7;
            while (at < end && (lower[at] == ' ' || lower[at] == '='))
                ++at;
            while (at < end && (lower[at] == '"' || lower[at] == '\''))
                ++at;
            size_t stop = at;
            while (stop < end && lower[stop] != '"' && lower[stop] != '\'' && lower[stop] != ';' && lower[stop] != ' '
                && lower[stop] != '/' && lower[stop] != '>')
                ++stop;
            return lower.substr(at, stop - at);
        }
        meta = lower.find("<meta", end);
    }
    return {};
}

} // namespace

WideString TMSGProperties::Subject() const
{
    return FirstText(*this, { 0x0037001F, 0x0037001E, 0x0070001E }, !IsTopLevel());
}

WideString TMSGProperties::PlainBody() const { return FirstText(*this, { 0x1000001F, 0x1000001E }, !IsTopLevel()); }

WideString TMSGProperties::HtmlBody() const
{
    const TMSGProperty* node = FindProperty(0x10130000, true, !IsTopLevel());
    if (!node)
        return {};
    if (const auto* bytes = std::get_if<ByteString>(&node->Value)) {
        // An HTML body stored as bytes is in the charset its meta tag declares, else in the message's code page.
        int32_t declared = CodePageOfMimeCharset(DeclaredHtmlCharset(*bytes));
        if (declared != 0) {
            WideString text = CodePageToWide(*bytes, declared);
            while (!text.empty() && text.back() == u'\0')
                text.pop_back();
            return text;
        }
    }
    return node->ValueText();
}

WideString TMSGProperties::RtfBody() const
{
    const TMSGProperty* node = FindProperty(0x10090000, true, !IsTopLevel());
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
    if (text.find(u"&#") != WideString::npos)
        UnescapeHtml(text);
    return text;
}

WideString TMSGProperties::TransportHeaders() const
{
    return FirstText(*this, { 0x007D001E, 0x007D001F }, !IsTopLevel());
}

WideString TMSGProperties::MessageId() const { return GetPropertyText(0x10350000, true, !IsTopLevel()); }

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
    for (uint32_t tag :
        { 0x00390040u, 0x004E0040u, 0x0E060040u, 0x00550040u, 0x00480040u, 0x30080040u, 0x30070040u, 0x000F0040u }) {
        if (const TMSGProperty* node = FindProperty(tag, false, true))
            return ValueAsDouble(node->Value);
    }
    return 0;
}

uint8_t TMSGProperties::ImportanceLevel() const
{
    if (const TMSGProperty* priority = FindProperty(0x00260003, false, true))
        return static_cast<uint8_t>(ValueAsInteger(priority->Value) + 2);
    if (const TMSGProperty* importance = FindProperty(0x00170003, false, true))
        return static_cast<uint8_t>(ValueAsInteger(importance->Value) + 1);
    return 2;
}

int32_t TMSGProperties::CodePage() const
{
    for (uint32_t tag : { 0x3FFD0003u, 0x3FDE0003u }) {
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
    return FirstText(*this, { 0x0C1F001E, 0x0C1F001F, 0x0065001E, 0x0065001F }, !IsTopLevel());
}

WideString TMSGProperties::From() const
{
    WideString name = FirstText(*this, { 0x0042001E, 0x0042001F }, !IsTopLevel());
    DeleteFirstNul(name);
    WideString address = GetPropertyText(0x5D010000, true, false);
    if (address.empty())
        address = GetPropertyText(0x5D020000, true, false);
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
    WideString address = FirstText(*this, { 0x0078001E, 0x0078001F }, !IsTopLevel());
    if (address.empty())
        address = FirstText(*this, { 0x3003001E, 0x3003001F }, true);
    return address;
}

WideString TMSGProperties::ToList() const
{
    WideString list = FirstText(*this, { 0x0E04001E, 0x0E04001F, 0x0044001E, 0x0044001F }, !IsTopLevel());
    DeleteFirstNul(list);
    return ResolveRecipientList(list);
}

WideString TMSGProperties::CcList() const
{
    return ResolveRecipientList(FirstText(*this, { 0x0073001E, 0x0073001F, 0x0E03001E, 0x0E03001F }, !IsTopLevel()));
}

WideString TMSGProperties::BccList() const
{
    return ResolveRecipientList(FirstText(*this, { 0x0072001E, 0x0072001F, 0x0E02001E, 0x0E02001F }, !IsTopLevel()));
}

WideString TMSGProperties::ResolveRecipient(const WideString& name) const
{
    WideString result = name;
    for (const TMSGProperty* node : *this) {
        if (node->Category() != TMSGPropertyCategory::mpcRecipient)
            continue;
        const TMSGProperties& row = node->SubProperties;
        if (row.GetPropertyText(0x30010000, true, false) != name)
            continue;
        WideString address = row.GetPropertyText(0x39FE0000, true, false);
        if (address.empty())
            address = row.GetPropertyText(0x403E0000, true, false);
        if (address.empty())
            address = row.GetPropertyText(0x30030000, true, false);
        if (!address.empty() && address != name)
            result = QuoteDisplayName(result) + u" <" + address + u">";
    }
    return result;
}

WideString TMSGProperties::ResolveRecipientList(const WideString& list) const
{
    if (list.empty())
        return {};
    WideString result;
    size_t pos = 0;
    while (pos < list.size()) {
        size_t end = list.find(u';', pos);
        if (end == WideString::npos)
            end = list.size();
        WideString resolved = ResolveRecipient(TrimControls(list.substr(pos, end - pos)));
        if (!resolved.empty()) {
            if (!result.empty())
                result += u';';
            result += resolved;
        }
        pos = end + 1;
    }
    return result;
}

namespace {

// Whether a node is an attachment with data: its own identifier is ATTACH_DATA, or one of its children's is. An
// attachment counts once even when it carries several data properties (a TNEF attachment of an attached message
// holds both a placeholder text and the message object).
bool IsAttachmentWithData(const TMSGProperty& node)
{
    if (node.Category() != TMSGPropertyCategory::mpcAttachment)
        return false;
    if (PropId(node.TagID) == 0x3701)
        return true;
    for (const TMSGProperty* child : node.SubProperties)
        if (PropId(child->TagID) == 0x3701)
            return true;
    return false;
}

} // namespace

int TMSGProperties::AttachmentCount() const
{
    int count = 0;
    for (const TMSGProperty* node : *this)
        count += IsAttachmentWithData(*node) ? 1 : 0;
    return count;
}

TMSGProperty* TMSGProperties::Attachments(int index) const
{
    int count = 0;
    for (TMSGProperty* node : *this) {
        if (!IsAttachmentWithData(*node))
            continue;
        if (count == index)
            return node;
        ++count;
    }
    return nullptr;
}

} // namespace pelmsg
