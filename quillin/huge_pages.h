// Asking the kernel to back large fresh tables with huge pages where it offers them.
#pragma once

#include <cstddef>

namespace quillin {

// Advises that the whole 2 MiB pages inside [memory, memory + bytes) be backed by huge pages
// when first touched: one fault and one clearing per 2 MiB instead of per 4 KiB. A hint only:
// the contents, and the result where the kernel declines, stay the same.
void adviseHugePages(void* memory, size_t bytes);

} // namespace quillin
