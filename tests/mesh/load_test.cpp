// mshLoad and mshLoadMemory on well-formed input: every section kind, any order, the end
// tags, and sections that are not loaded.
#include "msh.h"
#include "msh_test_bytes.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace meshtest;

std::string vertexRecord(float x, float y, float z, float u, float v, uint32_t word = 0xFFFFFFFF,
                         float u2 = -7.0f, float v2 = -9.0f) {
    return f32le(x) + f32le(y) + f32le(z) + u32le(word) + f32le(u) + f32le(v) + f32le(u2) +
           f32le(v2);
}

std::string normalRecord(float x, float y, float z) { return f32le(x) + f32le(y) + f32le(z); }

std::string vertSection() {
    return header("VERT", 2) + vertexRecord(1, 2, 3, 0.5f, 0.25f) +
           vertexRecord(4, 5, 6, 0.75f, 1, 0, 3, 4) + normalRecord(0, 0, 1) + normalRecord(0, 1, 0);
}
std::string indlSection() {
    return header("INDL", 6) + u16le(0) + u16le(1) + u16le(0xFFFF) + u16le(1) + u16le(0) +
           u16le(0x1234);
}
std::string grplSection() {
    return header("GRPL", 1) + u32le(9) + u32le(6) + u32le(0x10000) + u32le(2) + u32le(0);
}
std::string gtomSection() { return header("GTOM", 2) + u32le(0) + u32le(0xDEADBEEF); }
std::string matlSection() {
    std::string s = header("MATL", 1);
    for (int k = 1; k <= 9; ++k)
        s += f32le(float(k) * 1.5f);
    return s;
}

void expectFullMesh(const Mesh& mesh) {
    ASSERT_EQ(mesh.vertexCount, 2u);
    const MeshVertex& a = mesh.vertices[0];
    const MeshVertex& b = mesh.vertices[1];
    EXPECT_EQ(a.x, 1.0f);
    EXPECT_EQ(a.y, 2.0f);
    EXPECT_EQ(a.z, 3.0f);
    EXPECT_EQ(a.nx, 0.0f);
    EXPECT_EQ(a.ny, 0.0f);
    EXPECT_EQ(a.nz, 1.0f);
    EXPECT_EQ(a.u, 0.5f);
    EXPECT_EQ(a.v, 0.25f);
    // The constant word and the second texture coordinate have no effect.
    EXPECT_EQ(b.x, 4.0f);
    EXPECT_EQ(b.y, 5.0f);
    EXPECT_EQ(b.z, 6.0f);
    EXPECT_EQ(b.nx, 0.0f);
    EXPECT_EQ(b.ny, 1.0f);
    EXPECT_EQ(b.nz, 0.0f);
    EXPECT_EQ(b.u, 0.75f);
    EXPECT_EQ(b.v, 1.0f);

    ASSERT_EQ(mesh.triangleCount, 2u);
    EXPECT_EQ(mesh.triangles[0].index[2], 0xFFFF);
    EXPECT_EQ(mesh.triangles[1].index[0], 1);
    EXPECT_EQ(mesh.triangles[1].index[2], 0x1234);

    ASSERT_EQ(mesh.groupCount, 1u);
    EXPECT_EQ(mesh.groups[0].id, 9u);
    EXPECT_EQ(mesh.groups[0].indexCount, 6u);
    EXPECT_EQ(mesh.groups[0].baseVertex, 0x10000u);
    EXPECT_EQ(mesh.groups[0].vertexCount, 2u);
    EXPECT_EQ(mesh.groups[0].firstIndex, 0u);

    ASSERT_EQ(mesh.groupMatrixCount, 2u);
    EXPECT_EQ(mesh.groupMatrix[1], 0xDEADBEEFu);
    ASSERT_EQ(mesh.matrixCount, 1u);
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(mesh.matrices[0].value[k], float(k + 1) * 1.5f);
}

void expectAbsent(const Mesh& mesh, bool vertices, bool triangles, bool groups, bool groupMatrix,
                  bool matrices) {
    EXPECT_EQ(mesh.vertices == nullptr, vertices);
    EXPECT_EQ(mesh.triangles == nullptr, triangles);
    EXPECT_EQ(mesh.groups == nullptr, groups);
    EXPECT_EQ(mesh.groupMatrix == nullptr, groupMatrix);
    EXPECT_EQ(mesh.matrices == nullptr, matrices);
}

TEST(MeshLoad, EverySectionKindInWriterOrder) {
    const LoadResult loaded =
        loadMemory(vertSection() + indlSection() + grplSection() + gtomSection() + matlSection());
    ASSERT_NE(loaded.mesh, nullptr) << loaded.errors;
    EXPECT_EQ(loaded.errors, "");
    expectFullMesh(*loaded.mesh);
}

TEST(MeshLoad, SectionsInReverseOrderGiveTheSameMesh) {
    const LoadResult loaded =
        loadMemory(matlSection() + gtomSection() + grplSection() + indlSection() + vertSection());
    ASSERT_NE(loaded.mesh, nullptr) << loaded.errors;
    expectFullMesh(*loaded.mesh);
}

TEST(MeshLoad, FileAndMemoryFormsLoadTheSameMesh) {
    quilltest::TempDir dir;
    quilltest::writeFile(dir.file("m.msh"), gtomSection() + vertSection() + matlSection() +
                                                indlSection() + grplSection());
    const LoadResult loaded = loadFile(dir.file("m.msh"));
    ASSERT_NE(loaded.mesh, nullptr) << loaded.errors;
    EXPECT_EQ(loaded.errors, "");
    expectFullMesh(*loaded.mesh);
}

TEST(MeshLoad, EmptyInputLoadsAnEmptyMesh) {
    quilltest::TempDir dir;
    quilltest::writeFile(dir.file("e.msh"), "");
    const LoadResult results[] = {loadMemory(""), loadFile(dir.file("e.msh"))};
    for (const LoadResult& loaded : results) {
        ASSERT_NE(loaded.mesh, nullptr);
        EXPECT_EQ(loaded.errors, "");
        expectAbsent(*loaded.mesh, true, true, true, true, true);
    }
}

TEST(MeshLoad, CountZeroGivesAPresentEmptyTable) {
    const LoadResult loaded = loadMemory(header("VERT", 0));
    ASSERT_NE(loaded.mesh, nullptr);
    expectAbsent(*loaded.mesh, false, true, true, true, true);
    EXPECT_EQ(loaded.mesh->vertexCount, 0u);

    // mshFree (through the handle) releases the present empty tables and skips the absent ones.
    const LoadResult mixed = loadMemory(header("MATL", 0) + grplSection() + header("INDL", 0));
    ASSERT_NE(mixed.mesh, nullptr);
    expectAbsent(*mixed.mesh, true, false, false, true, false);
    EXPECT_EQ(mixed.mesh->triangleCount, 0u);
    EXPECT_EQ(mixed.mesh->matrixCount, 0u);
}

TEST(MeshLoad, EndTagsStopReadingWhateverFollows) {
    const LoadResult first = loadMemory(header("AVW2", 77) + "garbage that is not a section");
    ASSERT_NE(first.mesh, nullptr) << first.errors;
    expectAbsent(*first.mesh, true, true, true, true, true);

    const LoadResult afterVertices = loadMemory(vertSection() + header("SVWL", 0) + "\x01\x02\x03");
    ASSERT_NE(afterVertices.mesh, nullptr) << afterVertices.errors;
    expectAbsent(*afterVertices.mesh, false, true, true, true, true);
    EXPECT_EQ(afterVertices.mesh->vertexCount, 2u);
}

// A second section of a kind already loaded consumes only its header; here its payload is
// empty, so the next real section follows at once.
TEST(MeshLoad, DuplicateSectionWithoutPayloadIsSkipped) {
    const LoadResult loaded = loadMemory(grplSection() + header("GRPL", 0) + gtomSection());
    ASSERT_NE(loaded.mesh, nullptr) << loaded.errors;
    EXPECT_EQ(loaded.mesh->groupCount, 1u);
    EXPECT_EQ(loaded.mesh->groups[0].id, 9u);
    EXPECT_EQ(loaded.mesh->groupMatrixCount, 2u);
}

// An index count that is not a multiple of 3 consumes only the header.
TEST(MeshLoad, IndexCountNotAMultipleOfThreeIsSkipped) {
    const LoadResult loaded = loadMemory(header("INDL", 4) + grplSection());
    ASSERT_NE(loaded.mesh, nullptr) << loaded.errors;
    expectAbsent(*loaded.mesh, true, true, false, true, true);
    EXPECT_EQ(loaded.mesh->groupCount, 1u);
}

// The payload of a skipped section is taken for further headers: the first 8 bytes of the
// second section's first vertex record (x = 1.0f, y = 2.0f) become an unknown section.
TEST(MeshLoad, DuplicateSectionPayloadIsReadAsHeaders) {
    const LoadResult loaded = loadMemory(vertSection() + vertSection());
    EXPECT_EQ(loaded.mesh, nullptr);
    EXPECT_EQ(loaded.errors, "mshLoad(): ERROR: Unknown section type 1065353216 of size "
                             "1073741824 at offset 112 in file \"x.msh\"\n");

    const LoadResult indices = loadMemory(header("INDL", 1) + header("ABCD", 5));
    EXPECT_EQ(indices.errors, "mshLoad(): ERROR: Unknown section type 1145258561 of size 5 at "
                              "offset 16 in file \"x.msh\"\n");
}

} // namespace
