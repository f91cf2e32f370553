#pragma once

// Opening a message file: the one place that knows every reader of the library.

#include <memory>
#include <string>

#include "model/message.h"

namespace pelmsg {

// The reader for a file, chosen by its first bytes: the TNEF signature gives a TPelTNEFFile, a compound file a
// TPelMSGFile, a mail (RFC 5322 header lines, or an mbox "From " line) a TPelMailFile, which opens the TNEF part
// inside; anything else (also a missing or unreadable file) a TPelTNEFFile, whose LoadFromFile then reports what
// is wrong. Nothing is loaded yet. Every place that opens a message file goes through this.
std::unique_ptr<TPelMessage> CreateMessageForFile(const std::string& fileName);

} // namespace pelmsg
