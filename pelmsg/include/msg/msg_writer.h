#pragma once

// The Outlook .msg form of a message: a compound file (OLE structured storage) with a storage per recipient and
// attachment and a stream per property.

#include <string>

#include "core/stream.h"
#include "model/property.h"

namespace pelmsg {

// Writes the message (a tree, or the subtree of an attached message, which is then written as a message of its
// own) as a new .msg file, through a temporary file that replaces the target only when everything was written.
// A tree read from a .msg file with allProperties is mirrored: every node becomes the storage or stream it was
// read from, headers and entries as they were. Any other tree is laid out as Outlook lays out a message, with
// every property when allProperties is set, else only the common ones. Attached messages are written as
// messages down to kMaxAttachedMessageDepth, deeper ones as their data. Raises EFileError when the file cannot be
// created and EStorageError when the tree cannot be written as a compound file (an element name the format
// forbids).
void WriteMsgFile(const TMSGProperties& message, const std::string& fileName, bool allProperties);

// The same compound file, made in memory and then written to the stream (which the caller saves as it saves
// any other output).
void WriteMsgStream(const TMSGProperties& message, TStream& stream, bool allProperties);

} // namespace pelmsg
