#pragma once

#include "usage_doc.h"

namespace quorra {

// What quorra --help prints, the manual page quorra(1) and the bash completion are all made from this description.
const tessaly::TUsageDoc& QuorraUsage();

} // namespace quorra
