#pragma once

// The HTML page of a message.

#include "model/property.h"

namespace pelmsg {

class TStream;

// Writes the message's own HTML body with the header fields put in front of it (when there is one and the
// properties are not asked for), else a page made of the header fields, the plain body and, with withProperties,
// a table of every property of the tree. A page of the message's own keeps the charset it declares: its bytes
// are written in that charset (characters it cannot hold as character references); every other page is UTF-8.
// Raises what the stream raises.
void WriteHtml(const TMSGProperties& message, TStream& stream, bool withProperties);

} // namespace pelmsg
