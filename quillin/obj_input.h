// Reading the whole OBJ input into the working tables: the counting pass, the allocation and the
// parsing pass, over the input in one stretch, or, for a large input, in two stretches read and
// parsed on two threads at once and joined in input order.
#pragma once

#include "quillin/obj_reader.h"
#include "quillin/piece_reader.h"
#include "quillin/read_mode.h"

#include <cstdint>

namespace quillin {

// Reads `input` (opened from `path`) into `tables`; true when done. Every failure prints its one
// message (read error, allocation failure, a face naming no record) and leaves no table behind. The
// buffer is shared out between the stretches, which read the one input at their own offsets.
// When the second thread cannot be started, or the input changed between the passes, one
// stretch does it all, with the same result.
bool readObjTables(const TextInput& input, const char* path, const ReadBuffer& buffer,
                   ReadMode mode, ObjTables& tables);

// The ways a two-stretch reading falls back to one stretch.
enum class StretchFallback { none, threadNotStarted, inputChanged };

// Test seam: makes the fallbacks happen on demand, and tells which one the last reading took.
// A normal run leaves every member at its zero value (and only ever writes `taken`).
struct TwoStretchSeam {
    int failThreadStartInPass;            // 1: the counting pass, 2: the parsing pass, 0: none
    void (*betweenPasses)(void* context); // run after the counting, before the parsing pass
    void* context;
    StretchFallback taken; // set by readObjTables
};
inline TwoStretchSeam twoStretchSeam{};

} // namespace quillin
