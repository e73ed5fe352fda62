// Every table of the library and of both programs is allocated through these functions, so
// that one place checks sizes for overflow, hands out zero-filled memory (mshGrow's new bytes
// excepted), and lets tests make any allocation fail in turn.
#pragma once

#include <cstddef>
#include <cstdint>

// Allocates count * size zero-filled bytes. Returns null when the product overflows size_t,
// when memory runs out, or when a failure has been injected for this allocation. A request of
// zero bytes still returns a unique non-null pointer (release it with mshRelease).
void* mshAllocate(size_t count, size_t size);

// Resizes `memory` (from mshAllocate or mshGrow, oldBytes long) to count * size bytes, at least
// oldBytes, keeping its bytes; the block may move. The new bytes are not filled (so that pages a
// growing input never reaches are never touched): the caller writes each before it reads it.
// Returns null, with `memory` left as it was (release it), when the product overflows, memory
// runs out, the size would shrink, or a failure has been injected for this allocation.
void* mshGrow(void* memory, size_t oldBytes, size_t count, size_t size);

// Releases memory from mshAllocate; null is accepted.
void mshRelease(void* memory);

// Typed form: mshAllocateArray<MeshVertex>(n).
template <typename T>
T* mshAllocateArray(size_t count) {
    return static_cast<T*>(mshAllocate(count, sizeof(T)));
}

// Test seam. mshFailAllocation(n) makes the n-th allocation from now fail (1 is the next one);
// 0 turns injection off. mshAllocationCount() counts the allocations attempted so far.
void mshFailAllocation(uint64_t nth);
uint64_t mshAllocationCount();
