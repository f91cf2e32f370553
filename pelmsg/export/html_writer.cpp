// The HTML page of a message: the message's own HTML body with the header fields put in front of it, or a page
// generated from the header fields, the plain body and, on request, a table of every property of the tree.

#include "export/html_writer.h"

#include "core/stream.h"
#include "export/value_listing.h"
#include "export/writer_support.h"
#include "model/property.h"
#include "text/codepage.h"
#include "text/html_escape.h"

namespace pelmsg {

namespace {

ByteString Escaped(const WideString& text) { return EscapeHtml(WideToAnsi(text), true); }

// The paragraphs of From, Sent, To and Subject, and the opened body paragraph; UTF-8.
ByteString HeaderBlock(const TMSGProperties& message)
{
    ByteString block = "<p><b>From:</b> " + Escaped(message.From()) + "</p>\r\n";
    WideString sent = FormatSentDate(message.SentDate());
    if (!sent.empty())
        block += "<p><b>Sent:</b> " + WideToAnsi(sent) + "</p>\r\n";
    block += "<p><b>To:</b> " + Escaped(message.ToList()) + "</p>\r\n";
    block += "<p><b>Subject:</b> " + Escaped(message.Subject()) + "</p>\r\n";
    block += "<p><b>Body:</b><br> ";
    return block;
}

WideString LowerAscii(const WideString& text)
{
    WideString lower = text;
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return lower;
}

// The charset name written after "charset=" (quotes and blanks around it skipped).
std::string DeclaredCharsetAt(const WideString& lower, size_t start)
{
    size_t at = start;
    while (at < lower.size() && (lower[at] == u'"' || lower[at] == u'\'' || lower[at] == u' '))
        ++at;
    std::string name;
    while (at < lower.size() && lower[at] < 0x80 && name.size() < 64) {
        char16_t c = lower[at++];
        if (c == u'"' || c == u'\'' || c == u';' || c == u'>' || c == u'/' || c <= u' ')
            break;
        name += static_cast<char>(c);
    }
    return name;
}

// ASCII, with every other character as a numeric character reference: true to any charset that extends ASCII.
ByteString AsciiWithReferences(const WideString& text)
{
    ByteString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        out += "&#" + std::to_string(static_cast<uint32_t>(c)) + ";";
    }
    return out;
}

// The page's bytes in the charset its own declaration names, so that the declaration stays true. A declaration of
// UTF-16 or UTF-32 is read by browsers as UTF-8; one that names no charset we can write is answered with ASCII and
// character references.
ByteString InDeclaredCharset(const WideString& page, const std::string& charsetName)
{
    int32_t codePage = CodePageOfMimeCharset(charsetName);
    switch (codePage) {
    case 65001:
    case 1200:
    case 1201:
    case 12000:
    case 12001:
        return WideToUtf8(page);
    case 0:
    case 65000: // UTF-7, which browsers do not read
        return AsciiWithReferences(page);
    default:
        break;
    }
    ByteString bytes = WideToCodePageWithReferences(page, codePage);
    return bytes.empty() ? AsciiWithReferences(page) : bytes;
}

// Where the document's body tag starts in the lower-case HTML: the first "<body" that is a tag ("<body" followed
// by a blank, "/" or ">") outside comments; npos when there is none.
size_t FindBodyTag(const WideString& lower)
{
    for (size_t at = lower.find(u'<'); at != WideString::npos; at = lower.find(u'<', at + 1)) {
        if (lower.compare(at, 4, u"<!--") == 0) {
            size_t end = lower.find(u"-->", at + 4);
            if (end == WideString::npos)
                return WideString::npos;
            at = end + 2;
            continue;
        }
        if (lower.compare(at, 5, u"<body") == 0) {
            char16_t next = at + 5 < lower.size() ? lower[at + 5] : u'>';
            if (next == u'>' || next == u'/' || next == u' ' || next == u'\t' || next == u'\r' || next == u'\n'
                || next == u'\f')
                return at;
        }
    }
    return WideString::npos;
}

void WriteMessagePage(TLineWriter& out, const TMSGProperties& message, const WideString& html)
{
    const WideString lower = LowerAscii(html);
    size_t charset = lower.find(u"charset=");
    if (charset == WideString::npos) {
        out.Line("<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"><body>"
            + HeaderBlock(message) + WideToUtf8(html) + "</body></html>");
        return;
    }
    WideString page = html;
    size_t body = FindBodyTag(lower);
    if (body != WideString::npos) {
        size_t close = lower.find(u'>', body + 5);
        if (close != WideString::npos)
            page.insert(close + 1, AnsiToWide(HeaderBlock(message)));
    }
    out.Line(InDeclaredCharset(page, DeclaredCharsetAt(lower, charset + 8)));
}

void WritePropertyRows(TLineWriter& out, const TMSGProperties& collection, int level)
{
    const int32_t codePage = collection.TextCodePage();
    const ByteString indent(static_cast<size_t>(2 * level), ' ');
    for (const TMSGProperty* node : collection) {
        out.Line(indent + "<tr>");
        out.Line(indent + "  <td>" + CategoryName(node->Category()) + "</td>");
        out.Line(indent + "  <td>" + TagText(node->TagID) + "</td>");
        out.Line(indent + "  <td>" + Escaped(ListingValueText(*node, codePage)) + "</td>");
        out.Line(indent + "</tr>");
        if (node->SubProperties.Empty())
            continue;
        out.Line(indent + "<tr>");
        out.Line(indent + "  <td>");
        out.Line(indent + "    <table border=\"1\">");
        WritePropertyRows(out, node->SubProperties, level + 3);
        out.Line(indent + "    </table>");
        out.Line(indent + "  </td>");
        out.Line(indent + "</tr>");
    }
}

void WriteGeneratedPage(TLineWriter& out, const TMSGProperties& message, bool withProperties)
{
    const ByteString note = GeneratorNote();
    out.Line("<html>");
    out.Line("<head>");
    out.Line("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">");
    out.Line("<meta name=\"GENERATOR\" content=\"" + note + "\">");
    out.Line("<title>" + note + "</title>");
    out.Line("</head>");
    out.Line("");
    out.Line("<body>");
    out.Line("");
    out.Line(HeaderBlock(message) + Escaped(message.PlainBody()) + "</p>");
    if (withProperties) {
        out.Line("<p><b>Properties:</b></p>");
        out.Line("<table border=\"1\">");
        out.Line("  <tr>");
        out.Line("    <td>Category</td><td>TagID</td><td>Value</td>");
        out.Line("  </tr>");
        WritePropertyRows(out, message, 1);
        out.Line("</table>");
    }
    out.Line("");
    out.Line("<p>" + EscapeHtml(note, true) + "</p>");
    out.Line("</body>");
    out.Line("</html>");
}

} // namespace

void WriteHtml(const TMSGProperties& message, TStream& stream, bool withProperties)
{
    TLineWriter out(stream);
    if (!withProperties) {
        WideString html = message.HtmlBody();
        if (!html.empty()) {
            WriteMessagePage(out, message, html);
            return;
        }
    }
    WriteGeneratedPage(out, message, withProperties);
}

} // namespace pelmsg
