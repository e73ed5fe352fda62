// Exact conversions of the importer's number fields: the C library's text-to-double and
// text-to-integer conversions applied to a character range that is not NUL-terminated.
//
// A float field must come out as (float)strtod(text): the nearest double first, then the nearest
// float to that double. Rounding straight to float differs when the text lies just beside the
// midpoint of two floats, so neither rounding may be skipped carelessly.
//
// Both fast paths estimate the value in double arithmetic, within a few units in the last place.
// Float rounding only depends on which side of a float midpoint a value lies, so when the
// estimate is far (in double units) from every float midpoint, the exact value and its nearest
// double lie on the same side as the estimate, and rounding the estimate to float gives exactly
// what strtod-then-float gives. Fixed-point fields ("-0.123456791043281555175781", "12.5") are
// read a word at a time; other decimal spellings (exponents, longer digit strings) keep their
// first 19 significant digits and a decimal exponent. Only estimates near a midpoint (for random
// fields, about one in four million, but every midpoint written out exactly) take the exact
// general conversion, std::from_chars, which reads digits of any length. The spellings it does
// not share with strtod (hexadecimal, infinity, NaN, text without digits) go to strtod itself.
#include "quillin/number_text.h"

#include "msh_alloc.h"
#include "quillin/digit_words.h"

#include <atomic>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace quillin {

namespace {

// ---------------------------------------------------------------------------------------------
// Scanning the text.

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

const char* skipSpace(const char* p, const char* last) {
    while (p != last && isCSpace(*p)) {
        ++p;
    }
    return p;
}

// The most significant digits kept: 19 digits always fit in 64 bits, and with that many the
// digits dropped change the value by less than one part in 10^18.
constexpr int kMaxDigits = 19;

// A decimal number as written: its first significant digits, the exponent that places them,
// and where the text of the number ends.
struct DecimalText {
    uint64_t digits = 0;  // up to kMaxDigits significant digits, the first one never 0
    int64_t exponent = 0; // value = digits * 10^exponent, less than one unit of digits low
    bool anyDigit = false;
    const char* end = nullptr;
};

// An exponent is held at this once it reaches it. The digits of a text shorter than the cap
// cannot move the value back into range, so zero or infinity stays the answer, and the sums
// stay far from overflow.
constexpr int64_t kExponentCap = 100000000000000000;

const char* scanExponent(const char* p, const char* last, int64_t& exponent) {
    const char* q = p + 1;
    bool negative = false;
    if (q != last && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    if (q == last || !isDigit(*q)) {
        return p; // "1e", "1e+": the exponent part is not taken
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

// Digits are read eight at a time (digit_words.h): a loop with one multiply-add per character
// would bound the speed of a 24-decimal field.

// Appends the digits at p to `digits` while fewer than kMaxDigits are held.
const char* takeDigits(const char* p, const char* last, uint64_t& digits, int& count) {
    while (count <= kMaxDigits - 8 && last - p >= 8 && isEightDigits(loadEight(p))) {
        digits = digits * 100000000 + eightDigitValue(loadEight(p));
        count += 8;
        p += 8;
    }
    for (; count < kMaxDigits && p != last && isDigit(*p); ++p) {
        digits = digits * 10 + static_cast<uint64_t>(*p - '0');
        ++count;
    }
    return p;
}

const char* passDigits(const char* p, const char* last) {
    while (last - p >= 8 && isEightDigits(loadEight(p))) {
        p += 8;
    }
    while (p != last && isDigit(*p)) {
        ++p;
    }
    return p;
}

const char* skipZeros(const char* p, const char* last) {
    while (p != last && *p == '0') {
        ++p;
    }
    return p;
}

// Digits, an optional point with more digits, and an optional exponent, as strtod reads them
// after the sign. Leading zeros are not significant and are not counted.
DecimalText scanDecimal(const char* p, const char* last) {
    DecimalText text;
    const char* const start = p;
    int count = 0;
    p = takeDigits(skipZeros(p, last), last, text.digits, count);
    const char* const passed = p;
    p = passDigits(p, last);
    int64_t shift = p - passed;
    text.anyDigit = p != start;
    if (p != last && *p == '.') {
        const char* const fraction = ++p;
        p = takeDigits(count == 0 ? skipZeros(p, last) : p, last, text.digits, count);
        shift -= p - fraction;
        p = passDigits(p, last);
        text.anyDigit |= p != fraction;
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
// Deciding the float.

// Decimal exponents whose powers of ten can matter for a float. Any w below 10^19 times 10^q
// with q below kMinPower is under 2^-150 (half the smallest float), so the float is zero; with q
// above kMaxPower it is over 10^39, beyond the largest float, so the float is infinite.
constexpr int kMinPower = -65;
constexpr int kMaxPower = 38;

// Each the double nearest to its power of ten, as the compiler rounds the literal.
constexpr double kPowersOfTen[kMaxPower - kMinPower + 1] = {
    1e-65, 1e-64, 1e-63, 1e-62, 1e-61, 1e-60, 1e-59, 1e-58, 1e-57, 1e-56, 1e-55, 1e-54, 1e-53,
    1e-52, 1e-51, 1e-50, 1e-49, 1e-48, 1e-47, 1e-46, 1e-45, 1e-44, 1e-43, 1e-42, 1e-41, 1e-40,
    1e-39, 1e-38, 1e-37, 1e-36, 1e-35, 1e-34, 1e-33, 1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27,
    1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14,
    1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,
    1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,
    1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,
    1e26,  1e27,  1e28,  1e29,  1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,
};

// How far, in units in the last place of the estimate, it must be from a float midpoint. The
// estimate carries three roundings (digits to double, the power of ten, the product) and the
// dropped digits, together under 4 units; the nearest double moves the exact value by at most
// one more. The margin is generous because an estimate this near a midpoint is rare anyway.
constexpr uint64_t kMidpointMargin = 64;

// The float that strtod-then-float gives for a value that `estimate` approximates within
// kMidpointMargin units in its last place, or false when the estimate is too near a float
// midpoint (or outside the normal floats) to tell.
bool floatNearEstimate(double estimate, float& result) {
    const uint64_t bits = std::bit_cast<uint64_t>(estimate);
    // Normal floats only, below 2^127: there a float keeps the top 24 of the double's 53
    // significant bits, and its midpoints have the 29 bits below them equal to 2^28.
    const uint64_t biasedExponent = bits >> 52;
    if (biasedExponent - (1023 - 126) > 126 + 126) {
        return false;
    }
    const uint64_t belowFloat = bits & ((uint64_t{1} << 29) - 1);
    if (belowFloat - ((uint64_t{1} << 28) - kMidpointMargin) <= 2 * kMidpointMargin) {
        return false;
    }
    result = static_cast<float>(estimate);
    return true;
}

// w * 10^q (w not 0, q in range), estimated with three roundings.
bool floatOfDecimal(uint64_t w, int q, float& result) {
    return floatNearEstimate(static_cast<double>(w) * kPowersOfTen[q - kMinPower], result);
}

// Fixed-point fields without an exponent: an optional minus (taken off by the caller), one to
// seven digits, and optionally a point with up to 24 decimals, as "%8.24f" writes a float below
// 10^7 in magnitude and "%f" or "%g" write most others. They are read a word at a time: the
// integer digits from one eight-byte load, the decimals from up to three. The estimate
// I + D1 * 10^-8 + D2 * 10^-16 + D3 * 10^-(16 + n) sums positive terms with two roundings each
// and one per sum, under 6 units in the last place. false sends anything else (and estimates
// too near a float midpoint) to the general reading.
constexpr int kMaxFixedDecimals = 24;

bool readFixedPoint(const char* p, const char* last, float& result, const char*& numberEnd) {
    const uint64_t head = loadUpToEight(p, last);
    const uint64_t headNonDigits = nonDigitBytes(head);
    if (headNonDigits == 0) {
        return false;
    }
    const int integerDigits = std::countr_zero(headNonDigits) >> 3;
    if (integerDigits == 0) {
        return false;
    }
    double estimate = static_cast<double>(leadingDigitsValue(head, integerDigits));
    const char* end = p + integerDigits;
    if (end != last && *end == '.') {
        const char* const fraction = end + 1;
        int decimals = 0;
        for (; decimals < kMaxFixedDecimals; decimals += 8) {
            const uint64_t bytes = loadUpToEight(fraction + decimals, last);
            const uint64_t nonDigits = nonDigitBytes(bytes);
            if (nonDigits == 0) {
                estimate += static_cast<double>(eightDigitValue(bytes)) *
                            kPowersOfTen[-(decimals + 8) - kMinPower];
                continue;
            }
            const int count = std::countr_zero(nonDigits) >> 3;
            if (count != 0) {
                estimate += static_cast<double>(leadingDigitsValue(bytes, count)) *
                            kPowersOfTen[-(decimals + count) - kMinPower];
            }
            decimals += count;
            break;
        }
        end = fraction + decimals;
    }
    if (end != last && (isDigit(*end) || *end == 'e' || *end == 'E')) {
        return false;
    }
    numberEnd = end;
    return floatNearEstimate(estimate, result);
}

// ---------------------------------------------------------------------------------------------
// Exact general conversions, for what the estimate leaves open.

// The digits, point and exponent of an unsigned decimal number, through the exact general
// conversion; its range errors cannot occur for the values that reach it.
bool doubleByFromChars(const char* first, const char* last, double& result) {
    const std::from_chars_result parsed =
        std::from_chars(first, last, result, std::chars_format::general);
    return parsed.ec == std::errc{} && parsed.ptr == last;
}

const char* cStringEnd(const char* first, const char* last) {
    const void* nul = std::memchr(first, '\0', static_cast<size_t>(last - first));
    return nul != nullptr ? static_cast<const char*>(nul) : last;
}

// Set when the copy of a long field could not be had; readers look at it once a pass ends.
std::atomic<bool> numberCopyFailure{false};

// Calls convert on a NUL-terminated copy of [first, last): on the stack for the short fields
// an OBJ file holds, through the allocation seam for the rare longer ones. Without memory for
// that copy the field reads as 0 and numberCopyFailure is set.
float withCString(const char* first, const char* last, float (*convert)(const char*)) {
    last = cStringEnd(first, last);
    const size_t length = static_cast<size_t>(last - first);
    char local[128];
    if (length < sizeof local) {
        std::memcpy(local, first, length);
        local[length] = '\0';
        return convert(local);
    }
    char* copy = mshAllocateArray<char>(length + 1);
    if (copy == nullptr) {
        numberCopyFailure.store(true, std::memory_order_relaxed);
        return 0.0f;
    }
    std::memcpy(copy, first, length);
    const float value = convert(copy);
    mshRelease(copy);
    return value;
}

float floatByCLibrary(const char* first, const char* last) {
    // Text that holds no number reads as +0 on every system (some C libraries keep its sign).
    return withCString(first, last, [](const char* text) {
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        return end == text ? 0.0f : static_cast<float>(value);
    });
}

// Without a branch: the signs of consecutive fields are as good as random.
float withSign(bool negative, float magnitude) {
    return std::bit_cast<float>(std::bit_cast<uint32_t>(magnitude) ^
                                (static_cast<uint32_t>(negative) << 31));
}

// ---------------------------------------------------------------------------------------------
// Integers.

// Up to 18 digits cannot overflow 63 bits; beyond them the magnitude is held at 2^63, past
// which a 64-bit strtol clamps either way.
constexpr uint64_t kMagnitudeCap = uint64_t{1} << 63;

// Fields of up to seven digits, nearly all of them, are read from one load without a loop.
uint64_t magnitudeOfDigits(const char* p, const char* last) {
    const uint64_t head = loadUpToEight(p, last);
    const uint64_t nonDigits = nonDigitBytes(head);
    if (nonDigits != 0) {
        const int count = std::countr_zero(nonDigits) >> 3;
        return count == 0 ? 0 : leadingDigitsValue(head, count);
    }
    uint64_t magnitude = 0;
    int count = 0;
    for (; p != last && isDigit(*p) && count < 18; ++p, ++count) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
    }
    for (; p != last && isDigit(*p); ++p) {
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        magnitude =
            magnitude > (kMagnitudeCap - digit) / 10 ? kMagnitudeCap : magnitude * 10 + digit;
    }
    return magnitude;
}

// Every spelling strtod accepts, once the fixed-point form has been ruled out. Kept out of line so
// that the fixed-point path stays short.
[[gnu::noinline]] float parseGeneralFloat(const char* first, const char* last) {
    const char* p = skipSpace(first, last);
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) {
        ++p;
    }
    const bool hexadecimal = last - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    const DecimalText text = hexadecimal ? DecimalText{} : scanDecimal(p, last);
    if (!text.anyDigit) {
        return floatByCLibrary(first, last); // hexadecimal, infinity, NaN, or no number at all
    }
    if (text.digits == 0 || text.exponent < kMinPower) {
        return withSign(negative, 0.0f);
    }
    if (text.exponent > kMaxPower) {
        return withSign(negative, INFINITY);
    }
    float magnitude = 0;
    if (floatOfDecimal(text.digits, static_cast<int>(text.exponent), magnitude)) {
        return withSign(negative, magnitude);
    }
    double exact = 0;
    if (doubleByFromChars(p, text.end, exact)) {
        return withSign(negative, static_cast<float>(exact));
    }
    return floatByCLibrary(first, last);
}

} // namespace

bool numberCopyFailed() { return numberCopyFailure.load(std::memory_order_relaxed); }

void clearNumberCopyFailure() { numberCopyFailure.store(false, std::memory_order_relaxed); }

float parseFloatText(const char* first, const char* last) {
    float value = 0;
    const char* end = nullptr;
    if (parseFixedFloatPrefix(first, last, value, end)) {
        return value;
    }
    return parseGeneralFloat(first, last);
}

bool parseFixedFloatPrefix(const char* first, const char* last, float& value, const char*& end) {
    if (first == last) {
        return false;
    }
    const bool negative = *first == '-';
    float magnitude = 0;
    if (!readFixedPoint(first + static_cast<int>(negative), last, magnitude, end)) {
        return false;
    }
    value = withSign(negative, magnitude);
    return true;
}

int32_t parseIntText(const char* first, const char* last) {
    const char* p = skipSpace(first, last);
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) {
        ++p;
    }
    const uint64_t magnitude = magnitudeOfDigits(p, last);
    // Read as a 64-bit integer on every system (long is 32 bits on some), then cut to 32 bits.
    int64_t value = 0;
    if (negative) {
        value = magnitude >= kMagnitudeCap ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else {
        value = magnitude >= kMagnitudeCap ? INT64_MAX : static_cast<int64_t>(magnitude);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

} // namespace quillin
