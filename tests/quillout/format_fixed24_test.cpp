// The float formatter against literal texts and against the C library over millions of bit
// patterns; the integer formatter against "%u"; the portable 128-bit product against the
// compiler's.
#include "quillout/format_decimal.h"
#include "quillout/format_fixed24.h"
#include "quillout/wide_multiply.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr uint32_t kRandomSamples = 1000000;
#else
constexpr uint32_t kRandomSamples = 3000000;
#endif

std::string fixed24(float value) {
    char text[quillout::kFixed24MaxLength + 8];
    char* end = quillout::formatFixed24(value, text);
    return std::string(text, end);
}

float fromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Counts mismatches with printf("%8.24f") and records the first one.
struct Comparison {
    uint64_t checked = 0;
    uint64_t mismatches = 0;
    std::string first;

    void check(uint32_t bits) {
        const float value = fromBits(bits);
        char expected[128];
        std::snprintf(expected, sizeof expected, "%8.24f", double(value));
        // A C library may drop the sign of a NaN (Windows'); the text keeps it everywhere.
        if (std::isnan(value))
            std::snprintf(expected, sizeof expected, "%8s", std::signbit(value) ? "-nan" : "nan");
        const std::string actual = fixed24(value);
        ++checked;
        if (actual != expected && mismatches++ == 0) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08x", bits);
            first = std::string(hex) + ": got \"" + actual + "\", want \"" + expected + "\"";
        }
    }
};

TEST(QuilloutFixed24, PrintsLiteralTexts) {
    EXPECT_EQ(fixed24(1.0f), "1.000000000000000000000000");
    EXPECT_EQ(fixed24(0.5f), "0.500000000000000000000000");
    EXPECT_EQ(fixed24(-2.25f), "-2.250000000000000000000000");
    EXPECT_EQ(fixed24(0.1f), "0.100000001490116119384766");
    EXPECT_EQ(fixed24(-0.3f), "-0.300000011920928955078125");
    EXPECT_EQ(fixed24(16777215.0f), "16777215.000000000000000000000000");
    EXPECT_EQ(fixed24(123456792.0f), "123456792.000000000000000000000000");
    EXPECT_EQ(fixed24(std::numeric_limits<float>::max()),
              "340282346638528859811704183484516925440.000000000000000000000000");
    EXPECT_EQ(fixed24(-std::numeric_limits<float>::max()),
              "-340282346638528859811704183484516925440.000000000000000000000000");
}

TEST(QuilloutFixed24, ZerosAndTinyValuesKeepTheirSign) {
    EXPECT_EQ(fixed24(0.0f), "0.000000000000000000000000");
    EXPECT_EQ(fixed24(-0.0f), "-0.000000000000000000000000");
    EXPECT_EQ(fixed24(4e-25f), "0.000000000000000000000000");
    EXPECT_EQ(fixed24(-4e-25f), "-0.000000000000000000000000");
    EXPECT_EQ(fixed24(6e-25f), "0.000000000000000000000001");
    EXPECT_EQ(fixed24(std::numeric_limits<float>::denorm_min()), "0.000000000000000000000000");
    EXPECT_EQ(fixed24(-std::numeric_limits<float>::denorm_min()), "-0.000000000000000000000000");
}

TEST(QuilloutFixed24, ExactTiesRoundToEven) {
    // 2^-25 = 0.0000000298023223876953125: the dropped digit is an exact 5 after an even 2.
    EXPECT_EQ(fixed24(0x1p-25f), "0.000000029802322387695312");
    // 3 * 2^-25 = 0.0000000894069671630859375: an exact 5 after an odd 7 rounds up.
    EXPECT_EQ(fixed24(0x3p-25f), "0.000000089406967163085938");
    EXPECT_EQ(fixed24(-0x3p-25f), "-0.000000089406967163085938");
    // 1 + 2^-23 needs only 23 decimals: nothing to round.
    EXPECT_EQ(fixed24(0x1.000002p0f), "1.000000119209289550781250");
}

TEST(QuilloutFixed24, NonFiniteValuesAsTheCLibraryPrintsThem) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(fixed24(inf), "     inf");
    EXPECT_EQ(fixed24(-inf), "    -inf");
    EXPECT_EQ(fixed24(fromBits(0x7FC00000)), "     nan");
    EXPECT_EQ(fixed24(fromBits(0xFFC00000)), "    -nan");
    EXPECT_EQ(fixed24(fromBits(0x7F800001)), "     nan");
}

TEST(QuilloutFixed24, MatchesTheCLibraryAtEveryExponent) {
    Comparison comparison;
    const uint32_t mantissas[] = {0,        1,        2,        3,        5,
                                  0x155555, 0x2AAAAA, 0x3FFFFF, 0x400000, 0x400001,
                                  0x5FFFFF, 0x7FFFFE, 0x7FFFFF};
    for (uint32_t sign = 0; sign < 2; ++sign)
        for (uint32_t exponent = 0; exponent < 256; ++exponent)
            for (uint32_t mantissa : mantissas)
                comparison.check(sign << 31 | exponent << 23 | mantissa);
    EXPECT_EQ(comparison.mismatches, 0u) << comparison.first;
}

TEST(QuilloutFixed24, MatchesTheCLibraryOnExactTiesAndTheirNeighbours) {
    // The 25th decimal is the last non-zero one exactly when the lowest set bit is 2^-25: then
    // the dropped text is an exact 5. Every odd multiple of 2^-25 below 1/2 is such a tie; the
    // neighbouring bit patterns fall just below and just above it.
    Comparison comparison;
    std::mt19937 random(25);
    for (uint32_t i = 0; i < kRandomSamples / 20; ++i) {
        const uint32_t odd = i < 4096 ? 2 * i + 1 : ((random() & 0x7FFFFF) | 1);
        const uint32_t bits = std::bit_cast<uint32_t>(std::ldexp(float(odd), -25));
        comparison.check(bits);
        comparison.check(bits - 1);
        comparison.check(bits + 1);
        comparison.check(bits | 0x80000000u);
    }
    EXPECT_EQ(comparison.mismatches, 0u) << comparison.first;
}

TEST(QuilloutFixed24, MatchesTheCLibraryOnRandomBitPatterns) {
    Comparison comparison;
    std::mt19937 random(20261207);
    for (uint32_t i = 0; i < kRandomSamples; ++i)
        comparison.check(random());
    EXPECT_EQ(comparison.mismatches, 0u) << comparison.first;
}

TEST(QuilloutFixed24, MatchesTheCLibraryOnTypicalMeshValues) {
    // Coordinates, normals and texture coordinates mostly lie within a few units of zero.
    Comparison comparison;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> near(-4.0f, 4.0f);
    for (uint32_t i = 0; i < kRandomSamples / 3; ++i)
        comparison.check(std::bit_cast<uint32_t>(near(random)));
    EXPECT_EQ(comparison.mismatches, 0u) << comparison.first;
}

std::string unsignedText(uint32_t value) {
    char text[16];
    return std::string(text, quillout::writeUnsigned(value, text));
}

TEST(QuilloutUnsignedText, MatchesPercentU) {
    EXPECT_EQ(unsignedText(0), "0");
    EXPECT_EQ(unsignedText(9), "9");
    EXPECT_EQ(unsignedText(10), "10");
    EXPECT_EQ(unsignedText(100000000), "100000000");
    EXPECT_EQ(unsignedText(4294967295u), "4294967295");
    uint64_t mismatches = 0;
    std::mt19937 random(3);
    for (uint32_t i = 0; i < 200000; ++i) {
        const uint32_t value = random() >> (i % 32);
        char expected[16];
        std::snprintf(expected, sizeof expected, "%u", value);
        mismatches += unsignedText(value) != expected;
    }
    for (uint32_t power = 1; power <= 1000000000u; power *= 10)
        for (uint32_t value : {power - 1, power, power + 1}) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "%u", value);
            mismatches += unsignedText(value) != expected;
        }
    EXPECT_EQ(mismatches, 0u);
}

// The whole-number writer of compilers without a 128-bit type, against the C library at every
// shift a float can need, for the ends of the mantissa range and random mantissas.
TEST(QuilloutFixed24, PortableWholeNumbersMatchTheCLibrary) {
    std::mt19937 random(104);
    uint64_t mismatches = 0;
    std::string first;
    for (int shift = 0; shift <= 104; ++shift)
        for (uint64_t m : {uint64_t{1} << 23, (uint64_t{1} << 24) - 1, uint64_t{random() >> 8},
                           uint64_t{random() >> 8} | (uint64_t{1} << 23)}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.0f", std::ldexp(double(m), shift));
            char text[64];
            const std::string actual(text, quillout::writeWholePortably(m, shift, text));
            if (actual != expected && mismatches++ == 0)
                first = actual + " for " + expected;
        }
    EXPECT_EQ(mismatches, 0u) << first;
}

// The portable product is what a compiler without a 128-bit type uses; here it is checked
// against that type on edge values (limb boundaries, all ones) and on random pairs of every
// magnitude.
TEST(QuilloutWideMultiply, PortableProductMatchesTheWideType) {
    const auto portable = quillout::multiplyWidePortably(1000000000000u, 1000000000000u);
    EXPECT_EQ(portable.high, 0xD3C2u); // 10^24
    EXPECT_EQ(portable.low, 0x1BCECCEDA1000000u);
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 Wide;
    uint64_t mismatches = 0;
    const auto check = [&mismatches](uint64_t a, uint64_t b) {
        const quillout::WideProduct product = quillout::multiplyWidePortably(a, b);
        const Wide expected = Wide(a) * b;
        mismatches += product.high != uint64_t(expected >> 64) || product.low != uint64_t(expected);
    };
    constexpr uint64_t kOnes = ~uint64_t{0};
    const uint64_t edges[] = {0,     1,         2,          kOnes >> 32, kOnes >> 31, 1000000000000,
                              kOnes, kOnes - 1, kOnes >> 1, kOnes << 32, kOnes << 63};
    for (uint64_t a : edges)
        for (uint64_t b : edges)
            check(a, b);
    std::mt19937_64 random(128);
    for (uint32_t i = 0; i < kRandomSamples / 3; ++i) {
        const uint64_t a = random() >> (i % 64);
        check(a, random() >> (i / 64 % 64));
    }
    EXPECT_EQ(mismatches, 0u);
#endif
}

} // namespace
