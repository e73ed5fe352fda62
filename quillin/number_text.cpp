// Exact conversions of the importer's number fields: the C library's text-to-double and
// text-to-integer conversions applied to a character range that is not NUL-terminated.
//
// A float field must come out as (float)strtod(text): the nearest double first, then the nearest
// float to that double. Rounding straight to float differs when the text lies just beside the
// midpoint of two floats, so the nearest double is found exactly and only then rounded.
//
// The common decimal spellings are decided here without big-number arithmetic: up to 19
// significant digits go into a 64-bit integer w with a decimal exponent q, and the nearest double
// to w * 10^q comes from one exact floating-point operation (small w and q) or from a 128-bit
// product with a truncated power of ten, which either proves its rounding or declines. With more
// than 19 digits the value lies between w * 10^q and (w + 1) * 10^q; when both ends round to the
// same double, so does the value. What remains goes to std::from_chars (exact, any length), and
// the rare other spellings (hexadecimal, infinity, NaN, text without digits) to strtod itself.
#include "number_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace {

__extension__ typedef unsigned __int128 UInt128;

// ---------------------------------------------------------------------------------------------
// Truncated 128-bit powers of ten.

// Decimal exponents whose powers of ten can matter for a float. Any w below 10^19 times 10^q
// with q below kMinPower is under 2^-150 (half the smallest float), so the float is zero; with q
// above kMaxPower it is over 10^39, beyond the largest float, so the float is infinite.
constexpr int kMinPower = -65;
constexpr int kMaxPower = 38;
constexpr int kMaxDigits = 19;

// 10^q = (high * 2^64 + low) * 2^(e - 127) rounded down, with the top bit of high set.
struct PowerOfTen {
    uint64_t high;
    uint64_t low;
};

// A small unsigned big number for building the table at compile time: 32-bit limbs, least
// significant first, in 64-bit slots so sums and products have room for their carries.
struct BigNumber {
    std::array<uint64_t, 8> limb{};
};

constexpr void multiplyBy5(BigNumber& n)
{
    uint64_t carry = 0;
    for (uint64_t& limb : n.limb) {
        const uint64_t product = limb * 5 + carry;
        limb = product & 0xFFFFFFFFu;
        carry = product >> 32;
    }
}

constexpr int bitLength(const BigNumber& n)
{
    for (int i = static_cast<int>(n.limb.size()) - 1; i >= 0; --i) {
        if (n.limb[static_cast<size_t>(i)] != 0) {
            return i * 32 + std::bit_width(n.limb[static_cast<size_t>(i)]);
        }
    }
    return 0;
}

constexpr void shiftLeftOnce(BigNumber& n, uint64_t lowBit)
{
    uint64_t carry = lowBit;
    for (uint64_t& limb : n.limb) {
        const uint64_t shifted = (limb << 1) | carry;
        limb = shifted & 0xFFFFFFFFu;
        carry = shifted >> 32;
    }
}

constexpr bool notBelow(const BigNumber& a, const BigNumber& b)
{
    for (int i = static_cast<int>(a.limb.size()) - 1; i >= 0; --i) {
        const size_t k = static_cast<size_t>(i);
        if (a.limb[k] != b.limb[k]) {
            return a.limb[k] > b.limb[k];
        }
    }
    return true;
}

constexpr void subtract(BigNumber& a, const BigNumber& b)
{
    uint64_t borrow = 0;
    for (size_t i = 0; i < a.limb.size(); ++i) {
        const uint64_t difference = a.limb[i] - b.limb[i] - borrow;
        borrow = (difference >> 63) & 1;
        a.limb[i] = difference & 0xFFFFFFFFu;
    }
}

constexpr BigNumber powerOfFive(int exponent)
{
    BigNumber n;
    n.limb[0] = 1;
    for (int i = 0; i < exponent; ++i) {
        multiplyBy5(n);
    }
    return n;
}

// 5^q shifted left so that it fills 128 bits exactly (5^38 has only 89 bits).
constexpr PowerOfTen positivePower(int q)
{
    BigNumber n = powerOfFive(q);
    for (int shift = 128 - bitLength(n); shift > 0; --shift) {
        shiftLeftOnce(n, 0);
    }
    return {(n.limb[3] << 32) | n.limb[2], (n.limb[1] << 32) | n.limb[0]};
}

// floor(2^(127 + bits(5^-q)) / 5^-q), which lies in [2^127, 2^128), by long division.
constexpr PowerOfTen negativePower(int q)
{
    const BigNumber divisor = powerOfFive(-q);
    const int topBit = 127 + bitLength(divisor);
    BigNumber remainder;
    uint64_t high = 0;
    uint64_t low = 0;
    for (int bit = topBit; bit >= 0; --bit) {
        shiftLeftOnce(remainder, bit == topBit ? 1 : 0);
        if (notBelow(remainder, divisor)) {
            subtract(remainder, divisor);
            if (bit >= 64) {
                high |= uint64_t{1} << (bit - 64);
            } else {
                low |= uint64_t{1} << bit;
            }
        }
    }
    return {high, low};
}

constexpr std::array<PowerOfTen, kMaxPower - kMinPower + 1> makePowersOfTen()
{
    std::array<PowerOfTen, kMaxPower - kMinPower + 1> table{};
    for (int q = kMinPower; q <= kMaxPower; ++q) {
        table[static_cast<size_t>(q - kMinPower)] = q >= 0 ? positivePower(q) : negativePower(q);
    }
    return table;
}

constexpr std::array<PowerOfTen, kMaxPower - kMinPower + 1> kPowersOfTen = makePowersOfTen();

static_assert(kPowersOfTen[-kMinPower].high == 0x8000000000000000u && kPowersOfTen[-kMinPower].low == 0);
static_assert(kPowersOfTen[-kMinPower - 1].high == 0xCCCCCCCCCCCCCCCCu &&
              kPowersOfTen[-kMinPower - 1].low == 0xCCCCCCCCCCCCCCCCu);
static_assert(kPowersOfTen[-kMinPower + 1].high == 0xA000000000000000u);

// ---------------------------------------------------------------------------------------------
// Nearest double to w * 10^q.

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// w and 10^|q| are both exact doubles, so one division or multiplication rounds once, correctly.
bool nearestDoubleBySmallOperands(uint64_t w, int q, double& result)
{
    if (w > (uint64_t{1} << 53) || q < -22 || q > 22) {
        return false;
    }
    const double mantissa = static_cast<double>(w);
    result = q < 0 ? mantissa / kExactPowersOfTen[-q] : mantissa * kExactPowersOfTen[q];
    return true;
}

struct Product {
    uint64_t high;
    uint64_t low;
};

Product multiplyFull(uint64_t a, uint64_t b)
{
    const UInt128 product = static_cast<UInt128>(a) * b;
    return {static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)};
}

// The 128-bit product of the normalised w with the truncated power of ten gives the top 54 bits
// of w * 10^q; the dropped part is too small to move them unless the bits below them are all
// ones (then a second product narrows it) or all zeros at a possible tie. In those undecided
// cases this declines and the caller converts some other way. w is not 0 and q lies within
// [kMinPower, kMaxPower], so the result is always a normal double.
bool nearestDoubleByProduct(uint64_t w, int q, double& result)
{
    const PowerOfTen& power = kPowersOfTen[static_cast<size_t>(q - kMinPower)];
    const int leadingZeros = std::countl_zero(w);
    w <<= leadingZeros;
    // floor(q * log2(10)) + 64 + bias, exact over this range of q.
    uint64_t biasedExponent = static_cast<uint64_t>(((217706 * q) >> 16) + 64 + 1023 - leadingZeros);

    Product x = multiplyFull(w, power.high);
    if ((x.high & 0x1FF) == 0x1FF && x.low + w < w) {
        const Product y = multiplyFull(w, power.low);
        uint64_t mergedHigh = x.high;
        const uint64_t mergedLow = x.low + y.high;
        if (mergedLow < x.low) {
            ++mergedHigh;
        }
        if ((mergedHigh & 0x1FF) == 0x1FF && mergedLow + 1 == 0 && y.low + w < w) {
            return false;
        }
        x = {mergedHigh, mergedLow};
    }

    const uint64_t topBit = x.high >> 63;
    uint64_t mantissa = x.high >> (topBit + 9);
    biasedExponent -= 1 ^ topBit;
    if (x.low == 0 && (x.high & 0x1FF) == 0 && (mantissa & 3) == 1) {
        return false;
    }
    mantissa += mantissa & 1;
    mantissa >>= 1;
    if ((mantissa >> 53) != 0) {
        mantissa >>= 1;
        ++biasedExponent;
    }
    result = std::bit_cast<double>((biasedExponent << 52) | (mantissa & ((uint64_t{1} << 52) - 1)));
    return true;
}

bool nearestDouble(uint64_t w, int q, double& result)
{
    return nearestDoubleBySmallOperands(w, q, result) || nearestDoubleByProduct(w, q, result);
}

// ---------------------------------------------------------------------------------------------
// Scanning the text.

bool isCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(char c)
{
    return static_cast<unsigned char>(c - '0') < 10;
}

const char* skipSpace(const char* p, const char* last)
{
    while (p != last && isCSpace(*p)) {
        ++p;
    }
    return p;
}

// A decimal number as written: its first significant digits, where it ends, and the exponent
// that places them.
struct DecimalText {
    uint64_t digits = 0;   // up to kMaxDigits significant digits
    int64_t exponent = 0;  // value = digits * 10^exponent, give or take the dropped digits
    bool dropped = false;  // a nonzero digit beyond the first kMaxDigits was dropped
    bool anyDigit = false;
    const char* end = nullptr;
};

// An exponent is held at this once it reaches it. The digits of a text shorter than the cap
// cannot move the value back into range, so zero or infinity stays the answer, and the sums
// stay far from overflow.
constexpr int64_t kExponentCap = 100000000000000000;

const char* scanExponent(const char* p, const char* last, int64_t& exponent)
{
    const char* q = p + 1;
    bool negative = false;
    if (q != last && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    if (q == last || !isDigit(*q)) {
        return p;  // "1e", "1e+": the exponent part is not taken
    }
    int64_t value = 0;
    for (; q != last && isDigit(*q); ++q) {
        if (value < kExponentCap) {
            value = value * 10 + (*q - '0');
        }
    }
    exponent = negative ? -value : value;
    return q;
}

DecimalText scanDecimal(const char* p, const char* last)
{
    DecimalText text;
    int count = 0;
    int64_t shift = 0;
    for (; p != last && isDigit(*p); ++p) {
        text.anyDigit = true;
        const int digit = *p - '0';
        if (count < kMaxDigits) {
            text.digits = text.digits * 10 + static_cast<uint64_t>(digit);
            count += (count != 0 || digit != 0) ? 1 : 0;
        } else {
            ++shift;
            text.dropped |= digit != 0;
        }
    }
    if (p != last && *p == '.') {
        ++p;
        for (; p != last && isDigit(*p); ++p) {
            text.anyDigit = true;
            const int digit = *p - '0';
            if (count < kMaxDigits) {
                text.digits = text.digits * 10 + static_cast<uint64_t>(digit);
                count += (count != 0 || digit != 0) ? 1 : 0;
                --shift;
            } else {
                text.dropped |= digit != 0;
            }
        }
    }
    int64_t exponent = 0;
    if (text.anyDigit && p != last && (*p == 'e' || *p == 'E')) {
        p = scanExponent(p, last, exponent);
    }
    text.exponent = shift + exponent;
    text.end = p;
    return text;
}

// ---------------------------------------------------------------------------------------------
// Conversions through the C library, for the rare spellings.

const char* cStringEnd(const char* first, const char* last)
{
    const void* nul = std::memchr(first, '\0', static_cast<size_t>(last - first));
    return nul != nullptr ? static_cast<const char*>(nul) : last;
}

// Calls convert on a NUL-terminated copy of [first, last): on the stack for the short fields
// an OBJ file holds, on the heap for the rare longer ones.
template <typename Convert>
auto withCString(const char* first, const char* last, Convert convert)
{
    last = cStringEnd(first, last);
    const size_t length = static_cast<size_t>(last - first);
    char local[128];
    if (length < sizeof local) {
        std::memcpy(local, first, length);
        local[length] = '\0';
        return convert(local);
    }
    const std::string copy(first, length);
    return convert(copy.c_str());
}

float floatByCLibrary(const char* first, const char* last)
{
    return withCString(first, last,
                       [](const char* text) { return static_cast<float>(std::strtod(text, nullptr)); });
}

// The digits, point and exponent of an unsigned decimal number, through the exact general
// conversion; its range errors cannot occur for the values that reach it.
bool doubleByFromChars(const char* first, const char* last, double& result)
{
    const std::from_chars_result parsed = std::from_chars(first, last, result, std::chars_format::general);
    return parsed.ec == std::errc{} && parsed.ptr == last;
}

// Nearest double to the scanned text, when the first kMaxDigits digits decide it.
bool nearestDoubleOfDecimal(const DecimalText& text, double& result)
{
    const int q = static_cast<int>(text.exponent);
    if (!nearestDouble(text.digits, q, result)) {
        return false;
    }
    if (!text.dropped) {
        return true;
    }
    double above = 0;
    return nearestDouble(text.digits + 1, q, above) && above == result;
}

} // namespace

float parseFloatText(const char* first, const char* last)
{
    const char* p = skipSpace(first, last);
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) {
        ++p;
    }
    const bool hexadecimal = last - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    const DecimalText text = hexadecimal ? DecimalText{} : scanDecimal(p, last);
    if (!text.anyDigit) {
        return floatByCLibrary(first, last);  // hexadecimal, infinity, NaN, or no number at all
    }
    const double sign = negative ? -1.0 : 1.0;
    if (text.digits == 0) {
        return static_cast<float>(sign * 0.0);
    }
    if (text.exponent < kMinPower) {
        return static_cast<float>(sign * 0.0);
    }
    if (text.exponent > kMaxPower) {
        return static_cast<float>(sign * HUGE_VAL);
    }
    double magnitude = 0;
    if (nearestDoubleOfDecimal(text, magnitude) || doubleByFromChars(p, text.end, magnitude)) {
        return static_cast<float>(sign * magnitude);
    }
    return floatByCLibrary(first, last);
}

int32_t parseIntText(const char* first, const char* last)
{
    const char* p = skipSpace(first, last);
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) {
        ++p;
    }
    // The magnitude, held at 2^63 once it reaches it: beyond that strtol clamps either way.
    constexpr uint64_t kCap = uint64_t{1} << 63;
    uint64_t magnitude = 0;
    for (; p != last && isDigit(*p); ++p) {
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        magnitude = magnitude > (kCap - digit) / 10 ? kCap : magnitude * 10 + digit;
    }
    long value = 0;
    if (negative) {
        value = magnitude >= kCap ? LONG_MIN : -static_cast<long>(magnitude);
    } else {
        value = magnitude >= kCap ? LONG_MAX : static_cast<long>(magnitude);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(value)));
}
