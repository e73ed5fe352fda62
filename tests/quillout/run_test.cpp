// The exporter's run in-process: arguments, the order of its steps, and what each failure
// leaves behind.
#include "mesh_tables.h"
#include "msh.h"
#include "msh_alloc.h"
#include "quillout/run.h"
#include "run_captured.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using quillouttest::group;
using quillouttest::identityMatrix;
using quillouttest::MeshTables;

using quilltest::RunResult;

RunResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "quillout");
    return quilltest::runCaptured(quillout::runQuillout, std::move(arguments));
}

void saveMesh(MeshTables& tables, const std::string& path) {
    const Mesh mesh = tables.mesh();
    ASSERT_EQ(mshSave(path.c_str(), &mesh), 1);
}

// One vertex, one triangle in one group, a two-entry table and one identity matrix.
MeshTables smallMesh() {
    MeshTables tables;
    tables.vertices = {MeshVertex{1.0f, 0.5f, -2.25f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f}};
    tables.triangles = {MeshTriangle{{0, 0, 0}}};
    tables.groups = {group(3, 3, 0, 0)};
    tables.groupMatrix = {1, 0};
    tables.matrices = {identityMatrix()};
    return tables;
}

const std::string kSmallMeshObj = quilltest::platformText(
    "# Wavefront OBJ exported by quillout.exe\n\n"
    "v 1.000000000000000000000000 0.500000000000000000000000 -2.250000000000000000000000\n"
    "# 1 vertices\n\n"
    "vt 0.000000000000000000000000 1.000000000000000000000000\n"
    "# 1 vertices\n\n"
    "vn 0.000000000000000000000000 0.000000000000000000000000 1.000000000000000000000000\n"
    "# 1 normals\n\n"
    "g 0/3\n"
    "f 1/1/1 1/1/1 1/1/1\n"
    "# 1 triangles in group\n\n"
    "# 1 triangles total\n");

std::string smallMeshSide(const std::string& sidePath) {
    return quilltest::platformText(
        "# " + sidePath +
        "\n\n# Group to Matrix table\ng 0 1\ng 1 0\n\n# Matrices\n"
        "m 1.000000000000000000000000 0.000000000000000000000000 0.000000000000000000000000 "
        "0.000000000000000000000000 1.000000000000000000000000 0.000000000000000000000000 "
        "0.000000000000000000000000 0.000000000000000000000000 1.000000000000000000000000\n");
}

TEST(QuilloutRun, FewerThanTwoArgumentsPrintUsage) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"in.msh"}}) {
        const RunResult result = run(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "Usage: <msh file> <output file>\n");
        EXPECT_EQ(result.err, "");
    }
}

TEST(QuilloutRun, WritesObjThenSideFileAndIgnoresExtraArguments) {
    quilltest::TempDir dir;
    MeshTables tables = smallMesh();
    saveMesh(tables, dir.file("in.msh"));
    const RunResult result = run({dir.file("in.msh"), dir.file("out.obj"), "ignored"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(quilltest::readFile(dir.file("out.obj")), kSmallMeshObj);
    EXPECT_EQ(quilltest::readFile(dir.file("out.matrix")), smallMeshSide(dir.file("out.matrix")));
    EXPECT_FALSE(quilltest::fileExists(dir.file("ignored")));
}

TEST(QuilloutRun, OnlyOneMatrixTableWritesNoSideFileAndLeavesAnExistingOneAlone) {
    for (bool keepTable : {true, false}) {
        quilltest::TempDir dir;
        MeshTables tables = smallMesh();
        if (keepTable)
            tables.matrices.clear();
        else
            tables.groupMatrix.clear();
        saveMesh(tables, dir.file("in.msh"));
        quilltest::writeFile(dir.file("out.matrix"), "earlier side file\n");
        const RunResult result = run({dir.file("in.msh"), dir.file("out.obj")});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(quilltest::readFile(dir.file("out.obj")), kSmallMeshObj);
        EXPECT_EQ(quilltest::readFile(dir.file("out.matrix")), "earlier side file\n");
    }
}

TEST(QuilloutRun, GroupPastTheTriangleTableIsRefusedBeforeAnyOutput) {
    quilltest::TempDir dir;
    MeshTables tables = smallMesh();
    tables.groups.push_back(group(4, 6, 0, 0));
    saveMesh(tables, dir.file("in.msh"));
    quilltest::writeFile(dir.file("out.obj"), "earlier obj\n");
    const RunResult result = run({dir.file("in.msh"), dir.file("out.obj")});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "ERROR: Group 1 in .msh file \"" + dir.file("in.msh") +
                              "\" names triangles past the end of the triangle table\n");
    EXPECT_EQ(quilltest::readFile(dir.file("out.obj")), "earlier obj\n");
    EXPECT_FALSE(quilltest::fileExists(dir.file("out.matrix")));
}

TEST(QuilloutRun, GroupWithTrianglesButNoTriangleSectionIsRefused) {
    quilltest::TempDir dir;
    MeshTables tables;
    tables.groups = {group(0, 3, 0, 0)};
    saveMesh(tables, dir.file("in.msh"));
    const RunResult result = run({dir.file("in.msh"), dir.file("out.obj")});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "ERROR: Group 0 in .msh file \"" + dir.file("in.msh") +
                              "\" names triangles past the end of the triangle table\n");
    EXPECT_FALSE(quilltest::fileExists(dir.file("out.obj")));
}

TEST(QuilloutRun, OutputsThatAreTheInputFileAreRefusedBeforeAnyOutput) {
    quilltest::TempDir dir;
    MeshTables tables = smallMesh();
    // The side file of "model.obj" is "model.matrix", here the .msh file being exported.
    saveMesh(tables, dir.file("model.matrix"));
    const std::string original = quilltest::readFile(dir.file("model.matrix"));
    RunResult result = run({dir.file("model.matrix"), dir.file("model.obj")});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "ERROR: Writing \"" + dir.file("model.matrix") +
                              "\" would replace the input .msh file \"" + dir.file("model.matrix") +
                              "\"\n");
    EXPECT_FALSE(quilltest::fileExists(dir.file("model.obj")));
    EXPECT_EQ(quilltest::readFile(dir.file("model.matrix")), original);

    // The OBJ path itself, spelled differently.
    const std::string otherSpelling = (dir.path() / "." / "model.matrix").string();
    result = run({dir.file("model.matrix"), otherSpelling});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "ERROR: Writing \"" + otherSpelling +
                              "\" would replace the input .msh file \"" + dir.file("model.matrix") +
                              "\"\n");
    EXPECT_EQ(quilltest::readFile(dir.file("model.matrix")), original);
}

TEST(QuilloutRun, InputNamedLikeTheSideFileIsFineWhenNoSideFileIsDue) {
    quilltest::TempDir dir;
    MeshTables tables = smallMesh();
    tables.matrices.clear();
    saveMesh(tables, dir.file("model.matrix"));
    const std::string original = quilltest::readFile(dir.file("model.matrix"));
    const RunResult result = run({dir.file("model.matrix"), dir.file("model.obj")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(quilltest::readFile(dir.file("model.obj")), kSmallMeshObj);
    EXPECT_EQ(quilltest::readFile(dir.file("model.matrix")), original);
}

// Runs in.msh -> out.obj once without injected failures and counts the allocations it makes.
uint64_t allocationsOfASuccessfulRun(const quilltest::TempDir& dir) {
    const uint64_t before = mshAllocationCount();
    EXPECT_EQ(run({dir.file("in.msh"), dir.file("out.obj")}).status, 0);
    return mshAllocationCount() - before;
}

TEST(QuilloutRun, SidePathOrOutputBufferAllocationFailureLeavesEveryFileUntouched) {
    quilltest::TempDir dir;
    MeshTables tables = smallMesh();
    saveMesh(tables, dir.file("in.msh"));
    // A full run allocates the loader's tables, then the side file path, then the output buffer,
    // all before any file is created.
    const uint64_t allocations = allocationsOfASuccessfulRun(dir);
    ASSERT_GE(allocations, 3u);
    for (const uint64_t nth : {allocations - 1, allocations}) {
        SCOPED_TRACE(nth == allocations ? "output buffer" : "side file path");
        quilltest::writeFile(dir.file("out.obj"), "earlier obj\n");
        std::filesystem::remove(dir.file("out.matrix"));

        mshFailAllocation(nth);
        const RunResult result = run({dir.file("in.msh"), dir.file("out.obj")});
        mshFailAllocation(0);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, "ERROR: Could not allocate needed memory\n");
        EXPECT_EQ(quilltest::readFile(dir.file("out.obj")), "earlier obj\n");
        EXPECT_FALSE(quilltest::fileExists(dir.file("out.matrix")));
    }
}

TEST(QuilloutRun, EveryAllocationFailureEndsWithOneMessageAndStatusMinusOne) {
    quilltest::TempDir dir;
    MeshTables tables = smallMesh();
    saveMesh(tables, dir.file("in.msh"));
    const uint64_t allocations = allocationsOfASuccessfulRun(dir);
    for (uint64_t nth = 1; nth <= allocations; ++nth) {
        mshFailAllocation(nth);
        const RunResult result = run({dir.file("in.msh"), dir.file("out.obj")});
        mshFailAllocation(0);
        EXPECT_EQ(result.status, -1) << "allocation " << nth;
        EXPECT_TRUE(result.err == "ERROR: Could not allocate needed memory\n" ||
                    result.err == "mshLoad(): ERROR: Could not allocate needed memory\n")
            << "allocation " << nth << ": " << result.err;
    }
}

#ifndef _WIN32
// A link to the full device; Windows has neither.
TEST(QuilloutRun, FailedObjWriteWritesNoSideFile) {
    if (!quilltest::fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    quilltest::TempDir dir;
    MeshTables tables = smallMesh();
    saveMesh(tables, dir.file("in.msh"));
    std::filesystem::create_symlink("/dev/full", dir.path() / "out.obj");
    const RunResult result = run({dir.file("in.msh"), dir.file("out.obj")});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "ERROR: Could not write to file \"" + dir.file("out.obj") + "\"\n");
    EXPECT_FALSE(quilltest::fileExists(dir.file("out.matrix")));
}

#endif

} // namespace
