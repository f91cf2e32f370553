#pragma once

// One entity of an Internet mail (RFC 5322, MIME): where its header fields, body, preamble and epilogue lie in
// the bytes it was read from, what its Content-Type says, and the entities it holds.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmsg {

// A half-open range of byte offsets [Begin, End) in the mail the entity was read from.
struct TMimeRange {
    size_t Begin = 0;
    size_t End = 0;
    size_t Size() const { return End - Begin; }
    std::string_view In(std::string_view mail) const { return mail.substr(Begin, End - Begin); }
};

// One header field: Whole runs from the first byte of its name to the end of its last line (line ending
// included, continuation lines too); Value is what follows the colon, unfolding not applied.
struct TMimeField {
    TMimeRange Name;
    TMimeRange Value;
    TMimeRange Whole;
};

struct TMimeEntity {
    // Header start to body end. A part inside a multipart ends before the line break that precedes the next
    // delimiter line (that line break belongs to the delimiter).
    TMimeRange Whole;
    // The header fields (without the empty line that ends them); Separator is that empty line, empty when the
    // header section ended without one (at a delimiter, or at a line that is no field).
    TMimeRange Header;
    TMimeRange Separator;
    TMimeRange Body;
    std::vector<TMimeField> Fields;

    // From Content-Type, in lower case: "text"/"plain" when there is none (message/rfc822 inside a
    // multipart/digest). Parameter names in lower case; values decoded (RFC 2231 sections and charsets, quoted
    // strings), as UTF-8.
    std::string Type = "text";
    std::string Subtype = "plain";
    std::vector<std::pair<std::string, std::string>> Parameters;
    // Content-Transfer-Encoding in lower case; empty when there is none (7bit).
    std::string TransferEncoding;

    // A multipart's text before its first delimiter line and after its closing one (empty ranges when absent).
    TMimeRange Preamble;
    TMimeRange Epilogue;
    bool ClosingDelimiterMissing = false;
    // The parts of a multipart, or the one message a message/rfc822 entity holds.
    std::vector<TMimeEntity> Children;
    // Nesting depth: 0 for the mail itself.
    int Depth = 0;

    bool IsMultipart() const { return Type == "multipart"; }
    bool IsMessage() const { return Type == "message" && (Subtype == "rfc822" || Subtype == "global"); }
    // The decoded value of a Content-Type parameter (name in lower case); empty when absent.
    std::string Parameter(std::string_view name) const;
    // The first field of that name (compared without regard to case), or nullptr.
    const TMimeField* Field(std::string_view mail, std::string_view name) const;
};

} // namespace pelmsg
