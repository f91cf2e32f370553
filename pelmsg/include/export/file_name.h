#pragma once

// File names made from names found in a message. Such names are hostile: "../../.bashrc", "a/b", NUL, control
// characters, names of thousands of bytes. What these functions return never leaves the folder it is joined to.

#include <string>
#include <string_view>

#include "core/stream.h"

namespace pelmsg {

// The most bytes of an extension, its dot included.
inline constexpr size_t kMaxFileExtensionBytes = 16;

// The extension of a file name, its dot included: the last dot followed by 1 to 15 ASCII letters and digits, after
// a stem that is not only dots and blanks. Empty when there is none ("a.tar.gz" has ".gz", "._etc_passwd" none).
std::string_view FileNameExtension(std::string_view name);

// A file name (no folder part) made from a UTF-8 name taken from a message: "/", "\", NUL, control characters and
// the characters Windows forbids become "_"; Unicode bidi controls (U+202E and the like) are dropped; leading
// blanks and dots (no hidden files) and trailing dots and blanks are dropped (so "." and ".." are empty); Windows
// device names (CON, NUL, COM1, ...) get a "_" in front; the result is cut to kMaxFileNameBytes bytes between whole
// UTF-8 characters, keeping the extension, and a cut never makes a new extension. Invalid UTF-8 bytes become "_".
// An empty result is `fallback` (itself made safe the same way).
std::string SafeFileName(std::string_view name, std::string_view fallback = "attachment");

// The first of "name.ext", "name (2).ext", "name (3).ext", ... (".ext" as FileNameExtension finds it, else the
// number goes at the end) that does not exist in `folder`, each a safe name of
// at most kMaxFileNameBytes bytes. `name` must already be safe. Returns the full path folder + "/" + name.
std::string FirstFreeFilePath(const std::string& folder, const std::string& name);

} // namespace pelmsg
