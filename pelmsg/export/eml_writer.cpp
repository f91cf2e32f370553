// The Internet mail form of a message (.eml): a header section built from the message fields, the bodies as
// quoted-printable text parts, attached files as base64 parts and attached messages as message/rfc822 parts.

#include "export/eml_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "calendar/appointment.h"
#include "core/stream.h"
#include "export/invitation_part.h"
#include "export/mail_encoding.h"
#include "export/mail_header_text.h"
#include "export/writer_support.h"
#include "model/limits.h"
#include "model/lookup_work.h"
#include "model/property.h"
#include "rtf/compressed_rtf.h"
#include "rtf/rtf_html.h"
#include "text/ascii_case.h"
#include "text/base64.h"
#include "text/charset.h"
#include "text/codepage.h"
#include "text/datetime.h"
#include "text/header_encoding.h"
#include "text/mail_date.h"
#include "text/meta_charset.h"

namespace pelmsg {

namespace {

// Boundaries are these prefixes and a hash (see ChooseBoundary); "=_" keeps them out of encoded parts.
constexpr const char* kBoundaryPrefix = "----=_Part_";
constexpr const char* kNestedBoundaryPrefix = "=_NextPart_";
constexpr const char* kRelatedBoundaryPrefix = "=_Related_";
constexpr const char* kUtf8 = "utf-8";

struct TTextPart {
    ByteString Subtype;
    ByteString Charset;
    ByteString Content; // in the charset, not yet encoded for transfer
    bool QuotedPrintable = true;
    ByteString Method {}; // of a text/calendar part: its scheduling method
};

struct TAttachmentPart {
    const TMSGProperty* Node = nullptr;
    int Index = 0;
    ByteString Message; // the attached message as mail, for message/rfc822 parts
    bool IsMessage = false;
    bool Inline = false; // an image the HTML body shows (its Content-ID is referenced as "cid:")
};

// The property set of Internet headers ({00020386-0000-0000-C000-000000000046}, stored little-endian).
constexpr std::array<uint8_t, 16> kInternetHeadersSet
    = { 0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

bool EqualsIgnoringCase(const WideString& a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z')
            x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z')
            y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y)
            return false;
    }
    return true;
}

// The string property that is the Internet header of that name (named property in the Internet headers' set),
// among the message's own nodes; nullptr when there is none. Named properties get their identifiers per message,
// so only the name tells which one a node is.
const TMSGProperty* InternetHeader(const TMSGProperties& message, std::u16string_view name)
{
    for (const TMSGProperty* node : message) {
        const uint16_t type = PropType(node->TagID);
        if (node->NamedId && node->NamedId->IsString && node->NamedId->Guid == kInternetHeadersSet
            && (type == PT_STRING8 || type == PT_UNICODE) && EqualsIgnoringCase(node->NamedId->Name, name))
            return node;
    }
    return nullptr;
}

// 64-bit FNV-1a, folded over the parts that the boundary must not occur in.
struct TContentHash {
    uint64_t Value = 0xCBF29CE484222325ULL;
    void Add(std::string_view bytes)
    {
        for (char c : bytes) {
            Value ^= static_cast<unsigned char>(c);
            Value *= 0x100000001B3ULL;
        }
        Value ^= bytes.size();
        Value *= 0x100000001B3ULL;
    }
};

// The HTML with its meta charset declaration naming the charset its part declares: a reader that follows the
// HTML's own declaration must read the same characters as one that follows the part's.
void AgreeMetaCharset(ByteString& html, const ByteString& charset)
{
    auto [from, stop] = MetaCharsetSpan(html);
    if (from != ByteString::npos)
        html.replace(from, stop - from, charset);
}

// Whether the HTML refers to a Content-ID ("cid:" and the identifier, compared without regard to case).
bool ReferencesContentId(std::string_view lowerHtml, const ByteString& contentId)
{
    if (contentId.empty())
        return false;
    return lowerHtml.find("cid:" + LowerAscii(contentId)) != std::string_view::npos;
}

class TMimeWriter {
public:
    TMimeWriter(const TMSGProperties& message, const TEmlOptions& options, int depth)
        : message_(message)
        , options_(options)
        , depth_(depth)
        , charset_(message.Charset())
        , header_(charset_)
    {
    }

    // The whole mail; or, with contentOnly, the content entity alone: its Content-Type and
    // Content-Transfer-Encoding fields and the body, without the mail's own header fields.
    void Write(TStream& stream, bool contentOnly = false)
    {
        Prepare();
        TLineWriter out(stream);
        if (contentOnly)
            WriteContentHeader(out);
        else
            WriteHeader(out);
        if (single_) {
            out.Line("");
            if (!bodies_.empty())
                WriteContent(out, bodies_.front());
            return;
        }
        if (attachments_.empty()) {
            // Alternatives of one another and nothing else: the message is the alternative part.
            WriteBodyParts(out, boundary_);
            out.Line("--" + boundary_ + "--");
            return;
        }
        out.Line("");
        out.Line("This is a multi-part message in MIME format.");
        if (bodies_.empty()) {
            // Nothing but attachments.
        } else if (inlineCount_ > 0) {
            out.Line("");
            out.Line("--" + boundary_);
            // The body and the images it shows stand together in a related part; the other attachments follow.
            out.Line("Content-Type: multipart/related;");
            out.Line("    \ttype=\"" + BodyType() + "\";");
            out.Line("    \tboundary=\"" + relatedBoundary_ + "\"");
            out.Line("");
            out.Line("--" + relatedBoundary_);
            WriteBody(out);
            for (const TAttachmentPart& part : attachments_)
                if (part.Inline)
                    WriteAttachment(out, part, relatedBoundary_);
            out.Line("");
            out.Line("--" + relatedBoundary_ + "--");
        } else {
            out.Line("");
            out.Line("--" + boundary_);
            WriteBody(out);
        }
        for (const TAttachmentPart& part : attachments_)
            if (!part.Inline)
                WriteAttachment(out, part, boundary_);
        out.Line("--" + boundary_ + "--");
    }

private:
    // The media type of the body as a whole: the alternative part when there are several bodies.
    ByteString BodyType() const
    {
        if (bodies_.size() >= 2)
            return "multipart/alternative";
        return bodies_.empty() ? ByteString("text/plain") : "text/" + bodies_.front().Subtype;
    }

    // The body inside an enclosing part: its one text part, or an alternative part of its text parts. The
    // enclosing part's delimiter line has been written.
    void WriteBody(TLineWriter& out)
    {
        if (bodies_.size() >= 2) {
            out.Line("Content-Type: multipart/alternative;");
            out.Line("    \tboundary=\"" + partBoundary_ + "\"");
            WriteBodyParts(out, partBoundary_);
            out.Line("");
            out.Line("--" + partBoundary_ + "--");
            return;
        }
        const TTextPart empty { "plain", WritableCodePage(charset_) ? charset_ : ByteString(kUtf8), {}, false };
        const TTextPart& part = bodies_.empty() ? empty : bodies_.front();
        WritePartHeader(out, part);
        out.Line("");
        WriteContent(out, part);
    }

    void WriteBodyParts(TLineWriter& out, const ByteString& boundary)
    {
        for (const TTextPart& part : bodies_) {
            out.Line("");
            out.Line("--" + boundary);
            WritePartHeader(out, part);
            out.Line("");
            WriteContent(out, part);
        }
    }

    static void WritePartHeader(TLineWriter& out, const TTextPart& part)
    {
        out.Line("Content-Type: text/" + part.Subtype + "; charset=\"" + part.Charset + "\""
            + (part.Method.empty() ? ByteString() : "; method=" + part.Method));
        out.Line(ByteString("Content-Transfer-Encoding: ") + (part.QuotedPrintable ? "quoted-printable" : "7bit"));
    }

    // The part's text, encoded as it goes out in pieces: a large body is never held a second time whole.
    static void WriteContent(TLineWriter& out, const TTextPart& part)
    {
        if (!part.QuotedPrintable) {
            out.Line(part.Content);
            return;
        }
        constexpr size_t kPiece = 256 * 1024;
        const std::string_view text = part.Content;
        size_t lineLength = 0;
        ByteString encoded;
        for (size_t from = 0; from < text.size();) {
            encoded.clear();
            from = EncodeQuotedPrintable(text, from, std::min(text.size(), from + kPiece), lineLength, encoded);
            out.Stream().WriteString(encoded);
        }
        out.Stream().WriteString("\r\n");
    }

    // Bodies and attached messages are made before anything is written: the header declares what they need (the
    // charset, the encoding, the structure).
    void Prepare()
    {
        WideString plain = message_.PlainBody(), html = message_.HtmlBody();
        ByteString rtf = RtfBytes();
        int bodyCount = !plain.empty() + !rtf.empty() + !html.empty();
        std::vector<const TMSGProperty*> nodes = message_.AttachmentNodes();
        invitation_ = InvitationPart(message_);
        single_ = nodes.empty() && bodyCount <= 1 && !invitation_;

        ByteString extracted;
        if (html.empty() && !rtf.empty()) {
            // The HTML comes from the stored bytes (whose raw 8-bit characters are in the RTF's code pages), in
            // their own buffer; the RTF's part is made again afterwards, which costs time but not a second copy
            // of a large body.
            rtf = {};
            extracted = TakeHtmlFromRtf(message_.RtfBodyBytes());
            rtf = RtfBytes();
        }
        if (single_) {
            // The one part carries one body, typed as what it is; an RTF body that wraps HTML is sent as that HTML.
            if (!plain.empty())
                AddBody("plain", WideToAnsi(plain));
            else if (!html.empty())
                AddBody("html", WideToAnsi(html));
            else if (!extracted.empty())
                AddBody("html", std::move(extracted));
            else if (!rtf.empty())
                AddBody("rtf", std::move(rtf));
        } else {
            if (!plain.empty())
                AddBody("plain", WideToAnsi(plain));
            plain = {};
            if (!rtf.empty())
                AddBody("rtf", std::move(rtf));
            if (!html.empty())
                AddBody("html", WideToAnsi(html));
            else if (!extracted.empty())
                AddBody("html", std::move(extracted));
        }
        html = {};
        AddInvitation();

        ByteString lowerHtml;
        for (const TTextPart& part : bodies_)
            if (part.Subtype == "html")
                lowerHtml = LowerAscii(part.Content);
        for (size_t i = 0; i < nodes.size(); ++i) {
            TAttachmentPart part { nodes[i], static_cast<int>(i), {}, false, false };
            const TMSGProperty* data = nodes[i]->AttachmentDataNode();
            if (nodes[i]->IsEmbeddedMessage() && data && !data->SubProperties.Empty()
                && depth_ + 1 <= kMaxAttachedMessageDepth) {
                TMemoryStream nested;
                TMimeWriter(data->SubProperties, options_, depth_ + 1).Write(nested);
                part.Message = nested.TakeBytes();
                part.IsMessage = true;
            } else if (!lowerHtml.empty()) {
                part.Inline = ReferencesContentId(lowerHtml, ContentId(*nodes[i]));
                inlineCount_ += part.Inline ? 1 : 0;
            }
            attachments_.push_back(std::move(part));
        }
        ChooseBoundary();
    }

    // The RTF body as the bytes it is stored in. RTF is ASCII but for rare raw bytes of its code page, so the text
    // is kept as it is rather than converted to wide text and back; raw bytes become UTF-8 like other text.
    ByteString RtfBytes() const
    {
        const TMSGProperty* node = message_.FindProperty(MakeTag(kIdRtfCompressed, 0), true, !message_.IsTopLevel());
        if (!node)
            return {};
        ByteString text;
        const auto* bytes = std::get_if<ByteString>(&node->Value);
        if (bytes && HasCompressedRtfHeader(*bytes))
            text = DecodeCompressedRtf(*bytes).Text;
        else if (bytes)
            text = *bytes;
        else
            return WideToAnsi(node->ValueText());
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        if (IsAscii(text))
            return text;
        return WideToAnsi(CodePageToWide(text, node->Collection()->TextCodePage()));
    }

    // The body text in the part's charset: the message's charset when it holds the text, else UTF-8.
    void AddBody(const char* subtype, ByteString utf8)
    {
        TTextPart part { subtype, charset_, {}, true };
        const int32_t codePage = WritableCodePage(charset_);
        if (options_.ConvertCodepage) {
            ByteString converted = utf8;
            options_.ConvertCodepage(message_, charset_, converted);
            if (!converted.empty())
                part.Content = std::move(converted);
            else
                part.Charset = kUtf8;
        } else if (codePage != 0 && IsAscii(utf8)) {
            // ASCII is the same text in every charset that extends it.
            part.Content = std::move(utf8);
        } else if (codePage != 0) {
            ByteString converted = utf8;
            EncodeForCharset(charset_, converted);
            if (!converted.empty() && Represents(converted, codePage, utf8))
                part.Content = std::move(converted);
            else
                part.Charset = kUtf8;
        } else {
            part.Charset = kUtf8;
        }
        if (part.Content.empty())
            part.Content = std::move(utf8);
        if (part.Subtype == "html")
            AgreeMetaCharset(part.Content, part.Charset);
        part.QuotedPrintable = !single_ || !IsSevenBitText(part.Content);
        bodies_.push_back(std::move(part));
    }

    // A meeting message or task request is an invitation: the item as a text/calendar alternative after the
    // others (mail programs offer it to the calendar), beside a plain-text body, made from the RTF one when the
    // message has no plain body.
    void AddInvitation()
    {
        if (!invitation_)
            return;
        const bool hasPlain = std::any_of(
            bodies_.begin(), bodies_.end(), [](const TTextPart& part) { return part.Subtype == "plain"; });
        if (WideString text = ItemBodyText(message_); !hasPlain && !text.empty()) {
            AddBody("plain", WideToAnsi(text));
            std::rotate(bodies_.begin(), bodies_.end() - 1, bodies_.end());
        }
        TTextPart part { "calendar", "UTF-8", std::move(invitation_->Text), true, invitation_->Method };
        part.QuotedPrintable = !IsSevenBitText(part.Content);
        bodies_.push_back(std::move(part));
    }

    // The boundaries hold "=_", which neither quoted-printable (it writes "=" as "=3D") nor base64 can produce,
    // and a hash of the attached messages, which are written as they are: one pass over them decides, and in the
    // rare case it finds the boundary, another hash is tried.
    void ChooseBoundary()
    {
        if (single_)
            return;
        TContentHash hash;
        hash.Add(std::to_string(depth_));
        for (const TAttachmentPart& part : attachments_)
            hash.Add(part.Message);
        for (uint64_t salt = 0;; ++salt) {
            char text[40];
            std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(hash.Value ^ salt));
            ByteString base = ByteString(kBoundaryPrefix) + text;
            bool occurs = false;
            ++LookupWork().BoundaryPasses;
            for (const TAttachmentPart& part : attachments_)
                occurs = occurs || part.Message.find(base) != ByteString::npos;
            if (!occurs) {
                boundary_ = base;
                partBoundary_ = kNestedBoundaryPrefix + base;
                relatedBoundary_ = kRelatedBoundaryPrefix + base;
                return;
            }
            hash.Add(base);
        }
    }

    void WriteHeader(TLineWriter& out) const
    {
        out.Line(FoldHeader("From: " + header_.AddressList(MailFrom())));
        out.Line(FoldHeader("To: " + header_.AddressList(MailTo())));
        if (WideString cc = message_.CcList(); !cc.empty())
            out.Line(FoldHeader("Cc: " + header_.AddressList(cc)));
        if (WideString bcc = message_.BccList(); !bcc.empty())
            out.Line(FoldHeader("Bcc: " + header_.AddressList(bcc)));
        out.Line(FoldHeader("Subject: " + header_.Text(message_.Subject())));
        // A message without a date gets no Date field rather than the date-time origin.
        if (const double date = MailDate(); date != 0)
            out.Line("Date: " + FormatMailDate(date));
        // An empty Message-ID field is malformed; a message without an identifier gets none.
        if (WideString id = message_.MessageId(); !TrimControls(id).empty())
            out.Line(FoldHeader("Message-ID: " + header_.Text(id)));
        out.Line("MIME-Version: 1.0");
        if (invitation_)
            out.Line("Content-Class: urn:content-classes:calendarmessage");
        WriteContentHeader(out);
        out.Line("X-Priority: " + std::to_string(5 - static_cast<int>(message_.ImportanceLevel())));
        out.Line("X-Mailer: " + GeneratorNote());
        if (const TMSGProperty* warning = InternetHeader(message_, u"X-Authentication-Warning")) {
            WideString text = warning->ValueText();
            if (!TrimControls(text).empty())
                out.Line(FoldHeader("X-Authentication-Warning: " + header_.Text(text)));
        }
    }

    // The fields that say what the content is: its type (with the boundary or charset) and transfer encoding.
    void WriteContentHeader(TLineWriter& out) const
    {
        if (single_) {
            const TTextPart* body = bodies_.empty() ? nullptr : &bodies_.front();
            ByteString charset = body ? body->Charset : WritableCodePage(charset_) ? charset_ : ByteString(kUtf8);
            out.Line("Content-Type: text/" + (body ? body->Subtype : ByteString("plain")) + ";\r\n"
                + ByteString(14, ' ') + "charset=\"" + charset + "\"");
            out.Line(ByteString("Content-Transfer-Encoding: ")
                + (body && body->QuotedPrintable ? "quoted-printable" : "7bit"));
        } else {
            // Attachments go into a mixed part around the body; without any, the bodies are alternatives.
            out.Line(ByteString("Content-Type: multipart/") + (attachments_.empty() ? "alternative" : "mixed")
                + ";\r\n\tboundary=\"" + boundary_ + "\"");
            out.Line("Content-Transfer-Encoding: 7bit");
        }
    }

    // The sender: an Exchange address (a distinguished name, "/O=...") gives way to the SMTP address the message
    // also names; a calendar message without a sender is from its organizer (or the one who answers).
    WideString MailFrom() const
    {
        WideString from = message_.From();
        const size_t open = from.rfind(u'<');
        const WideString address = open == WideString::npos ? from : from.substr(open + 1);
        if (address.size() >= 3 && address[0] == u'/' && (address[1] == u'O' || address[1] == u'o')
            && address[2] == u'=') {
            const TParticipant sender = MessageSender(message_);
            if (!sender.Address.empty() && sender.Address.find('@') != std::string::npos) {
                WideString name;
                for (char16_t c : sender.Name)
                    if (c != u'"' && c != u';' && c != u'\\')
                        name += c;
                from = name.empty() ? Utf8ToWide(sender.Address) : u"\"" + name + u"\" <" + Utf8ToWide(sender.Address) + u">";
            }
        }
        if (TrimControls(from).empty())
            from = InvitationFrom(message_);
        return from;
    }

    WideString MailTo() const
    {
        WideString to = message_.ToList();
        if (TrimControls(to).empty())
            to = InvitationTo(message_);
        return to;
    }

    // The sent date, or 0 (the date-time origin) for a message without one or with one no calendar can show.
    double MailDate() const
    {
        double date = message_.SentDate();
        if (date == 0 || !IsValidDateTime(date))
            date = InvitationDate(message_);
        return IsValidDateTime(date) ? date : 0;
    }

    static ByteString ContentId(const TMSGProperty& node)
    {
        const bool embedded = node.IsEmbeddedMessage();
        if (const TMSGProperty* id = node.SubProperties.FindProperty(MakeTag(kIdAttachContentId, 0), true, !embedded))
            return WideToAnsi(TrimControls(id->ValueText()));
        return {};
    }

    // A name for an attached message's part that says what it is: mail programs save a message/rfc822 part
    // under its name, and a file of mail is known by ".eml".
    static ByteString MessageName(ByteString name)
    {
        if (name.size() < 4 || LowerAscii(std::string_view(name).substr(name.size() - 4)) != ".eml")
            name += ".eml";
        return name;
    }

    void WriteAttachment(TLineWriter& out, const TAttachmentPart& part, const ByteString& boundary) const
    {
        const TMSGProperty& node = *part.Node;
        out.Line("");
        out.Line("--" + boundary);
        // The properties of an attached message hang below its attachment node too: its own are looked for on
        // the node's level only, so that those of the message's attachments are not taken for them.
        const bool embedded = node.IsEmbeddedMessage();
        ByteString type = part.IsMessage ? ByteString("message/rfc822")
            : embedded                   ? ByteString("application/octet-stream")
                                         : AttachmentType(node);
        ByteString displayName = node.AttachmentDisplayName(part.Index);
        if (part.IsMessage)
            displayName = MessageName(displayName);
        out.Line(FoldHeader("Content-Type: " + type + "; " + header_.Parameter("name", displayName)));
        if (ByteString id = ContentId(node); !id.empty())
            out.Line(FoldHeader("Content-ID: <" + header_.Text(AnsiToWide(id)) + ">"));
        ByteString fileName = node.AttachmentFileName(part.Index);
        if (part.IsMessage)
            fileName = MessageName(fileName.empty() ? displayName : fileName);
        // Always a disposition: without one, readers may take an attachment of a text type for the body.
        ByteString disposition = ByteString("Content-Disposition: ") + (part.Inline ? "inline" : "attachment");
        if (!fileName.empty())
            disposition += "; " + header_.Parameter("filename", fileName);
        out.Line(FoldHeader(disposition));
        // An attachment that the input ended inside of goes out as far as it was read, and says so.
        if (const TMSGProperty* data = node.AttachmentDataNode(); data && data->Truncated)
            out.Line("Content-Description: incomplete: the message file ends inside this attachment");
        if (part.IsMessage) {
            // A message/rfc822 part allows no transfer encoding but 7bit: the mail written for it is 7-bit.
            out.Line("Content-Transfer-Encoding: 7bit");
            out.Line("");
            out.Stream().WriteString(part.Message);
        } else {
            out.Line("Content-Transfer-Encoding: base64");
            out.Line("");
            const TMSGProperty* data = node.AttachmentDataNode();
            if (data) {
                // Encoded straight from the stored bytes in pieces, without a copy of a large attachment.
                if (const auto* bytes = std::get_if<ByteString>(&data->Value); bytes && !bytes->empty())
                    WriteBase64(out, *bytes);
                else if (ByteString other = ValueAsBytes(data->Value); !other.empty())
                    WriteBase64(out, other);
            }
        }
        out.Line("");
    }

    // Base64 in pieces of whole lines (57 bytes make one line of 76 characters).
    static void WriteBase64(TLineWriter& out, std::string_view bytes)
    {
        constexpr size_t kPiece = 57 * 4096;
        for (size_t from = 0; from < bytes.size(); from += kPiece)
            out.Line(EncodeBase64(bytes.substr(from, kPiece)));
    }

    static ByteString AttachmentType(const TMSGProperty& node)
    {
        WideString type = node.SubProperties.GetPropertyText(MakeTag(kIdAttachMimeTag, PT_STRING8), false, true);
        if (type.empty())
            type = node.SubProperties.GetPropertyText(MakeTag(kIdAttachMimeTag, PT_UNICODE), false, true);
        return MediaType(TrimControls(type));
    }

    const TMSGProperties& message_;
    const TEmlOptions& options_;
    int depth_;
    ByteString charset_;
    TMailHeaderText header_;
    bool single_ = true;
    int inlineCount_ = 0;
    ByteString boundary_;
    ByteString partBoundary_;
    ByteString relatedBoundary_;
    std::vector<TTextPart> bodies_;
    std::vector<TAttachmentPart> attachments_;
    std::optional<TInvitationPart> invitation_;
};

} // namespace

void WriteEml(const TMSGProperties& message, TStream& stream, const TEmlOptions& options)
{
    TMimeWriter(message, options, 0).Write(stream);
}

void WriteEmlContent(const TMSGProperties& message, TStream& stream, const TEmlOptions& options)
{
    TMimeWriter(message, options, 0).Write(stream, true);
}

} // namespace pelmsg
