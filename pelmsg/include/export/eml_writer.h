#pragma once

// The Internet mail form of a message (.eml, MIME).

#include "model/message.h"
#include "model/property.h"

namespace pelmsg {

class TStream;

struct TEmlOptions {
    // Converts body text for the message's charset in place of the writer's own conversion; called with the
    // collection being written (the message, or an attached message), its charset name and the UTF-8 text, which
    // it replaces. An empty result makes the part UTF-8. Empty: the writer converts itself (EncodeForCharset).
    TPelMSGConvertCodepage ConvertCodepage;
};

// Writes the message as mail: a header section from the message fields (non-ASCII text as encoded words), the
// bodies as quoted-printable text parts (alternatives of one another), attached files as base64 parts and attached
// messages, down to kMaxAttachedMessageDepth, as message/rfc822 parts. Raises what the stream and the options'
// handler raise.
void WriteEml(const TMSGProperties& message, TStream& stream, const TEmlOptions& options = {});

// The content of that mail as one MIME entity, for putting into another mail: the Content-Type and
// Content-Transfer-Encoding fields, the empty line and the body (bodies, attachments, attached messages) exactly
// as WriteEml writes them, without the mail's own header fields (From, To, Subject, Date, MIME-Version, ...). Lines
// end in CR LF. Raises what WriteEml raises.
void WriteEmlContent(const TMSGProperties& message, TStream& stream, const TEmlOptions& options = {});

} // namespace pelmsg
