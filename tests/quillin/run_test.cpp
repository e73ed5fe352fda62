// The importer run end to end, in-process: usage, messages, statuses, the assembled .msh bytes,
// allocation failures at every site, and inputs that must fail cleanly.
#include "quillin/run.h"

#include "msh.h"
#include "msh_alloc.h"
#include "quillin_test_support.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <thread>
#endif

namespace {

using quillintest::Bytes;
using quillintest::runImporter;
using quilltest::fileExists;
using quilltest::readFile;
using quilltest::TempDir;
using quilltest::writeFile;

const std::string kUsage = "Usage: <msh file> <output file> <OPTIONAL: matrix file>\n";

TEST(QuillinRun, FewerThanTwoArgumentsPrintUsage) {
    TempDir dir;
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {dir.file("a.obj")}}) {
        const auto outcome = runImporter(args);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, kUsage);
        EXPECT_EQ(outcome.err, "");
    }
}

TEST(QuillinRun, MissingObjFile) {
    TempDir dir;
    const auto outcome = runImporter({dir.file("none.obj"), dir.file("out.msh")});
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.err,
              "ERROR: Could not open .obj file \"" + dir.file("none.obj") + "\" for reading\n");
    EXPECT_FALSE(fileExists(dir.file("out.msh")));
}

TEST(QuillinRun, EmptyObjGivesEmptyMsh) {
    TempDir dir;
    writeFile(dir.file("a.obj"), "");
    const auto outcome = runImporter({dir.file("a.obj"), dir.file("out.msh")});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    ASSERT_TRUE(fileExists(dir.file("out.msh")));
    EXPECT_EQ(readFile(dir.file("out.msh")), "");
}

Bytes vertexRecord(float x, float y, float z, float u, float v) {
    Bytes b;
    b.f32(x).f32(y).f32(z).u32(0xFFFFFFFF).f32(u).f32(v).f32(u).f32(v);
    return b;
}

const char* const kTriangleObj = "v 1 2 3\nv 4 5 6\nv 7 8 9\nvt 0.5 0.25\nvt 0.75 1\nvt 0 0\n"
                                 "vn 0 0 1\nvn 0 1 0\nvn 1 0 0\ng 0/9\nf 1/1/1 2/2/2 3/3/3\n";

std::string triangleMshBytes() {
    Bytes b;
    b.tag("VERT").u32(3);
    b.data += vertexRecord(1, 2, 3, 0.5f, 0.25f).data + vertexRecord(4, 5, 6, 0.75f, 1).data +
              vertexRecord(7, 8, 9, 0, 0).data;
    b.f32(0).f32(0).f32(1).f32(0).f32(1).f32(0).f32(1).f32(0).f32(0);
    b.tag("INDL").u32(3).u16(0).u16(1).u16(2);
    b.tag("GRPL").u32(1).u32(9).u32(3).u32(0).u32(3).u32(0);
    return b.data;
}

TEST(QuillinRun, OneTriangleGivesExactBytesWithoutSideFileSections) {
    TempDir dir;
    writeFile(dir.file("a.obj"), kTriangleObj);
    const auto outcome = runImporter({dir.file("a.obj"), dir.file("out.msh")});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(readFile(dir.file("out.msh")), triangleMshBytes());
}

TEST(QuillinRun, SideFileAddsItsSectionsAndArgumentsAfterItAreIgnored) {
    TempDir dir;
    writeFile(dir.file("a.obj"), kTriangleObj);
    writeFile(dir.file("a.matrix"), "# a.matrix\n\n# Group to Matrix table\ng 0 1\n\n# Matrices\n"
                                    "m 1 2 3 4 5 6 7 8 9\nm -1 0 0 0 -1 0 0 0 -1\n");
    const auto outcome = runImporter(
        {dir.file("a.obj"), dir.file("out.msh"), dir.file("a.matrix"), "extra", "more"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    Bytes b;
    b.data = triangleMshBytes();
    b.tag("GTOM").u32(1).u32(1);
    b.tag("MATL").u32(2);
    for (float f : {1, 2, 3, 4, 5, 6, 7, 8, 9, -1, 0, 0, 0, -1, 0, 0, 0, -1})
        b.f32(f);
    EXPECT_EQ(readFile(dir.file("out.msh")), b.data);
}

TEST(QuillinRun, LaterSideFileRowForAGroupWinsAndUnnamedEntriesAreZero) {
    TempDir dir;
    writeFile(dir.file("a.obj"), kTriangleObj);
    writeFile(dir.file("a.matrix"), "g 2 5\ng 0 1\ng 2 6\n");
    const auto outcome =
        runImporter({dir.file("a.obj"), dir.file("out.msh"), dir.file("a.matrix")});
    ASSERT_EQ(outcome.status, 0);
    Bytes b;
    b.data = triangleMshBytes();
    b.tag("GTOM").u32(3).u32(1).u32(0).u32(6);
    EXPECT_EQ(readFile(dir.file("out.msh")), b.data);
}

MeshHandle importText(const TempDir& dir, const std::string& obj) {
    writeFile(dir.file("in.obj"), obj);
    const auto outcome = runImporter({dir.file("in.obj"), dir.file("out.msh")});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    return MeshHandle(mshLoad(dir.file("out.msh").c_str()));
}

TEST(QuillinAssembly, VertexTableIsTheLargestCountAndUnnamedVerticesTakeTheirOwnRecords) {
    TempDir dir;
    const auto mesh = importText(dir, "v 1 1 1\nv 2 2 2\nv 3 3 3\nv 4 4 4\n"
                                      "vt 0 1\nvt 0 2\nvt 0 3\nvt 0 4\nvt 0 5\nvt 0 6\n"
                                      "vn 1 0 0\nvn 2 0 0\nvn 3 0 0\nvn 4 0 0\nvn 5 0 0\n");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->vertexCount, 6u);
    EXPECT_EQ(mesh->vertices[3].x, 4.0f);
    EXPECT_EQ(mesh->vertices[3].v, 4.0f);
    EXPECT_EQ(mesh->vertices[3].nx, 4.0f);
    EXPECT_EQ(mesh->vertices[4].x, 0.0f);
    EXPECT_EQ(mesh->vertices[4].nx, 5.0f);
    EXPECT_EQ(mesh->vertices[5].v, 6.0f);
    EXPECT_EQ(mesh->vertices[5].nx, 0.0f);
    EXPECT_EQ(mesh->triangles, nullptr);
}

// Each group record spans the vertices its triangles use; an empty group spans none, from where
// the record before it ends.
TEST(QuillinAssembly, GroupRecordsSpanTheVerticesTheirTrianglesUse) {
    TempDir dir;
    std::string obj;
    for (int i = 0; i < 6; ++i)
        obj += "v 0 0 0\n";
    obj += "g 0/0\nf 1 2 4\ng 1/7\nf 4 5 6\ng 2/9\n";
    const auto mesh = importText(dir, obj);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->groupCount, 3u);
    const MeshGroup expected[] = {{0, 3, 0, 4, 0}, {7, 3, 3, 3, 3}, {9, 0, 6, 0, 6}};
    for (uint32_t g = 0; g < 3; ++g)
        EXPECT_EQ(std::memcmp(&mesh->groups[g], &expected[g], sizeof(MeshGroup)), 0) << g;
    EXPECT_EQ(mesh->triangles[0].index[2], 3);
    EXPECT_EQ(mesh->triangles[1].index[0], 0);
    EXPECT_EQ(mesh->triangles[1].index[2], 2);
}

// The first corner naming a position's texture coordinate or normal decides its vertex; a corner
// naming others gets a vertex of its own, whose unnamed parts are those of the position's vertex.
TEST(QuillinAssembly, CornersWithOtherAttributesGetVerticesOfTheirOwn) {
    TempDir dir;
    const auto mesh = importText(dir, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.5\nvt 0.25 0.25\n"
                                      "vn 1 0 0\nvn 0 1 0\nvn 0 0 1\n"
                                      "g 0/0\nf 1/1/1 2/1/1 3/1/1\nf 1/2/3 2 3//2\n");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->vertexCount, 5u);
    EXPECT_EQ(mesh->vertices[0].nx, 1.0f);
    EXPECT_EQ(mesh->vertices[0].u, 0.5f);
    EXPECT_EQ(mesh->vertices[3].x, 0.0f); // position 1 with texture coordinate 2 and normal 3
    EXPECT_EQ(mesh->vertices[3].u, 0.25f);
    EXPECT_EQ(mesh->vertices[3].nz, 1.0f);
    EXPECT_EQ(mesh->vertices[4].y,
              1.0f); // position 3 with normal 2, texture coordinate as vertex 2
    EXPECT_EQ(mesh->vertices[4].ny, 1.0f);
    EXPECT_EQ(mesh->vertices[4].u, 0.5f);
    const uint16_t triangles[2][3] = {{0, 1, 2}, {3, 1, 4}};
    EXPECT_EQ(std::memcmp(mesh->triangles, triangles, sizeof triangles), 0);
}

TEST(QuillinAssembly, FacesBeforeTheFirstGroupFormAGroupOfTheirOwn) {
    TempDir dir;
    std::string obj = "v 0 0 0\nv 0 0 0\nv 0 0 0\nv 0 0 0\n";
    for (int i = 0; i < 5; ++i)
        obj += "f 1 2 3\n";
    obj += "g part/4\nf 2 3 4\nf 4 3 2\n";
    const auto mesh = importText(dir, obj);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->triangleCount, 7u);
    ASSERT_EQ(mesh->groupCount, 2u);
    const MeshGroup expected[] = {{0, 15, 0, 3, 0}, {4, 6, 1, 3, 15}};
    EXPECT_EQ(std::memcmp(mesh->groups, expected, sizeof expected), 0);
    EXPECT_EQ(mesh->triangles[5].index[0], 0);
    EXPECT_EQ(mesh->triangles[6].index[0], 2);
    EXPECT_EQ(mesh->triangles[0].index[2], 2);
}

TEST(QuillinAssembly, ForeignObjText) {
    TempDir dir;
    const auto mesh =
        importText(dir, "# made elsewhere\r\nmtllib x.mtl\r\no thing\r\nv 0 0 0\r\nv 1 0 0\r\n"
                        "v 1 1 0\r\nv 0 1 0\r\nvt 0 0\r\nvt 1 1\r\nvn 0 0 1\r\n"
                        "g side/3\r\nusemtl red\r\ns 1\r\nf 1/1/1 2/2/1 3/2/1 4/1/1\r\n"
                        "s off\r\nf 4//1 3//1 1//1 # closing\r\n");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->vertexCount, 4u);
    ASSERT_EQ(mesh->triangleCount, 3u);
    EXPECT_EQ(mesh->groups[0].id, 3u);
    EXPECT_EQ(mesh->groups[0].vertexCount, 4u);
    const uint16_t triangles[3][3] = {{0, 1, 2}, {0, 2, 3}, {3, 2, 0}};
    EXPECT_EQ(std::memcmp(mesh->triangles, triangles, sizeof triangles), 0);
    EXPECT_EQ(mesh->vertices[2].u, 1.0f);
    EXPECT_EQ(mesh->vertices[2].nz, 1.0f);
    EXPECT_EQ(mesh->vertices[3].nz, 1.0f);
}

// An exporter-style file of n vertices in `groups` groups of equal size, each group a strip.
std::string exporterStyleObj(uint32_t n, uint32_t groups) {
    std::string obj;
    char line[128];
    for (uint32_t k = 0; k < n; ++k) {
        std::snprintf(line, sizeof line, "v %u.5 -%u.25 0.125\n", k, k);
        obj += line;
    }
    for (uint32_t k = 0; k < n; ++k) {
        std::snprintf(line, sizeof line, "vt %u 0.5\n", k % 1000);
        obj += line;
    }
    for (uint32_t k = 0; k < n; ++k) {
        std::snprintf(line, sizeof line, "vn 0 %u 1\n", k % 7);
        obj += line;
    }
    const uint32_t per = n / groups;
    for (uint32_t g = 0; g < groups; ++g) {
        std::snprintf(line, sizeof line, "g %u/%u\n", g, 100 + g);
        obj += line;
        for (uint32_t k = g * per; k + 2 < (g + 1) * per; ++k) {
            std::snprintf(line, sizeof line, "f %u/%u/%u %u/%u/%u %u/%u/%u\n", k + 1, k + 1, k + 1,
                          k + 2, k + 2, k + 2, k + 3, k + 3, k + 3);
            obj += line;
        }
    }
    return obj;
}

// A fan around the first vertex, 140000 vertices wide, its triangles taking turns with those
// of a strip: the fan's reach too far apart for any one 16-bit span, so they are drawn from
// copies, in a few records all told, each within 16 bits.
TEST(QuillinAssembly, FarAndNearTrianglesTakingTurnsTakeFewRecords) {
    TempDir dir;
    std::string obj;
    const int n = 140000;
    for (int i = 0; i < n; ++i)
        obj += "v " + std::to_string(i) + " 1 0\n";
    obj += "g fan/3\n";
    std::vector<int> corners; // 0-based positions, three per triangle
    for (int i = 2; i + 1 < n; i += 2) {
        obj += "f 1 " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
        obj += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " +
               std::to_string(i + 2) + "\n";
        corners.insert(corners.end(), {0, i, i + 1, i - 1, i, i + 1});
    }
    const auto mesh = importText(dir, obj);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->triangleCount * 3, corners.size());
    ASSERT_GE(mesh->groupCount, 2u);
    EXPECT_LE(mesh->groupCount, 8u);
    for (uint32_t g = 0; g < mesh->groupCount; ++g) {
        const MeshGroup& group = mesh->groups[g];
        EXPECT_EQ(group.id, 3u);
        EXPECT_LE(group.vertexCount, 65536u);
        EXPECT_LE(uint64_t{group.baseVertex} + group.vertexCount, mesh->vertexCount);
        for (uint32_t i = group.firstIndex; i < group.firstIndex + group.indexCount; ++i) {
            const uint32_t vertex = group.baseVertex + mesh->triangles[i / 3].index[i % 3];
            ASSERT_EQ(mesh->vertices[vertex].x, static_cast<float>(corners[i])) << i;
        }
    }
}

TEST(QuillinAssembly, HundredThousandVerticesInTwoGroups) {
    TempDir dir;
    const auto mesh = importText(dir, exporterStyleObj(100000, 2));
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->vertexCount, 100000u);
    ASSERT_EQ(mesh->groupCount, 2u);
    ASSERT_EQ(mesh->triangleCount, 2u * 49998u);
    EXPECT_EQ(mesh->groups[0].baseVertex, 0u);
    EXPECT_EQ(mesh->groups[0].vertexCount, 50000u);
    EXPECT_EQ(mesh->groups[1].id, 101u);
    EXPECT_EQ(mesh->groups[1].baseVertex, 50000u);
    EXPECT_EQ(mesh->groups[1].vertexCount, 50000u);
    EXPECT_EQ(mesh->groups[1].firstIndex, 3u * 49998u);
    const MeshTriangle& last = mesh->triangles[mesh->triangleCount - 1];
    EXPECT_EQ(last.index[2], 49999);
    EXPECT_EQ(mesh->vertices[99999].x, 99999.5f);
    EXPECT_EQ(mesh->vertices[70000].y, -70000.25f);
    EXPECT_EQ(mesh->vertices[70000].u, 0.0f);
    EXPECT_EQ(mesh->vertices[70001].u, 1.0f);
    EXPECT_EQ(mesh->vertices[99999].ny, 99999.0f - 7 * 14285);
}

TEST(QuillinRun, BadReferenceStopsWithoutOutput) {
    TempDir dir;
    writeFile(dir.file("a.obj"), "v 0 0 0\nf 1 1 2\n");
    const auto outcome = runImporter({dir.file("a.obj"), dir.file("out.msh")});
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.err, "ERROR: Line 2 of .obj file \"" + dir.file("a.obj") +
                               "\": face refers to position 2, which does not exist\n");
    EXPECT_FALSE(fileExists(dir.file("out.msh")));
}

TEST(QuillinRun, DirectoryAsInputIsAReadError) {
    TempDir dir;
    const std::string folder = dir.file("folder");
    std::filesystem::create_directory(folder);
    writeFile(dir.file("a.obj"), kTriangleObj);
    auto outcome = runImporter({folder, dir.file("out.msh")});
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.err, "ERROR: Could not read .obj file \"" + folder + "\"\n");
    outcome = runImporter({dir.file("a.obj"), dir.file("out.msh"), folder});
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.err, "ERROR: Could not read .matrix file \"" + folder + "\"\n");
    outcome = runImporter({dir.file("a.obj"), dir.file("out.msh"), dir.file("none.matrix")});
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.err, "ERROR: Could not open .matrix file \"" + dir.file("none.matrix") +
                               "\" for reading\n");
    EXPECT_FALSE(fileExists(dir.file("out.msh")));
}

TEST(QuillinRun, FailingSaveReportsAndReturnsMinusOne) {
    TempDir dir;
    writeFile(dir.file("a.obj"), kTriangleObj);
    const std::string out = dir.file("no/such/dir/out.msh");
    const auto outcome = runImporter({dir.file("a.obj"), out});
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.err,
              "mshSave(): ERROR: Could not open file \"" + out + "\" for binary writing");
}

#ifndef _WIN32
// Named pipes (fifos) as POSIX systems make them.
TEST(QuillinRun, PipeInputIsReadWholeBeforeTheTwoPasses) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.obj");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { writeFile(fifo, kTriangleObj); });
    const auto outcome = runImporter({fifo, dir.file("out.msh")});
    writer.join();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(readFile(dir.file("out.msh")), triangleMshBytes());
}

TEST(QuillinRun, SideFileFromAPipe) {
    TempDir dir;
    writeFile(dir.file("a.obj"), kTriangleObj);
    const std::string fifo = dir.file("pipe.matrix");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { writeFile(fifo, "g 0 1\nm 1 2 3 4 5 6 7 8 9\n"); });
    const auto outcome = runImporter({dir.file("a.obj"), dir.file("out.msh"), fifo});
    writer.join();
    EXPECT_EQ(outcome.status, 0);
    Bytes b;
    b.data = triangleMshBytes();
    b.tag("GTOM").u32(1).u32(1);
    b.tag("MATL").u32(1);
    for (float f : {1, 2, 3, 4, 5, 6, 7, 8, 9})
        b.f32(f);
    EXPECT_EQ(readFile(dir.file("out.msh")), b.data);
}
#endif

// Every allocation of a run with a side file fails in turn: the importer's own first (the read
// buffer, positions, texture coordinates, normals, faces, corners, groups, pairs, matrices, and the
// plan's vertex claims, corner vertices, for polygons triangle vertices and polygon scratch,
// and group records), then mshCreate's.
TEST(QuillinRun, EachAllocationFailureStopsCleanly) {
    const struct {
        std::string obj;
        uint64_t importerAllocations;
    } inputs[] = {{kTriangleObj, 9 + 3}, {std::string(kTriangleObj) + "f 1 2 3 1\n", 9 + 5}};
    for (const auto& input : inputs) {
        TempDir dir;
        writeFile(dir.file("a.obj"), input.obj);
        writeFile(dir.file("a.matrix"), "g 0 0\nm 1 0 0 0 1 0 0 0 1\n");
        const std::vector<std::string> args{dir.file("a.obj"), dir.file("out.msh"),
                                            dir.file("a.matrix")};
        const uint64_t before = mshAllocationCount();
        ASSERT_EQ(runImporter(args).status, 0);
        const uint64_t allocations = mshAllocationCount() - before;
        const std::string good = readFile(dir.file("out.msh"));
        const uint64_t created = input.importerAllocations + 6;
        ASSERT_GE(allocations, created);
        for (uint64_t n = 1; n <= allocations; ++n) {
            std::filesystem::remove(dir.file("out.msh"));
            mshFailAllocation(n);
            const auto outcome = runImporter(args);
            mshFailAllocation(0);
            if (n <= input.importerAllocations) {
                EXPECT_EQ(outcome.err, "ERROR: Could not allocate needed memory\n") << n;
            } else if (n <= created) {
                EXPECT_EQ(outcome.err, "mshCreate(): ERROR: Could not allocate needed memory\n")
                    << n;
            }
            if (n <= created) {
                EXPECT_EQ(outcome.status, -1) << n;
                EXPECT_FALSE(fileExists(dir.file("out.msh"))) << n;
            } else {
                // mshSave's own write buffer has a fallback and still writes the same bytes.
                EXPECT_EQ(outcome.status, 0) << n;
                EXPECT_EQ(readFile(dir.file("out.msh")), good) << n;
            }
        }
    }
}

} // namespace
