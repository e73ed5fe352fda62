// Reading the whole OBJ input into the working tables: the counting pass, the allocation and the
// parsing pass, over the input in one stretch, or, for a large input, in two stretches read and
// parsed on two threads at once and joined in input order.
#pragma once

#include "quillin/obj_reader.h"
#include "quillin/piece_reader.h"

#include <cstdint>

namespace quillin {

// Inputs of at least this many bytes are read in two stretches.
inline constexpr uint64_t kParallelFromBytes = uint64_t{8} << 20;

// Reads `input` (opened from `path`) into `tables`; true when done. Every failure prints its one
// message (read error, allocation failure, a face naming no record) and leaves no table behind. The
// buffer is shared out between the stretches. A second stretch reads through its own handle of
// `path`; when that cannot be had, or the input changed between the passes, one stretch does it
// all, with the same result.
bool readObjTables(const TextInput& input, const char* path, const ReadBuffer& buffer,
                   uint64_t parallelFromBytes, ObjTables& tables);

} // namespace quillin
