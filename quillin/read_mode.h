// How the importer reads its OBJ input: one stretch on the calling thread, or two stretches on
// two threads at once. Every mode gives the same tables, messages and result.
#pragma once

#include <cstdint>

namespace quillin {

// Inputs of at least this many bytes are read in two stretches (in ReadMode::bySize).
inline constexpr uint64_t kParallelFromBytes = uint64_t{8} << 20;

enum class ReadMode {
    bySize,       // two stretches from kParallelFromBytes on, one stretch below
    oneStretch,   // one stretch on the calling thread, whatever the size
    twoStretches, // two stretches whenever the input can be split, however small (tests)
};

} // namespace quillin
