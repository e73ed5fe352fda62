// The scanf-style field rules of the matrix side file, checked on literal pieces, and the
// one-scan readings of the records the exporter writes, checked against the OBJ field split.
#include "quillin/fields.h"
#include "quillin/number_text.h"
#include "quillin/obj_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

using quillin::Field;
using quillin::ObjCornerNumbers;
using quillin::parseFloatText;
using quillin::parseIntText;
using quillin::readFixedFloatFields;
using quillin::readObjCorner;
using quillin::readRepeatedFaceNumbers;
using quillin::splitFields;
using quillin::splitObjFields;
using quillin::splitRecordFields;
using quillin::strCount;

namespace {

std::vector<std::string> split(const std::string& text, size_t count) {
    std::vector<Field> fields(count);
    const size_t taken = splitFields(text.data(), text.data() + text.size(), fields.data(), count);
    std::vector<std::string> result;
    for (size_t i = 0; i < taken; ++i)
        result.emplace_back(fields[i].first, fields[i].last);
    return result;
}

using Strings = std::vector<std::string>;

TEST(SplitFields, SpaceSeparatedFieldsWithTheLastStoppingAtWhiteSpace) {
    EXPECT_EQ(split("v 1 2 3\n", 4), (Strings{"v", "1", "2", "3"}));
    EXPECT_EQ(split("v  1   2 3 4\r\n", 4), (Strings{"v", "1", "2", "3"}));
    EXPECT_EQ(split("vt 0.5 0.25 0\n", 3), (Strings{"vt", "0.5", "0.25"}));
    EXPECT_EQ(split("v 1 2 3\r\n", 4), (Strings{"v", "1", "2", "3"}));
}

TEST(SplitFields, TabAndLineEndDoNotEndAMiddleField) {
    EXPECT_EQ(split("v 1\t2 3 4\n", 4), (Strings{"v", "1\t2", "3", "4"}));
    EXPECT_EQ(split("v 1 2\n", 4), (Strings{"v", "1", "2\n"}));
    EXPECT_EQ(split("f 1 2 3\t4\n", 4), (Strings{"f", "1", "2", "3"}));
}

TEST(SplitFields, ApostropheEndsTheSplit) {
    EXPECT_EQ(split("v 1'5 2 3\n", 4), (Strings{"v", "1"}));
    EXPECT_EQ(split("v 1 2 3'x\n", 4), (Strings{"v", "1", "2", "3'x"}));
    EXPECT_EQ(split("'v 1 2 3\n", 4), Strings{});
}

TEST(SplitFields, NulByteEndsTheText) {
    const std::string text("v 1 2\0 3\n", 9);
    EXPECT_EQ(split(text, 4), (Strings{"v", "1", "2"}));
    const std::string early("v 1\0002 3 4\n", 11);
    EXPECT_EQ(split(early, 4), (Strings{"v", "1"}));
}

TEST(SplitFields, FieldsLongerThanAnyBufferAreTakenWhole) {
    const std::string digits(200, '7');
    EXPECT_EQ(split("v " + digits + " 2 " + digits + "\n", 4), (Strings{"v", digits, "2", digits}));
}

TEST(SplitFields, EmptyAndBlankText) {
    EXPECT_EQ(split("", 4), Strings{});
    EXPECT_EQ(split("v", 4), (Strings{"v"}));
    EXPECT_EQ(split("v   \n", 4), (Strings{"v"}));
}

// sscanf itself is the oracle: random pieces over the characters that matter to the rules.
std::string randomPiece(std::mt19937& random) {
    static const char alphabet[] = {' ',  ' ', ' ', '\'', '\t', '\r', '\n', '\v',
                                    '\0', '/', '1', '2',  '.',  'e',  'g',  'v'};
    std::string piece;
    const size_t length = random() % 60;
    for (size_t i = 0; i < length; ++i)
        piece.push_back(random() % 3 == 0 ? alphabet[random() % sizeof alphabet]
                                          : static_cast<char>('0' + random() % 10));
    return piece;
}

TEST(SplitFields, AgreesWithSscanfOnRandomPieces) {
    std::mt19937 random(99);
    for (int round = 0; round < 20000; ++round) {
        const std::string piece = randomPiece(random);
        char a[256], b[256], c[256], d[256];
        const int assigned = std::sscanf(piece.c_str(), "%[^' '] %[^' '] %[^' '] %s", a, b, c, d);
        Strings expected;
        for (int i = 0; i < assigned; ++i)
            expected.emplace_back(i == 0 ? a : i == 1 ? b : i == 2 ? c : d);
        ASSERT_EQ(split(piece, 4), expected) << "piece \"" << piece << "\"";
        const int three = std::sscanf(piece.c_str(), "%[^' '] %[^' '] %s", a, b, c);
        expected.clear();
        for (int i = 0; i < three; ++i)
            expected.emplace_back(i == 0 ? a : i == 1 ? b : c);
        ASSERT_EQ(split(piece, 3), expected) << "piece \"" << piece << "\"";
    }
}

TEST(SplitRecordFields, SameFieldsAsTheWholeSplit) {
    std::mt19937 random(5);
    for (int round = 0; round < 20000; ++round) {
        const std::string keyword = round % 3 == 0 ? "v" : round % 3 == 1 ? "vt" : "f";
        const std::string piece = keyword + " " + randomPiece(random);
        for (size_t count : {3u, 4u, 10u}) {
            std::vector<Field> whole(count), record(count);
            const char* first = piece.data();
            const char* last = first + piece.size();
            const size_t taken = splitFields(first, last, whole.data(), count);
            ASSERT_EQ(splitRecordFields(first, last, keyword.size(), record.data(), count), taken)
                << piece;
            for (size_t i = 0; i < taken; ++i) {
                EXPECT_EQ(record[i].first, whole[i].first) << piece;
                EXPECT_EQ(record[i].last, whole[i].last) << piece;
            }
        }
    }
}

// Record lines of number-like tokens and separators, each in an allocation of exactly its
// length: whenever the one-scan reading takes a record, it must give the values of the OBJ field
// split read field by field, bit for bit; and it must take the exporter's spelling.
std::string randomFloatRecord(std::mt19937& random, const std::string& keyword) {
    static const char* const tokens[] = {
        "1",   "-2.5", "0.125000000000000000000000",  "12.", "-0", "7e1", ".5",
        "1'5", "-",    "0.1234567890123456789012345", "3.0", "42", "x",   "#",
        "4#"};
    static const std::string gaps[] = {
        " ", " ", " ", "  ", "\t", " \t", "\n", "\r\n", "'", std::string(1, '\0'), "\\\n"};
    std::string piece = keyword;
    const size_t fields = random() % 5;
    for (size_t i = 0; i < fields; ++i) {
        piece += i == 0 || random() % 4 != 0 ? " " : gaps[random() % std::size(gaps)];
        piece += tokens[random() % std::size(tokens)];
    }
    if (random() % 2 == 0)
        piece += gaps[random() % std::size(gaps)];
    return piece;
}

TEST(ReadFixedFloatFields, SameValuesAsTheObjSplitWheneverItTakesTheRecord) {
    std::mt19937 random(31);
    int taken = 0;
    for (int round = 0; round < 40000; ++round) {
        const std::string keyword = round % 2 == 0 ? "v" : "vt";
        const size_t count = round % 2 == 0 ? 3 : 2;
        const std::string text = randomFloatRecord(random, keyword);
        const auto copy = std::make_unique<char[]>(text.size());
        std::memcpy(copy.get(), text.data(), text.size());
        const char* first = copy.get();
        const char* last = first + text.size();
        float values[3];
        if (!readFixedFloatFields(first + keyword.size(), last, values, count))
            continue;
        ++taken;
        Field fields[3];
        ASSERT_EQ(splitObjFields(first + keyword.size(), last, fields, count), count) << text;
        for (size_t i = 0; i < count; ++i)
            EXPECT_EQ(std::bit_cast<uint32_t>(values[i]),
                      std::bit_cast<uint32_t>(parseFloatText(fields[i].first, fields[i].last)))
                << text;
    }
    EXPECT_GT(taken, 1000);
}

TEST(ReadFixedFloatFields, TakesTheExporterSpellingAndLeavesOthersToTheFullSplit) {
    const auto read = [](const std::string& text, size_t count, float* values) {
        const size_t keyword = text[1] == ' ' ? 1 : 2;
        return readFixedFloatFields(text.data() + keyword, text.data() + text.size(), values,
                                    count);
    };
    float v[3];
    ASSERT_TRUE(read(
        "v -1.500000000000000000000000 2.000000000000000000000000 0.250000000000000000000000\n", 3,
        v));
    EXPECT_EQ(v[0], -1.5f);
    EXPECT_EQ(v[1], 2.0f);
    EXPECT_EQ(v[2], 0.25f);
    ASSERT_TRUE(read("vt 0.5 0.25 0\n", 2, v));
    EXPECT_EQ(v[0], 0.5f);
    EXPECT_EQ(v[1], 0.25f);
    ASSERT_TRUE(read("v 1 2 3", 3, v));
    EXPECT_EQ(v[2], 3.0f);
    EXPECT_FALSE(read("v 1\t2 3 4\n", 3, v)); // a tab: the full split
    EXPECT_FALSE(read("v 1 2\n", 3, v));      // too few fields
    EXPECT_FALSE(read("v 1e2 2 3\n", 3, v));  // an exponent
    EXPECT_FALSE(read("v 1'5 2 3\n", 3, v));  // no plain number
    EXPECT_FALSE(read("v 1 2 # 3\n", 3, v));  // a comment
    EXPECT_FALSE(read("v 1 2 3x\n", 3, v));   // the last field runs on
}

struct FaceNumbers {
    bool taken;
    std::vector<int32_t> numbers;
    bool operator==(const FaceNumbers&) const = default;
};

FaceNumbers faceNumbers(const std::string& piece) {
    int32_t numbers[3] = {0, 0, 0};
    const bool taken = readRepeatedFaceNumbers(piece.data(), piece.data() + piece.size(), numbers);
    return taken ? FaceNumbers{true, {numbers[0], numbers[1], numbers[2]}} : FaceNumbers{false, {}};
}

TEST(ReadRepeatedFaceNumbers, TakesTheExporterSpellingOnly) {
    const FaceNumbers none{false, {}};
    EXPECT_EQ(faceNumbers("f 1/1/1 2/2/2 3/3/3\n"), (FaceNumbers{true, {1, 2, 3}}));
    EXPECT_EQ(faceNumbers("f 1/1/1 2/2/2 3/3/3\r\n"), (FaceNumbers{true, {1, 2, 3}}));
    EXPECT_EQ(faceNumbers("f 1234567/1234567/1234567 0012/0012/0012 9/9/9"),
              (FaceNumbers{true, {1234567, 12, 9}}));
    EXPECT_EQ(faceNumbers("f 12345678/12345678/12345678 1/1/1 2/2/2"),
              (FaceNumbers{true, {12345678, 1, 2}}));
    const std::string huge = "123456789012";
    EXPECT_EQ(faceNumbers("f 1/1/1 " + huge + "/" + huge + "/" + huge + " 2/2/2"),
              (FaceNumbers{true, {1, parseIntText(huge.data(), huge.data() + huge.size()), 2}}));
    const std::string nulThenMore("f 1/1/1 2/2/2 3/3/3\0 junk", 25);
    EXPECT_EQ(faceNumbers(nulThenMore), none);
    for (const std::string other : {"f 12345678/12345678/12345679 1/1/1 2/2/2",
                                    "f 1/1/1  2/2/2 3/3/3",
                                    "f  1/1/1 2/2/2 3/3/3",
                                    "f 1/1/1\t2/2/2 3/3/3",
                                    "f 1/1/2 2/2/2 3/3/3",
                                    "f 1/1/1 2/2/2 3/3/",
                                    "f 1/1/1 2/2/2",
                                    "f -1/-1/-1 2/2/2 3/3/3",
                                    "f 1//1 2//2 3//3",
                                    "f 1 2 3",
                                    "f 1/1/1 2/2/2 3/3/3x",
                                    "f 1/1/1 2/2/2 3/3/33",
                                    "f 1/1/1 2/2/2 33/3/3",
                                    "f\t1/1/1 2/2/2 3/3/3",
                                    "f",
                                    "f 123456789/123456789/12345678 1/1/1 2/2/2",
                                    "f 1/1/1 2/2/2 123456789/123456789/1234567890",
                                    "f 1/1/1 2/2/2 3/3/3 4/4/4\n",
                                    "f 1/1/1 2/2/2 3/3/3 \n",
                                    "f 1/1/1 2/2/2 3/3/3 # c\n"})
        EXPECT_EQ(faceNumbers(other), none) << other;
}

// Where the shortcut takes a face, the corners read in full are the same three, each naming
// its number three times.
TEST(ReadRepeatedFaceNumbers, SameCornersAsTheFullReading) {
    std::mt19937 random(29);
    static const char noise[] = {' ', '\t', '\'', '/', '\0', '\r', 'x', '-', '0', '7', '#', '\n'};
    int taken = 0;
    for (int round = 0; round < 30000; ++round) {
        static const uint64_t ranges[] = {100, 10000000, 100000000000000000};
        std::string line = "f";
        for (int c = 0; c < 3 + static_cast<int>(random() % 2); ++c) {
            const std::string number = std::to_string(1 + random() % ranges[round % 3]);
            line += " " + number + "/" + number + "/" + number;
        }
        line += random() % 2 == 0 ? "\n" : "\r\n";
        const bool plain = round % 4 == 0;
        for (int k = plain ? 0 : 1 + static_cast<int>(random() % 2); k > 0; --k)
            line[1 + random() % (line.size() - 1)] = noise[random() % sizeof noise];
        const FaceNumbers read = faceNumbers(line);
        if (plain) {
            EXPECT_EQ(read.taken, line.find('/') != std::string::npos &&
                                      std::count(line.begin(), line.end(), ' ') == 3)
                << line;
        }
        if (!read.taken)
            continue;
        ++taken;
        const char* p = line.data() + 1;
        const char* last = line.data() + line.size();
        ObjCornerNumbers corner;
        for (int c = 0; c < 3; ++c) {
            ASSERT_TRUE(readObjCorner(p, last, corner)) << line;
            EXPECT_TRUE(corner.hasTexcoord && corner.hasNormal) << line;
            EXPECT_EQ(corner.position, read.numbers[c]) << line;
            EXPECT_EQ(corner.texcoord, read.numbers[c]) << line;
            EXPECT_EQ(corner.normal, read.numbers[c]) << line;
        }
        EXPECT_FALSE(readObjCorner(p, last, corner)) << line;
    }
    EXPECT_GT(taken, 3000);
}

// The field count of the counting pass in its vector form (where the host has one) against the
// byte-by-byte count: random face lines of blanks, digits, slashes, high bytes and now and then a
// '#', of every length around the 16-byte steps and past the 255 steps a lane counter holds.
TEST(CountObjFields, VectorCountAgreesWithTheByteByByteCount) {
    std::string longLine = "f";
    for (int i = 0; i < 5000; ++i)
        longLine += " 1";
    EXPECT_EQ(quillin::countObjFields(longLine.data(), longLine.data() + 1,
                                      longLine.data() + longLine.size(), false),
              5000u);
    const char alphabet[] = "   11//a\t\r\v\f\n\x80\xff";
    std::mt19937 random(16);
    uint64_t mismatches = 0;
    std::string first;
    for (uint32_t round = 0; round < 20000; ++round) {
        std::string line = "f ";
        const bool beyondLaneCounts = round % 100 == 0; // and without a '#'
        const size_t length = beyondLaneCounts ? 4000 + random() % 5000 : random() % 70;
        for (size_t i = 0; i < length; ++i)
            line += !beyondLaneCounts && random() % 400 == 0
                        ? '#'
                        : alphabet[random() % (sizeof alphabet - 1)];
        const char* last = line.data() + line.size();
        if (quillin::countObjFields(line.data(), line.data() + 1, last, false) !=
                quillin::countObjFieldsSlowly(line.data() + 1, last) &&
            mismatches++ == 0)
            first = line;
    }
    EXPECT_EQ(mismatches, 0u) << first;
}

TEST(StrCount, CountsUpToTheEndOrTheFirstNul) {
    const std::string text("f 1/1/1 2/2/2 3/3/3\n", 20);
    EXPECT_EQ(strCount(text.data(), text.data() + text.size(), '/'), 6);
    const std::string cut("f 1/1\0/1/1\n", 11);
    EXPECT_EQ(strCount(cut.data(), cut.data() + cut.size(), '/'), 1);
    EXPECT_EQ(strCount(text.data(), text.data(), '/'), 0);
}

} // namespace
