// An OBJ path whose last component ends in ".matrix" is its own side file path. Writing the
// side file there replaced the OBJ text just written and still returned 0, leaving a file that
// looked right under the OBJ name; the exporter now refuses such a path before creating a file
// whenever a side file would be written.
#include "hardening_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hardening::RunResult;
using quilltest::fileExists;
using quilltest::readFile;
using quilltest::TempDir;
using quilltest::writeFile;

TEST(SidePathClash, ObjPathThatIsItsOwnSidePathIsRefusedBeforeAnyFile) {
    TempDir dir;
    const std::string msh = hardening::saveSmallMesh(dir);
    const std::string obj = dir.file("out.matrix");
    const RunResult result = hardening::runQuillout(msh, obj);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err,
              "ERROR: The matrix side file for \"" + obj + "\" would replace that OBJ file\n");
    EXPECT_FALSE(fileExists(obj));
}

TEST(SidePathClash, ExistingFileAtThatPathIsLeftUntouched) {
    TempDir dir;
    const std::string msh = hardening::saveSmallMesh(dir);
    const std::string obj = dir.file("a.b.matrix");
    writeFile(obj, "kept");
    EXPECT_EQ(hardening::runQuillout(msh, obj).status, -1);
    EXPECT_EQ(readFile(obj), "kept");
}

// Without a side file to write, the same path is an ordinary OBJ path.
TEST(SidePathClash, MeshWithoutMatricesWritesTheObjThere) {
    TempDir dir;
    MeshHandle mesh(mshCreate(1, 0, 0, 1, 0));
    ASSERT_TRUE(mesh);
    const std::string msh = dir.file("no_matrices.msh");
    ASSERT_EQ(mshSave(msh.c_str(), mesh.get()), 1);
    const std::string obj = dir.file("out.matrix");
    const RunResult result = hardening::runQuillout(msh, obj);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(obj).rfind(
                  quilltest::platformText("# Wavefront OBJ exported by quillout.exe\n\nv "), 0),
              0u);
}

// A leading dot is no extension: ".matrix" gets the side file ".matrix.matrix" beside it.
TEST(SidePathClash, HiddenNameIsNoClash) {
    TempDir dir;
    const std::string msh = hardening::saveSmallMesh(dir);
    const std::string obj = dir.file(".matrix");
    const RunResult result = hardening::runQuillout(msh, obj);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(obj).rfind(
                  quilltest::platformText("# Wavefront OBJ exported by quillout.exe\n"), 0),
              0u);
    EXPECT_EQ(readFile(dir.file(".matrix.matrix"))
                  .rfind(quilltest::platformText("# " + dir.file(".matrix.matrix") + "\n"), 0),
              0u);
}

} // namespace
