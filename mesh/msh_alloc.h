// Every table of the library and of both programs is allocated through these two functions,
// so that one place checks sizes for overflow, hands out zero-filled memory, and lets tests
// make any allocation fail in turn.
#pragma once

#include <cstddef>
#include <cstdint>

// Allocates count * size zero-filled bytes. Returns null when the product overflows size_t,
// when memory runs out, or when a failure has been injected for this allocation. A request of
// zero bytes still returns a unique non-null pointer (release it with mshRelease).
void* mshAllocate(size_t count, size_t size);

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
