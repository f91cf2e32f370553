#pragma once

// Replacing the TNEF parts of a mail by what they hold, as a minimal edit of the mail.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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
    // Minor damage read past in the parts that were unwrapped ("part 1 (winmail.dat): checksum mismatch in
    // attribute 0x00069005"): nothing of their content was lost, but the sender's program or the way the mail
    // came wrote bytes that do not add up.
    std::vector<std::string> Notes;
};

// Replaces every TNEF part of the mail (FindTnefParts) by the mail form of its message (WriteEmlContent): the
// bodies as alternatives, inline pictures in a related part, attachments, attached messages as message/rfc822.
// The part's Content-* fields and its body are replaced; the fields put in their place say what the new content
// is, and an "X-Tessaly-Unwrapped: NAME (N attachments)" field records what was done. A message without a
// Subject (or without MIME-Version) whose TNEF has one gets it; the mail's own From, To, Subject and Date are never
// touched. Every other byte stays as it was; what is inserted uses the mail's own line ending. Anything that goes
// wrong (no TNEF part, a TNEF part that cannot be read or that lost content to damage, a limit of the reader, a
// rewrite that read again would not keep every other part byte for byte) leaves the mail as it is, with the
// reason. A TNEF part whose only damage lost nothing (a wrong checksum, an unknown version number, attachments
// without a message block before them: every byte was still read) is unwrapped; its field then counts the faults
// ("winmail.dat (2 attachments; 1 fault read past)") and Notes lists them. Raises only std::bad_alloc.
TUnwrapResult UnwrapTnefParts(std::string_view mail, const TUnwrapOptions& options = {});

// The value of the X-Tessaly-Unwrapped field: "winmail.dat (3 attachments)", with minor faults read past
// "winmail.dat (3 attachments; 2 faults read past)".
std::string UnwrappedNote(const std::string& partName, int attachmentCount, int faultsReadPast = 0);

// Whether a warning of the TNEF reader tells of damage that lost nothing of the content: a checksum that does not
// match data read whole, a version number other than 1.0 (read as 1.0), a missing message block (the attachments
// were read from the start). Content cut short, skipped or left unread is not minor.
bool IsMinorTnefDamage(std::string_view warning);

} // namespace pelmsg
