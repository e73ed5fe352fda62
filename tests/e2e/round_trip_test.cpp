// A mesh that meets the round-trip conditions, taken out by quillout and brought back by
// quillin, must come back with the same .msh bytes, with and without the matrix side file.
#include "msh.h"
#include "run_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using quilltest::programCommand;
using quilltest::quotedWord;
using quilltest::readFile;
using quilltest::runCommand;
using quilltest::TempDir;

// A float as meshes hold them: 0, or finite with a magnitude of at least 1e-15 (24 decimals
// carry those exactly), spread over every exponent up to the largest.
float meshFloat(std::mt19937& random) {
    for (;;) {
        const uint32_t bits = static_cast<uint32_t>(random());
        if (bits % 16 == 0)
            return 0.0f;
        const float value = std::bit_cast<float>(bits);
        if (std::isfinite(value) && std::fabs(value) >= 1e-15f)
            return value;
    }
}

// Matrix values stay within (-10, 10), so that a matrix row fits one 255-character piece.
float matrixFloat(std::mt19937& random) {
    const float value = std::uniform_real_distribution<float>(-9.999f, 9.999f)(random);
    return std::fabs(value) < 1e-15f ? 0.0f : value;
}

struct GroupPlan {
    uint32_t vertexCount;
    uint32_t extraTriangles;
};

// Groups cover the triangles in order from triangle 0; their vertex spans follow each other
// from vertex 0; every vertex is used, and each group uses the first and last of its span.
MeshHandle makeMesh(std::mt19937& random, const std::vector<GroupPlan>& plan, uint32_t pairCount,
                    uint32_t matrixCount) {
    uint32_t vertices = 0;
    uint32_t triangles = 0;
    for (const GroupPlan& group : plan) {
        vertices += group.vertexCount;
        triangles += (group.vertexCount + 2) / 3 + group.extraTriangles;
    }
    MeshHandle mesh(
        mshCreate(vertices, triangles, static_cast<uint32_t>(plan.size()), pairCount, matrixCount));
    for (uint32_t k = 0; k < vertices; ++k) {
        MeshVertex& v = mesh->vertices[k];
        for (float* f : {&v.x, &v.y, &v.z, &v.nx, &v.ny, &v.nz, &v.u, &v.v})
            *f = meshFloat(random);
    }
    uint32_t base = 0;
    uint32_t triangle = 0;
    for (size_t g = 0; g < plan.size(); ++g) {
        const uint32_t n = plan[g].vertexCount;
        mesh->groups[g] =
            MeshGroup{static_cast<uint32_t>(random()), 3 * ((n + 2) / 3 + plan[g].extraTriangles),
                      base, n, 3 * triangle};
        for (uint32_t i = 0; i < n; i += 3) {
            const uint16_t a = static_cast<uint16_t>(i);
            const uint16_t b = static_cast<uint16_t>(std::min(i + 1, n - 1));
            const uint16_t c = static_cast<uint16_t>(std::min(i + 2, n - 1));
            mesh->triangles[triangle++] = MeshTriangle{{a, c, b}};
        }
        for (uint32_t e = 0; e < plan[g].extraTriangles; ++e) {
            MeshTriangle& t = mesh->triangles[triangle++];
            for (uint16_t& index : t.index)
                index = static_cast<uint16_t>(random() % n);
        }
        base += n;
    }
    for (uint32_t i = 0; i < pairCount; ++i)
        mesh->groupMatrix[i] = random() % 3 == 0 ? static_cast<uint32_t>(random())
                                                 : static_cast<uint32_t>(random() % matrixCount);
    for (uint32_t i = 0; i < matrixCount; ++i)
        for (float& value : mesh->matrices[i].value)
            value = matrixFloat(random);
    return mesh;
}

// Saves the mesh, runs quillout and then quillin (with the side file when there is one) and
// expects the original bytes back.
void expectRoundTrip(const Mesh& mesh, bool withSideFile) {
    TempDir dir;
    const std::string original = dir.file("original.msh");
    ASSERT_EQ(mshSave(original.c_str(), &mesh), 1);
    ASSERT_EQ(runCommand(programCommand(QUILLOUT_PATH) + " " + quotedWord(original) + " " +
                         quotedWord(dir.file("out.obj"))),
              0);
    ASSERT_EQ(quilltest::fileExists(dir.file("out.matrix")), withSideFile);
    std::string importer = programCommand(QUILLIN_PATH) + " " + quotedWord(dir.file("out.obj")) +
                           " " + quotedWord(dir.file("back.msh"));
    if (withSideFile)
        importer += " " + quotedWord(dir.file("out.matrix"));
    ASSERT_EQ(runCommand(importer), 0);
    const std::string expected = readFile(original);
    const std::string actual = readFile(dir.file("back.msh"));
    ASSERT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected)
        << "first difference at byte "
        << std::mismatch(actual.begin(), actual.end(), expected.begin()).first - actual.begin();
}

std::vector<GroupPlan> randomPlan(std::mt19937& random) {
    std::vector<GroupPlan> plan(1 + random() % 5);
    for (GroupPlan& group : plan)
        group = GroupPlan{1 + static_cast<uint32_t>(random() % 300),
                          static_cast<uint32_t>(random() % 50)};
    return plan;
}

TEST(RoundTrip, RandomMeshesWithoutSideFile) {
    std::mt19937 random(2024);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        const MeshHandle mesh = makeMesh(random, randomPlan(random), 0, 0);
        expectRoundTrip(*mesh, false);
    }
}

TEST(RoundTrip, RandomMeshesWithSideFile) {
    std::mt19937 random(77);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        const std::vector<GroupPlan> plan = randomPlan(random);
        const uint32_t pairs = 1 + static_cast<uint32_t>(random() % 8);
        const MeshHandle mesh =
            makeMesh(random, plan, pairs, 1 + static_cast<uint32_t>(random() % 4));
        expectRoundTrip(*mesh, true);
    }
}

TEST(RoundTrip, EmptyMesh) {
    const MeshHandle mesh(mshCreate(0, 0, 0, 0, 0));
    expectRoundTrip(*mesh, false);
}

TEST(RoundTrip, HundredThousandVerticesInThreeGroupsUpToTheFullSixteenBitSpan) {
    std::mt19937 random(5);
    const MeshHandle mesh = makeMesh(random, {{65536, 1000}, {30000, 10}, {4464, 0}}, 3, 2);
    expectRoundTrip(*mesh, true);
}

#ifndef _WIN32
// Windows has no path that names the standard input.
TEST(RoundTrip, ObjFromAPipeComesBackTheSame) {
    TempDir dir;
    std::mt19937 random(9);
    const MeshHandle mesh = makeMesh(random, {{500, 20}, {70, 0}}, 0, 0);
    const std::string original = dir.file("original.msh");
    ASSERT_EQ(mshSave(original.c_str(), mesh.get()), 1);
    ASSERT_EQ(runCommand(programCommand(QUILLOUT_PATH) + " " + quotedWord(original) + " " +
                         quotedWord(dir.file("out.obj"))),
              0);
    ASSERT_EQ(runCommand("cat " + quotedWord(dir.file("out.obj")) + " | " +
                         programCommand(QUILLIN_PATH) + " /dev/stdin " +
                         quotedWord(dir.file("back.msh"))),
              0);
    EXPECT_TRUE(readFile(dir.file("back.msh")) == readFile(original));
}
#endif

// Folder and file names outside ASCII, given to both programs in UTF-8.
TEST(RoundTrip, NamesOutsideAscii) {
    TempDir dir;
    const std::string folder = dir.file("m\xC3\xA9sh \xE6\x96\x87"); // "mésh 文"
    ASSERT_TRUE(std::filesystem::create_directory(quilltest::utf8Path(folder)));
    const std::string original = folder + "/\xCE\xB1.msh"; // α
    const std::string obj = folder + "/\xCE\xB2.obj";      // β
    const std::string side = folder + "/\xCE\xB2.matrix";
    const std::string back = folder + "/\xCE\xB3.msh"; // γ
    std::mt19937 random(3);
    const MeshHandle mesh = makeMesh(random, {{40, 5}}, 2, 1);
    ASSERT_EQ(mshSave(original.c_str(), mesh.get()), 1);
    ASSERT_EQ(runCommand(programCommand(QUILLOUT_PATH) + " " + quotedWord(original) + " " +
                         quotedWord(obj)),
              0);
    EXPECT_EQ(
        readFile(quilltest::utf8Path(side)).rfind(quilltest::platformText("# " + side + "\n"), 0),
        0u);
    ASSERT_EQ(runCommand(programCommand(QUILLIN_PATH) + " " + quotedWord(obj) + " " +
                         quotedWord(back) + " " + quotedWord(side)),
              0);
    EXPECT_TRUE(readFile(quilltest::utf8Path(back)) == readFile(quilltest::utf8Path(original)));
}

TEST(ProgramStatus, UsageAndFailureAsExitStatus) {
    TempDir dir;
    const std::string out = dir.file("usage.txt");
    EXPECT_EQ(runCommand(programCommand(QUILLIN_PATH) + " only-one > " + quotedWord(out)), 0);
    EXPECT_EQ(readFile(out),
              quilltest::platformText("Usage: <msh file> <output file> <OPTIONAL: matrix file>\n"));
    const std::string err = dir.file("err.txt");
    EXPECT_EQ(runCommand(programCommand(QUILLIN_PATH) + " " + quotedWord(dir.file("none.obj")) +
                         " " + quotedWord(dir.file("x.msh")) + " 2> " + quotedWord(err)),
              255);
    EXPECT_EQ(readFile(err), quilltest::platformText("ERROR: Could not open .obj file \"" +
                                                     dir.file("none.obj") + "\" for reading\n"));
    EXPECT_FALSE(quilltest::fileExists(dir.file("x.msh")));
}

} // namespace
