// Inputs that cannot be used: a directory, a missing file, a file that cannot be read, an empty
// file. A failing input ends the run with its one message and status -1, before any output file
// is created or truncated; an empty input is a valid empty mesh.
#include "hardening_support.h"

#include "quillin/piece_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

using hardening::runningAsRoot;
using hardening::RunResult;
using quillin::kPipeLimitBytes;
using quillin::pipeLimitBytes;
using quilltest::fileExists;
using quilltest::readFile;
using quilltest::TempDir;
using quilltest::writeFile;

std::string loaderOpenMessage(const std::string& path) {
    return "mshLoad(): ERROR: Could not open .msh file \"" + path + "\" for binary reading\n";
}

class QuilloutInput : public testing::Test {
protected:
    TempDir dir;
    std::string obj = dir.file("out.obj");

    // A failed load must leave an existing OBJ file as it was.
    void expectLoadFailure(const std::string& msh, const std::string& message) {
        writeFile(obj, "kept");
        const RunResult result = hardening::runQuillout(msh, obj);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(readFile(obj), "kept");
        EXPECT_FALSE(fileExists(dir.file("out.matrix")));
    }
};

TEST_F(QuilloutInput, DirectoryIsNotOpened) {
    expectLoadFailure(dir.path().string(), loaderOpenMessage(dir.path().string()));
}

TEST_F(QuilloutInput, MissingFile) {
    expectLoadFailure(dir.file("missing.msh"), loaderOpenMessage(dir.file("missing.msh")));
}

#ifndef _WIN32
// Windows file attributes cannot deny reading.
TEST_F(QuilloutInput, UnreadableFile) {
    if (runningAsRoot())
        GTEST_SKIP() << "root reads files without read permission";
    const std::string msh = hardening::saveSmallMesh(dir);
    ::chmod(msh.c_str(), 0);
    expectLoadFailure(msh, loaderOpenMessage(msh));
}
#endif

TEST_F(QuilloutInput, EmptyFileIsAnEmptyMesh) {
    const std::string msh = dir.file("empty.msh");
    writeFile(msh, "");
    const RunResult result = hardening::runQuillout(msh, obj);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(obj),
              quilltest::platformText("# Wavefront OBJ exported by quillout.exe\n\n# 0 vertices\n\n"
                                      "# 0 vertices\n\n# 0 normals\n\n# 0 triangles total\n"));
    EXPECT_FALSE(fileExists(dir.file("out.matrix")));
}

class QuillinInput : public testing::Test {
protected:
    TempDir dir;
    std::string obj = dir.file("in.obj");
    std::string side = dir.file("in.matrix");
    std::string msh = dir.file("out.msh");

    void SetUp() override {
        ASSERT_EQ(hardening::runQuillout(hardening::saveSmallMesh(dir), obj).status, 0);
    }

    // A failed input must leave an existing .msh file as it was, and create none.
    void expectFailure(const std::string& objPath, const std::string& sidePath,
                       const std::string& message) {
        const RunResult result = hardening::runQuillin(objPath, msh, sidePath);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, message);
        EXPECT_FALSE(fileExists(msh));
        writeFile(msh, "kept");
        EXPECT_EQ(hardening::runQuillin(objPath, msh, sidePath).status, -1);
        EXPECT_EQ(readFile(msh), "kept");
    }
};

TEST_F(QuillinInput, ObjThatIsADirectory) {
    const std::string path = dir.path().string();
    expectFailure(path, "", "ERROR: Could not read .obj file \"" + path + "\"\n");
}

TEST_F(QuillinInput, MissingObj) {
    const std::string path = dir.file("missing.obj");
    expectFailure(path, side, "ERROR: Could not open .obj file \"" + path + "\" for reading\n");
}

#ifndef _WIN32
TEST_F(QuillinInput, UnreadableObj) {
    if (runningAsRoot())
        GTEST_SKIP() << "root reads files without read permission";
    ::chmod(obj.c_str(), 0);
    expectFailure(obj, side, "ERROR: Could not open .obj file \"" + obj + "\" for reading\n");
}
#endif

TEST_F(QuillinInput, SideFileThatIsADirectory) {
    const std::string path = dir.path().string();
    expectFailure(obj, path, "ERROR: Could not read .matrix file \"" + path + "\"\n");
}

TEST_F(QuillinInput, MissingSideFile) {
    const std::string path = dir.file("missing.matrix");
    expectFailure(obj, path, "ERROR: Could not open .matrix file \"" + path + "\" for reading\n");
}

#ifndef _WIN32
TEST_F(QuillinInput, UnreadableSideFile) {
    if (runningAsRoot())
        GTEST_SKIP() << "root reads files without read permission";
    ::chmod(side.c_str(), 0);
    expectFailure(obj, side, "ERROR: Could not open .matrix file \"" + side + "\" for reading\n");
}
#endif

// A device may hold endless bytes (/dev/zero): it is refused at once, as the OBJ file or the side
// file. Windows has its null device.
TEST_F(QuillinInput, DeviceIsRefused) {
#ifdef _WIN32
    const std::string device = "NUL";
#else
    const std::string device = "/dev/zero";
#endif
    expectFailure(device, "",
                  "ERROR: .obj file \"" + device + "\" is not a regular file or a pipe\n");
    std::remove(msh.c_str());
    expectFailure(obj, device,
                  "ERROR: .matrix file \"" + device + "\" is not a regular file or a pipe\n");
}

#ifndef _WIN32
// Pipes named by a path, as POSIX systems have them.

// A pipe longer than the limit (lowered here to 1 MiB) is refused, as the OBJ file or the side
// file, once the limit and one byte more are read.
TEST_F(QuillinInput, PipeLongerThanTheLimitIsRefused) {
    pipeLimitBytes = uint64_t{1} << 20;
    for (const char* kind : {".obj", ".matrix"}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::thread writer([&] {
            const std::string text((size_t{1} << 20) + 1, '\n');
            EXPECT_EQ(::write(ends[1], text.data(), text.size()), ssize_t(text.size()));
            ::close(ends[1]);
        });
        const std::string path = "/dev/fd/" + std::to_string(ends[0]);
        const bool isObj = std::string(kind) == ".obj";
        const RunResult result = hardening::runQuillin(isObj ? path : obj, msh, isObj ? "" : path);
        char rest[4096];
        while (::read(ends[0], rest, sizeof rest) > 0) {
        }
        writer.join();
        ::close(ends[0]);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err,
                  "ERROR: " + std::string(kind) + " file \"" + path +
                      "\" is a pipe of more than 1 MiB; save it as a regular file first\n");
        EXPECT_FALSE(fileExists(msh));
    }
    pipeLimitBytes = kPipeLimitBytes;
}
#endif

TEST_F(QuillinInput, EmptyObjAndEmptySideFileGiveAnEmptyMesh) {
    writeFile(obj, "");
    writeFile(side, "");
    const RunResult result = hardening::runQuillin(obj, msh, side);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fileExists(msh));
    EXPECT_EQ(readFile(msh), "");
}

} // namespace
