// Picks a share of the inputs for the slow checks that start threads, by a hash of the input
// itself, so that a saved input always takes the same path when it is run again.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool sampledInput(const uint8_t* data, size_t size, uint32_t oneIn) {
    uint32_t hash = 2166136261u ^ static_cast<uint32_t>(size);
    for (size_t i = 0; i < size && i < 64; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash % oneIn == 0;
}
