#pragma once

#include <cstddef>

// Limits on what the library follows into a message.

namespace pelmsg {

// How deep attached messages are followed (the message itself is depth 0, a message attached to it depth 1):
// the TNEF reader reads them into the tree, and the MIME and .msg writers write them as messages, this deep;
// a deeper one stays the attachment's raw bytes. Each level takes stack and memory, and hostile input nests
// without end.
inline constexpr int kMaxAttachedMessageDepth = 8;
// Warnings a load records at most: a thoroughly damaged input says so once more and then no longer.
inline constexpr size_t kMaxReadWarnings = 1000;

} // namespace pelmsg
