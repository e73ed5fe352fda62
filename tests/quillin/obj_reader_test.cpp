// The two passes of the OBJ reading: counting, storing, group bookkeeping, faithful corner
// forms, white space and comments, references that name no record, and the index warnings.
#include "quillin/obj_reader.h"

#include "quillin_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using quillin::kNoIndex;
using quillin::ObjCorner;
using quillin::ObjCounts;
using quillin::ObjFace;
using quillin::ObjGroup;
using quillin::ObjTables;

namespace {

using quillintest::countObjText;
using quillintest::ObjRead;
using quillintest::readObjText;

const std::string kFourVertices = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                  "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                  "vn 0 0 1\nvn 0 0 1\nvn 0 0 1\nvn 0 0 1\n";

// One number of each corner of face i: its position, texture coordinate or normal.
std::vector<uint32_t> cornerNumbers(const ObjTables& tables, uint32_t i,
                                    uint32_t ObjCorner::*part) {
    std::vector<uint32_t> numbers;
    const ObjFace& face = tables.faces[i];
    for (uint32_t c = 0; c < face.cornerCount; ++c)
        numbers.push_back(tables.corners[face.firstCorner + c].*part);
    return numbers;
}
std::vector<uint32_t> positions(const ObjTables& tables, uint32_t i) {
    return cornerNumbers(tables, i, &ObjCorner::position);
}
std::vector<uint32_t> texcoords(const ObjTables& tables, uint32_t i) {
    return cornerNumbers(tables, i, &ObjCorner::texcoord);
}
std::vector<uint32_t> normals(const ObjTables& tables, uint32_t i) {
    return cornerNumbers(tables, i, &ObjCorner::normal);
}

void expectGroup(const ObjGroup& group, uint32_t id, uint32_t firstFace, uint32_t faceCount) {
    EXPECT_EQ(group.id, id);
    EXPECT_EQ(group.firstFace, firstFace);
    EXPECT_EQ(group.faceCount, faceCount);
}

TEST(ObjReader, ExporterStyleFile) {
    ObjRead read;
    readObjText("# Wavefront OBJ exported by quillout.exe\n\n" + kFourVertices +
                    "g 0/7\nf 1/1/1 2/2/2 3/3/3\nf 1/1/1 3/3/3 4/4/4\n# 2 triangles in group\n\n",
                read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(read.err, "");
    ASSERT_EQ(read.tables.groupCount, 1u);
    ASSERT_EQ(read.tables.faceCount, 2u);
    expectGroup(read.tables.groups[0], 7, 0, 2);
    const std::vector<uint32_t> first{0, 1, 2}, second{0, 2, 3};
    EXPECT_EQ(positions(read.tables, 0), first);
    EXPECT_EQ(texcoords(read.tables, 0), first);
    EXPECT_EQ(normals(read.tables, 0), first);
    EXPECT_EQ(positions(read.tables, 1), second);
    EXPECT_EQ(texcoords(read.tables, 1), second);
    EXPECT_EQ(normals(read.tables, 1), second);
    EXPECT_EQ(read.tables.positions[1].x, 1.0f);
    EXPECT_EQ(read.tables.texcoords[2].v, 1.0f);
    EXPECT_EQ(read.tables.normals[3].z, 1.0f);
}

TEST(ObjReader, EachGroupOwnsTheFacesUpToTheNextGroup) {
    ObjRead read;
    readObjText(kFourVertices + "f 2 3 4\ng 0/5\nf 1 2 3\nf 2 3 4\ng 1/1\ng 2/2\nf 1 2 3\n", read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(read.tables.storedFaces, 4u);
    expectGroup(read.tables.groups[0], 5, 1, 2);
    expectGroup(read.tables.groups[1], 1, 3, 0);
    expectGroup(read.tables.groups[2], 2, 3, 1);
}

TEST(ObjReader, RecordsAndTheirFields) {
    ObjRead read;
    readObjText("v 1 2 3 1\nvt 0.5 0.25 0\nvn 0 -1 0.5\ng my part/12\nf 1 1 1 1\n", read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(read.tables.positions[0].x, 1.0f);
    EXPECT_EQ(read.tables.positions[0].y, 2.0f);
    EXPECT_EQ(read.tables.positions[0].z, 3.0f);
    EXPECT_EQ(read.tables.texcoords[0].u, 0.5f);
    EXPECT_EQ(read.tables.texcoords[0].v, 0.25f);
    EXPECT_EQ(read.tables.normals[0].y, -1.0f);
    EXPECT_EQ(read.tables.normals[0].z, 0.5f);
    EXPECT_EQ(read.tables.groups[0].id, 12u);
}

TEST(ObjReader, MissingFieldsAreZeroAndGroupWithoutSlashHasIdZero) {
    ObjRead read;
    readObjText("v 5\nvt 7\nv 1 2 3\ng name\n", read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(read.tables.positions[0].x, 5.0f);
    EXPECT_EQ(read.tables.positions[0].y, 0.0f);
    EXPECT_EQ(read.tables.positions[0].z, 0.0f);
    EXPECT_EQ(read.tables.texcoords[0].u, 7.0f);
    EXPECT_EQ(read.tables.texcoords[0].v, 0.0f);
    EXPECT_EQ(read.tables.groups[0].id, 0u);
}

TEST(ObjReader, PolygonsKeepEveryCornerInEveryForm) {
    ObjRead read;
    readObjText(
        kFourVertices +
            "f 1 2 3 4\nf 1/1 2/2 3/3 4/4\nf 1/1/1 2/2/2 3/3/3 4/4/4\nf 1//1 2//2 3//3 4//4\n",
        read);
    ASSERT_TRUE(read.parsed);
    const std::vector<uint32_t> all{0, 1, 2, 3}, none{kNoIndex, kNoIndex, kNoIndex, kNoIndex};
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(positions(read.tables, i), all) << i;
    EXPECT_EQ(texcoords(read.tables, 0), none);
    EXPECT_EQ(normals(read.tables, 0), none);
    EXPECT_EQ(texcoords(read.tables, 1), all);
    EXPECT_EQ(normals(read.tables, 1), none);
    EXPECT_EQ(normals(read.tables, 2), all);
    EXPECT_EQ(texcoords(read.tables, 3), none);
    EXPECT_EQ(normals(read.tables, 3), all);
}

TEST(ObjReader, CornerFormsMayMixAndCommentsFollow) {
    ObjRead read;
    readObjText(kFourVertices + "f 1 2/3 3//4 # a/b/c\nf 4/4/4 3 2/1\n", read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(positions(read.tables, 0), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(texcoords(read.tables, 0), (std::vector<uint32_t>{kNoIndex, 2, kNoIndex}));
    EXPECT_EQ(normals(read.tables, 0), (std::vector<uint32_t>{kNoIndex, kNoIndex, 3}));
    EXPECT_EQ(positions(read.tables, 1), (std::vector<uint32_t>{3, 2, 1}));
    EXPECT_EQ(texcoords(read.tables, 1), (std::vector<uint32_t>{3, kNoIndex, 0}));
}

TEST(ObjReader, NegativeNumbersCountBackFromTheRecordsReadSoFar) {
    ObjRead read;
    readObjText("v 0 0 0\nv 0 0 0\nvt 0 0\nvn 0 0 1\nf -2/-1/-1 -1/-1/-1 -2/-1/-1\n"
                "v 0 0 0\nvt 0 0\nf -1/-2 -2/-1 -3/-1\n",
                read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(positions(read.tables, 0), (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_EQ(normals(read.tables, 0), (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(positions(read.tables, 1), (std::vector<uint32_t>{2, 1, 0}));
    EXPECT_EQ(texcoords(read.tables, 1), (std::vector<uint32_t>{0, 1, 1}));
}

TEST(ObjReader, NumbersAboveSixteenBitsAreKept) {
    std::string text;
    for (int i = 0; i < 70000; ++i)
        text += "v 0 0 0\n";
    text += "g 0/0\nf 65536 65537 70000\n";
    ObjRead read;
    readObjText(text, read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(positions(read.tables, 0), (std::vector<uint32_t>{65535, 65536, 69999}));
    expectGroup(read.tables.groups[0], 0, 0, 1);
}

struct BadReference {
    std::string faceLine;
    std::string message;
};

void PrintTo(const BadReference& bad, std::ostream* out) { *out << bad.faceLine; }

class ObjReaderBadReference : public testing::TestWithParam<BadReference> {};

TEST_P(ObjReaderBadReference, StopsWithOneMessage) {
    ObjRead read;
    readObjText("v 0 0 0\nv 0 0 0\nv 0 0 0\nvt 0 0\nvn 0 0 1\n\n" + GetParam().faceLine +
                    "\nf 1 2 3\n",
                read);
    EXPECT_FALSE(read.parsed);
    EXPECT_EQ(read.err, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObjReaderBadReference,
    testing::Values(
        BadReference{"f 1 2 4", "ERROR: Line 7 of .obj file \"in.obj\": face refers to position 4, "
                                "which does not exist\n"},
        BadReference{"f 0 1 2", "ERROR: Line 7 of .obj file \"in.obj\": face refers to position 0, "
                                "which does not exist\n"},
        BadReference{"f -4 1 2", "ERROR: Line 7 of .obj file \"in.obj\": face refers to position "
                                 "-4, which does not exist\n"},
        BadReference{"f 1/2 2/1 3/1", "ERROR: Line 7 of .obj file \"in.obj\": face refers to "
                                      "texture coordinate 2, which does not exist\n"},
        BadReference{"f 1//1 2//1 3//-2", "ERROR: Line 7 of .obj file \"in.obj\": face refers to "
                                          "normal -2, which does not exist\n"},
        BadReference{"f 1/x/1 2 3", "ERROR: Line 7 of .obj file \"in.obj\": face refers to texture "
                                    "coordinate 0, which does not exist\n"},
        BadReference{"f 65537 1 2", "ERROR: Line 7 of .obj file \"in.obj\": face refers to "
                                    "position 65537, which does not exist\n"},
        BadReference{
            "f 1 2",
            "ERROR: Line 7 of .obj file \"in.obj\": face has fewer than three corners\n"}));

TEST(ObjReader, LineNumbersCountLinesIncludingContinuedOnes) {
    ObjRead read;
    readObjText("v 0 0 0\n" + std::string(600, '#') + "\nv 1 \\\n 2 3\nf 1 1 9\n", read);
    EXPECT_FALSE(read.parsed);
    EXPECT_EQ(
        read.err,
        "ERROR: Line 5 of .obj file \"in.obj\": face refers to position 9, which does not exist\n");
}

TEST(ObjReaderCounting, LinesAreClassifiedByTheirKeyword) {
    const ObjCounts counts =
        countObjText("v 1 2 3\nv\t1 2 3\nvt 1 2\nvt\nvn 0 0 1\nvnx\nf 1 2 3\nfoo\ng\ngx\n"
                     "# v 1 2 3\n v 1 2 3\nV 1 2 3\n\tf 1 2 3 4 # 5 6\n");
    EXPECT_EQ(counts.positions, 3u);
    EXPECT_EQ(counts.texcoords, 2u);
    EXPECT_EQ(counts.normals, 1u);
    EXPECT_EQ(counts.faces, 2u);
    EXPECT_EQ(counts.corners, 7u);
    EXPECT_EQ(counts.groups, 1u);
}

// Corner counts of the fast count (whole 16-byte blocks) and of the byte-by-byte one agree.
TEST(ObjReaderCounting, CornersAreFieldsBeforeAComment) {
    const std::string corners90 = [] {
        std::string text;
        for (int i = 1; i <= 90; ++i)
            text += (i % 7 == 0 ? "\t" : " ") + std::to_string(i) + "/" + std::to_string(i);
        return text;
    }();
    const std::pair<std::string, uint64_t> cases[] = {
        {"f" + corners90 + "\n", 90},
        {"f" + corners90 + "\r\n", 90},
        {"f" + corners90 + " #" + corners90 + "\n", 90},
        {"f" + corners90 + " \\\n" + corners90 + "\n", 180},
        {"f 1 2 3#4 5\n", 4},
        {"f  1\t\t2 \v 3 \f 4\n", 4},
        {"f" + std::string(5000, ' ') + "1" + std::string(9000, '\t') + "2 3" +
             std::string(17, ' ') + "\n",
         3},
        {"f\n", 0},
    };
    for (const auto& [line, corners] : cases)
        EXPECT_EQ(countObjText(line).corners, corners) << line;
    std::string manyCorners = "f";
    for (int i = 0; i < 3000; ++i)
        manyCorners += " 1";
    EXPECT_EQ(countObjText(manyCorners + "\n").corners, 3000u);
}

TEST(ObjReader, LongLinesAreReadWhole) {
    const std::string comment = "# " + std::string(253, 'x');
    ObjRead read;
    readObjText(comment + "f 1 2 3\n" + comment + "g 0/1\n" + comment + "v 1 2 3\nv 1 2 3\n", read);
    EXPECT_EQ(read.tables.faceCount + read.tables.groupCount, 0u);
    EXPECT_EQ(read.tables.positionCount, 1u);
}

TEST(ObjReader, BlanksCommentsAndContinuedLines) {
    ObjRead read;
    readObjText("\xEF\xBB\xBFv\t1\t2   3\r\n  vt 0.5 0.25 # note\r\nvn 0 \\\r\n 0 1\r\n"
                "v 4 5 # 6\nf 1/1/1 \\\n 2/1/1\t2/1/1 # 1 1 1\n\tg\tpart / 3\n",
                read);
    ASSERT_TRUE(read.parsed);
    ASSERT_EQ(read.tables.positionCount, 2u);
    EXPECT_EQ(read.tables.positions[0].z, 3.0f);
    EXPECT_EQ(read.tables.positions[1].y, 5.0f);
    EXPECT_EQ(read.tables.positions[1].z, 0.0f);
    EXPECT_EQ(read.tables.texcoords[0].v, 0.25f);
    EXPECT_EQ(read.tables.normals[0].z, 1.0f);
    EXPECT_EQ(positions(read.tables, 0), (std::vector<uint32_t>{0, 1, 1}));
    EXPECT_EQ(read.tables.groups[0].id, 3u);
}

TEST(ObjReader, BareRecordsHoldZeros) {
    ObjRead read;
    readObjText("v 1 1 1\nvt\nvt 3 4\nfoo\nf 1 1 1\ng\ng 0/3\n", read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(read.tables.texcoordCount, 2u);
    EXPECT_EQ(read.tables.texcoords[0].u, 0.0f);
    EXPECT_EQ(read.tables.texcoords[1].u, 3.0f);
    EXPECT_EQ(read.tables.faceCount, 1u);
    ASSERT_EQ(read.tables.groupCount, 2u);
    expectGroup(read.tables.groups[0], 0, 1, 0);
    expectGroup(read.tables.groups[1], 3, 1, 0);
}

TEST(ObjReader, NulByteEndsWhatTheFieldsSee) {
    ObjRead read;
    readObjText(std::string("v 1 2\0003 x\nv 7 8 9\n", 18), read);
    ASSERT_TRUE(read.parsed);
    ASSERT_EQ(read.tables.positionCount, 2u);
    EXPECT_EQ(read.tables.positions[0].y, 2.0f);
    EXPECT_EQ(read.tables.positions[0].z, 0.0f);
    EXPECT_EQ(read.tables.positions[1].z, 9.0f);
}

TEST(ObjReader, EmptyInputGivesEmptyTables) {
    ObjRead read;
    readObjText("", read);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(read.tables.positionCount + read.tables.texcoordCount + read.tables.normalCount +
                  read.tables.faceCount + read.tables.groupCount,
              0u);
    EXPECT_EQ(read.err, "");
}

// Tables smaller than the records the parsing pass meets, as when the file grows between the
// passes: every extra record is warned about and left out.
TEST(ObjReaderWarnings, EachKindWarnsWithItsLineAndWritesNothingPastItsTable) {
    const std::string text =
        "v 1 1 1\nv 2 2 2\nvn 0 0 1\nvn 0 0 1\nvt 0 0\nvt 0 0\n"
        "g 0/1\nf 1 1 1\nf 1/1 1/1 1/1\nf 1/1/1 1/1/1 1/1/1\nf 1//1 1//1 1//1 1//1\n"
        "g 1/2\ng 2/3\n";
    const ObjCounts small{1, 1, 1, 0, 0, 1};
    ObjRead read;
    readObjText(text, read, &small);
    ASSERT_TRUE(read.parsed);
    EXPECT_EQ(read.err, "WARNING: HEAP CORRUPTION DETECTED! LINE 205\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 218\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 231\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 252\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 262\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 284\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 333\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 333\n"
                        "WARNING: HEAP CORRUPTION DETECTED! LINE 364\n");
    EXPECT_EQ(read.tables.positions[0].x, 1.0f);
    EXPECT_EQ(read.tables.storedFaces, 0u);
    expectGroup(read.tables.groups[0], 1, 0, 0);
}

} // namespace
