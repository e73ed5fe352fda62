// Every output appears whole or not at all: the exporter's OBJ file and side file and the
// importer's .msh file replace an earlier file only once complete, keep its permission bits,
// replace the file a link leads to, and leave the earlier file byte for byte when writing
// fails. Outputs that are no regular file, and files beside which no temporary file can be
// made, are written in place.
#include "hardening_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using hardening::RunResult;
using quilltest::readFile;
using quilltest::TempDir;
using quilltest::writeFile;

// One kind of output: which run writes it, under which file name in the output folder, and a
// file size limit at which its writing fails midway.
struct OutputKind {
    const char* what;
    std::string name;
    uint64_t failingSize;
    bool library; // the message is mshSave's
};

const std::vector<OutputKind> outputKinds = {
    {"quillout OBJ file", "out.obj", 1024, false},
    {"quillout side file", "out.matrix", 16384, false},
    {"quillin .msh file", "out.msh", 256, true},
};

#ifndef _WIN32
std::string writeMessage(const OutputKind& kind, const std::string& path) {
    return kind.library ? "mshSave(): ERROR: Could not write data to file \"" + path + "\""
                        : "ERROR: Could not write to file \"" + path + "\"\n";
}
#endif

// An empty OBJ text (the mesh has no vertices, triangles or groups) and a side file of 200
// matrices, so that only the side file is large.
MeshHandle makeMatrixHeavyMesh() {
    MeshHandle mesh(mshCreate(0, 0, 0, 1, 200));
    for (uint32_t m = 0; mesh && m < mesh->matrixCount; ++m)
        mesh->matrices[m] = MeshMatrix{{-1.5f, 2, 3, 4, 5, 6, 7, 8, float(m)}};
    return mesh;
}

class WholeOutput : public testing::Test {
protected:
    TempDir dir;
    std::string inputs = dir.file("inputs");
    std::string outputs = dir.file("out");
    std::string msh, heavyMsh, obj, side;

    void SetUp() override {
        fs::create_directory(inputs);
        fs::create_directory(outputs);
        msh = hardening::saveSmallMesh(dir);
        heavyMsh = inputs + "/heavy.msh";
        const MeshHandle heavy = makeMatrixHeavyMesh();
        ASSERT_EQ(mshSave(heavyMsh.c_str(), heavy.get()), 1);
        obj = inputs + "/in.obj";
        side = inputs + "/in.matrix";
        ASSERT_EQ(hardening::runQuillout(msh, obj).status, 0);
    }

    // The run that writes this kind of output at `path` (a side file beside an OBJ path).
    RunResult run(const OutputKind& kind, const std::string& path) {
        if (kind.name == "out.msh")
            return hardening::runQuillin(obj, path, side);
        if (kind.name == "out.matrix")
            return hardening::runQuillout(heavyMsh, path.substr(0, path.size() - 7) + ".obj");
        return hardening::runQuillout(msh, path);
    }

    void resetOutputs() {
        fs::remove_all(outputs);
        fs::create_directory(outputs);
    }

    // The output of a clean run at `path` (a side file names itself in its first line), with
    // the output folder emptied again afterwards.
    std::string cleanOutput(const OutputKind& kind, const std::string& path) {
        resetOutputs();
        EXPECT_EQ(run(kind, path).status, 0);
        const std::string text = readFile(path);
        resetOutputs();
        return text;
    }

    // The names in the output folder, to prove that no temporary file is left behind.
    std::vector<std::string> outputNames() {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(outputs))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string outputPath(const OutputKind& kind) { return outputs + "/" + kind.name; }
};

#ifndef _WIN32
// Permission bits, the umask, links, file size limits, mounts, devices, fifos and inodes as
// POSIX systems have them.

mode_t permissionBits(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

ino_t inode(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_ino;
}

TEST_F(WholeOutput, ReplacedFileKeepsItsPermissionBitsAndIsReplacedWhole) {
    for (const OutputKind& kind : outputKinds) {
        const std::string path = outputPath(kind);
        const std::string expected = cleanOutput(kind, path);
        for (mode_t mode : {0600, 0754, 0640}) {
            SCOPED_TRACE(std::string(kind.what) + " mode " + std::to_string(mode));
            writeFile(path, "earlier");
            ::chmod(path.c_str(), mode);
            const RunResult result = run(kind, path);
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(readFile(path), expected);
            EXPECT_EQ(permissionBits(path), mode);
        }
        resetOutputs();
    }
}

TEST_F(WholeOutput, NewFileTakesTheUsualBitsUnderTheUmask) {
    for (const OutputKind& kind : outputKinds)
        for (mode_t mask : {022, 027, 0}) {
            SCOPED_TRACE(std::string(kind.what) + " umask " + std::to_string(mask));
            const mode_t saved = ::umask(mask);
            const RunResult result = run(kind, outputPath(kind));
            ::umask(saved);
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(permissionBits(outputPath(kind)), 0666 & ~mask);
            fs::remove(outputPath(kind));
        }
}

TEST_F(WholeOutput, LinkStaysAndTheFileItLeadsToIsReplaced) {
    const std::string elsewhere = dir.file("elsewhere");
    fs::create_directory(elsewhere);
    for (const OutputKind& kind : outputKinds) {
        SCOPED_TRACE(kind.what);
        const std::string expected = cleanOutput(kind, outputPath(kind));
        const std::string real = elsewhere + "/real";
        writeFile(real, "earlier");
        ::chmod(real.c_str(), 0640);
        fs::create_symlink("../elsewhere/real", outputPath(kind));
        EXPECT_EQ(run(kind, outputPath(kind)).status, 0);
        EXPECT_TRUE(fs::is_symlink(outputPath(kind)));
        EXPECT_EQ(readFile(real), expected);
        EXPECT_EQ(permissionBits(real), 0640u);
        EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 1);
        resetOutputs();
    }
}

// A file size limit makes the writing fail midway, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int);
};

TEST_F(WholeOutput, FailedWriteLeavesTheEarlierFileAndNoTemporaryFile) {
    for (const OutputKind& kind : outputKinds) {
        SCOPED_TRACE(kind.what);
        const std::string path = outputPath(kind);
        writeFile(path, "earlier");
        const std::vector<std::string> before = outputNames();
        RunResult result;
        {
            const FileSizeLimit limit(kind.failingSize);
            result = run(kind, path);
        }
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, writeMessage(kind, path));
        EXPECT_EQ(readFile(path), "earlier");
        // The side file fails after the OBJ file is complete; nothing else appears.
        std::vector<std::string> expectedNames = before;
        if (kind.name == "out.matrix")
            expectedNames.push_back("out.obj");
        std::sort(expectedNames.begin(), expectedNames.end());
        EXPECT_EQ(outputNames(), expectedNames);
        resetOutputs();
    }
}

// A real full disk: a one-page file system that the earlier file fills, reached through a link.
TEST_F(WholeOutput, FullDiskLeavesTheEarlierFile) {
    const std::string tiny = dir.file("tiny");
    fs::create_directory(tiny);
    if (::mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=4k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    for (const OutputKind& kind : outputKinds) {
        SCOPED_TRACE(kind.what);
        writeFile(tiny + "/earlier", "earlier");
        fs::create_symlink(tiny + "/earlier", outputPath(kind));
        const RunResult result = run(kind, outputPath(kind));
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, writeMessage(kind, outputPath(kind)));
        EXPECT_EQ(readFile(tiny + "/earlier"), "earlier");
        EXPECT_EQ(std::distance(fs::directory_iterator(tiny), fs::directory_iterator()), 1);
        resetOutputs();
    }
    ::umount2(tiny.c_str(), MNT_DETACH);
}

TEST_F(WholeOutput, DeviceAndFifoAreWrittenInPlace) {
    for (const OutputKind& kind : outputKinds) {
        SCOPED_TRACE(kind.what);
        const std::string expected = cleanOutput(kind, outputPath(kind));
        fs::create_symlink("/dev/null", outputPath(kind));
        EXPECT_EQ(run(kind, outputPath(kind)).status, 0);
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
        EXPECT_TRUE(fs::is_symlink(outputPath(kind)));
        resetOutputs();

        ASSERT_EQ(::mkfifo(outputPath(kind).c_str(), 0600), 0);
        std::string received;
        std::thread reader([&] { received = readFile(outputPath(kind)); });
        EXPECT_EQ(run(kind, outputPath(kind)).status, 0);
        reader.join();
        EXPECT_EQ(received, expected);
        EXPECT_TRUE(fs::is_fifo(outputPath(kind)));
        resetOutputs();
    }
}

// A name so long that ".<name>.tmp-XXXXXX" exceeds the file system's limit: no temporary file
// can be made, so the earlier file itself is rewritten.
TEST_F(WholeOutput, NoRoomForATemporaryNameWritesInPlace) {
    const std::string stem(245, 'n');
    for (const OutputKind& kind : outputKinds) {
        SCOPED_TRACE(kind.what);
        const std::string path = outputs + "/" + stem + kind.name.substr(3);
        const std::string expected = cleanOutput(kind, path);
        writeFile(path, "earlier");
        const ino_t before = inode(path);
        EXPECT_EQ(run(kind, path).status, 0);
        EXPECT_EQ(readFile(path), expected);
        EXPECT_EQ(inode(path), before);
        resetOutputs();
    }
}

#endif

// Permission checks hold as they did for writing in place; root passes them all.
TEST_F(WholeOutput, ReadOnlyFileIsRefusedAndUntouched) {
    if (hardening::runningAsRoot())
        GTEST_SKIP() << "root may write read-only files";
    for (const OutputKind& kind : outputKinds) {
        SCOPED_TRACE(kind.what);
        const std::string path = outputPath(kind);
        writeFile(path, "earlier");
        // 0444; on Windows the read-only attribute.
        fs::permissions(path,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const RunResult result = run(kind, path);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err,
                  kind.library
                      ? "mshSave(): ERROR: Could not open file \"" + path + "\" for binary writing"
                      : "ERROR: Could not open file \"" + path + "\" for writing\n");
        EXPECT_EQ(readFile(path), "earlier");
        // Windows removes no read-only file.
        fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
        resetOutputs();
    }
}

} // namespace
