// parseFloatText and parseIntText must give exactly what the C library gives for the same text:
// (float)strtod and (int32_t)strtol with a 64-bit long (strtoll, whatever size long has). Every
// check copies the text into an allocation of exactly its length, so a read past the end of the
// range is caught by the address sanitizer.
#include "quillin/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>

using quillin::parseFixedFloatPrefix;
using quillin::parseFloatText;
using quillin::parseIntText;

namespace {

uint32_t floatBits(float value) { return std::bit_cast<uint32_t>(value); }

float parseExactRange(const std::string& text) {
    const auto copy = std::make_unique<char[]>(text.size());
    std::memcpy(copy.get(), text.data(), text.size());
    return parseFloatText(copy.get(), copy.get() + text.size());
}

int32_t parseExactRangeInt(const std::string& text) {
    const auto copy = std::make_unique<char[]>(text.size());
    std::memcpy(copy.get(), text.data(), text.size());
    return parseIntText(copy.get(), copy.get() + text.size());
}

// Compares bit patterns, so the sign of zero and the NaN payload count too. The C library sees
// the text up to its first NUL, as C would; text it finds no number in is +0 (C libraries
// differ on that zero's sign).
::testing::AssertionResult floatMatchesCLibrary(const std::string& text) {
    char* end = nullptr;
    const double converted = std::strtod(text.c_str(), &end);
    const float expected = end == text.c_str() ? 0.0f : static_cast<float>(converted);
    const float actual = parseExactRange(text);
    if (floatBits(expected) == floatBits(actual)) {
        return ::testing::AssertionSuccess();
    }
    char message[160];
    std::snprintf(message, sizeof message,
                  "strtod gives %a (0x%08x), parseFloatText gives %a (0x%08x)",
                  static_cast<double>(expected), floatBits(expected), static_cast<double>(actual),
                  floatBits(actual));
    return ::testing::AssertionFailure() << "\"" << text << "\": " << message;
}

::testing::AssertionResult intMatchesCLibrary(const std::string& text) {
    const auto expected =
        static_cast<int32_t>(static_cast<uint32_t>(std::strtoll(text.c_str(), nullptr, 10)));
    const int32_t actual = parseExactRangeInt(text);
    if (expected == actual) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "\"" << text << "\": strtoll gives " << expected << ", parseIntText gives " << actual;
}

std::string printed(const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Every digit of a long double's exact decimal value, as "d.ddd...e±x" without trailing zeros.
std::string exactDecimal(long double value) {
    std::string text(1300, '\0');
    const int length = std::snprintf(text.data(), text.size(), "%.1200Le", value);
    text.resize(static_cast<size_t>(length));
    const size_t e = text.find('e');
    size_t lastDigit = e - 1;
    while (text[lastDigit] == '0') {
        --lastDigit;
    }
    if (text[lastDigit] == '.') {
        --lastDigit;
    }
    return text.substr(0, lastDigit + 1) + text.substr(e);
}

// The same number with one more nonzero digit far down: a hair above it in magnitude.
std::string justBeyond(const std::string& exact) {
    const size_t e = exact.find('e');
    std::string mantissa = exact.substr(0, e);
    if (mantissa.find('.') == std::string::npos) {
        mantissa += '.';
    }
    return mantissa + "00000000000000000000001" + exact.substr(e);
}

float randomFloat(std::mt19937_64& random) {
    for (;;) {
        const float value = std::bit_cast<float>(static_cast<uint32_t>(random()));
        if (!std::isnan(value)) {
            return value;
        }
    }
}

// ---------------------------------------------------------------------------------------------

TEST(ParseFloatText, ReadsEverySpellingTheCLibraryAccepts) {
    struct Case {
        const char* text;
        float expected;
    };
    const Case cases[] = {
        {"+2", 2.0f},          {".5", 0.5f},          {"5.", 5.0f},    {"1e3", 1000.0f},
        {"1e", 1.0f},          {"1e+", 1.0f},         {"1E-2", 0.01f}, {"0x1p3", 8.0f},
        {"0X1.8P-3", 0.1875f}, {"-0x10", -16.0f},     {"0x", 0.0f},    {"  \t12", 12.0f},
        {"\n\v\f\r-3", -3.0f}, {"junk", 0.0f},        {"", 0.0f},      {"-", 0.0f},
        {".", 0.0f},           {"-.e1", 0.0f},        {"+-1", 0.0f},   {"12abc", 12.0f},
        {"1.5e+2x", 150.0f},   {"007.250", 7.25f},    {"1,5", 1.0f},   {"1'5", 1.0f},
        {"-0.000", -0.0f},     {"0e999999999", 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(floatBits(parseExactRange(c.text)), floatBits(c.expected))
            << '"' << c.text << '"';
        EXPECT_TRUE(floatMatchesCLibrary(c.text));
    }
}

TEST(ParseFloatText, ReadsInfinityAndNanSpellings) {
    EXPECT_EQ(parseExactRange("inf"), INFINITY);
    EXPECT_EQ(parseExactRange("-Infinity"), -INFINITY);
    EXPECT_EQ(parseExactRange("INFINITY"), INFINITY);
    EXPECT_EQ(parseExactRange("infin"), INFINITY); // "inf" taken, "in" left over
    EXPECT_TRUE(std::isnan(parseExactRange("nan")));
    EXPECT_TRUE(std::isnan(parseExactRange("NaN(123)")));
    EXPECT_TRUE(std::signbit(parseExactRange("-nan")));
    EXPECT_EQ(parseExactRange("in"), 0.0f);
    for (const char* text :
         {"inf",   "INF",   "+inf",  "-inf", "infinity", "INFINITY",   "-infinityx",
          "nan",   "NAN",   "-nan",  "+nan", "nan(123)", "nan(abc_9)", "nan(",
          "nan()", "nan(1", "  nan", "na",   "i",        "infinit"}) {
        EXPECT_TRUE(floatMatchesCLibrary(text));
    }
}

// Every text of up to five characters from an alphabet of digits, signs, points, exponent
// letters, white space and a NUL: each prefix of a field, each short field, every place a
// number can stop.
template <typename Check>
void forEveryShortText(const std::string& alphabet, size_t maxLength, Check check) {
    std::string text;
    const auto extend = [&](const auto& self) -> void {
        check(text);
        if (text.size() == maxLength) {
            return;
        }
        for (const char c : alphabet) {
            text.push_back(c);
            self(self);
            text.pop_back();
        }
    };
    extend(extend);
}

TEST(ParseFloatText, MatchesCLibraryForEveryShortText) {
    forEveryShortText(std::string("05.e-+ x\0", 9), 5,
                      [](const std::string& text) { ASSERT_TRUE(floatMatchesCLibrary(text)); });
}

TEST(ParseIntText, MatchesCLibraryForEveryShortText) {
    forEveryShortText(std::string("079-+ .\0", 8), 6,
                      [](const std::string& text) { ASSERT_TRUE(intMatchesCLibrary(text)); });
}

TEST(ParseFloatText, StopsAtNulAndAtTheEndOfTheRange) {
    EXPECT_EQ(parseExactRange(std::string("12\0"
                                          "34",
                                          5)),
              12.0f);
    EXPECT_EQ(parseExactRange(std::string("1\0e5", 4)), 1.0f);
    EXPECT_EQ(parseExactRange(std::string(" \0 7", 4)), 0.0f);
    EXPECT_EQ(parseExactRange(std::string("0x\0"
                                          "1p3",
                                          6)),
              0.0f);
    EXPECT_TRUE(std::isnan(parseExactRange(std::string("nan(1\0)", 7))));
    const char text[] = "123456e2";
    EXPECT_EQ(parseFloatText(text, text + 3), 123.0f);
    EXPECT_EQ(parseFloatText(text, text + 7), 123456.0f); // "e" without digits is not an exponent
    EXPECT_EQ(parseFloatText(text, text), 0.0f);
    for (const std::string& text : {std::string("5\0"
                                                "5",
                                                3),
                                    std::string("-\0"
                                                "5",
                                                3),
                                    std::string("0.\0"
                                                "5",
                                                4),
                                    std::string("1e\0"
                                                "5",
                                                4),
                                    std::string("inf\0"
                                                "inity",
                                                8)}) {
        EXPECT_TRUE(floatMatchesCLibrary(text));
    }
}

// The prefix reading tells where the number ends; the full reading of any range that reaches
// that end (and no further than the text) gives the same float.
TEST(ParseFixedFloatPrefix, EndsWhereTheNumberEndsAndAgreesWithTheFullReading) {
    std::mt19937 random(2024);
    static const char* const tails[] = {"", " ", " 7", "\n", "x", "-1", "'", "/"};
    int taken = 0;
    for (int round = 0; round < 100000; ++round) {
        char number[64];
        const float source = std::bit_cast<float>(static_cast<uint32_t>(random()));
        if (!std::isfinite(source) || std::fabs(source) >= 1e7f) {
            continue;
        }
        std::snprintf(number, sizeof number, "%.*f", static_cast<int>(random() % 25),
                      static_cast<double>(source));
        const std::string head = number;
        const std::string text = head + tails[random() % std::size(tails)];
        const auto copy = std::make_unique<char[]>(text.size());
        std::memcpy(copy.get(), text.data(), text.size());
        float value = 0;
        const char* end = nullptr;
        if (!parseFixedFloatPrefix(copy.get(), copy.get() + text.size(), value, end)) {
            continue;
        }
        ++taken;
        ASSERT_EQ(end, copy.get() + head.size()) << text;
        ASSERT_TRUE(floatMatchesCLibrary(text)) << text;
        EXPECT_EQ(floatBits(value),
                  floatBits(static_cast<float>(std::strtod(text.c_str(), nullptr))))
            << text;
        EXPECT_EQ(floatBits(value), floatBits(parseFloatText(copy.get(), end))) << text;
    }
    EXPECT_GT(taken, 10000);
}

TEST(ParseFixedFloatPrefix, LeavesOtherSpellingsToTheGeneralReading) {
    for (const char* text : {"", "-", ".5", "1e5", "2E-3", "inf", "nan", "0x1p3", " 1", "+1", "abc",
                             "0.1234567890123456789012345", "12345678.5"}) {
        float value = 0;
        const char* end = nullptr;
        EXPECT_FALSE(parseFixedFloatPrefix(text, text + std::strlen(text), value, end)) << text;
    }
}

TEST(ParseFloatText, RoundsToDoubleFirstThenToFloat) {
    // 1 + 2^-24 is the midpoint between the floats 1 and 1 + 2^-23. A hair above it rounds up when
    // rounded straight to float, but to the double 1 + 2^-24 first, whose tie goes to the even 1.
    EXPECT_EQ(floatBits(parseExactRange("1.00000005960464477539062500001")), floatBits(1.0f));
    EXPECT_EQ(floatBits(parseExactRange("1.0000000596046448")), floatBits(1.0f));
    EXPECT_EQ(floatBits(parseExactRange("1.0000000596046449")),
              floatBits(1.00000012f)); // next double up
    EXPECT_EQ(floatBits(parseExactRange("1.000000059604644775390625")), floatBits(1.0f));
    EXPECT_EQ(floatBits(parseExactRange("1.000000178813934326171875")), floatBits(1.00000024f));
}

TEST(ParseFloatText, MatchesCLibraryAtFloatMidpoints) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 10000; ++i) {
        const float value = std::fabs(randomFloat(random));
        if (value == FLT_MAX || std::isinf(value)) {
            continue;
        }
        const double next = std::nextafter(value, INFINITY);
        const double midpoint = (static_cast<double>(value) + next) / 2; // exact in double
        const std::string exact = exactDecimal(midpoint);
        ASSERT_TRUE(floatMatchesCLibrary(exact));
        ASSERT_TRUE(floatMatchesCLibrary("-" + exact));
        ASSERT_TRUE(floatMatchesCLibrary(justBeyond(exact)));
        ASSERT_TRUE(floatMatchesCLibrary(exactDecimal(std::nextafter(midpoint, 0.0))));
        ASSERT_TRUE(floatMatchesCLibrary(exactDecimal(std::nextafter(midpoint, INFINITY))));
        ASSERT_TRUE(floatMatchesCLibrary(printed("%.17g", midpoint)));
        ASSERT_TRUE(floatMatchesCLibrary(printed("%.24f", midpoint)));
        ASSERT_TRUE(floatMatchesCLibrary(printed("%.24f", std::nextafter(midpoint, 0.0))));
        ASSERT_TRUE(floatMatchesCLibrary(printed("%.24f", std::nextafter(midpoint, INFINITY))));
        // Halfway from the midpoint to each neighbouring double: which double the text gives
        // decides whether the float rounds up, down or to even.
        const long double halfStep =
            (static_cast<long double>(std::nextafter(midpoint, INFINITY)) - midpoint) / 2;
        for (const long double beside : {midpoint + halfStep, midpoint - halfStep}) {
            const std::string besideText = exactDecimal(beside);
            ASSERT_TRUE(floatMatchesCLibrary(besideText));
            ASSERT_TRUE(floatMatchesCLibrary(justBeyond(besideText)));
            ASSERT_TRUE(floatMatchesCLibrary(exactDecimal(std::nextafter(beside, 0.0L))));
        }
    }
    // 2^54 + 2^30 is a float midpoint; 2 above it lies halfway to the next double, whose tie goes
    // back to the midpoint and from there to the even float 2^54.
    EXPECT_EQ(floatBits(parseExactRange("18014399583223810")), floatBits(0x1p54f));
    EXPECT_EQ(floatBits(parseExactRange("18014399583223810.5")), floatBits(0x1.000002p54f));
}

TEST(ParseFloatText, MatchesCLibraryAtDoubleMidpoints) {
    // Points halfway between neighbouring doubles, and a hair either side, written out in full:
    // the double they give decides the float.
    std::mt19937_64 random(11);
    for (int i = 0; i < 10000; ++i) {
        const double value =
            std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 300) - 230);
        const long double midpoint = (static_cast<long double>(value) +
                                      static_cast<long double>(std::nextafter(value, INFINITY))) /
                                     2;
        const std::string exact = exactDecimal(midpoint);
        ASSERT_TRUE(floatMatchesCLibrary(exact));
        ASSERT_TRUE(floatMatchesCLibrary(justBeyond(exact)));
        ASSERT_TRUE(floatMatchesCLibrary(exactDecimal(std::nextafter(midpoint, 0.0L))));
        ASSERT_TRUE(floatMatchesCLibrary(exactDecimal(std::nextafter(midpoint, INFINITY))));
    }
}

TEST(ParseFloatText, MatchesCLibraryForRandomFloatsPrintedManyWays) {
    std::mt19937_64 random(1);
    char text[512];
    for (int i = 0; i < 250000; ++i) {
        const double value = randomFloat(random);
        ASSERT_TRUE(floatMatchesCLibrary(printed("%.24f", value)));
        ASSERT_TRUE(floatMatchesCLibrary(printed("%.9g", value)));
        ASSERT_TRUE(floatMatchesCLibrary(printed("%.17g", value)));
        ASSERT_TRUE(floatMatchesCLibrary(printed("%a", value)));
        // Magnitudes a mesh holds, with every count of decimals from 0 to 26.
        const double scaled =
            std::ldexp(value, -static_cast<int>(random() % 128) + (std::ilogb(value) > 0 ? 0 : 96));
        std::snprintf(text, sizeof text, "%.*f", i % 27, std::isfinite(scaled) ? scaled : 0.0);
        ASSERT_TRUE(floatMatchesCLibrary(text));
    }
}

TEST(ParseFloatText, MatchesCLibraryForRandomDoublesAndScaledIntegers) {
    std::mt19937_64 random(3);
    char text[64];
    for (int i = 0; i < 250000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (!std::isnan(value)) {
            ASSERT_TRUE(floatMatchesCLibrary(printed("%.17g", value)));
        }
        // Every decimal exponent where the result is neither zero nor infinite, and past both.
        const unsigned long long digits = random() >> (random() % 64);
        std::snprintf(text, sizeof text, "%llue%d", digits, static_cast<int>(random() % 150) - 100);
        ASSERT_TRUE(floatMatchesCLibrary(text));
        std::snprintf(text, sizeof text, "0.%019llu", digits % 10000000000000000000u);
        ASSERT_TRUE(floatMatchesCLibrary(text));
    }
}

TEST(ParseFloatText, MatchesCLibraryForLongDigitStrings) {
    std::mt19937_64 random(5);
    for (int i = 0; i < 20000; ++i) {
        const size_t length = 40 + random() % 761;
        std::string text;
        for (size_t k = 0; k < length; ++k) {
            text += static_cast<char>('0' + random() % 10);
        }
        if (i % 4 == 1) {
            text.replace(1 + random() % 30, std::string::npos, length - 20, '0'); // zeros dropped
        }
        if (i % 4 == 2) {
            text.replace(0, random() % length,
                         std::string(1 + random() % 60, '0')); // leading zeros
        }
        text.insert(random() % (text.size() + 1), ".");
        if (i % 2 == 0) {
            text += "e" + std::to_string(static_cast<int>(random() % 900) - 700);
        }
        ASSERT_TRUE(floatMatchesCLibrary(text));
    }
}

TEST(ParseFloatText, MatchesCLibraryAroundTheNineteenDigitLimit) {
    for (const char* text :
         {"9999999999999999999", "10000000000000000000", "18446744073709551615",
          "18446744073709551616", "99999999999999999999", "1234567890123456789",
          "12345678901234567891", "9007199254740993", "9007199254740992.5",
          "0.99999999999999999999", "9999999999999999999.5", "9999999999999999999e-19",
          "1.00000000000000000001", "0.000000000000000000001000000000000000000001",
          "123456789012345678900000e-5", "5960464477539062500000000000000000001e-44",
          "-0.123456791043281555175781"}) {
        EXPECT_TRUE(floatMatchesCLibrary(text));
    }
}

TEST(ParseFloatText, MatchesCLibraryAtTheEndsOfTheRange) {
    struct Case {
        const char* text;
        float expected;
    };
    const Case cases[] = {
        {"3.4028235e38", FLT_MAX},
        {"340282356779733661637539395458142568448",
         INFINITY}, // midpoint to infinity: ties to even, up
        {"340282356779733661637539395458142568447", INFINITY}, // its double is that midpoint
        {"3.4028235677973362e38", FLT_MAX},                    // the double below the midpoint
        {"1e39", INFINITY},
        {"-1e400", -INFINITY},
        {"1e99999999999999999999", INFINITY},
        {"1.401298464324817e-45", 0x1p-149f},
        {"7.006492321624085354618647916449580656401309709382578858785341419448955413429303e-46",
         0.0f},
        {"7.0064923216240854e-46", 0.0f}, // its double is 2^-150, the midpoint to zero
        {"7.00649232162409e-46", 0x1p-149f},
        {"1e-46", 0.0f},
        {"-1e-400", -0.0f},
        {"1e-99999999999999999999", 0.0f},
        {"1.1754943508222875e-38", FLT_MIN},
        {"1.1754942106924411e-38", 0x1.fffffcp-127f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(floatBits(parseExactRange(c.text)), floatBits(c.expected))
            << '"' << c.text << '"';
        EXPECT_TRUE(floatMatchesCLibrary(c.text));
    }
    for (const char* text :
         {"1e38", "3.4028236e38", "3.40282357e38", "1.7976931348623157e308", "1e309",
          "2.2250738585072014e-308", "4.9406564584124654e-324", "1e-324", "1e-45", "7e-46",
          "7.1e-46", "1e-65", "9e-66", "1e-66", "1e-64", "1e-50"}) {
        EXPECT_TRUE(floatMatchesCLibrary(text));
        EXPECT_TRUE(floatMatchesCLibrary(std::string("-") + text));
    }
    // Many zeros before the digits, or after them, balanced by the exponent.
    EXPECT_EQ(parseExactRange("0." + std::string(200, '0') + "15e201"), 1.5f);
    EXPECT_EQ(parseExactRange("15" + std::string(200, '0') + "e-201"), 1.5f);
}

// ---------------------------------------------------------------------------------------------

TEST(ParseIntText, ReadsLikeStrtolKeepingTheLow32Bits) {
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        {"-1", -1},
        {"+7", 7},
        {"  42abc", 42},
        {"\t\n\v\f\r 5", 5},
        {"2147483647", 2147483647},
        {"2147483648", INT32_MIN},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MAX},
        {"4294967295", -1},
        {"4294967296", 0},
        {"9223372036854775807", -1},
        {"9223372036854775808", -1},  // clamps to LONG_MAX
        {"99999999999999999999", -1}, // clamps to LONG_MAX
        {"-9223372036854775808", 0},  // LONG_MIN
        {"-99999999999999999999", 0}, // clamps to LONG_MIN
        {"0001", 1},
        {"", 0},
        {"-", 0},
        {"+-3", 0},
        {"junk", 0},
        {"1.9", 1},
        {"1e3", 1},
        {"0x10", 0},
        {"12'3", 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseExactRangeInt(c.text), c.expected) << '"' << c.text << '"';
        EXPECT_TRUE(intMatchesCLibrary(c.text));
    }
    EXPECT_EQ(parseExactRangeInt(std::string("12\0"
                                             "3",
                                             4)),
              12);
    const char text[] = "98765";
    EXPECT_EQ(parseIntText(text, text + 2), 98);
}

TEST(ParseIntText, MatchesCLibraryForRandomIntegers) {
    std::mt19937_64 random(9);
    char text[64];
    for (int i = 0; i < 200000; ++i) {
        const auto value = static_cast<long long>(random()) >> (random() % 64);
        std::snprintf(text, sizeof text, "%lld", value);
        ASSERT_TRUE(intMatchesCLibrary(text));
        std::snprintf(text, sizeof text, "%s%llu%llu", random() % 2 ? "-" : "+",
                      static_cast<unsigned long long>(random()),
                      static_cast<unsigned long long>(random() % 1000));
        ASSERT_TRUE(intMatchesCLibrary(text));
    }
    ASSERT_TRUE(intMatchesCLibrary(std::string(800, '9')));
    ASSERT_TRUE(intMatchesCLibrary("-" + std::string(800, '9')));
}

} // namespace
