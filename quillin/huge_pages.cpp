#include "quillin/huge_pages.h"

#include <cstdint>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace quillin {

namespace {

constexpr uintptr_t kHugePageBytes = uintptr_t{2} << 20;

} // namespace

void adviseHugePages(void* memory, size_t bytes) {
#ifdef MADV_HUGEPAGE
    const uintptr_t start = reinterpret_cast<uintptr_t>(memory);
    const uintptr_t first = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const uintptr_t end = (start + bytes) & ~(kHugePageBytes - 1);
    if (memory != nullptr && end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)memory;
    (void)bytes;
#endif
}

} // namespace quillin
