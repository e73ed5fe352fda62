#include "format_fixed24.h"

#include "format_decimal.h"

#include <cstdint>
#include <cstring>

// A finite float is m / 2^k with an integer m below 2^24. Its 24 decimals are the fraction
// bits f = m mod 2^k times 10^24 / 2^k, rounded to nearest with ties to even (the C library
// rounds exactly in the default rounding mode). For k <= 48 the product splits into two
// 12-digit halves that fit 64-bit integers; up to k = 104 one 128-bit product suffices; beyond
// that every decimal is zero. A negative k is a whole number below 2^128.

namespace quillout {
namespace {

__extension__ typedef unsigned __int128 u128;

constexpr uint64_t pow5to12 = 244140625ULL;
constexpr uint64_t pow10to12 = 1000000000000ULL;
constexpr uint64_t pow10to8 = 100000000ULL;

struct Decimals {
    uint64_t high; // decimals 1 to 12
    uint64_t low;  // decimals 13 to 24
};

uint64_t lowBits(uint64_t value, int count) {
    return value & ((uint64_t(1) << count) - 1);
}

// Rounds value / 2^shift to nearest, ties to even (1 <= shift <= 63).
uint64_t roundShift(uint64_t value, int shift) {
    const uint64_t quotient = value >> shift;
    const uint64_t remainder = lowBits(value, shift);
    const uint64_t half = uint64_t(1) << (shift - 1);
    return quotient + (remainder > half || (remainder == half && (quotient & 1) != 0));
}

// Decimals of f / 2^k for 1 <= k <= 48 and f < 2^k, f < 2^24.
Decimals decimalsSmallShift(uint64_t f, int k) {
    const uint64_t scaled = f * pow5to12; // f / 2^k * 10^12 = scaled / 2^(k - 12)
    if (k <= 12)
        return {scaled << (12 - k), 0};
    const int shift = k - 12;
    const uint64_t high = scaled >> shift;
    const uint64_t rest = lowBits(scaled, shift) * pow5to12; // low decimals = rest / 2^(k - 24)
    if (k <= 24)
        return {high, rest << (24 - k)};
    const uint64_t low = roundShift(rest, k - 24);
    if (low == pow10to12)
        return {high + 1, 0};
    return {high, low};
}

// Decimals of f / 2^k for 49 <= k <= 104 and f < 2^24: the rounded result is below 2^56.
Decimals decimalsLargeShift(uint64_t f, int k) {
    constexpr u128 pow10to24 = u128(pow10to12) * pow10to12;
    const u128 product = u128(f) * pow10to24;
    const uint64_t quotient = uint64_t(product >> k);
    const u128 remainder = product & ((u128(1) << k) - 1);
    const u128 half = u128(1) << (k - 1);
    const uint64_t rounded =
        quotient + (remainder > half || (remainder == half && (quotient & 1) != 0));
    return {rounded / pow10to12, rounded % pow10to12};
}

char* writeDecimals(Decimals decimals, char* out) {
    *out++ = '.';
    out = writeEightDigits(uint32_t(decimals.high / 10000), out);
    const uint64_t middle = (decimals.high % 10000) * 10000 + decimals.low / pow10to8;
    out = writeEightDigits(uint32_t(middle), out);
    return writeEightDigits(uint32_t(decimals.low % pow10to8), out);
}

char* writeZeroDecimals(char* out) {
    std::memcpy(out, ".000000000000000000000000", 25);
    return out + 25;
}

// Whole numbers up to 2^128, by 19-digit pieces (rare: only floats of 2^40 and above).
char* writeWhole128(u128 value, char* out) {
    constexpr uint64_t pow10to19 = 10000000000000000000ULL;
    uint64_t pieces[3];
    int count = 0;
    do {
        pieces[count++] = uint64_t(value % pow10to19);
        value /= pow10to19;
    } while (value != 0);
    char text[24];
    int length = 0;
    uint64_t top = pieces[count - 1];
    do {
        text[length++] = char('0' + top % 10);
        top /= 10;
    } while (top != 0);
    while (length > 0)
        *out++ = text[--length];
    for (int i = count - 2; i >= 0; --i) {
        uint64_t piece = pieces[i];
        for (int digit = 18; digit >= 0; --digit) {
            out[digit] = char('0' + piece % 10);
            piece /= 10;
        }
        out += 19;
    }
    return out;
}

char* writeNonFinite(bool negative, bool isNan, char* out) {
    const char* text = isNan ? (negative ? "    -nan" : "     nan") : (negative ? "    -inf" : "     inf");
    std::memcpy(out, text, 8);
    return out + 8;
}

} // namespace

char* formatFixed24(float value, char* out) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 31) != 0;
    const int biased = int((bits >> 23) & 0xFF);
    const uint64_t fraction = bits & 0x7FFFFF;
    if (biased == 0xFF)
        return writeNonFinite(negative, fraction != 0, out);
    if (negative)
        *out++ = '-';
    const uint64_t m = biased == 0 ? fraction : (fraction | 0x800000);
    const int k = biased == 0 ? 149 : 150 - biased; // value = m / 2^k
    if (k <= 0)
        return writeZeroDecimals(writeWhole128(u128(m) << -k, out));
    if (k >= 105) { // below 2^-81: every decimal rounds to zero
        *out++ = '0';
        return writeZeroDecimals(out);
    }
    // Rounding never carries into the whole number: below k = 25 the decimals are exact, and
    // from there on the value is below 1/2.
    const uint32_t whole = k < 24 ? uint32_t(m >> k) : 0;
    const uint64_t f = k < 24 ? lowBits(m, k) : m;
    const Decimals decimals = k <= 48 ? decimalsSmallShift(f, k) : decimalsLargeShift(f, k);
    return writeDecimals(decimals, writeUnsigned(whole, out));
}

} // namespace quillout
