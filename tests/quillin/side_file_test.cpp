// Reading the matrix side file: rows by their first two characters, in any order, the numbers
// they give, and the rows that must stop the run.
#include "quillin/side_file_reader.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using quillin::makeReadBuffer;
using quillin::ReadBuffer;
using quillin::readSideFile;
using quillin::releaseReadBuffer;
using quillin::releaseSideTables;
using quillin::SideTables;

namespace {

struct SideRead {
    SideTables tables{};
    bool done = false;
    std::string err;
    std::string path;

    SideRead() = default;
    SideRead(const SideRead&) = delete;
    SideRead& operator=(const SideRead&) = delete;
    ~SideRead() { releaseSideTables(tables); }
};

void readSideText(const std::string& text, SideRead& read) {
    quilltest::TempDir dir;
    read.path = dir.file("in.matrix");
    quilltest::writeFile(read.path, text);
    ReadBuffer buffer = makeReadBuffer(4096);
    testing::internal::CaptureStderr();
    read.done = readSideFile(read.path.c_str(), buffer, read.tables);
    read.err = testing::internal::GetCapturedStderr();
    releaseReadBuffer(buffer);
}

std::vector<std::pair<uint32_t, uint32_t>> pairsOf(const SideTables& tables) {
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    for (uint32_t i = 0; i < tables.pairCount; ++i)
        pairs.emplace_back(tables.pairs[i].group, tables.pairs[i].matrix);
    return pairs;
}

using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

const char* const kIdentityRow =
    "m 1.000000000000000000000000 0.000000000000000000000000 0.000000000000000000000000 "
    "0.000000000000000000000000 1.000000000000000000000000 0.000000000000000000000000 "
    "0.000000000000000000000000 0.000000000000000000000000 1.000000000000000000000000\n";

TEST(SideFile, ExporterStyleFile) {
    SideRead read;
    readSideText(
        std::string("# out/model.matrix\n\n# Group to Matrix table\ng 0 1\ng 1 0\n\n# Matrices\n") +
            kIdentityRow,
        read);
    ASSERT_TRUE(read.done);
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(pairsOf(read.tables), (Pairs{{0, 1}, {1, 0}}));
    ASSERT_EQ(read.tables.matrixCount, 1u);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(read.tables.matrices[0].value[i], identity[i]) << i;
}

TEST(SideFile, CarriageReturnLineFeedEndsReadAsLineFeed) {
    // The side file as the exporter writes it on Windows: every line ends with CR LF.
    std::string text =
        std::string("# model.matrix\n\n# Group to Matrix table\ng 0 1\ng 1 0\n\n# Matrices\n") +
        kIdentityRow + "m 1 2 3 4 5 6 7 8 9\n";
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
    SideRead read;
    readSideText(text, read);
    ASSERT_TRUE(read.done);
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(pairsOf(read.tables), (Pairs{{0, 1}, {1, 0}}));
    ASSERT_EQ(read.tables.matrixCount, 2u);
    const float expected[2][9] = {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
    for (int m = 0; m < 2; ++m)
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(read.tables.matrices[m].value[i], expected[m][i]) << m << ' ' << i;
}

TEST(SideFile, EmptyOrCommentOnlyFileGivesNoTables) {
    for (const char* text : {"", "# comment\n\n# Matrices\n"}) {
        SideRead read;
        readSideText(text, read);
        ASSERT_TRUE(read.done);
        EXPECT_EQ(read.tables.pairCount, 0u);
        EXPECT_EQ(read.tables.pairs, nullptr);
        EXPECT_EQ(read.tables.matrixCount, 0u);
        EXPECT_EQ(read.tables.matrices, nullptr);
    }
}

TEST(SideFile, RowsNeedTheirLetterAndASpace) {
    SideRead read;
    readSideText("gx 0 1\nG 1 2\ng\t0 1\nm1 2 3\ng 0 5\n", read);
    ASSERT_TRUE(read.done);
    EXPECT_EQ(pairsOf(read.tables), (Pairs{{0, 5}}));
    EXPECT_EQ(read.tables.matrixCount, 0u);
}

TEST(SideFile, RowsInAnyOrderExtraFieldsIgnoredMissingNumbersZero) {
    SideRead read;
    readSideText("m 1e-3 2 3 4 5 6 7 8 9 10\ng 0 3 7\nm -1\ng 2 x\ng 1\n", read);
    ASSERT_TRUE(read.done);
    EXPECT_EQ(pairsOf(read.tables), (Pairs{{0, 3}, {2, 0}, {1, 0}}));
    ASSERT_EQ(read.tables.matrixCount, 2u);
    EXPECT_EQ(read.tables.matrices[0].value[0], 0.001f);
    EXPECT_EQ(read.tables.matrices[0].value[8], 9.0f);
    EXPECT_EQ(read.tables.matrices[1].value[0], -1.0f);
    EXPECT_EQ(read.tables.matrices[1].value[1], 0.0f);
}

TEST(SideFile, MatrixNumbersAreStoredAsRead) {
    SideRead read;
    readSideText("g 0 4294967295\ng 1 -1\n", read);
    ASSERT_TRUE(read.done);
    EXPECT_EQ(pairsOf(read.tables), (Pairs{{0, 4294967295u}, {1, 4294967295u}}));
}

TEST(SideFile, GroupPositionNotBelowTheRowCountStops) {
    SideRead read;
    readSideText("# c\ng 0 0\ng 2 0\n", read);
    EXPECT_FALSE(read.done);
    EXPECT_EQ(read.err, "ERROR: Line 3 of .matrix file \"" + read.path +
                            "\": group position 2 is not below the number of table rows (2)\n");
    EXPECT_EQ(read.tables.pairs, nullptr);
    SideRead negative;
    readSideText("g -1 0\n", negative);
    EXPECT_FALSE(negative.done);
    EXPECT_EQ(negative.err,
              "ERROR: Line 1 of .matrix file \"" + negative.path +
                  "\": group position 4294967295 is not below the number of table rows (1)\n");
}

TEST(SideFile, PieceBeyondThe255thCharacterIsARowOfItsOwn) {
    std::string row = "m";
    for (int i = 0; i < 8; ++i)
        row += " -10.000000000000000000000000";
    row += " 2" + std::string(30, '0'); // the first 255 characters end 20 zeros after the 2
    std::string text = row.substr(0, 255) + "m 1 2 3 4 5 6 7 8 9\n";
    SideRead read;
    readSideText(text, read);
    ASSERT_TRUE(read.done);
    ASSERT_EQ(read.tables.matrixCount, 2u);
    EXPECT_EQ(read.tables.matrices[0].value[7], -10.0f);
    EXPECT_EQ(read.tables.matrices[0].value[8], 2e20f);
    EXPECT_EQ(read.tables.matrices[1].value[0], 1.0f);
    EXPECT_EQ(read.tables.matrices[1].value[8], 9.0f);
}

TEST(SideFile, MissingFileOrDirectory) {
    ReadBuffer buffer = makeReadBuffer(4096);
    SideTables tables{};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(readSideFile("/nonexistent/dir/x.matrix", buffer, tables));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Could not open .matrix file \"/nonexistent/dir/x.matrix\" for reading\n");
    quilltest::TempDir dir;
    const std::string path = dir.path().string();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(readSideFile(path.c_str(), buffer, tables));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Could not read .matrix file \"" + path + "\"\n");
    EXPECT_EQ(tables.pairs, nullptr);
    releaseReadBuffer(buffer);
}

} // namespace
