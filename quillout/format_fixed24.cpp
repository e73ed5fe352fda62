#include "quillout/format_fixed24.h"

#include "quillout/format_decimal.h"
#include "quillout/wide_multiply.h"

#include <cstdint>
#include <cstring>

// A finite float is m / 2^k with an integer m below 2^24. Its 24 decimals are the fraction
// bits f = m mod 2^k times 10^24 / 2^k, rounded to nearest with ties to even (the C library
// rounds exactly in the default rounding mode).
//
// For 1 <= k <= 64 the fraction is exactly the 64-bit fixed-point number f * 2^(64 - k); each
// multiplication by 10^8 moves the next eight decimals into the high word and leaves the rest,
// still exact, in the low word. After three groups the low word is the dropped part, compared
// with one half for the rounding. Up to k = 104 one 128-bit product suffices; beyond that
// every decimal is zero. A k of 0 or less is a whole number below 2^128.

namespace quillout {
namespace {

constexpr uint64_t kPow10to8 = 100000000;

struct Decimals {
    uint32_t group[3]; // decimals 1-8, 9-16 and 17-24, each below 10^8
};

// The next eight decimals of the 64-bit fraction; the rest stays in it.
uint32_t nextEightDecimals(uint64_t& fraction) {
    const WideProduct product = multiplyWide(fraction, kPow10to8);
    fraction = product.low;
    return uint32_t(product.high);
}

// Decimals of the fixed-point fraction (value = fraction / 2^64).
Decimals decimalsOfFixedPoint(uint64_t fraction) {
    Decimals decimals;
    decimals.group[0] = nextEightDecimals(fraction);
    decimals.group[1] = nextEightDecimals(fraction);
    decimals.group[2] = nextEightDecimals(fraction);
    constexpr uint64_t kHalf = uint64_t(1) << 63;
    const bool roundUp = fraction > kHalf || (fraction == kHalf && (decimals.group[2] & 1) != 0);
    decimals.group[2] += roundUp;
    if (decimals.group[2] == kPow10to8) { // the rounding carried out of the last group
        decimals.group[2] = 0;
        if (++decimals.group[1] == kPow10to8) {
            decimals.group[1] = 0;
            ++decimals.group[0];
        }
    }
    return decimals;
}

// Decimals of f / 2^k for 65 <= k <= 104 and f < 2^24: the value is below 2^-41, so the first
// eight decimals are zero and the rounded rest is below 2^40. The 24 decimals are f * 10^24
// / 2^k: f * 10^12 still fits 64 bits, and the second factor 10^12 gives a product below 2^104
// whose quotient and remainder by 2^k part at bit k - 64 of its high word.
Decimals decimalsOfTinyFraction(uint64_t f, int k) {
    constexpr uint64_t kPow10to12 = 1000000000000ULL;
    const WideProduct product = multiplyWide(f * kPow10to12, kPow10to12);
    const int highShift = k - 64;
    const uint64_t quotient = product.high >> highShift;
    const uint64_t remainderHigh = product.high & ((uint64_t(1) << highShift) - 1);
    const uint64_t halfHigh = uint64_t(1) << (highShift - 1); // one half is halfHigh:0
    const bool roundUp = remainderHigh > halfHigh ||
                         (remainderHigh == halfHigh && (product.low != 0 || (quotient & 1) != 0));
    const uint64_t rounded = quotient + roundUp;
    return Decimals{{0, uint32_t(rounded / kPow10to8), uint32_t(rounded % kPow10to8)}};
}

char* writeDecimals(const Decimals& decimals, char* out) {
    *out++ = '.';
    out = writeEightDigits(decimals.group[0], out);
    out = writeEightDigits(decimals.group[1], out);
    return writeEightDigits(decimals.group[2], out);
}

char* writeZeroDecimals(char* out) {
    std::memcpy(out, ".000000000000000000000000", 25);
    return out + 25;
}

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 u128;

// Whole numbers up to 2^128, by 19-digit pieces (rare: only floats of 2^23 and above).
char* writeWhole128(u128 value, char* out) {
    constexpr uint64_t kPow10to19 = 10000000000000000000ULL;
    uint64_t pieces[3];
    int count = 0;
    do {
        pieces[count++] = uint64_t(value % kPow10to19);
        value /= kPow10to19;
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
#endif

char* writeNonFinite(bool negative, bool isNan, char* out) {
    const char* text =
        isNan ? (negative ? "    -nan" : "     nan") : (negative ? "    -inf" : "     inf");
    std::memcpy(out, text, 8);
    return out + 8;
}

} // namespace

// The value is held in four 32-bit limbs, the most significant first, and divided by 10^8 limb
// by limb: each partial dividend stays below 2^59.
char* writeWholePortably(uint64_t m, int shift, char* out) {
    uint32_t limbs[4] = {};
    const uint64_t moved = m << (shift % 32); // below 2^56: two limbs at most
    const int low = 3 - shift / 32;
    limbs[low] = uint32_t(moved);
    if (low > 0)
        limbs[low - 1] = uint32_t(moved >> 32);
    uint32_t pieces[5]; // 2^128 has 39 digits
    int count = 0;
    bool more;
    do {
        uint64_t remainder = 0;
        more = false;
        for (uint32_t& limb : limbs) {
            const uint64_t dividend = remainder << 32 | limb;
            limb = uint32_t(dividend / kPow10to8);
            remainder = dividend % kPow10to8;
            more |= limb != 0;
        }
        pieces[count++] = uint32_t(remainder);
    } while (more);
    out = writeUnsignedBelow100Million(pieces[count - 1], out);
    for (int i = count - 2; i >= 0; --i)
        out = writeEightDigits(pieces[i], out);
    return out;
}

char* formatFixed24(float value, char* out) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const uint32_t biased = (bits >> 23) & 0xFF;
    const uint32_t fraction = bits & 0x7FFFFF;
    if (biased == 0xFF)
        return writeNonFinite((bits >> 31) != 0, fraction != 0, out);
    *out = '-';
    out += bits >> 31;
    const uint64_t m = biased == 0 ? fraction : (fraction | 0x800000);
    const int k = biased == 0 ? 149 : 150 - int(biased); // value = m / 2^k
    if (k >= 1 && k <= 64) [[likely]] {
        // m < 2^24, so for k >= 24 the whole part is 0; shifting by 31 at most gives that too
        // and keeps both shifts below the width of the type.
        const int wholeShift = k < 31 ? k : 31;
        const uint32_t whole = uint32_t(m >> wholeShift);
        const uint64_t f = m - (uint64_t(whole) << wholeShift);
        out = writeUnsignedBelow100Million(whole, out);
        return writeDecimals(decimalsOfFixedPoint(f << (64 - k)), out);
    }
    if (k <= 0) {
#if defined(__SIZEOF_INT128__)
        return writeZeroDecimals(writeWhole128(u128(m) << -k, out));
#else
        return writeZeroDecimals(writeWholePortably(m, -k, out));
#endif
    }
    *out++ = '0';
    if (k >= 105) // below 2^-81: every decimal rounds to zero
        return writeZeroDecimals(out);
    return writeDecimals(decimalsOfTinyFraction(m, k), out);
}

} // namespace quillout
