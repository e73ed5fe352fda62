// Small helpers that turn unsigned integers into decimal digits without stdio: the building
// blocks of the float formatter and of every count and corner number the exporter prints.
#pragma once

#include <cstdint>
#include <cstring>

namespace quillout {

// Eight ASCII digits of n (n < 100000000, leading zeros kept), packed in the byte order they
// are stored in memory on a little-endian machine. Every lane of the 64-bit word works on its
// own digits, so the eight digits cost a handful of multiplications.
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
    const uint64_t digits = eightDigitsLittleEndian(n);
    std::memcpy(out, &digits, 8);
    return out + 8;
}

// Writes n as "%u" prints it and returns the end (at most ten characters).
inline char* writeUnsigned(uint32_t n, char* out) {
    if (n < 10) {
        *out = char('0' + n);
        return out + 1;
    }
    char digits[16];
    const uint32_t high = n / 100000000;
    char* end = writeEightDigits(n % 100000000, digits + 8);
    uint64_t low;
    std::memcpy(&low, digits + 8, 8);
    digits[6] = char('0' + high / 10);
    digits[7] = char('0' + high % 10);
    // Skip the leading zeros: count them in the packed word (bytes equal to '0').
    int skip;
    if (high != 0) {
        skip = high < 10 ? 7 : 6;
    } else {
        const uint64_t nonZero = low ^ 0x3030303030303030ULL; // zero bytes where the digit is '0'
        skip = 8 + __builtin_ctzll(nonZero) / 8;
    }
    const size_t length = size_t(end - digits - skip);
    std::memcpy(out, digits + skip, length);
    return out + length;
}

} // namespace quillout
