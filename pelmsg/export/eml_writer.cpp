// The Internet mail form of a message (.eml): a header section built from the message fields, the bodies as
// quoted-printable text parts, attached files as base64 parts and attached messages as message/rfc822 parts.

#include "export/eml_writer.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "core/stream.h"
#include "export/writer_support.h"
#include "model/limits.h"
#include "model/property.h"
#include "rtf/rtf_html.h"
#include "text/base64.h"
#include "text/charset.h"
#include "text/codepage.h"
#include "text/datetime.h"
#include "text/header_encoding.h"
#include "text/mail_date.h"

namespace pelmsg {

namespace {

constexpr const char* kBoundary = "AB9DB43ABB3246E63E5";
constexpr const char* kNestedBoundaryPrefix = "=_NextPart_";
constexpr const char* kUtf8 = "utf-8";
// Encoded lines (quoted-printable) and folded header lines are kept to these lengths.
constexpr size_t kEncodedLineLength = 76;
constexpr size_t kHeaderLineLength = 78;
// A quoted parameter longer than this is left to its RFC 2231 form, which can be folded.
constexpr size_t kLongParameter = 900;
constexpr uint32_t kTagAuthenticationWarning = 0x8003001F;

bool IsAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool IsWhite(char c) { return c == ' ' || c == '\t'; }

// Code pages whose text does not extend ASCII: a text part in them would not have CR LF line breaks.
bool ExtendsAscii(int32_t codePage)
{
    return codePage != 1200 && codePage != 1201 && codePage != 12000 && codePage != 12001;
}

// The code page of a charset name when text can be written in it as a mail text part; 0 otherwise.
int32_t WritableCodePage(const ByteString& charset)
{
    int32_t codePage = CodePageOfCharsetName(charset);
    if (codePage == 0 || !ExtendsAscii(codePage) || !IsCodePageSupported(codePage))
        return 0;
    return codePage;
}

// Whether the bytes, read in the code page, give back exactly the text: a conversion that replaced characters the
// charset lacks would lose them.
bool Represents(const ByteString& bytes, int32_t codePage, const ByteString& utf8)
{
    return codePage == 65001 ? bytes == utf8 : CodePageToWide(bytes, codePage) == Utf8ToWide(utf8);
}

// Header text is one line: control characters (line breaks included) would end the field or start a new one.
WideString HeaderSafe(WideString text)
{
    for (char16_t& c : text)
        if ((c < 0x20 && c != u'\t') || c == 0x7F)
            c = u' ';
    return text;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Quoted-printable (RFC 2045): CR LF stays a line break, every other byte that is not printable ASCII, "=" and
// blanks before a line break are written as "=" and two hexadecimal digits, and soft line breaks keep every line
// within 76 characters.
ByteString EncodeQuotedPrintable(std::string_view text)
{
    ByteString out;
    out.reserve(text.size() + text.size() / 16);
    size_t lineLength = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            lineLength = 0;
            ++i;
            continue;
        }
        bool lineEnds = i + 1 == text.size() || (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n');
        bool literal = (c >= 33 && c <= 126 && c != '=') || (IsWhite(static_cast<char>(c)) && !lineEnds);
        size_t width = literal ? 1 : 3;
        if (lineLength + width > kEncodedLineLength - 1) {
            out += "=\r\n";
            lineLength = 0;
        }
        if (literal) {
            out += static_cast<char>(c);
        } else {
            out += '=';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0x0F];
        }
        lineLength += width;
    }
    return out;
}

// Whether a body can go out as it is, declared 7bit: ASCII without NUL, CR and LF only as CR LF, short lines.
bool IsSevenBitText(std::string_view text)
{
    size_t lineLength = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lineLength = 0;
            ++i;
            continue;
        }
        if (c == 0 || c >= 0x80 || c == '\r' || c == '\n' || ++lineLength > kEncodedLineLength)
            return false;
    }
    return true;
}

// Folds one physical line of a header field at blanks outside quoted strings, from `start` on.
ByteString FoldLine(std::string_view line, size_t start)
{
    if (line.size() <= kHeaderLineLength)
        return ByteString(line);
    std::vector<size_t> breaks;
    bool quoted = false, escaped = false;
    for (size_t i = start; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (IsWhite(c) && i > start && i + 1 < line.size() && !IsWhite(line[i + 1])) {
            breaks.push_back(i);
        }
    }
    breaks.push_back(line.size());
    ByteString out;
    size_t from = 0, lineLength = 0;
    for (size_t end : breaks) {
        size_t piece = end - from;
        if (lineLength > 0 && lineLength + piece > kHeaderLineLength) {
            out += "\r\n";
            lineLength = 0;
        }
        out.append(line.substr(from, piece));
        lineLength += piece;
        from = end;
    }
    return out;
}

// Folds a header field so that its lines stay within 78 characters where blanks allow; unfolding (removing the
// inserted CR LF) gives the field back. Lines the field already has (encoded words may come folded) are folded
// each on their own, so that no line is left empty and ends the header section.
ByteString FoldHeader(const ByteString& field)
{
    size_t valueStart = field.find(": ");
    valueStart = valueStart == ByteString::npos ? 0 : valueStart + 2;
    ByteString out;
    size_t from = 0;
    for (size_t end = field.find("\r\n");; end = field.find("\r\n", from)) {
        std::string_view line
            = std::string_view(field).substr(from, end == ByteString::npos ? ByteString::npos : end - from);
        out += FoldLine(line, from == 0 ? valueStart : 0);
        if (end == ByteString::npos)
            break;
        out += "\r\n";
        from = end + 2;
    }
    return out;
}

bool IsTokenChar(char c)
{
    return c > 0x20 && c < 0x7F && std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// The media type of an attachment's base64 part: its own when that is a well-formed "type/subtype", else
// application/octet-stream. A multipart or message type cannot be sent in base64 (readers would look for parts
// in the data and lose it), so such data goes out as application/octet-stream too.
ByteString MediaType(const WideString& text)
{
    ByteString type = WideToAnsi(text);
    size_t slash = type.find('/');
    bool valid = slash != ByteString::npos && slash > 0 && slash + 1 < type.size();
    for (size_t i = 0; valid && i < type.size(); ++i)
        valid = i == slash || IsTokenChar(type[i]);
    if (!valid || StartsWithIgnoringCase(type, "multipart/") || StartsWithIgnoringCase(type, "message/"))
        return "application/octet-stream";
    return type;
}

// The text between double quotes, with quotes and backslashes escaped.
ByteString QuotedString(std::string_view text)
{
    ByteString out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// RFC 2231 form of a parameter value in UTF-8, cut into numbered sections ("name*0*=utf-8''...; name*1*=...")
// when it is long, so that the header can be folded between them.
ByteString ExtendedParameter(const char* name, const ByteString& utf8)
{
    constexpr size_t kSection = 60;
    std::vector<ByteString> sections(1);
    for (char byte : utf8) {
        auto c = static_cast<unsigned char>(byte);
        ByteString piece;
        if (c < 0x80
            && (std::isalnum(c)
                || std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos)) {
            piece = ByteString(1, static_cast<char>(c));
        } else {
            piece = { '%', kHexDigits[c >> 4], kHexDigits[c & 0x0F] };
        }
        if (sections.back().size() + piece.size() > kSection)
            sections.emplace_back();
        sections.back() += piece;
    }
    if (sections.size() == 1)
        return ByteString(name) + "*=utf-8''" + sections[0];
    ByteString out;
    for (size_t i = 0; i < sections.size(); ++i) {
        if (i > 0)
            out += "; ";
        out += ByteString(name) + "*" + std::to_string(i) + "*=" + (i == 0 ? "utf-8''" : "") + sections[i];
    }
    return out;
}

// The nodes Attachments(0 .. AttachmentCount - 1) returns, found in one pass: attachment nodes that are or carry
// attachment data.
std::vector<const TMSGProperty*> AttachmentNodes(const TMSGProperties& message)
{
    std::vector<const TMSGProperty*> nodes;
    for (const TMSGProperty* node : message) {
        if (node->Category() != TMSGPropertyCategory::mpcAttachment)
            continue;
        bool hasData = PropId(node->TagID) == kIdAttachDataObject;
        for (const TMSGProperty* child : node->SubProperties)
            hasData = hasData || PropId(child->TagID) == kIdAttachDataObject;
        if (hasData)
            nodes.push_back(node);
    }
    return nodes;
}

struct TTextPart {
    ByteString Subtype;
    ByteString Charset;
    ByteString Content; // already encoded for transfer
    bool QuotedPrintable = true;
};

struct TAttachmentPart {
    const TMSGProperty* Node = nullptr;
    int Index = 0;
    ByteString Message; // the attached message as mail, for message/rfc822 parts
    bool IsMessage = false;
};

class TMimeWriter {
public:
    TMimeWriter(const TMSGProperties& message, const TEmlOptions& options, int depth)
        : message_(message)
        , options_(options)
        , depth_(depth)
        , charset_(message.Charset())
    {
    }

    void Write(TStream& stream)
    {
        Prepare();
        TLineWriter out(stream);
        WriteHeader(out);
        if (nested_) {
            out.Line("");
            out.Line("This is a multi-part message in MIME format.");
            out.Line("");
            out.Line("--" + boundary_);
            out.Line("Content-Type: multipart/alternative;");
            out.Line("    \tboundary=\"" + partBoundary_ + "\"");
        }
        for (const TTextPart& part : bodies_) {
            out.Line("");
            if (!single_) {
                out.Line("--" + partBoundary_);
                out.Line("Content-Type: text/" + part.Subtype + "; charset=\"" + part.Charset + "\"");
                out.Line("Content-Transfer-Encoding: quoted-printable");
                out.Line("");
            }
            out.Line(part.Content);
        }
        if (nested_) {
            out.Line("");
            out.Line("--" + partBoundary_ + "--");
        }
        for (const TAttachmentPart& part : attachments_)
            WriteAttachment(out, part);
        if (!single_)
            out.Line("--" + boundary_ + "--");
    }

private:
    // Bodies and attached messages are made before anything is written: the header declares what they need (the
    // charset, the encoding) and the boundary must not occur in them.
    void Prepare()
    {
        WideString plain = message_.PlainBody(), rtf = message_.RtfBody(), html = message_.HtmlBody();
        int bodyCount = !plain.empty() + !rtf.empty() + !html.empty();
        std::vector<const TMSGProperty*> nodes = AttachmentNodes(message_);
        single_ = nodes.empty() && bodyCount <= 1;
        nested_ = !nodes.empty() && bodyCount >= 2;

        ByteString extracted;
        if (html.empty() && !rtf.empty())
            extracted = ExtractHtmlFromRtf(WideToAnsi(rtf));
        if (single_) {
            // The one part carries one body, typed as what it is; an RTF body that wraps HTML is sent as that HTML.
            if (!plain.empty())
                AddBody("plain", WideToAnsi(plain));
            else if (!html.empty())
                AddBody("html", WideToAnsi(html));
            else if (!extracted.empty())
                AddBody("html", extracted);
            else if (!rtf.empty())
                AddBody("rtf", WideToAnsi(rtf));
        } else {
            if (!plain.empty())
                AddBody("plain", WideToAnsi(plain));
            if (!rtf.empty())
                AddBody("rtf", WideToAnsi(rtf));
            if (!html.empty())
                AddBody("html", WideToAnsi(html));
            else if (!extracted.empty())
                AddBody("html", extracted);
        }

        for (size_t i = 0; i < nodes.size(); ++i) {
            TAttachmentPart part { nodes[i], static_cast<int>(i), {}, false };
            const TMSGProperty* data = nodes[i]->AttachmentDataNode();
            if (nodes[i]->IsEmbeddedMessage() && data && !data->SubProperties.Empty()
                && depth_ + 1 <= kMaxAttachedMessageDepth) {
                TMemoryStream nested;
                TMimeWriter(data->SubProperties, options_, depth_ + 1).Write(nested);
                part.Message = nested.TakeBytes();
                part.IsMessage = true;
            }
            attachments_.push_back(std::move(part));
        }
        ChooseBoundary();
    }

    // The body text in the part's charset: the message's charset when it holds the text, else UTF-8.
    void AddBody(const char* subtype, const ByteString& utf8)
    {
        TTextPart part { subtype, charset_, utf8, true };
        if (options_.ConvertCodepage) {
            ByteString converted = utf8;
            options_.ConvertCodepage(message_, charset_, converted);
            if (!converted.empty())
                part.Content = std::move(converted);
            else
                part.Charset = kUtf8;
        } else if (int32_t codePage = WritableCodePage(charset_); codePage != 0) {
            ByteString converted = utf8;
            EncodeForCharset(charset_, converted);
            if (!converted.empty() && Represents(converted, codePage, utf8))
                part.Content = std::move(converted);
            else
                part.Charset = kUtf8;
        } else {
            part.Charset = kUtf8;
        }
        part.QuotedPrintable = !single_ || !IsSevenBitText(part.Content);
        if (part.QuotedPrintable)
            part.Content = EncodeQuotedPrintable(part.Content);
        bodies_.push_back(std::move(part));
    }

    void ChooseBoundary()
    {
        if (single_)
            return;
        auto occurs = [&](const ByteString& boundary) {
            const ByteString delimiter = "--" + boundary;
            for (const TTextPart& part : bodies_)
                if (part.Content.find(delimiter) != ByteString::npos)
                    return true;
            for (const TAttachmentPart& part : attachments_)
                if (part.Message.find(delimiter) != ByteString::npos)
                    return true;
            return false;
        };
        boundary_ = kBoundary;
        for (int counter = 1; occurs(boundary_) || (nested_ && occurs(kNestedBoundaryPrefix + boundary_)); ++counter)
            boundary_ = ByteString(kBoundary).append(1, '_').append(std::to_string(counter));
        partBoundary_ = nested_ ? kNestedBoundaryPrefix + boundary_ : boundary_;
    }

    // The charset header text is encoded in: the message's when it holds the text, else UTF-8.
    ByteString HeaderCharset(const ByteString& utf8) const
    {
        int32_t codePage = WritableCodePage(charset_);
        if (codePage == 0)
            return kUtf8;
        ByteString converted = codePage == 65001 ? utf8 : WideToCodePage(Utf8ToWide(utf8), codePage);
        return !converted.empty() && Represents(converted, codePage, utf8) ? charset_ : ByteString(kUtf8);
    }

    // Unstructured header text: ASCII as it is, anything else as RFC 2047 encoded words.
    ByteString HeaderText(const WideString& text) const
    {
        ByteString utf8 = WideToAnsi(HeaderSafe(text));
        return IsAscii(utf8) ? utf8 : EncodeHeaderText(utf8, HeaderCharset(utf8));
    }

    // A display name: kept as it is when ASCII (quoted when it holds characters an address list gives meaning
    // to), encoded words otherwise, so that the address after it stays readable as an address.
    ByteString Phrase(WideString name) const
    {
        ByteString utf8 = WideToAnsi(name);
        if (IsAscii(utf8)) {
            bool quoted = utf8.size() >= 2 && utf8.front() == '"' && utf8.back() == '"'
                && utf8.find_first_of("\"\\", 1) == utf8.size() - 1;
            if (quoted || utf8.find_first_of("()<>[]:;@\\,.\"") == ByteString::npos)
                return utf8;
            return QuotedString(utf8);
        }
        if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"')
            name = name.substr(1, name.size() - 2);
        utf8 = WideToAnsi(name);
        return EncodeHeaderText(utf8, HeaderCharset(utf8));
    }

    // A recipient list as the accessors give it ("Name <address>" entries separated by ";") as an address list:
    // entries separated by ", ", as mail readers expect.
    ByteString AddressList(const WideString& list) const
    {
        WideString text = HeaderSafe(list);
        ByteString out;
        size_t from = 0;
        while (from < text.size()) {
            size_t end = text.find(u';', from);
            if (end == WideString::npos)
                end = text.size();
            WideString entry = TrimControls(text.substr(from, end - from));
            from = end + 1;
            if (entry.empty())
                continue;
            if (!out.empty())
                out += ", ";
            size_t open = entry.rfind(u" <");
            if (!entry.empty() && entry.back() == u'>' && open != WideString::npos) {
                WideString address = entry.substr(open + 2, entry.size() - open - 3);
                out += Phrase(entry.substr(0, open)) + " <" + HeaderText(address) + ">";
            } else if (entry.find(u'@') != WideString::npos && entry.find(u' ') == WideString::npos) {
                out += HeaderText(entry);
            } else {
                out += Phrase(entry);
            }
        }
        return out;
    }

    // A parameter whose readers must get the exact text back: quoted (RFC 2047 words inside when it is not ASCII)
    // and, for text that is not ASCII, also in its RFC 2231 form.
    ByteString Parameter(const char* name, const ByteString& utf8) const
    {
        ByteString safe = WideToAnsi(HeaderSafe(AnsiToWide(utf8)));
        if (IsAscii(safe))
            return ByteString(name) + "=" + QuotedString(safe);
        ByteString words = QuotedString(EncodeHeaderText(safe, HeaderCharset(safe)));
        ByteString extended = ExtendedParameter(name, safe);
        if (words.size() > kLongParameter)
            return extended;
        return ByteString(name) + "=" + words + "; " + extended;
    }

    void WriteHeader(TLineWriter& out) const
    {
        out.Line(FoldHeader("From: " + AddressList(message_.From())));
        out.Line(FoldHeader("To: " + AddressList(message_.ToList())));
        if (WideString cc = message_.CcList(); !cc.empty())
            out.Line(FoldHeader("Cc: " + AddressList(cc)));
        if (WideString bcc = message_.BccList(); !bcc.empty())
            out.Line(FoldHeader("Bcc: " + AddressList(bcc)));
        out.Line(FoldHeader("Subject: " + HeaderText(message_.Subject())));
        out.Line("Date: " + FormatMailDate(MailDate()));
        // An empty Message-ID field is malformed; a message without an identifier gets none.
        if (WideString id = message_.MessageId(); !TrimControls(id).empty())
            out.Line(FoldHeader("Message-ID: " + HeaderText(id)));
        out.Line("MIME-Version: 1.0");
        if (single_) {
            const TTextPart* body = bodies_.empty() ? nullptr : &bodies_.front();
            ByteString charset = body ? body->Charset : WritableCodePage(charset_) ? charset_ : ByteString(kUtf8);
            out.Line("Content-Type: text/" + (body ? body->Subtype : ByteString("plain")) + ";\r\n"
                + ByteString(14, ' ') + "charset=\"" + charset + "\"");
            out.Line(ByteString("Content-Transfer-Encoding: ")
                + (body && body->QuotedPrintable ? "quoted-printable" : "7bit"));
        } else {
            out.Line(ByteString("Content-Type: multipart/") + (attachments_.empty() ? "alternative" : "related")
                + "; boundary=\"" + boundary_ + "\"");
            out.Line("Content-Transfer-Encoding: 7bit");
        }
        out.Line("X-Priority: " + std::to_string(5 - static_cast<int>(message_.ImportanceLevel())));
        out.Line("X-Mailer: " + GeneratorNote());
        if (const TMSGProperty* warning = message_.FindProperty(kTagAuthenticationWarning, false, false)) {
            WideString text = warning->ValueText();
            if (!text.empty())
                out.Line(FoldHeader("X-Authentication-Warning: " + HeaderText(text)));
        }
    }

    // The sent date, or 0 (the date-time origin) for a message without one or with one no calendar can show.
    double MailDate() const
    {
        double date = message_.SentDate();
        return IsValidDateTime(date) ? date : 0;
    }

    void WriteAttachment(TLineWriter& out, const TAttachmentPart& part) const
    {
        const TMSGProperty& node = *part.Node;
        out.Line("");
        out.Line("--" + boundary_);
        // The properties of an attached message hang below its attachment node too: its own are looked for on
        // the node's level only, so that those of the message's attachments are not taken for them.
        const bool embedded = node.IsEmbeddedMessage();
        ByteString type = part.IsMessage ? ByteString("message/rfc822")
            : embedded                   ? ByteString("application/octet-stream")
                                         : AttachmentType(node);
        out.Line(
            FoldHeader("Content-Type: " + type + "; " + Parameter("name", node.AttachmentDisplayName(part.Index))));
        if (const TMSGProperty* id = node.SubProperties.FindProperty(MakeTag(kIdAttachContentId, 0), true, !embedded)) {
            WideString text = id->ValueText();
            if (!text.empty())
                out.Line(FoldHeader("Content-ID: <" + HeaderText(text) + ">"));
        }
        ByteString fileName = node.AttachmentFileName(part.Index);
        if (!fileName.empty())
            out.Line(FoldHeader("Content-Disposition: attachment; " + Parameter("filename", fileName)));
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
                // Encoded straight from the stored bytes, without a copy of a large attachment first.
                if (const auto* bytes = std::get_if<ByteString>(&data->Value); bytes && !bytes->empty())
                    out.Line(EncodeBase64(*bytes));
                else if (ByteString other = ValueAsBytes(data->Value); !other.empty())
                    out.Line(EncodeBase64(other));
            }
        }
        out.Line("");
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
    bool single_ = true;
    bool nested_ = false;
    ByteString boundary_;
    ByteString partBoundary_;
    std::vector<TTextPart> bodies_;
    std::vector<TAttachmentPart> attachments_;
};

} // namespace

void WriteEml(const TMSGProperties& message, TStream& stream, const TEmlOptions& options)
{
    TMimeWriter(message, options, 0).Write(stream);
}

} // namespace pelmsg
