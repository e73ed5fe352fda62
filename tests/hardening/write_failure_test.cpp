// Outputs that cannot be written: a full device, a path that is a directory, a path below a
// regular file, a missing directory, a read-only directory. Each ends with its one message and
// status -1; the exporter's OBJ file stays complete when only its side file fails.
#include "hardening_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using hardening::runningAsRoot;
using hardening::RunResult;
using quilltest::fileExists;
using quilltest::readFile;
using quilltest::TempDir;
using quilltest::writeFile;

std::string openMessage(const std::string& path) {
    return "ERROR: Could not open file \"" + path + "\" for writing\n";
}

#ifndef _WIN32
std::string writeMessage(const std::string& path) {
    return "ERROR: Could not write to file \"" + path + "\"\n";
}
#endif

std::string saveOpenMessage(const std::string& path) {
    return "mshSave(): ERROR: Could not open file \"" + path + "\" for binary writing";
}

class QuilloutWriteFailure : public testing::Test {
protected:
    TempDir dir;
    std::string msh = hardening::saveSmallMesh(dir);

    // The OBJ text of a clean run, for comparing what a failed side file leaves.
    std::string referenceObj() {
        const std::string obj = dir.file("reference.obj");
        EXPECT_EQ(hardening::runQuillout(msh, obj).status, 0);
        return readFile(obj);
    }

    void expectOpenFailure(const std::string& obj) {
        const RunResult result = hardening::runQuillout(msh, obj);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, openMessage(obj));
    }
};

#ifndef _WIN32
// Windows has no full device, and ignores a read-only attribute on a directory.
TEST_F(QuilloutWriteFailure, FullDeviceFailsTheObjAndWritesNoSideFile) {
    const RunResult result = hardening::runQuillout(msh, "/dev/full");
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, writeMessage("/dev/full"));
    EXPECT_FALSE(fileExists("/dev/full.matrix"));
}
#endif

TEST_F(QuilloutWriteFailure, ObjPathThatIsADirectory) { expectOpenFailure(dir.path().string()); }

TEST_F(QuilloutWriteFailure, ObjPathBelowARegularFile) { expectOpenFailure(msh + "/out.obj"); }

TEST_F(QuilloutWriteFailure, ObjPathInAMissingDirectory) {
    expectOpenFailure(dir.file("missing/out.obj"));
    EXPECT_FALSE(fileExists(dir.file("missing")));
}

#ifndef _WIN32
TEST_F(QuilloutWriteFailure, ObjPathInAReadOnlyDirectory) {
    if (runningAsRoot())
        GTEST_SKIP() << "root writes into read-only directories";
    const std::string locked = dir.file("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    expectOpenFailure(locked + "/out.obj");
    ::chmod(locked.c_str(), 0755);
}
#endif

TEST_F(QuilloutWriteFailure, SidePathThatIsADirectoryKeepsTheObjComplete) {
    const std::string expected = referenceObj();
    const std::string obj = dir.file("out.obj");
    std::filesystem::create_directory(dir.file("out.matrix"));
    const RunResult result = hardening::runQuillout(msh, obj);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, openMessage(dir.file("out.matrix")));
    EXPECT_EQ(readFile(obj), expected);
}

#ifndef _WIN32
TEST_F(QuilloutWriteFailure, SideFileOnAFullDeviceKeepsTheObjComplete) {
    const std::string expected = referenceObj();
    const std::string obj = dir.file("out.obj");
    std::filesystem::create_symlink("/dev/full", dir.file("out.matrix"));
    const RunResult result = hardening::runQuillout(msh, obj);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, writeMessage(dir.file("out.matrix")));
    EXPECT_EQ(readFile(obj), expected);
}
#endif

class QuillinWriteFailure : public testing::Test {
protected:
    TempDir dir;
    std::string obj = dir.file("in.obj");
    std::string side = dir.file("in.matrix");

    void SetUp() override {
        ASSERT_EQ(hardening::runQuillout(hardening::saveSmallMesh(dir), obj).status, 0);
    }

    void expectFailure(const std::string& msh, const std::string& message) {
        const RunResult result = hardening::runQuillin(obj, msh, side);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(result.out, "");
    }
};

#ifndef _WIN32
TEST_F(QuillinWriteFailure, FullDevice) {
    expectFailure("/dev/full", "mshSave(): ERROR: Could not write data to file \"/dev/full\"");
}
#endif

TEST_F(QuillinWriteFailure, OutputPathThatIsADirectory) {
    expectFailure(dir.path().string(), saveOpenMessage(dir.path().string()));
}

TEST_F(QuillinWriteFailure, OutputPathBelowARegularFile) {
    expectFailure(obj + "/out.msh", saveOpenMessage(obj + "/out.msh"));
}

TEST_F(QuillinWriteFailure, OutputPathInAMissingDirectory) {
    expectFailure(dir.file("missing/out.msh"), saveOpenMessage(dir.file("missing/out.msh")));
    EXPECT_FALSE(fileExists(dir.file("missing")));
}

#ifndef _WIN32
TEST_F(QuillinWriteFailure, OutputPathInAReadOnlyDirectory) {
    if (runningAsRoot())
        GTEST_SKIP() << "root writes into read-only directories";
    const std::string locked = dir.file("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    expectFailure(locked + "/out.msh", saveOpenMessage(locked + "/out.msh"));
    ::chmod(locked.c_str(), 0755);
    EXPECT_FALSE(fileExists(locked + "/out.msh"));
}
#endif

} // namespace
