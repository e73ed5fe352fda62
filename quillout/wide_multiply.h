// The full 128-bit product of two 64-bit numbers, as its high and low words. Compilers with a
// 128-bit integer type do it in one multiplication; the portable form builds it from four
// 32-bit partial products, for any other compiler.
#pragma once

#include <cstdint>

namespace quillout {

struct WideProduct {
    uint64_t high;
    uint64_t low;
};

constexpr WideProduct multiplyWidePortably(uint64_t a, uint64_t b) {
    constexpr uint64_t kLowHalf = 0xFFFFFFFFu;
    const uint64_t lowLow = (a & kLowHalf) * (b & kLowHalf);
    const uint64_t highLow = (a >> 32) * (b & kLowHalf);
    const uint64_t lowHigh = (a & kLowHalf) * (b >> 32);
    const uint64_t highHigh = (a >> 32) * (b >> 32);
    // The bits 32 to 95 gathered without overflow: (2^32 - 1)^2 + 2 * (2^32 - 1) < 2^64.
    const uint64_t middle = (lowLow >> 32) + (highLow & kLowHalf) + lowHigh;
    return WideProduct{highHigh + (highLow >> 32) + (middle >> 32),
                       (middle << 32) | (lowLow & kLowHalf)};
}

inline WideProduct multiplyWide(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 Product; // __extension__: no pedantic warning
    const Product product = Product(a) * b;
    return WideProduct{uint64_t(product >> 64), uint64_t(product)};
#else
    return multiplyWidePortably(a, b);
#endif
}

} // namespace quillout
