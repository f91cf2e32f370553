#pragma once

// Replacing the TNEF parts of a mail by what they hold, as a minimal edit of the mail.

#include <cstddef>
#include <string>
#include <string_view>

#include "mime/mime_reader.h"

namespace pelmsg {

struct TUnwrapOptions {
    TMimeLimits Limits;
    // A mail longer than this is left as it is.
    size_t MaxMailBytes = size_t { 512 } * 1024 * 1024;
};

struct TUnwrapResult {
    // Whether the mail was rewritten; Mail then holds the new mail.
    bool Changed = false;
    std::string Mail;
    // Why the mail was left as it is (no TNEF part, a part that cannot be read, a limit); empty when changed.
    std::string Reason;
    int PartsUnwrapped = 0;
};

// Replaces every TNEF part of the mail (FindTnefParts) by the mail form of its message (WriteEmlContent): the
// bodies as alternatives, inline pictures in a related part, attachments, attached messages as message/rfc822.
// The part's Content-* fields and its body are replaced; the fields put in their place say what the new content
// is, and an "X-Tessaly-Unwrapped: NAME (N attachments)" field records what was done. A message without a
// Subject (or without MIME-Version) whose TNEF has one gets it; the mail's own From, To, Subject and Date are never
// touched. Every other byte stays as it was; what is inserted uses the mail's own line ending. Anything that goes
// wrong (no TNEF part, a TNEF part that cannot be read or is damaged, a limit of the reader, a rewrite that read
// again would not keep every other part byte for byte) leaves the mail as it is, with the reason. Raises only std::bad_alloc.
TUnwrapResult UnwrapTnefParts(std::string_view mail, const TUnwrapOptions& options = {});

// The value of the X-Tessaly-Unwrapped field: "winmail.dat (3 attachments)".
std::string UnwrappedNote(const std::string& partName, int attachmentCount);

} // namespace pelmsg
