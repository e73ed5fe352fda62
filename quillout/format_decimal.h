// Small helpers that turn unsigned integers into decimal digits without stdio: the building
// blocks of the float formatter and of every count and corner number the exporter prints.
#pragma once

#include "little_endian.h"

#include <bit>
#include <cstdint>

namespace quillout {

// Eight ASCII digits of n (n < 100000000, leading zeros kept), the first digit in the lowest
// byte: stored in little-endian byte order, the word is the text. Every lane of the 64-bit word
// works on its own digits, so the eight digits cost a handful of multiplications.
inline uint64_t eightDigitsLittleEndian(uint32_t n) {
    const uint64_t merged = (n / 10000) | (uint64_t(n % 10000) << 32);
    const uint64_t hundreds = ((merged * 10486) >> 20) & 0x0000007F0000007FULL;
    const uint64_t pairs = hundreds | ((merged - hundreds * 100) << 16);
    const uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
    const uint64_t ones = pairs - tens * 10;
    return tens | (ones << 8) | 0x3030303030303030ULL;
}

// Writes exactly eight digits of n (n < 100000000) and returns the end.
inline char* writeEightDigits(uint32_t n, char* out) {
    msh::storeLittleEndian(out, eightDigitsLittleEndian(n));
    return out + 8;
}

// Writes n (n < 100000000) as "%u" prints it and returns the end. Stores eight bytes whatever
// the length, so the caller needs eight bytes of room.
inline char* writeUnsignedBelow100Million(uint32_t n, char* out) {
    const uint64_t digits = eightDigitsLittleEndian(n);
    // Leading '0' digits are the low zero bytes of digits ^ '0'; the last digit always stays.
    const uint64_t nonZero = (digits ^ 0x3030303030303030ULL) | (uint64_t(1) << 56);
    const int leadingZeros = std::countr_zero(nonZero) / 8;
    msh::storeLittleEndian(out, digits >> (8 * leadingZeros));
    return out + 8 - leadingZeros;
}

// Writes n as "%u" prints it and returns the end (at most ten characters). Stores at least
// eight bytes, so the caller needs room for ten.
inline char* writeUnsigned(uint32_t n, char* out) {
    if (n < 100000000) [[likely]]
        return writeUnsignedBelow100Million(n, out);
    const uint32_t high = n / 100000000;
    if (high >= 10) {
        *out++ = char('0' + high / 10);
        *out++ = char('0' + high % 10);
    } else {
        *out++ = char('0' + high);
    }
    return writeEightDigits(n % 100000000, out);
}

} // namespace quillout
