// The XML data packet of a message: four message fields and, on request, every property of the tree.

#include "export/xml_writer.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "core/stream.h"
#include "export/value_listing.h"
#include "export/writer_support.h"
#include "model/property.h"
#include "text/codepage.h"
#include "text/html_escape.h"

namespace pelmsg {

namespace {

void AppendPercentBytes(ByteString& out, const ByteString& bytes)
{
    for (char b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(b));
        out += hex;
    }
}

// The three bytes that encode a UTF-16 unit by itself (as for a lone surrogate).
ByteString UnitBytes(char16_t c)
{
    return { static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
        static_cast<char>(0x80 | (c & 0x3F)) };
}

// UTF-8 of the text in which every character XML 1.0 forbids (control characters other than TAB, LF and CR,
// U+FFFE, U+FFFF and unpaired surrogates) is written as its bytes in "%" and two upper-case hexadecimal digits,
// the way EscapeHtml writes control bytes: the document stays well-formed wherever the text stands.
ByteString XmlCharacters(const WideString& text)
{
    ByteString out;
    out.reserve(text.size());
    size_t run = 0; // start of the pending run of allowed units
    auto flush = [&](size_t end) {
        if (end > run)
            out += WideToUtf8(text.substr(run, end - run));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        bool pairedHigh
            = c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (pairedHigh) {
            ++i;
            continue;
        }
        bool forbidden = (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF
            || (c >= 0xD800 && c < 0xE000);
        if (!forbidden)
            continue;
        flush(i);
        AppendPercentBytes(out, c < 0x80 ? ByteString(1, static_cast<char>(c)) : UnitBytes(c));
        run = i + 1;
    }
    flush(text.size());
    return out;
}

// EscapeHtml in markup mode, with the three named HTML entities it writes (which XML does not define) as
// numeric character references. Every "&" of the text itself comes out as "&amp;", so these names can only stand
// for the characters.
ByteString Escaped(const WideString& text)
{
    static const std::pair<std::string_view, std::string_view> kHtmlOnly[]
        = { { "&copy;", "&#169;" }, { "&plusmn;", "&#177;" }, { "&para;", "&#182;" } };
    ByteString escaped = EscapeHtml(XmlCharacters(text), false);
    for (const auto& [name, reference] : kHtmlOnly) {
        for (size_t at = escaped.find(name); at != ByteString::npos; at = escaped.find(name, at + reference.size()))
            escaped.replace(at, name.size(), reference);
    }
    return escaped;
}

// A CDATA section holding the text; a "]]>" inside it is split over two sections, so it cannot end the first early.
ByteString CData(const WideString& text)
{
    ByteString value = XmlCharacters(text);
    ByteString out = "<![CDATA[";
    size_t from = 0;
    for (size_t at = value.find("]]>"); at != ByteString::npos; at = value.find("]]>", at + 1)) {
        out.append(value, from, at + 2 - from);
        out += "]]><![CDATA[";
        from = at + 2;
    }
    out.append(value, from, ByteString::npos);
    out += "]]>";
    return out;
}

void WritePropertyElements(TLineWriter& out, const TMSGProperties& collection, int level)
{
    const int32_t codePage = collection.TextCodePage();
    const ByteString indent(static_cast<size_t>(2 * level), ' ');
    for (const TMSGProperty* node : collection) {
        out.Line(indent + "<PROPERTY TAGID=\"" + TagText(node->TagID) + "\">");
        out.Line(indent + "<CATEGORY>" + CategoryName(node->Category()) + "</CATEGORY>");
        out.Line(indent + "<VALUE>" + CData(ListingValueText(*node, codePage)) + "</VALUE>");
        out.Line(indent + "</PROPERTY>");
        // Every child is listed, a single one too: leaving it out would lose it from the packet.
        if (node->SubProperties.Empty())
            continue;
        out.Line(indent + "<SUBPROPERTIES>");
        WritePropertyElements(out, node->SubProperties, level + 1);
        out.Line(indent + "</SUBPROPERTIES>");
    }
}

} // namespace

void WriteXml(const TMSGProperties& message, TStream& stream, bool withProperties)
{
    TLineWriter out(stream);
    out.Line("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>");
    out.Line("<!-- " + GeneratorNote() + " -->");
    out.Line("<DATAPACKET Version=\"2.0\">");
    out.Line("<MESSAGE>");
    out.Line("<GENERAL>");
    out.Line("  <FROM>" + Escaped(message.From()) + "</FROM>");
    out.Line("  <TO>" + Escaped(message.ToList()) + "</TO>");
    out.Line("  <SUBJECT>" + Escaped(message.Subject()) + "</SUBJECT>");
    out.Line("  <BODY>" + Escaped(message.PlainBody()) + "</BODY>");
    out.Line("</GENERAL>");
    if (withProperties) {
        out.Line("<PROPERTIES>");
        WritePropertyElements(out, message, 1);
        out.Line("</PROPERTIES>");
    }
    out.Line("</MESSAGE></DATAPACKET>");
}

} // namespace pelmsg
