#include "msh_alloc.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<uint64_t> attempted{0};
std::atomic<uint64_t> failAt{0}; // absolute attempt number that fails; 0 means none

// Counts an attempt; false when it is the one a test made fail.
bool attemptSucceeds() {
    const uint64_t attempt = attempted.fetch_add(1, std::memory_order_relaxed) + 1;
    return attempt != failAt.load(std::memory_order_relaxed);
}
} // namespace

void* mshAllocate(size_t count, size_t size) {
    if (!attemptSucceeds() || (size != 0 && count > SIZE_MAX / size))
        return nullptr;
    const size_t bytes = count * size;
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void* mshGrow(void* memory, size_t oldBytes, size_t count, size_t size) {
    if (!attemptSucceeds() || (size != 0 && count > SIZE_MAX / size))
        return nullptr;
    const size_t bytes = count * size;
    if (bytes < oldBytes)
        return nullptr;
    return std::realloc(memory, bytes == 0 ? 1 : bytes);
}

void mshRelease(void* memory) { std::free(memory); }

void mshFailAllocation(uint64_t nth) {
    failAt.store(nth == 0 ? 0 : attempted.load(std::memory_order_relaxed) + nth,
                 std::memory_order_relaxed);
}

uint64_t mshAllocationCount() { return attempted.load(std::memory_order_relaxed); }
