// The scanf-style field rules of the importer, checked on literal pieces.
#include "fields.h"
#include "number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <iterator>
#include <memory>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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
    static const char alphabet[] = {' ', ' ', ' ', '\'', '\t', '\r', '\n', '\v', '\0', '/', '1', '2', '.', 'e', 'g', 'v'};
    std::string piece;
    const size_t length = random() % 60;
    for (size_t i = 0; i < length; ++i)
        piece.push_back(random() % 3 == 0 ? alphabet[random() % sizeof alphabet] : static_cast<char>('0' + random() % 10));
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
            ASSERT_EQ(splitRecordFields(first, last, keyword.size(), record.data(), count), taken) << piece;
            for (size_t i = 0; i < taken; ++i) {
                EXPECT_EQ(record[i].first, whole[i].first) << piece;
                EXPECT_EQ(record[i].last, whole[i].last) << piece;
            }
        }
    }
}

// Record pieces of number-like tokens and separators, each in an allocation of exactly its
// length: whenever the one-scan reading takes a record, it must give the values of the full split
// read field by field, bit for bit; and it must take the exporter's spelling.
std::string randomFloatRecord(std::mt19937& random, const std::string& keyword) {
    static const char* const tokens[] = {"1",   "-2.5", "0.125000000000000000000000", "12.", "-0", "7e1", ".5",
                                         "1'5", "-",    "0.1234567890123456789012345", "3.0", "42", "x"};
    static const std::string gaps[] = {" ", " ", " ", "  ", "\t", " \t", "\n", "\r\n", "'", std::string(1, '\0')};
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

TEST(ReadFixedFloatFields, SameValuesAsTheFullSplitWheneverItTakesTheRecord) {
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
        if (!readFixedFloatFields(first, last, keyword.size(), values, count))
            continue;
        ++taken;
        Field fields[4];
        ASSERT_EQ(splitRecordFields(first, last, keyword.size(), fields, count + 1), count + 1) << text;
        for (size_t i = 0; i < count; ++i)
            EXPECT_EQ(std::bit_cast<uint32_t>(values[i]),
                      std::bit_cast<uint32_t>(parseFloatText(fields[i + 1].first, fields[i + 1].last)))
                << text;
    }
    EXPECT_GT(taken, 1000);
}

TEST(ReadFixedFloatFields, TakesTheExporterSpellingAndLeavesOthersToTheFullSplit) {
    const auto read = [](const std::string& text, size_t count, float* values) {
        return readFixedFloatFields(text.data(), text.data() + text.size(), text[1] == ' ' ? 1 : 2, values, count);
    };
    float v[3];
    ASSERT_TRUE(read("v -1.500000000000000000000000 2.000000000000000000000000 0.250000000000000000000000\n", 3, v));
    EXPECT_EQ(v[0], -1.5f);
    EXPECT_EQ(v[1], 2.0f);
    EXPECT_EQ(v[2], 0.25f);
    ASSERT_TRUE(read("vt 0.5 0.25 0\n", 2, v));
    EXPECT_EQ(v[0], 0.5f);
    EXPECT_EQ(v[1], 0.25f);
    ASSERT_TRUE(read("v 1 2 3", 3, v));
    EXPECT_EQ(v[2], 3.0f);
    EXPECT_FALSE(read("v 1\t2 3 4\n", 3, v));  // a tab does not end a middle field
    EXPECT_FALSE(read("v 1 2\n", 3, v));        // too few fields
    EXPECT_FALSE(read("v 1e2 2 3\n", 3, v));    // an exponent
    EXPECT_FALSE(read("v 1'5 2 3\n", 3, v));    // an apostrophe ends the split
    EXPECT_FALSE(read("v 1 2 3x\n", 3, v));     // the last field runs on
}

std::string groupId(const std::string& text) {
    Field id;
    if (!splitGroupId(text.data(), text.data() + text.size(), id))
        return "<none>";
    return std::string(id.first, id.last);
}

TEST(SplitGroupId, NameUpToTheSlashIdAfterIt) {
    EXPECT_EQ(groupId("g 0/7\n"), "7");
    EXPECT_EQ(groupId("g my part/12\n"), "12");
    EXPECT_EQ(groupId("g a/b/c\n"), "b/c");
    EXPECT_EQ(groupId("g a/ 12\r\n"), "12");
}

TEST(SplitGroupId, MissingPartsGiveNoId) {
    EXPECT_EQ(groupId("g name\n"), "<none>");
    EXPECT_EQ(groupId("g /5\n"), "<none>");
    EXPECT_EQ(groupId("g it's/5\n"), "<none>");
    EXPECT_EQ(groupId("g a/\n"), "<none>");
    EXPECT_EQ(groupId(std::string("g a\0/5\n", 7)), "<none>");
}

TEST(SplitGroupId, AgreesWithSscanfOnRandomPieces) {
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        const std::string piece = randomPiece(random);
        char keyword[256], name[256], id[256];
        const bool hasId = std::sscanf(piece.c_str(), "%[^' '] %[^'/']/%s", keyword, name, id) == 3;
        ASSERT_EQ(groupId(piece), hasId ? std::string(id) : "<none>") << "piece \"" << piece << "\"";
    }
}

Strings corner(const std::string& text) {
    const CornerParts parts = splitCorner(Field{text.data(), text.data() + text.size()});
    return {std::string(parts.position.first, parts.position.last),
            std::string(parts.texcoord.first, parts.texcoord.last),
            std::string(parts.normal.first, parts.normal.last)};
}

TEST(SplitCorner, EveryCornerForm) {
    EXPECT_EQ(corner("5"), (Strings{"5", "", ""}));
    EXPECT_EQ(corner("5/6"), (Strings{"5", "6", ""}));
    EXPECT_EQ(corner("5/6/7"), (Strings{"5", "6", "7"}));
    EXPECT_EQ(corner("5//7"), (Strings{"5", "", "7"}));
    EXPECT_EQ(corner("5/6/"), (Strings{"5", "6", ""}));
    EXPECT_EQ(corner("-1/-2/-3"), (Strings{"-1", "-2", "-3"}));
    EXPECT_EQ(corner("5'6/7"), (Strings{"5", "", ""}));
}

// The parts as the three scans define them, for comparison with the shortcut for "p/p/p".
Strings cornerByScans(const std::string& text) {
    const auto upTo = [](const std::string& t, size_t from, const char* stops) {
        size_t end = from;
        while (end < t.size() && std::strchr(stops, t[end]) == nullptr && t[end] != '\0')
            ++end;
        return end;
    };
    const size_t p = upTo(text, 0, "/'");
    if (p == text.size() || text[p] != '/')
        return {text.substr(0, p), "", ""};
    const size_t t = upTo(text, p + 1, "/'");
    if (t == text.size() || text[t] != '/')
        return {text.substr(0, p), text.substr(p + 1, t - p - 1), ""};
    const size_t n = upTo(text, t + 1, " \t\n\v\f\r");
    return {text.substr(0, p), text.substr(p + 1, t - p - 1), text.substr(t + 1, n - t - 1)};
}

TEST(SplitCorner, RepeatedPartsAgreeWithTheScans) {
    for (const std::string text : {"1/1/1", "65537/65537/65537", "12/12/13", "12/13/12", "1\t2/1\t2/1\t2", "1 /1 /1 ",
                                   "7/7/7/7", "7/7//7", "-3/-3/-3", "123456789012/123456789012/123456789012"}) {
        EXPECT_EQ(corner(text), cornerByScans(text)) << text;
    }
    const std::string exporter = "4711/4711/4711";
    EXPECT_TRUE(splitCorner(Field{exporter.data(), exporter.data() + exporter.size()}).repeated);
    const std::string other = "4711/4711/4712";
    EXPECT_FALSE(splitCorner(Field{other.data(), other.data() + other.size()}).repeated);
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
    EXPECT_EQ(faceNumbers("f 1234567/1234567/1234567 0012/0012/0012 9/9/9"), (FaceNumbers{true, {1234567, 12, 9}}));
    EXPECT_EQ(faceNumbers("f 1/1/1 2/2/2 3/3/3 4/4/4\r\n"), (FaceNumbers{true, {1, 2, 3}}));
    EXPECT_EQ(faceNumbers(std::string("f 1/1/1 2/2/2 3/3/3\0 junk", 25)), (FaceNumbers{true, {1, 2, 3}}));
    EXPECT_EQ(faceNumbers("f 12345678/12345678/12345678 1/1/1 2/2/2"), (FaceNumbers{true, {12345678, 1, 2}}));
    const std::string huge = "123456789012";
    EXPECT_EQ(faceNumbers("f 1/1/1 " + huge + "/" + huge + "/" + huge + " 2/2/2"),
              (FaceNumbers{true, {1, parseIntText(huge.data(), huge.data() + huge.size()), 2}}));
    for (const std::string other : {"f 12345678/12345678/12345679 1/1/1 2/2/2", "f 1/1/1  2/2/2 3/3/3", "f  1/1/1 2/2/2 3/3/3",
                                    "f 1/1/1\t2/2/2 3/3/3", "f 1/1/2 2/2/2 3/3/3", "f 1/1/1 2/2/2 3/3/", "f 1/1/1 2/2/2",
                                    "f -1/-1/-1 2/2/2 3/3/3", "f 1//1 2//2 3//3", "f 1 2 3", "f 1/1/1 2/2/2 3/3/3x",
                                    "f 1/1/1 2/2/2 3/3/33", "f 1/1/1 2/2/2 33/3/3", "f\t1/1/1 2/2/2 3/3/3", "f",
                                    "f 123456789/123456789/12345678 1/1/1 2/2/2", "f 1/1/1 2/2/2 123456789/123456789/1234567890"})
        EXPECT_EQ(faceNumbers(other), none) << other;
}

// Where the shortcut takes a face, its numbers are those of the full split read part by part.
TEST(ReadRepeatedFaceNumbers, SameNumbersAsTheFullSplit) {
    std::mt19937 random(29);
    static const char noise[] = {' ', '\t', '\'', '/', '\0', '\r', 'x', '-', '0', '7'};
    int taken = 0;
    for (int round = 0; round < 30000; ++round) {
        static const uint64_t ranges[] = {100, 100000000, 100000000000000000};
        std::string piece = "f";
        for (int c = 0; c < 3 + static_cast<int>(random() % 2); ++c) {
            const std::string number = std::to_string(random() % ranges[round % 3]);
            piece += " " + number + "/" + number + "/" + number;
        }
        piece += random() % 2 == 0 ? "\n" : "\r\n";
        const bool plain = round % 4 == 0;
        for (int k = plain ? 0 : 1 + static_cast<int>(random() % 2); k > 0; --k)
            piece[1 + random() % (piece.size() - 1)] = noise[random() % sizeof noise];
        const FaceNumbers read = faceNumbers(piece);
        if (plain) {
            EXPECT_TRUE(read.taken) << piece;
        }
        if (!read.taken)
            continue;
        ++taken;
        std::vector<Field> fields(4);
        ASSERT_EQ(splitRecordFields(piece.data(), piece.data() + piece.size(), 1, fields.data(), 4), 4u) << piece;
        for (int c = 0; c < 3; ++c) {
            const CornerParts full = splitCorner(fields[c + 1]);
            const std::string position(full.position.first, full.position.last);
            EXPECT_EQ(position, std::string(full.texcoord.first, full.texcoord.last)) << piece;
            EXPECT_EQ(position, std::string(full.normal.first, full.normal.last)) << piece;
            EXPECT_EQ(read.numbers[c], parseIntText(full.position.first, full.position.last)) << piece;
        }
    }
    EXPECT_GT(taken, 5000);
}

TEST(StrCount, CountsUpToTheEndOrTheFirstNul) {
    const std::string text("f 1/1/1 2/2/2 3/3/3\n", 20);
    EXPECT_EQ(strCount(text.data(), text.data() + text.size(), '/'), 6);
    const std::string cut("f 1/1\0/1/1\n", 11);
    EXPECT_EQ(strCount(cut.data(), cut.data() + cut.size(), '/'), 1);
    EXPECT_EQ(strCount(text.data(), text.data(), '/'), 0);
}

} // namespace
