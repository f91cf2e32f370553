#pragma once

// The program's private temporary folder: one per run, mode 0700, removed when the program exits. Attachments the
// user opens, and the files handed to the mail program for Reply and Forward, are written here, mode 0600 and
// never executable, under safe names that stay inside the folder.

#include <functional>

#include <QString>

#include "pelmsg.h"

namespace quorra {

// The folder's path, made on first use (under $TMPDIR, else /tmp). Empty when it cannot be made.
QString PrivateTempFolder();

// Writes a file into the private folder: `name` (as the message gives it) made safe, and made distinct when the
// folder already holds that name, written through the one save function and then made 0600. Returns the path
// written. Raises the library's errors when it cannot be written.
QString WritePrivateTempFile(const QString& name, const std::function<void(pelmsg::TStream&)>& write);

// Whether the desktop would run the written file at path rather than show it: by the name it was written under and
// its first bytes (IsExecutableAttachment), and by the types the desktop's MIME database (shared-mime-info) gives
// it from its name and from its content: an executable, script, desktop entry, Windows program or installer, Java
// archive, shared library or anything that inherits one of them. Such a file is never handed to the desktop.
bool IsLaunchableFile(const QString& path);

// Removes the folder and everything in it now (also done at exit). For tests and for a clean shut-down.
void RemovePrivateTempFolder();

} // namespace quorra
