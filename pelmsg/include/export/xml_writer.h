#pragma once

// The XML data packet of a message.

#include "model/property.h"

namespace pelmsg {

class TStream;

// Writes a DATAPACKET document: From, To, Subject and the plain body and, with withProperties, every property of
// the tree with its category and value (in CDATA), children nested in SUBPROPERTIES. The document is UTF-8 and
// well-formed whatever the values hold. Raises what the stream raises.
void WriteXml(const TMSGProperties& message, TStream& stream, bool withProperties);

} // namespace pelmsg
