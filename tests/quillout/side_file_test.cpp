// The matrix side file: its path, its text, and its failures.
#include "mesh_tables.h"
#include "msh_alloc.h"
#include "quillout/output_buffer.h"
#include "quillout/side_file_writer.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using quillouttest::identityMatrix;
using quillouttest::MeshTables;

std::string sidePathFor(const char* objPath) {
    char* path = quillout::sideFilePath(objPath);
    EXPECT_NE(path, nullptr);
    const std::string result = path != nullptr ? path : "";
    mshRelease(path);
    return result;
}

TEST(QuilloutSideFilePath, ReplacesTheExtensionOfTheLastComponent) {
    EXPECT_EQ(sidePathFor("model.obj"), "model.matrix");
    EXPECT_EQ(sidePathFor("model"), "model.matrix");
    EXPECT_EQ(sidePathFor("a.b.obj"), "a.b.matrix");
    EXPECT_EQ(sidePathFor("x"), "x.matrix");
    EXPECT_EQ(sidePathFor("a."), "a.matrix");
    EXPECT_EQ(sidePathFor(".obj"), ".obj.matrix");
    EXPECT_EQ(sidePathFor("out/model.obj"), "out/model.matrix");
}

TEST(QuilloutSideFilePath, DotsInDirectoriesOrLeadingTheNameDoNotCount) {
    EXPECT_EQ(sidePathFor("v1.0/model"), "v1.0/model.matrix");
    EXPECT_EQ(sidePathFor("../model"), "../model.matrix");
    EXPECT_EQ(sidePathFor("out/.obj"), "out/.obj.matrix");
    EXPECT_EQ(sidePathFor("dir.d/sub/name"), "dir.d/sub/name.matrix");
    EXPECT_EQ(sidePathFor("/a.b/c.d.obj"), "/a.b/c.d.matrix");
    EXPECT_EQ(sidePathFor("/x.y/z."), "/x.y/z.matrix");
}

// `\` separates directories on Windows; elsewhere it is part of a name.
TEST(QuilloutSideFilePath, BackslashSeparatesDirectoriesOnWindowsOnly) {
    const struct {
        const char* obj;
        const char* onWindows;
        const char* elsewhere;
    } cases[] = {
        {"v1.0\\model", "v1.0\\model.matrix", "v1.matrix"},
        {"out\\.obj", "out\\.obj.matrix", "out\\.matrix"},
        {"C:\\a.b\\c.d.obj", "C:\\a.b\\c.d.matrix", "C:\\a.b\\c.d.matrix"},
        {"a.b/c\\d", "a.b/c\\d.matrix", "a.b/c\\d.matrix"},
        {"a.b\\c/d", "a.b\\c/d.matrix", "a.b\\c/d.matrix"},
        {"x.y\\", "x.y\\.matrix", "x.matrix"},
    };
    for (const auto& c : cases) {
#ifdef _WIN32
        EXPECT_EQ(sidePathFor(c.obj), c.onWindows) << c.obj;
#else
        EXPECT_EQ(sidePathFor(c.obj), c.elsewhere) << c.obj;
#endif
    }
}

struct SideFileRun {
    bool written;
    std::string errors;
};

// Writes the side file of the OBJ path `objPath`.
SideFileRun writeSide(MeshTables& tables, const std::string& objPath) {
    quillout::OutputBuffer out{};
    EXPECT_TRUE(quillout::outputAllocate(out, quillout::kMatrixRecordMaxLength));
    const std::string sidePath = sidePathFor(objPath.c_str());
    const Mesh mesh = tables.mesh();
    testing::internal::CaptureStderr();
    const bool written = quillout::writeSideFile(mesh, sidePath.c_str(), out);
    const std::string errors = testing::internal::GetCapturedStderr();
    quillout::outputRelease(out);
    return {written, errors};
}

const std::string kIdentityRow =
    "m 1.000000000000000000000000 0.000000000000000000000000 0.000000000000000000000000 "
    "0.000000000000000000000000 1.000000000000000000000000 0.000000000000000000000000 "
    "0.000000000000000000000000 0.000000000000000000000000 1.000000000000000000000000\n";

MeshTables tableAndIdentity() {
    MeshTables tables;
    tables.groupMatrix = {1, 0};
    tables.matrices = {identityMatrix()};
    return tables;
}

TEST(QuilloutSideFileText, TableRowsThenMatrixRowsUnderThePathComment) {
    quilltest::TempDir dir;
    std::filesystem::create_directory(dir.path() / "out");
    MeshTables tables = tableAndIdentity();
    const SideFileRun run = writeSide(tables, dir.file("out/model.obj"));
    EXPECT_TRUE(run.written);
    EXPECT_EQ(run.errors, "");
    const std::string sidePath = dir.file("out/model.matrix");
    EXPECT_EQ(quilltest::readFile(sidePath), quilltest::platformText("# " + sidePath +
                                                                     "\n\n# Group to Matrix table\n"
                                                                     "g 0 1\n"
                                                                     "g 1 0\n"
                                                                     "\n# Matrices\n" +
                                                                     kIdentityRow));
}

TEST(QuilloutSideFileText, LongNegativeMatrixNumbersAndManyRows) {
    quilltest::TempDir dir;
    MeshTables tables;
    tables.groupMatrix = {7, 4294967295u, 0};
    tables.matrices = {MeshMatrix{{-0.1f, 12345.5f, 0, 0, -1, 0, 0, 0, 1e-30f}}, identityMatrix()};
    const SideFileRun run = writeSide(tables, dir.file("m.obj"));
    EXPECT_TRUE(run.written);
    const std::string sidePath = dir.file("m.matrix");
    EXPECT_EQ(
        quilltest::readFile(sidePath),
        quilltest::platformText("# " + sidePath +
                                "\n\n# Group to Matrix table\n"
                                "g 0 7\ng 1 4294967295\ng 2 0\n"
                                "\n# Matrices\n"
                                "m -0.100000001490116119384766 12345.500000000000000000000000 "
                                "0.000000000000000000000000 0.000000000000000000000000 "
                                "-1.000000000000000000000000 0.000000000000000000000000 "
                                "0.000000000000000000000000 0.000000000000000000000000 "
                                "0.000000000000000000000000\n" +
                                kIdentityRow));
}

TEST(QuilloutSideFileText, ReplacesAnExistingFile) {
    quilltest::TempDir dir;
    const std::string sidePath = dir.file("model.matrix");
    quilltest::writeFile(sidePath, std::string(5000, 'x'));
    MeshTables tables = tableAndIdentity();
    EXPECT_TRUE(writeSide(tables, dir.file("model.obj")).written);
    EXPECT_EQ(quilltest::readFile(sidePath),
              quilltest::platformText("# " + sidePath +
                                      "\n\n# Group to Matrix table\ng 0 1\ng 1 0\n"
                                      "\n# Matrices\n" +
                                      kIdentityRow));
}

// The run reports the failure (see the run tests); the path itself is simply not made.
TEST(QuilloutSideFileFailure, PathAllocationFails) {
    mshFailAllocation(1);
    char* path = quillout::sideFilePath("model.obj");
    mshFailAllocation(0);
    EXPECT_EQ(path, nullptr);
    mshRelease(path);
}

TEST(QuilloutSideFileFailure, FileCannotBeOpened) {
    quilltest::TempDir dir;
    std::filesystem::create_directory(dir.path() / "model.matrix");
    MeshTables tables = tableAndIdentity();
    const SideFileRun run = writeSide(tables, dir.file("model.obj"));
    EXPECT_FALSE(run.written);
    EXPECT_EQ(run.errors,
              "ERROR: Could not open file \"" + dir.file("model.matrix") + "\" for writing\n");
}

#ifndef _WIN32
// A link to the full device; Windows has neither.
TEST(QuilloutSideFileFailure, FullDeviceIsAWriteFailure) {
    if (!quilltest::fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    quilltest::TempDir dir;
    std::filesystem::create_symlink("/dev/full", dir.path() / "model.matrix");
    MeshTables tables = tableAndIdentity();
    const SideFileRun run = writeSide(tables, dir.file("model.obj"));
    EXPECT_FALSE(run.written);
    EXPECT_EQ(run.errors, "ERROR: Could not write to file \"" + dir.file("model.matrix") + "\"\n");
}

#endif

} // namespace
