#include "msh_alloc.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<uint64_t> attempted{0};
std::atomic<uint64_t> failAt{0}; // absolute attempt number that fails; 0 means none
} // namespace

void* mshAllocate(size_t count, size_t size) {
    const uint64_t attempt = attempted.fetch_add(1, std::memory_order_relaxed) + 1;
    if (attempt == failAt.load(std::memory_order_relaxed))
        return nullptr;
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    const size_t bytes = count * size;
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void mshRelease(void* memory) { std::free(memory); }

void mshFailAllocation(uint64_t nth) {
    failAt.store(nth == 0 ? 0 : attempted.load(std::memory_order_relaxed) + nth,
                 std::memory_order_relaxed);
}

uint64_t mshAllocationCount() { return attempted.load(std::memory_order_relaxed); }
