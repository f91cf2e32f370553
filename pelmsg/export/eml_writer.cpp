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

namespace pelmsg {

namespace {

// Boundaries are these prefixes and a hash (see ChooseBoundary); "=_" keeps them out of encoded parts.
constexpr const char* kBoundaryPrefix = "----=_Part_";
constexpr const char* kNestedBoundaryPrefix = "=_NextPart_";
constexpr const char* kRelatedBoundaryPrefix = "=_Related_";
constexpr const char* kUtf8 = "utf-8";
// Encoded lines (quoted-printable) and folded header lines are kept to these lengths.
constexpr size_t kEncodedLineLength = 76;
constexpr size_t kHeaderLineLength = 78;
// No line of a mail may be longer than this (without its CR LF).
constexpr size_t kMaxLineLength = 998;
// A quoted parameter longer than this is left to its RFC 2231 form, which can be folded.
constexpr size_t kLongParameter = 900;
constexpr size_t kLongAsciiParameter = 200;
// Header text with a word (a run without blanks) longer than this cannot be folded into lines mail allows: it is
// written as encoded words, which are cut short.
constexpr size_t kFoldableWord = 900;

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

// Quoted-printable (RFC 2045) of text[from, to), appended to out: CR LF stays a line break, every other byte that is
// not printable ASCII, "=" and blanks before a line break are written as "=" and two hexadecimal digits, and soft
// line breaks keep every line within 76 characters. lineLength carries the length of the current output line from
// one piece to the next; returns where the next piece starts (after a CR LF that straddles `to`).
size_t EncodeQuotedPrintable(std::string_view text, size_t from, size_t to, size_t& lineLength, ByteString& out)
{
    out.reserve(out.size() + (to - from) + (to - from) / 16);
    size_t i = from;
    for (; i < to; ++i) {
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
    return i;
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

// Lines that folding at blanks could not bring within what mail allows are cut, the rest going on in a
// continuation line (after a blank): a reader unfolding the field sees a blank inserted there, which is better
// than a line that mail servers reject or cut anywhere.
void CutLongLines(ByteString& folded)
{
    size_t lineStart = 0;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (folded[i] == '\r' && i + 1 < folded.size() && folded[i + 1] == '\n') {
            lineStart = i + 2;
            ++i;
            continue;
        }
        if (i - lineStart >= kMaxLineLength - 2) {
            folded.insert(i, "\r\n ");
            lineStart = i + 2;
            i += 2;
        }
    }
}

// The length of the longest run without blanks.
size_t LongestWord(std::string_view text)
{
    size_t longest = 0, run = 0;
    for (char c : text) {
        run = IsWhite(c) ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

// ASCII text as RFC 2047 base64 encoded words of at most 72 characters on lines of their own: for text with a
// word too long to fold, which readers put back together whole (blanks between encoded words are dropped).
ByteString EncodedWords(std::string_view ascii)
{
    constexpr size_t kBytesPerWord = 45; // 60 base64 characters
    ByteString out;
    for (size_t from = 0; from < ascii.size(); from += kBytesPerWord) {
        if (from > 0)
            out += "\r\n ";
        out += "=?utf-8?B?" + EncodeBase64(ascii.substr(from, kBytesPerWord)) + "?=";
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
        ByteString folded = FoldLine(line, from == 0 ? valueStart : 0);
        CutLongLines(folded);
        out += folded;
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

// The position just after the value of a meta tag's charset declaration, and its start; npos when the first 64 KiB
// of the HTML declare none.
std::pair<size_t, size_t> MetaCharsetSpan(std::string_view html)
{
    const size_t limit = std::min<size_t>(html.size(), 64 * 1024);
    auto lower = [&](size_t i) { return static_cast<char>(std::tolower(static_cast<unsigned char>(html[i]))); };
    auto matches = [&](size_t at, std::string_view word) {
        if (at + word.size() > limit)
            return false;
        for (size_t i = 0; i < word.size(); ++i)
            if (lower(at + i) != word[i])
                return false;
        return true;
    };
    for (size_t meta = 0; meta < limit; ++meta) {
        if (html[meta] != '<' || !matches(meta, "<meta"))
            continue;
        size_t end = meta;
        while (end < limit && html[end] != '>')
            ++end;
        for (size_t at = meta + 5; at < end; ++at) {
            if (!matches(at, "charset"))
                continue;
            size_t from = at + 7;
            while (from < end && (html[from] == ' ' || html[from] == '='))
                ++from;
            while (from < end && (html[from] == '"' || html[from] == '\''))
                ++from;
            size_t stop = from;
            while (stop < end && html[stop] != '"' && html[stop] != '\'' && html[stop] != ';' && html[stop] != ' '
                && html[stop] != '/' && html[stop] != '>')
                ++stop;
            if (stop > from)
                return { from, stop };
        }
        meta = end;
    }
    return { ByteString::npos, ByteString::npos };
}

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

    // The charset header text is encoded in: the message's when it holds the text, else UTF-8.
    ByteString HeaderCharset(const ByteString& utf8) const
    {
        int32_t codePage = WritableCodePage(charset_);
        if (codePage == 0)
            return kUtf8;
        ByteString converted = codePage == 65001 ? utf8 : WideToCodePage(Utf8ToWide(utf8), codePage);
        return !converted.empty() && Represents(converted, codePage, utf8) ? charset_ : ByteString(kUtf8);
    }

    // Unstructured header text: ASCII as it is, anything else as RFC 2047 encoded words. ASCII with a word too long
    // to fold into a line goes out as encoded words too, which are cut to short lines.
    ByteString HeaderText(const WideString& text) const
    {
        ByteString utf8 = WideToAnsi(HeaderSafe(text));
        if (!IsAscii(utf8))
            return EncodeHeaderText(utf8, HeaderCharset(utf8));
        return LongestWord(utf8) <= kFoldableWord ? utf8 : EncodedWords(utf8);
    }

    // A display name: kept as it is when ASCII (quoted when it holds characters an address list gives meaning
    // to), encoded words otherwise, so that the address after it stays readable as an address.
    ByteString Phrase(WideString name) const
    {
        ByteString utf8 = WideToAnsi(name);
        if (IsAscii(utf8) && LongestWord(utf8) <= kFoldableWord) {
            bool quoted = utf8.size() >= 2 && utf8.front() == '"' && utf8.back() == '"'
                && utf8.find_first_of("\"\\", 1) == utf8.size() - 1;
            if (quoted || utf8.find_first_of("()<>[]:;@\\,.\"") == ByteString::npos)
                return utf8;
            return QuotedString(utf8);
        }
        if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"')
            name = name.substr(1, name.size() - 2);
        utf8 = WideToAnsi(name);
        return IsAscii(utf8) ? EncodedWords(utf8) : EncodeHeaderText(utf8, HeaderCharset(utf8));
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
    // and, for text that is not ASCII, also in its RFC 2231 form. A long value goes out in the RFC 2231 form
    // alone, cut into numbered sections, so that no header line grows beyond what mail allows.
    ByteString Parameter(const char* name, const ByteString& utf8) const
    {
        ByteString safe = WideToAnsi(HeaderSafe(AnsiToWide(utf8)));
        if (IsAscii(safe)) {
            ByteString quoted = QuotedString(safe);
            if (quoted.size() > kLongAsciiParameter)
                return ExtendedParameter(name, safe);
            return ByteString(name) + "=" + quoted;
        }
        ByteString words = QuotedString(EncodeHeaderText(safe, HeaderCharset(safe)));
        ByteString extended = ExtendedParameter(name, safe);
        if (words.size() > kLongParameter)
            return extended;
        return ByteString(name) + "=" + words + "; " + extended;
    }

    void WriteHeader(TLineWriter& out) const
    {
        out.Line(FoldHeader("From: " + AddressList(MailFrom())));
        out.Line(FoldHeader("To: " + AddressList(MailTo())));
        if (WideString cc = message_.CcList(); !cc.empty())
            out.Line(FoldHeader("Cc: " + AddressList(cc)));
        if (WideString bcc = message_.BccList(); !bcc.empty())
            out.Line(FoldHeader("Bcc: " + AddressList(bcc)));
        out.Line(FoldHeader("Subject: " + HeaderText(message_.Subject())));
        // A message without a date gets no Date field rather than the date-time origin.
        if (const double date = MailDate(); date != 0)
            out.Line("Date: " + FormatMailDate(date));
        // An empty Message-ID field is malformed; a message without an identifier gets none.
        if (WideString id = message_.MessageId(); !TrimControls(id).empty())
            out.Line(FoldHeader("Message-ID: " + HeaderText(id)));
        out.Line("MIME-Version: 1.0");
        if (invitation_)
            out.Line("Content-Class: urn:content-classes:calendarmessage");
        WriteContentHeader(out);
        out.Line("X-Priority: " + std::to_string(5 - static_cast<int>(message_.ImportanceLevel())));
        out.Line("X-Mailer: " + GeneratorNote());
        if (const TMSGProperty* warning = InternetHeader(message_, u"X-Authentication-Warning")) {
            WideString text = warning->ValueText();
            if (!TrimControls(text).empty())
                out.Line(FoldHeader("X-Authentication-Warning: " + HeaderText(text)));
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
        out.Line(FoldHeader("Content-Type: " + type + "; " + Parameter("name", displayName)));
        if (ByteString id = ContentId(node); !id.empty())
            out.Line(FoldHeader("Content-ID: <" + HeaderText(AnsiToWide(id)) + ">"));
        ByteString fileName = node.AttachmentFileName(part.Index);
        if (part.IsMessage)
            fileName = MessageName(fileName.empty() ? displayName : fileName);
        // Always a disposition: without one, readers may take an attachment of a text type for the body.
        ByteString disposition = ByteString("Content-Disposition: ") + (part.Inline ? "inline" : "attachment");
        if (!fileName.empty())
            disposition += "; " + Parameter("filename", fileName);
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
