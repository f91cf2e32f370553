#pragma once

// The plain-text listing of a message.

#include "model/property.h"

namespace pelmsg {

class TStream;

// Writes the generator note, From, Sent (when the message has a date), To, Subject and the plain body, one line
// each and, with withProperties, every property of the tree: its category, tag and value, indented by depth.
// Text is UTF-8; byte strings are decoded with the code page of their collection. Raises what the stream raises.
void WriteText(const TMSGProperties& message, TStream& stream, bool withProperties);

} // namespace pelmsg
