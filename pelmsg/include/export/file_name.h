#pragma once

// File names made from names found in a message. Such names are hostile: "../../.bashrc", "a/b", NUL, control
// characters, names of thousands of bytes. What these functions return never leaves the folder it is joined to.

#include <string>
#include <string_view>

#include "core/stream.h"

namespace pelmsg {

// A file name (no folder part) made from a UTF-8 name taken from a message: "/", "\", NUL, control characters and
// the characters Windows forbids become "_"; leading blanks and trailing dots and blanks are dropped (so "." and
// ".." are empty); Windows device names (CON, NUL, COM1, ...) get a "_" in
// front; the result is cut to kMaxFileNameBytes bytes between whole UTF-8 characters, keeping the extension when it
// is short. Invalid UTF-8 bytes become "_". An empty result is `fallback` (itself made safe the same way).
std::string SafeFileName(std::string_view name, std::string_view fallback = "attachment");

// The first of "name.ext", "name (2).ext", "name (3).ext", ... that does not exist in `folder`, each a safe name of
// at most kMaxFileNameBytes bytes. `name` must already be safe. Returns the full path folder + "/" + name.
std::string FirstFreeFilePath(const std::string& folder, const std::string& name);

} // namespace pelmsg
