#include "mail_builder.h"

#include <algorithm>

#include "mime/mime_reader.h"
#include "mime/tnef_parts.h"

namespace pelmsg::test {

namespace {

std::string Lines(const std::vector<std::string>& lines, const std::string& eol)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + eol;
    return out;
}

std::string TnefPart(const std::string& type, const std::string& name, const std::string& tnef, const std::string& eol,
    bool qp = false)
{
    return Lines({ "Content-Type: " + type + ";", "\tname=\"" + name + "\"",
                     "Content-Transfer-Encoding: " + std::string(qp ? "quoted-printable" : "base64"),
                     "Content-Disposition: attachment; filename=\"" + name + "\"", "" },
               eol)
        + (qp ? QuotedPrintableLines(tnef, eol) : Base64Lines(tnef, eol));
}

std::string TextPart(const std::string& text, const std::string& eol)
{
    return Lines({ "Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: 8bit", "", text }, eol);
}

std::string PicturePart(const std::string& eol)
{
    return Lines({ "Content-Type: image/png; name=\"dot.png\"", "Content-Transfer-Encoding: base64",
                     "Content-Disposition: inline; filename=\"dot.png\"", "" },
               eol)
        + Base64Lines(std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), eol);
}

std::string Multipart(const std::string& subtype, const std::string& boundary, const std::vector<std::string>& parts,
    const std::string& eol, const std::string& preamble = "", const std::string& epilogue = "")
{
    std::string out = Lines({ "Content-Type: multipart/" + subtype + "; boundary=\"" + boundary + "\"", "" }, eol);
    out += preamble;
    for (const std::string& part : parts)
        out += "--" + boundary + eol + part + eol;
    out += "--" + boundary + "--" + eol + epilogue;
    return out;
}

std::string Envelope(const std::string& subject, const std::string& eol)
{
    return Lines({ "Return-Path: <ann@example.org>", "Received: from mx.example.org by mail.example.net;",
                     "\tTue, 3 Mar 2026 10:00:00 +0100", "From: Ann Example <ann@example.org>",
                     "To: Bob <bob@example.net>", "Subject: " + subject, "Date: Tue, 3 Mar 2026 10:00:00 +0100",
                     "Message-ID: <m1@example.org>", "MIME-Version: 1.0" },
        eol);
}

} // namespace

const std::vector<ShapeRow>& MailShapes()
{
    static const std::vector<ShapeRow> rows {
        { MailShape::TopLevel, "TopLevel", 1 },
        { MailShape::Mixed, "Mixed", 1 },
        { MailShape::Alternative, "Alternative", 1 },
        { MailShape::NestedMessages, "NestedMessages", 1 },
        { MailShape::TwoParts, "TwoParts", 2 },
        { MailShape::EightBitHeaders, "EightBitHeaders", 1 },
        { MailShape::QuotedPrintable, "QuotedPrintable", 1 },
        { MailShape::OctetStream, "OctetStream", 1 },
        { MailShape::VndLabel, "VndLabel", 1 },
    };
    return rows;
}

std::string Base64Lines(const std::string& bytes, const std::string& eol)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string line, out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t b0 = static_cast<unsigned char>(bytes[i]);
        const uint32_t b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const uint32_t b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const uint32_t v = (b0 << 16) | (b1 << 8) | b2;
        line += alphabet[(v >> 18) & 63];
        line += alphabet[(v >> 12) & 63];
        line += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        line += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
        if (line.size() >= 76) {
            out += line + eol;
            line.clear();
        }
    }
    if (!line.empty())
        out += line + eol;
    return out;
}

std::string QuotedPrintableLines(const std::string& bytes, const std::string& eol)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    size_t length = 0;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const bool literal = b >= 33 && b <= 126 && b != '=';
        const size_t width = literal ? 1 : 3;
        if (length + width > 75) {
            out += "=" + eol;
            length = 0;
        }
        if (literal) {
            out += c;
        } else {
            out += '=';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
        length += width;
    }
    return out + eol;
}

std::string BuildMail(MailShape shape, const std::string& tnef, bool crlf)
{
    const std::string eol = crlf ? "\r\n" : "\n";
    const std::string tnefPart = TnefPart("application/ms-tnef", "winmail.dat", tnef, eol);
    switch (shape) {
    case MailShape::TopLevel:
        return Envelope("Top level", eol) + tnefPart;
    case MailShape::Mixed:
        return Envelope("Mixed", eol)
            + Multipart("mixed", "b1", { TextPart("Hello", eol), tnefPart, PicturePart(eol) }, eol);
    case MailShape::Alternative:
        return Envelope("Alternative", eol)
            + Multipart("alternative", "alt", { TextPart("Plain", eol), tnefPart }, eol);
    case MailShape::NestedMessages: {
        const std::string inner = Lines({ "From: Carl <carl@example.com>", "Subject: Inner", "MIME-Version: 1.0" }, eol)
            + Multipart("mixed", "in2", { TextPart("Deepest", eol), tnefPart }, eol);
        const std::string middle = Lines({ "From: Dora <dora@example.com>", "Subject: Middle" }, eol)
            + Multipart("mixed", "in1",
                { TextPart("Middle text", eol), Lines({ "Content-Type: message/rfc822", "" }, eol) + inner }, eol);
        return Envelope("Nested", eol)
            + Multipart("mixed", "out",
                { TextPart("Outer", eol), Lines({ "Content-Type: message/rfc822", "" }, eol) + middle }, eol);
    }
    case MailShape::TwoParts:
        return Envelope("Two", eol)
            + Multipart("mixed", "two",
                { TextPart("Two of them", eol), tnefPart,
                    TnefPart("application/ms-tnef", "second.dat", tnef, eol) },
                eol);
    case MailShape::EightBitHeaders:
        return Lines({ "From: J\xc3\xbcrgen <j@example.de>", "To: Andr\xe9 <a@example.fr>",
                         "Subject: Gr\xc3\xbc\xc3\x9f""e =?iso-8859-1?Q?=E0_vous?=", "MIME-Version: 1.0" },
                   eol)
            + Multipart("mixed", "8b", { TextPart("Gr\xc3\xbc\xc3\x9f""e", eol), tnefPart }, eol);
    case MailShape::QuotedPrintable:
        return Envelope("QP", eol)
            + Multipart("mixed", "qp",
                { TextPart("QP", eol), TnefPart("application/ms-tnef", "winmail.dat", tnef, eol, true) }, eol);
    case MailShape::OctetStream:
        return Envelope("Octet", eol)
            + Multipart("mixed", "oc",
                { TextPart("Octets", eol), TnefPart("application/octet-stream", "winmail.dat", tnef, eol) }, eol);
    case MailShape::VndLabel:
        return Envelope("Vnd", eol)
            + Multipart("mixed", "vnd", { TextPart("Vnd", eol), TnefPart("application/vnd.ms-tnef", "att.dat", tnef, eol) },
                eol, "This is a preamble." + eol, "An epilogue." + eol);
    }
    return {};
}

namespace {

void Leaves(const TMimeEntity& entity, std::vector<const TMimeEntity*>& out)
{
    if ((entity.IsMultipart() || entity.IsMessage()) && !entity.Children.empty()) {
        for (const TMimeEntity& child : entity.Children)
            Leaves(child, out);
        return;
    }
    out.push_back(&entity);
}

} // namespace

std::string MinimalEditFault(const std::string& before, const std::string& after)
{
    const TMimeDocument in = ReadMime(before);
    const TMimeDocument out = ReadMime(after);
    const std::vector<TTnefPart> tnef = FindTnefParts(before, in);
    if (tnef.empty())
        return before == after ? std::string() : "no TNEF part, yet the mail changed";
    // Up to the first TNEF part, or up to the end of its message's header when a Subject may have been added there.
    size_t head = tnef.front().Part->Header.Begin;
    if (const TMimeEntity* message = tnef.front().Message; !message->Field(before, "Subject"))
        head = std::min(head, message->Separator.Size() ? message->Separator.Begin : message->Body.Begin);
    const size_t tail = tnef.back().Part->Body.End;
    if (after.compare(0, head, before, 0, head) != 0)
        return "the bytes before the first TNEF part changed";
    if (after.size() < before.size() - tail
        || after.compare(after.size() - (before.size() - tail), before.size() - tail, before, tail) != 0)
        return "the bytes after the last TNEF part changed";
    std::vector<const TMimeEntity*> inLeaves, outLeaves;
    Leaves(in.Root, inLeaves);
    Leaves(out.Root, outLeaves);
    size_t next = 0;
    for (const TMimeEntity* leaf : inLeaves) {
        if (std::any_of(tnef.begin(), tnef.end(), [&](const TTnefPart& p) { return p.Part == leaf; }))
            continue;
        const std::string_view bytes = leaf->Whole.In(before);
        while (next < outLeaves.size() && outLeaves[next]->Whole.In(after) != bytes)
            ++next;
        if (next == outLeaves.size())
            return "a part that was not TNEF is missing or changed: "
                + std::string(bytes.substr(0, std::min<size_t>(bytes.size(), 80)));
        ++next;
    }
    if (!FindTnefParts(after, out).empty())
        return "the rewritten mail still holds a TNEF part";
    return {};
}

} // namespace pelmsg::test
