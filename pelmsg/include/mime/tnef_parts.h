#pragma once

// Finding the TNEF (winmail.dat) parts of a mail.

#include <string>
#include <string_view>
#include <vector>

#include "mime/mime_reader.h"

namespace pelmsg {

struct TTnefPart {
    const TMimeEntity* Part = nullptr;    // the leaf entity holding the TNEF stream
    const TMimeEntity* Message = nullptr; // the message it belongs to: the mail, or a message/rfc822 entity's child
    std::string Name;                     // its file name (Content-Disposition, else Content-Type name), or ""
};

// Whether bytes start with the TNEF signature (78 9F 3E 22).
bool HasTnefSignature(std::string_view bytes);

// The part's body decoded for its transfer encoding (at most maxBytes bytes).
std::string DecodedBody(std::string_view mail, const TMimeEntity& part, size_t maxBytes = std::string::npos);

// The part's file name: the filename parameter of Content-Disposition, else the name parameter of Content-Type.
std::string PartFileName(std::string_view mail, const TMimeEntity& part);

// Every part, at any depth (inside message/rfc822 too), in the order of the mail, whose decoded bytes start with
// the TNEF signature, whatever its type says (application/ms-tnef, application/vnd.ms-tnef, a winmail.dat sent as
// application/octet-stream). A part typed as TNEF whose content is something else is not one.
std::vector<TTnefPart> FindTnefParts(std::string_view mail, const TMimeDocument& document);

// A short description of what a mail holds, for a mail without TNEF parts: "a, b" listing every leaf part as its
// type and, when it has one, its file name ("text/plain", "image/png \"logo.png\"").
std::string DescribeParts(std::string_view mail, const TMimeDocument& document);

// Whether a mail may hold a TNEF part, from its bytes alone and without reading its structure: false only when no
// stretch of it decodes to the TNEF signature in any transfer encoding, so FindTnefParts finds none however the
// mail is read. A mailbox filter copies such a mail without reading it as MIME. One pass, a few operations per
// sixteen bytes; the few candidates it stops at (a byte 9F, "=9F", a "+" between base64 letters) cost a look around.
// MayHoldTnefPart(mail, from) looks only at the bytes from `from` on (a trace may still reach back before it).
bool MayHoldTnefPart(std::string_view mail, size_t from = 0);

// Whether the byte at `at` of the mail is where MayHoldTnefPart finds a trace of the signature: only a byte 9F,
// "=" or "+" can be. For a scanner that reads a mail's bytes for its own reasons and checks for traces on the way;
// a trace found in bytes that run on past the mail's end is one in the mail itself only if this says so again of
// the mail alone (a look ahead may have read past its end).
bool IsTnefTraceAt(std::string_view mail, size_t at);

} // namespace pelmsg
