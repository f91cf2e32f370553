#pragma once

// Memory for large values read from a file (attachments of many megabytes).

#include <cstddef>
#include <string>

namespace pelmsg {

// An empty string with room for `count` bytes. Room for a large count is backed by huge pages where the system
// offers them, and mapped in with one call before anything is written: filling fresh memory 4 KB page by page costs
// several times what copying the bytes into it does.
std::string StringWithRoomFor(size_t count);

// Writes count bytes at `position` of bytes held in memory, over what is there, growing them as needed (a position
// past the end first fills the gap with zeros): a write to a stream over memory.
void WriteAt(std::string& data, size_t position, const void* bytes, size_t count);

} // namespace pelmsg
