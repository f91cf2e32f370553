#pragma once

// How much looking up the property lookups of this thread have done, for tests that check that the writers and
// views stay linear in the size of the tree: counting work tells what a clock cannot tell reliably.

#include <cstdint>

namespace pelmsg {

struct TLookupWork {
    uint64_t NodesExamined = 0; // nodes FindProperty compared with the tag it looks for
    uint64_t CodePageScans = 0; // times a collection looked for its code-page nodes
    uint64_t BoundaryPasses = 0; // passes the MIME writer made over its parts to choose a boundary
    uint64_t EntityUnitsExamined = 0; // units the RTF reader looked at for the ";" of an HTML entity
};

// This thread's counts; tests reset them and read them.
TLookupWork& LookupWork();

} // namespace pelmsg
