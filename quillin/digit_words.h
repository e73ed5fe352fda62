// Eight text bytes as one little-endian word, and the digit tests and values that work on all
// eight at once; the one white-space test. Shared by the number conversions, the field splits
// and the face shortcut.
#pragma once

#include "little_endian.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace quillin {

// Space, tab, line end, vertical tab, form feed, carriage return: white space as the C library
// reads it, and the blanks between OBJ fields. One bit each.
inline constexpr uint64_t kCSpaceBits = (uint64_t{1} << ' ') | (uint64_t{1} << '\t') |
                                        (uint64_t{1} << '\n') | (uint64_t{1} << '\v') |
                                        (uint64_t{1} << '\f') | (uint64_t{1} << '\r');

inline bool isCSpace(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' && ((kCSpaceBits >> byte) & 1u) != 0;
}

inline uint64_t loadEight(const char* p) { return msh::loadLittleEndian<uint64_t>(p); }

inline uint64_t loadFour(const char* p) { return msh::loadLittleEndian<uint32_t>(p); }

// The first eight bytes of [p, last), zero bytes past `last`, without reading past it: short
// ranges are covered by two overlapping loads, or by single bytes.
inline uint64_t loadUpToEight(const char* p, const char* last) {
    const auto length = static_cast<size_t>(last - p);
    if (length >= 8)
        return loadEight(p);
    if (length >= 4)
        return loadFour(p) | (loadFour(last - 4) << (8 * (length - 4)));
    if (length == 0)
        return 0;
    const auto byteAt = [p](size_t i) {
        return static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    };
    return byteAt(0) | byteAt(length / 2) | byteAt(length - 1);
}

// The top bit of each byte that is not a digit character, up to and including the first such
// byte; above it a carry may mark digits too. A byte below '0' turns the subtraction's top bit
// on; one above '9' turns the addition's on.
inline uint64_t nonDigitBytes(uint64_t bytes) {
    return ((bytes + 0x4646464646464646u) | (bytes - 0x3030303030303030u)) & 0x8080808080808080u;
}

inline bool isEightDigits(uint64_t bytes) { return nonDigitBytes(bytes) == 0; }

// The number of digit characters the word starts with (8 when all are digits).
inline int leadingDigitCount(uint64_t bytes) {
    const uint64_t nonDigits = nonDigitBytes(bytes);
    return nonDigits == 0 ? 8 : std::countr_zero(nonDigits) >> 3;
}

// The value of eight digit characters, the first one the most significant (in the lowest
// byte): neighbouring digits are combined into pairs, pairs into fours, fours into eight.
inline uint64_t eightDigitValue(uint64_t bytes) {
    bytes = ((bytes & 0x0F0F0F0F0F0F0F0Fu) * (1 + (10 << 8))) >> 8;
    bytes = ((bytes & 0x00FF00FF00FF00FFu) * (1 + (100 << 16))) >> 16;
    return ((bytes & 0x0000FFFF0000FFFFu) * (1 + (uint64_t{10000} << 32))) >> 32;
}

// The value of the first `count` (1 to 7) of eight digit characters: the digits are moved to
// the low-order end and zeros fill in ahead of them.
inline uint64_t leadingDigitsValue(uint64_t bytes, int count) {
    const int padding = 64 - 8 * count;
    return eightDigitValue((bytes << padding) | (0x3030303030303030u >> (64 - padding)));
}

// For `word`, the text at some p whose first n (1 to 7) bytes are digits followed by '/' at
// `slash` = p + n: true when the digits and '/' follow at slash + 1 and the digits again at
// slash + n + 2, as in "12/12/12". Bytes past `last` load as zeros, which match neither a digit
// nor a slash, so the second word is loaded only when the first lies inside the text.
inline bool repeatsAfterSlash(const char* slash, const char* last, uint64_t word, int n) {
    const uint64_t digitsAndSlash = ~uint64_t{0} >> (8 * (7 - n));
    const uint64_t digitsOnly = ~uint64_t{0} >> (8 * (8 - n));
    return ((loadUpToEight(slash + 1, last) ^ word) & digitsAndSlash) == 0 &&
           ((loadUpToEight(slash + n + 2, last) ^ word) & digitsOnly) == 0;
}

} // namespace quillin
