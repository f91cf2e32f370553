#pragma once

#include "usage_doc.h"

namespace tessaly {

// What pelmsg-dump --help prints, its manual page and its bash completion are made from this description.
const TUsageDoc& PelmsgDumpUsage();

} // namespace tessaly
