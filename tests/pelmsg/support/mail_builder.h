#pragma once

// Mails of many shapes around a TNEF stream, for the MIME tests; and a check that a rewrite was a minimal edit.

#include <string>
#include <vector>

namespace pelmsg::test {

enum class MailShape {
    TopLevel,          // the mail's body is the TNEF
    Mixed,             // multipart/mixed: text, TNEF, a picture
    Alternative,       // multipart/alternative: text, TNEF
    NestedMessages,    // mixed > message/rfc822 > mixed > message/rfc822 > mixed (text, TNEF)
    TwoParts,          // multipart/mixed with two TNEF parts
    EightBitHeaders,   // raw UTF-8 and Latin-1 bytes in header fields
    QuotedPrintable,   // the TNEF in quoted-printable
    OctetStream,       // winmail.dat as application/octet-stream
    VndLabel,          // application/vnd.ms-tnef, with preamble and epilogue
};

struct ShapeRow {
    MailShape Shape;
    const char* Name;
    int TnefParts;
};
const std::vector<ShapeRow>& MailShapes();

// The mail of that shape holding the TNEF bytes, with CR LF or LF line endings.
std::string BuildMail(MailShape shape, const std::string& tnef, bool crlf);

// Base64 in lines of 76 characters, each ended by the line ending.
std::string Base64Lines(const std::string& bytes, const std::string& eol);
// Quoted-printable of arbitrary bytes, lines ended by the line ending.
std::string QuotedPrintableLines(const std::string& bytes, const std::string& eol);

// Whether `after` is `before` with only its TNEF parts rewritten: the bytes before the first TNEF part's header and
// after the last one's body are equal, and every leaf part of `before` that is not TNEF appears, byte for byte and
// in order, among the leaf parts of `after`. Empty when so, else what differs.
std::string MinimalEditFault(const std::string& before, const std::string& after);

} // namespace pelmsg::test
