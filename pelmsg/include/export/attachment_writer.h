#pragma once

// The data of an attachment as a file of its own.

#include "model/property.h"

namespace pelmsg {

class TStream;

// Writes the data of the message's attachment at the index (as Attachments counts them): the attached object, or
// else its first ATTACH_DATA node (in an attached message also one deeper down), as many bytes as its DataSize.
// Writes nothing for an index out of range or an attachment without data. Raises what the stream raises.
void WriteAttachmentData(const TMSGProperties& message, int index, TStream& stream);

} // namespace pelmsg
