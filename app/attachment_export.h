#pragma once

// Writes every attachment of a message into a folder: the command line's "/ATTACHMENTS".

#include <ostream>
#include <string>

namespace pelmsg {
class TMSGProperties;
}

namespace quorra {

// The folder attachments go to by default: beside the message, named after it without its extension
// ("/mail/winmail.dat" gives "/mail/winmail"; a name without extension gets " attachments").
std::string DefaultAttachmentFolder(const std::string& messagePath);

// Writes each attachment of the message into the folder (created when missing) under a name made safe from its
// own, never replacing a file there: a taken name gets " (2)", " (3)", ... An attached message is written as an
// Outlook .msg file; other attachments as their bytes. Prints each file's path on `out` as it is written and each
// failure on `errors`. Returns 0 when every attachment was written (also when there are none), 1 otherwise.
int SaveAllAttachments(
    const pelmsg::TMSGProperties& message, const std::string& folder, std::ostream& out, std::ostream& errors);

} // namespace quorra
