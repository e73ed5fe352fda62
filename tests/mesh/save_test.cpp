// mshSave: exact bytes of every section, present-but-empty tables, and every failure; the
// little-endian words that the programs' text scans load and store.
#include "little_endian.h"
#include "msh.h"
#include "msh_alloc.h"
#include "msh_test_bytes.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using quilltest::TempDir;

// Bytes written literally, two hex digits per byte.
std::string hexBytes(const char* text) {
    std::string bytes;
    for (const char* p = text; *p != '\0';) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        bytes += char(std::stoi(std::string(p, 2), nullptr, 16));
        p += 2;
    }
    return bytes;
}

struct SaveResult {
    int result;
    std::string errors;
};

SaveResult save(const std::string& path, const Mesh* mesh) {
    testing::internal::CaptureStderr();
    const int result = mshSave(path.c_str(), mesh);
    return {result, testing::internal::GetCapturedStderr()};
}

void setOneVertex(Mesh& mesh) {
    mesh.vertices[0] = MeshVertex{1.0f, 2.0f, 3.0f, 0.0f, 0.0f, 1.0f, 0.5f, 0.25f};
}

const char* const oneVertexFile = "56 45 52 54 01 00 00 00"
                                  "00 00 80 3F 00 00 00 40 00 00 40 40"
                                  "FF FF FF FF"
                                  "00 00 00 3F 00 00 80 3E 00 00 00 3F 00 00 80 3E"
                                  "00 00 00 00 00 00 00 00 00 00 80 3F";

TEST(MeshSave, OneVertexGivesThe52ByteFile) {
    TempDir dir;
    MeshHandle mesh(mshCreate(1, 0, 0, 0, 0));
    setOneVertex(*mesh);
    const SaveResult saved = save(dir.file("one.msh"), mesh.get());
    EXPECT_EQ(saved.result, 1);
    EXPECT_EQ(saved.errors, "");
    EXPECT_EQ(quilltest::readFile(dir.file("one.msh")), hexBytes(oneVertexFile));
}

// The index list counts indices, not triangles; sections follow the fixed order.
TEST(MeshSave, VertexTriangleAndGroupGiveThe94ByteFile) {
    TempDir dir;
    MeshHandle mesh(mshCreate(1, 1, 1, 0, 0));
    setOneVertex(*mesh);
    mesh->triangles[0] = MeshTriangle{{1, 2, 0x0302}};
    mesh->groups[0] = MeshGroup{0x04030201, 3, 0x100, 1, 0};
    ASSERT_EQ(save(dir.file("m.msh"), mesh.get()).result, 1);
    const std::string expected =
        hexBytes(oneVertexFile) + hexBytes("49 4E 44 4C 03 00 00 00"
                                           "01 00 02 00 02 03"
                                           "47 52 50 4C 01 00 00 00"
                                           "01 02 03 04 03 00 00 00 00 01 00 00"
                                           "01 00 00 00 00 00 00 00");
    ASSERT_EQ(expected.size(), 94u);
    EXPECT_EQ(quilltest::readFile(dir.file("m.msh")), expected);
}

TEST(MeshSave, GroupMatrixAndMatricesAreWrittenInOrder) {
    TempDir dir;
    MeshHandle mesh(mshCreate(0, 0, 0, 2, 1));
    mesh->groupMatrix[0] = 5;
    mesh->groupMatrix[1] = 0xA0B0C0D0;
    mesh->matrices[0] = MeshMatrix{{1, 2, 3, 4, 5, 6, 7, 8, 9}};
    ASSERT_EQ(save(dir.file("m.msh"), mesh.get()).result, 1);
    EXPECT_EQ(quilltest::readFile(dir.file("m.msh")),
              hexBytes("47 54 4F 4D 02 00 00 00 05 00 00 00 D0 C0 B0 A0"
                       "4D 41 54 4C 01 00 00 00"
                       "00 00 80 3F 00 00 00 40 00 00 40 40 00 00 80 40 00 00 A0 40"
                       "00 00 C0 40 00 00 E0 40 00 00 00 41 00 00 10 41"));
}

TEST(MeshSave, EmptyMeshGivesAnEmptyFile) {
    TempDir dir;
    MeshHandle mesh(mshCreate(0, 0, 0, 0, 0));
    const SaveResult saved = save(dir.file("e.msh"), mesh.get());
    EXPECT_EQ(saved.result, 1);
    EXPECT_TRUE(quilltest::fileExists(dir.file("e.msh")));
    EXPECT_EQ(quilltest::readFile(dir.file("e.msh")), "");
}

// Presence, not the count, decides whether a section is written.
TEST(MeshSave, PresentButEmptyTablesGetAHeaderWithCountZero) {
    TempDir dir;
    MeshHandle loaded = meshtest::loadMemory(hexBytes("56 45 52 54 00 00 00 00")).mesh;
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(save(dir.file("v.msh"), loaded.get()).result, 1);
    EXPECT_EQ(quilltest::readFile(dir.file("v.msh")), hexBytes("56 45 52 54 00 00 00 00"));

    const std::string allEmpty = hexBytes("56 45 52 54 00 00 00 00 49 4E 44 4C 00 00 00 00"
                                          "47 52 50 4C 00 00 00 00 47 54 4F 4D 00 00 00 00"
                                          "4D 41 54 4C 00 00 00 00");
    // Read in reverse order, written back in the fixed order.
    MeshHandle reversed =
        meshtest::loadMemory(allEmpty.substr(32) + allEmpty.substr(24, 8) + allEmpty.substr(16, 8) +
                             allEmpty.substr(8, 8) + allEmpty.substr(0, 8))
            .mesh;
    ASSERT_NE(reversed, nullptr);
    ASSERT_EQ(save(dir.file("all.msh"), reversed.get()).result, 1);
    EXPECT_EQ(quilltest::readFile(dir.file("all.msh")), allEmpty);
}

TEST(MeshSave, ReplacesAnExistingFile) {
    TempDir dir;
    quilltest::writeFile(dir.file("old.msh"), std::string(500, 'x'));
    MeshHandle mesh(mshCreate(1, 0, 0, 0, 0));
    setOneVertex(*mesh);
    ASSERT_EQ(save(dir.file("old.msh"), mesh.get()).result, 1);
    EXPECT_EQ(quilltest::readFile(dir.file("old.msh")), hexBytes(oneVertexFile));
}

// A mesh larger than the write buffer, with values whose bytes all differ, survives the
// round trip; saving what was loaded gives the same bytes again.
TEST(MeshSave, LoadThenSaveGivesIdenticalBytes) {
    TempDir dir;
    const uint32_t vertexCount = 40000;
    MeshHandle mesh(mshCreate(vertexCount, 30000, 7, 7, 3));
    for (uint32_t i = 0; i < vertexCount; ++i)
        mesh->vertices[i] =
            MeshVertex{float(i),     -float(i),     0.5f * float(i),  1e-3f * float(i),
                       float(i % 7), float(i % 11), 0.25f * float(i), 1.0f / float(i + 1)};
    for (uint32_t i = 0; i < 30000; ++i)
        mesh->triangles[i] = MeshTriangle{{uint16_t(i), uint16_t(i * 3), uint16_t(65535 - i)}};
    for (uint32_t g = 0; g < 7; ++g) {
        mesh->groups[g] = MeshGroup{g * 0x01010101u, 3 * g, 1000 * g, 17 + g, 3000 * g};
        mesh->groupMatrix[g] = 6 - g;
    }
    for (uint32_t m = 0; m < 3; ++m)
        for (int k = 0; k < 9; ++k)
            mesh->matrices[m].value[k] = float(m) * 10.0f + float(k) / 8.0f;
    ASSERT_EQ(save(dir.file("a.msh"), mesh.get()).result, 1);
    const std::string first = quilltest::readFile(dir.file("a.msh"));
    ASSERT_EQ(first.size(),
              8 + 44u * vertexCount + 8 + 6u * 30000 + 8 + 20u * 7 + 8 + 4u * 7 + 8 + 36u * 3);

    meshtest::LoadResult loaded = meshtest::loadFile(dir.file("a.msh"));
    ASSERT_NE(loaded.mesh, nullptr) << loaded.errors;
    ASSERT_EQ(save(dir.file("b.msh"), loaded.mesh.get()).result, 1);
    EXPECT_TRUE(quilltest::readFile(dir.file("b.msh")) == first);

    // Without its large buffer the writer flushes far more often and still writes the same.
    mshFailAllocation(1);
    const int smallBufferResult = save(dir.file("c.msh"), mesh.get()).result;
    mshFailAllocation(0);
    EXPECT_EQ(smallBufferResult, 1);
    EXPECT_TRUE(quilltest::readFile(dir.file("c.msh")) == first);
    EXPECT_EQ(loaded.mesh->vertices[39999].v, 1.0f / 40000.0f);
    EXPECT_EQ(loaded.mesh->triangles[29999].index[2], 65535 - 29999);
    EXPECT_EQ(loaded.mesh->groups[6].baseVertex, 6000u);
}

TEST(MeshSave, MissingDirectoryFailsWithTheOpenMessageAndCreatesNothing) {
    TempDir dir;
    MeshHandle mesh(mshCreate(1, 0, 0, 0, 0));
    const std::string path = dir.file("missing/out.msh");
    const SaveResult saved = save(path, mesh.get());
    EXPECT_EQ(saved.result, 0);
    EXPECT_EQ(saved.errors,
              "mshSave(): ERROR: Could not open file \"" + path + "\" for binary writing");
    EXPECT_FALSE(quilltest::fileExists(path));
}

// An index list of more than 0x55555555 triangles has no true count field; nothing of the
// triangle table is read.
TEST(MeshSave, TooManyTrianglesForTheIndexCountIsAWriteFailure) {
    TempDir dir;
    MeshTriangle triangle{{0, 1, 2}};
    Mesh mesh{};
    mesh.triangles = &triangle;
    mesh.triangleCount = 0x55555556;
    const std::string path = dir.file("big.msh");
    const SaveResult saved = save(path, &mesh);
    EXPECT_EQ(saved.result, 0);
    EXPECT_EQ(saved.errors, "mshSave(): ERROR: Could not write data to file \"" + path + "\"");
    EXPECT_EQ(quilltest::readFile(path), "");
}

// /dev/full accepts the open and fails the writes: the small file only when flushed at the
// end, the large one while its buffer is written out.
TEST(MeshSave, FullDeviceFailsWithTheWriteMessage) {
    if (!quilltest::fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    for (uint32_t vertexCount : {1u, 100000u}) {
        SCOPED_TRACE(vertexCount);
        MeshHandle mesh(mshCreate(vertexCount, 0, 0, 0, 0));
        const SaveResult saved = save("/dev/full", mesh.get());
        EXPECT_EQ(saved.result, 0);
        EXPECT_EQ(saved.errors, "mshSave(): ERROR: Could not write data to file \"/dev/full\"");
    }
}

// The first byte is the lowest on every host; the swap the big-endian hosts use, on all.
TEST(LittleEndianWords, FirstByteIsTheLowest) {
    const char bytes[] = "\x01\x02\x03\x04\x05\x06\x07\x08";
    EXPECT_EQ(msh::loadLittleEndian<uint64_t>(bytes), 0x0807060504030201u);
    EXPECT_EQ(msh::loadLittleEndian<uint32_t>(bytes + 4), 0x08070605u);
    char stored[9] = {};
    msh::storeLittleEndian(stored, uint64_t{0x3837363534333231});
    EXPECT_STREQ(stored, "12345678");
    msh::storeLittleEndian(stored, uint32_t{0x64636261});
    EXPECT_STREQ(stored, "abcd5678");
    EXPECT_EQ(msh::byteSwapped(uint64_t{0x0102030405060708}), 0x0807060504030201u);
    EXPECT_EQ(msh::byteSwapped(uint32_t{0x01020304}), 0x04030201u);
}

} // namespace
