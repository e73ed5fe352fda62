// The OBJ text against literal expected text, and the refusal of groups that reach past the
// triangle table.
#include "mesh_tables.h"
#include "quillout/group_ranges.h"
#include "quillout/obj_text.h"
#include "quillout/obj_writer.h"
#include "quillout/output_buffer.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using quillouttest::group;
using quillouttest::MeshTables;

const std::string kHeader = "# Wavefront OBJ exported by quillout.exe\n\n";
const std::string kNoVertices = kHeader + "# 0 vertices\n\n# 0 vertices\n\n# 0 normals\n\n";

std::string objText(const Mesh& mesh, size_t capacity, unsigned threads) {
    quilltest::TempDir dir;
    const std::string path = dir.file("out.obj");
    quillout::OutputBuffer out{};
    EXPECT_TRUE(quillout::outputAllocate(out, capacity));
    EXPECT_TRUE(quillout::writeObjFile(mesh, path.c_str(), out, threads));
    quillout::outputRelease(out);
    return quilltest::readFile(path);
}

// The text must not depend on where the buffer is flushed or on how many threads format it:
// the smallest buffers here cut it into pieces of one record. `lines` end with "\n".
void expectObjText(MeshTables& tables, const std::string& lines) {
    const Mesh mesh = tables.mesh();
    const std::string expected = quilltest::platformText(lines);
    const size_t oneRecord = quillout::objRecordMaxLength();
    EXPECT_EQ(objText(mesh, quillout::kOutputDefaultCapacity, 1), expected);
    EXPECT_EQ(objText(mesh, oneRecord, 1), expected);
    EXPECT_EQ(objText(mesh, quillout::kOutputDefaultCapacity, 2), expected);
    EXPECT_EQ(objText(mesh, 4 * oneRecord, 2), expected);
    EXPECT_EQ(objText(mesh, 4 * oneRecord, 3), expected);
}

TEST(QuilloutObjText, EmptyMesh) {
    MeshTables tables;
    expectObjText(tables, kNoVertices + "# 0 triangles total\n");
}

TEST(QuilloutObjText, OneVertexGivesPositionTexcoordAndNormalRecords) {
    MeshTables tables;
    tables.vertices = {MeshVertex{1.0f, 0.5f, -2.25f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f}};
    expectObjText(tables, kHeader + "v 1.000000000000000000000000 0.500000000000000000000000 "
                                    "-2.250000000000000000000000\n"
                                    "# 1 vertices\n\n"
                                    "vt 0.000000000000000000000000 1.000000000000000000000000\n"
                                    "# 1 vertices\n\n"
                                    "vn 0.000000000000000000000000 0.000000000000000000000000 "
                                    "1.000000000000000000000000\n"
                                    "# 1 normals\n\n"
                                    "# 0 triangles total\n");
}

TEST(QuilloutObjText, VertexRecordsKeepTableOrderAndExactDecimals) {
    MeshTables tables;
    tables.vertices = {MeshVertex{0.1f, -0.0f, 1e-30f, -1e-30f, 3.0f, -0.3f, 0.25f, 0.75f},
                       MeshVertex{-1.5f, 100.0f, 0.2f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f}};
    expectObjText(tables, kHeader + "v 0.100000001490116119384766 -0.000000000000000000000000 "
                                    "0.000000000000000000000000\n"
                                    "v -1.500000000000000000000000 100.000000000000000000000000 "
                                    "0.200000002980232238769531\n"
                                    "# 2 vertices\n\n"
                                    "vt 0.250000000000000000000000 0.750000000000000000000000\n"
                                    "vt 1.000000000000000000000000 0.000000000000000000000000\n"
                                    "# 2 vertices\n\n"
                                    "vn -0.000000000000000000000000 3.000000000000000000000000 "
                                    "-0.300000011920928955078125\n"
                                    "vn 0.000000000000000000000000 -1.000000000000000000000000 "
                                    "0.000000000000000000000000\n"
                                    "# 2 normals\n\n"
                                    "# 0 triangles total\n");
}

TEST(QuilloutObjText, GroupWritesItsTrianglesFromBaseVertex) {
    MeshTables tables;
    tables.triangles = {MeshTriangle{{9, 9, 9}}, MeshTriangle{{0, 1, 2}}, MeshTriangle{{2, 1, 3}}};
    tables.groups = {group(7, 6, 10, 3)};
    expectObjText(tables, kNoVertices + "g 0/7\n"
                                        "f 11/11/11 12/12/12 13/13/13\n"
                                        "f 13/13/13 12/12/12 14/14/14\n"
                                        "# 2 triangles in group\n\n"
                                        "# 3 triangles total\n");
}

TEST(QuilloutObjText, IndexCountsAndFirstIndicesDropTheirRemainders) {
    MeshTables tables;
    tables.triangles = {MeshTriangle{{0, 0, 0}}, MeshTriangle{{1, 2, 3}}, MeshTriangle{{4, 5, 6}}};
    tables.groups = {group(1, 5, 0, 4), group(2, 0, 0, 0), group(3, 2, 0, 0)};
    expectObjText(tables, kNoVertices + "g 0/1\n"
                                        "f 2/2/2 3/3/3 4/4/4\n"
                                        "# 1 triangles in group\n\n"
                                        "g 1/2\n"
                                        "# 0 triangles in group\n\n"
                                        "g 2/3\n"
                                        "# 0 triangles in group\n\n"
                                        "# 3 triangles total\n");
}

TEST(QuilloutObjText, GroupRecordCarriesPositionThenId) {
    MeshTables tables;
    tables.groups = {group(5, 0, 0, 0), group(5, 0, 0, 0), group(9, 0, 0, 0)};
    expectObjText(tables, kNoVertices + "g 0/5\n# 0 triangles in group\n\n"
                                        "g 1/5\n# 0 triangles in group\n\n"
                                        "g 2/9\n# 0 triangles in group\n\n"
                                        "# 0 triangles total\n");
}

TEST(QuilloutObjText, UncoveredTrianglesAreCountedAndSharedOnesWrittenTwice) {
    MeshTables tables;
    tables.triangles = {MeshTriangle{{0, 1, 2}}, MeshTriangle{{1, 2, 3}}, MeshTriangle{{3, 4, 5}},
                        MeshTriangle{{5, 6, 7}}};
    tables.groups = {group(0, 3, 0, 3), group(1, 6, 0, 3)};
    expectObjText(tables, kNoVertices + "g 0/0\n"
                                        "f 2/2/2 3/3/3 4/4/4\n"
                                        "# 1 triangles in group\n\n"
                                        "g 1/1\n"
                                        "f 2/2/2 3/3/3 4/4/4\n"
                                        "f 4/4/4 5/5/5 6/6/6\n"
                                        "# 2 triangles in group\n\n"
                                        "# 4 triangles total\n");
}

TEST(QuilloutObjText, CornerNumbersAreWrittenAsComputedBeyondTheVertexTable) {
    MeshTables tables;
    tables.triangles = {MeshTriangle{{0, 65535, 7}}, MeshTriangle{{0, 1, 65535}}};
    // 4294967295 + 0 + 1 wraps to 0 in unsigned 32-bit arithmetic.
    tables.groups = {group(4294967295u, 3, 100000, 0), group(0, 3, 4294967295u, 3)};
    expectObjText(tables, kNoVertices +
                              "g 0/4294967295\n"
                              "f 100001/100001/100001 165536/165536/165536 100008/100008/100008\n"
                              "# 1 triangles in group\n\n"
                              "g 1/0\n"
                              "f 0/0/0 1/1/1 65535/65535/65535\n"
                              "# 1 triangles in group\n\n"
                              "# 2 triangles total\n");
}

TEST(QuilloutObjText, ManyPiecesOnSeveralThreadsStayInOrder) {
    // Vertex i at (i, 0.5, -i) (-0 for the first, printed "-0.0...") and, per group of 1000
    // vertices, one triangle per vertex: enough records for hundreds of pieces, each line known in
    // advance.
    MeshTables tables;
    constexpr uint32_t kVertexCount = 3000;
    for (uint32_t i = 0; i < kVertexCount; ++i)
        tables.vertices.push_back(
            MeshVertex{float(i), 0.5f, -float(i), 0.0f, 1.0f, 0.0f, 0.25f, 0.75f});
    for (uint32_t g = 0; g < 3; ++g) {
        for (uint32_t k = 0; k < 1000; ++k)
            tables.triangles.push_back(
                MeshTriangle{{uint16_t(k), uint16_t((k + 1) % 1000), uint16_t((k + 2) % 1000)}});
        tables.groups.push_back(group(g + 10, 3000, 1000 * g, 3000 * g));
    }
    std::string expected = kHeader;
    for (uint32_t i = 0; i < kVertexCount; ++i)
        expected += "v " + std::to_string(i) + ".000000000000000000000000 " +
                    "0.500000000000000000000000 -" + std::to_string(i) +
                    ".000000000000000000000000\n";
    expected += "# 3000 vertices\n\n";
    for (uint32_t i = 0; i < kVertexCount; ++i)
        expected += "vt 0.250000000000000000000000 0.750000000000000000000000\n";
    expected += "# 3000 vertices\n\n";
    for (uint32_t i = 0; i < kVertexCount; ++i)
        expected += "vn 0.000000000000000000000000 1.000000000000000000000000 "
                    "0.000000000000000000000000\n";
    expected += "# 3000 normals\n\n";
    for (uint32_t g = 0; g < 3; ++g) {
        expected += "g " + std::to_string(g) + "/" + std::to_string(g + 10) + "\n";
        for (uint32_t k = 0; k < 1000; ++k) {
            std::string corners[3];
            for (uint32_t c = 0; c < 3; ++c) {
                const std::string n = std::to_string(1000 * g + (k + c) % 1000 + 1);
                corners[c] = n + "/" + n + "/" + n;
            }
            expected += "f " + corners[0] + " " + corners[1] + " " + corners[2] + "\n";
        }
        expected += "# 1000 triangles in group\n\n";
    }
    expected += "# 3000 triangles total\n";
    expectObjText(tables, expected);
    EXPECT_EQ(objText(tables.mesh(), 4 * 40 * quillout::objRecordMaxLength(), 2),
              quilltest::platformText(expected));
}

TEST(QuilloutObjFailure, FullDeviceStopsEveryThreadAndReports) {
    if (!quilltest::fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    MeshTables tables;
    tables.vertices.resize(5000);
    const Mesh mesh = tables.mesh();
    for (unsigned threads : {1u, 2u, 3u}) {
        quillout::OutputBuffer out{};
        ASSERT_TRUE(quillout::outputAllocate(out, 4 * quillout::objRecordMaxLength()));
        testing::internal::CaptureStderr();
        EXPECT_FALSE(quillout::writeObjFile(mesh, "/dev/full", out, threads));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "ERROR: Could not write to file \"/dev/full\"\n");
        quillout::outputRelease(out);
    }
}

TEST(QuilloutObjFailure, UnopenablePathIsReportedWithItsName) {
    quilltest::TempDir dir;
    const std::string path = dir.file("missing/out.obj");
    MeshTables tables;
    quillout::OutputBuffer out{};
    ASSERT_TRUE(quillout::outputAllocate(out, quillout::kOutputDefaultCapacity));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(quillout::writeObjFile(tables.mesh(), path.c_str(), out, 2));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Could not open file \"" + path + "\" for writing\n");
    quillout::outputRelease(out);
}

TEST(QuilloutGroupRanges, GroupsInsideTheTriangleTableFit) {
    MeshTables tables;
    tables.triangles.resize(3);
    tables.groups = {group(0, 9, 0, 0), group(1, 6, 0, 3), group(2, 0, 0, 4000000000u),
                     group(3, 2, 0, 9)};
    uint32_t position = 99;
    EXPECT_FALSE(quillout::findGroupPastTriangles(tables.mesh(), position));
    EXPECT_EQ(position, 99u);
}

TEST(QuilloutGroupRanges, FirstGroupReachingPastTheTableIsFound) {
    MeshTables tables;
    tables.triangles.resize(3);
    tables.groups = {group(0, 9, 0, 0), group(1, 6, 0, 6), group(2, 3, 0, 9)};
    uint32_t position = 99;
    EXPECT_TRUE(quillout::findGroupPastTriangles(tables.mesh(), position));
    EXPECT_EQ(position, 1u);
}

TEST(QuilloutGroupRanges, HugeFirstIndexAndCountDoNotWrapAround) {
    MeshTables tables;
    tables.triangles.resize(3);
    tables.groups = {group(0, 4294967295u, 0, 4294967295u)};
    uint32_t position = 99;
    EXPECT_TRUE(quillout::findGroupPastTriangles(tables.mesh(), position));
    EXPECT_EQ(position, 0u);
}

TEST(QuilloutGroupRanges, TrianglesNamedWithoutATriangleTableAreFound) {
    MeshTables tables;
    tables.groups = {group(0, 0, 0, 0), group(1, 3, 0, 0)};
    uint32_t position = 99;
    EXPECT_TRUE(quillout::findGroupPastTriangles(tables.mesh(), position));
    EXPECT_EQ(position, 1u);
}

} // namespace
