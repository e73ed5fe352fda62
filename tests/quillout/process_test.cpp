// The built quillout program run as a separate process: exit statuses, the streams its
// messages go to, and the files each failure leaves behind.
#include "mesh_tables.h"
#include "msh.h"
#include "run_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using quillouttest::group;
using quillouttest::identityMatrix;
using quillouttest::MeshTables;
using quilltest::quotedWord;

// The streams are text: their lines end with CR LF on Windows.
struct ProcessResult {
    int status; // the exit status, 0 to 255 (-1 from main is 255)
    std::string output;
    std::string errors;
};

ProcessResult runQuilloutProcess(const quilltest::TempDir& dir, const std::string& arguments) {
    const std::string outputPath = dir.file("stdout.txt");
    const std::string errorsPath = dir.file("stderr.txt");
    const std::string command = quilltest::programCommand(QUILLOUT_PATH) + arguments + " >" +
                                quotedWord(outputPath) + " 2>" + quotedWord(errorsPath);
    const int status = quilltest::runCommand(command);
    EXPECT_NE(status, quilltest::kAbnormalEnd) << command;
    ProcessResult result{status, quilltest::readFile(outputPath), quilltest::readFile(errorsPath)};
    std::filesystem::remove(outputPath);
    std::filesystem::remove(errorsPath);
    return result;
}

MeshTables smallMesh() {
    MeshTables tables;
    tables.vertices = {MeshVertex{-0.5f, 0.25f, 3.0f, 1.0f, 0.0f, 0.0f, 0.5f, 0.5f}};
    tables.triangles = {MeshTriangle{{0, 0, 0}}};
    tables.groups = {group(12, 3, 0, 0)};
    tables.groupMatrix = {0};
    tables.matrices = {identityMatrix()};
    return tables;
}

const std::string kSmallMeshObj = quilltest::platformText(
    "# Wavefront OBJ exported by quillout.exe\n\n"
    "v -0.500000000000000000000000 0.250000000000000000000000 3.000000000000000000000000\n"
    "# 1 vertices\n\n"
    "vt 0.500000000000000000000000 0.500000000000000000000000\n"
    "# 1 vertices\n\n"
    "vn 1.000000000000000000000000 0.000000000000000000000000 0.000000000000000000000000\n"
    "# 1 normals\n\n"
    "g 0/12\n"
    "f 1/1/1 1/1/1 1/1/1\n"
    "# 1 triangles in group\n\n"
    "# 1 triangles total\n");

std::string saveSmallMesh(const quilltest::TempDir& dir) {
    MeshTables tables = smallMesh();
    const Mesh mesh = tables.mesh();
    const std::string path = dir.file("in.msh");
    EXPECT_EQ(mshSave(path.c_str(), &mesh), 1);
    return path;
}

std::filesystem::path onlyEntry(const quilltest::TempDir& dir) {
    return std::filesystem::directory_iterator(dir.path())->path();
}

TEST(QuilloutProcess, UsageWithZeroOrOneArgumentTouchesNothing) {
    quilltest::TempDir dir;
    for (const std::string& arguments : {std::string(), " " + quotedWord(dir.file("in.msh"))}) {
        const ProcessResult result = runQuilloutProcess(dir, arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, quilltest::platformText("Usage: <msh file> <output file>\n"));
        EXPECT_EQ(result.errors, "");
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}

TEST(QuilloutProcess, ConvertsAMeshWithItsSideFile) {
    quilltest::TempDir dir;
    const std::string msh = saveSmallMesh(dir);
    const ProcessResult result = runQuilloutProcess(
        dir, " " + quotedWord(msh) + " " + quotedWord(dir.file("out.obj")) + " extra");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(quilltest::readFile(dir.file("out.obj")), kSmallMeshObj);
    const std::string side = dir.file("out.matrix");
    EXPECT_EQ(quilltest::readFile(side),
              quilltest::platformText("# " + side +
                                      "\n\n# Group to Matrix table\ng 0 0\n\n# Matrices\n"
                                      "m 1.000000000000000000000000 0.000000000000000000000000 "
                                      "0.000000000000000000000000 0.000000000000000000000000 "
                                      "1.000000000000000000000000 0.000000000000000000000000 "
                                      "0.000000000000000000000000 0.000000000000000000000000 "
                                      "1.000000000000000000000000\n"));
}

TEST(QuilloutProcess, MissingMshPrintsTheLoaderMessageAndCreatesNoObj) {
    quilltest::TempDir dir;
    const std::string msh = dir.file("missing.msh");
    const ProcessResult result =
        runQuilloutProcess(dir, " " + quotedWord(msh) + " " + quotedWord(dir.file("out.obj")));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors,
              quilltest::platformText("mshLoad(): ERROR: Could not open .msh file \"" + msh +
                                      "\" for binary reading\n"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(QuilloutProcess, MissingMshLeavesAnExistingObjUntruncated) {
    quilltest::TempDir dir;
    quilltest::writeFile(dir.file("out.obj"), "earlier obj\n");
    const ProcessResult result = runQuilloutProcess(dir, " " + quotedWord(dir.file("missing.msh")) +
                                                             " " + quotedWord(dir.file("out.obj")));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(quilltest::readFile(dir.file("out.obj")), "earlier obj\n");
}

TEST(QuilloutProcess, UnwritableObjPath) {
    quilltest::TempDir dir;
    const std::string msh = saveSmallMesh(dir);
    const std::string obj = dir.file("no-such-dir/out.obj");
    const ProcessResult result =
        runQuilloutProcess(dir, " " + quotedWord(msh) + " " + quotedWord(obj));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.errors,
              quilltest::platformText("ERROR: Could not open file \"" + obj + "\" for writing\n"));
    EXPECT_EQ(onlyEntry(dir), msh);
}

TEST(QuilloutProcess, SideFileThatCannotBeOpenedLeavesTheObjComplete) {
    quilltest::TempDir dir;
    const std::string msh = saveSmallMesh(dir);
    std::filesystem::create_directory(dir.path() / "out.matrix");
    const ProcessResult result =
        runQuilloutProcess(dir, " " + quotedWord(msh) + " " + quotedWord(dir.file("out.obj")));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.errors, quilltest::platformText("ERROR: Could not open file \"" +
                                                     dir.file("out.matrix") + "\" for writing\n"));
    EXPECT_EQ(quilltest::readFile(dir.file("out.obj")), kSmallMeshObj);
}

TEST(QuilloutProcess, FullDeviceIsAWriteFailure) {
    if (!quilltest::fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    quilltest::TempDir dir;
    const std::string msh = saveSmallMesh(dir);
    const ProcessResult result = runQuilloutProcess(dir, " " + quotedWord(msh) + " /dev/full");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors, "ERROR: Could not write to file \"/dev/full\"\n");
    EXPECT_FALSE(quilltest::fileExists("/dev/full.matrix"));
}

// A run of quillout started in the background, to be killed while it writes.
#ifdef _WIN32
using Writer = HANDLE;

Writer startWriter(const std::string& msh, const std::string& obj) {
    const std::wstring program = std::filesystem::path(QUILLOUT_PATH).wstring();
    const std::wstring first = std::filesystem::path(msh).wstring();
    const std::wstring second = std::filesystem::path(obj).wstring();
    const std::wstring quotedFirst = L"\"" + first + L"\"";
    const std::wstring quotedSecond = L"\"" + second + L"\"";
    const intptr_t handle = ::_wspawnl(_P_NOWAIT, program.c_str(), L"quillout", quotedFirst.c_str(),
                                       quotedSecond.c_str(), nullptr);
    return handle == -1 ? nullptr : reinterpret_cast<HANDLE>(handle);
}

bool writerRunning(Writer writer) { return ::WaitForSingleObject(writer, 0) == WAIT_TIMEOUT; }

// True when the run was still going and ended by being killed.
bool killWriter(Writer writer) {
    constexpr UINT kKilled = 0xDEAD;
    const bool killed = ::TerminateProcess(writer, kKilled) != 0;
    ::WaitForSingleObject(writer, INFINITE);
    DWORD code = 0;
    const bool ended = ::GetExitCodeProcess(writer, &code) != 0;
    ::CloseHandle(writer);
    return killed && ended && code == kKilled;
}
#else
using Writer = pid_t;

Writer startWriter(const std::string& msh, const std::string& obj) {
    // sh replaces itself with the program (or its emulator), which keeps the pid to kill.
    const std::string command = "exec " + quilltest::programCommand(QUILLOUT_PATH) + " " +
                                quotedWord(msh) + " " + quotedWord(obj);
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return writer;
}

bool writerRunning(Writer writer) { return ::waitpid(writer, nullptr, WNOHANG) == 0; }

// True when the run was still going and ended by being killed.
bool killWriter(Writer writer) {
    ::kill(writer, SIGKILL);
    int status = 0;
    ::waitpid(writer, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}
#endif

// Half a million vertices: about 115 MB of OBJ text, long enough to be caught halfway.
std::string saveLargeMesh(const quilltest::TempDir& dir) {
    MeshTables tables;
    tables.vertices.resize(500000);
    for (size_t i = 0; i < tables.vertices.size(); ++i) {
        const float f = float(i);
        tables.vertices[i] = MeshVertex{f, -f, f / 3, 0, 0, 1, f / 7, f / 9};
    }
    tables.groupMatrix = {0};
    tables.matrices = {identityMatrix()};
    const Mesh mesh = tables.mesh();
    const std::string path = dir.file("large.msh");
    EXPECT_EQ(mshSave(path.c_str(), &mesh), 1);
    return path;
}

// The temporary file a run is writing, once it holds some bytes; empty if none appears.
std::filesystem::path growingTemporaryFile(const std::filesystem::path& folder, Writer writer) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline && writerRunning(writer)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::error_code gone;
            if (entry.path().filename().string().starts_with(".out.obj.tmp-") &&
                std::filesystem::file_size(entry.path(), gone) > 0)
                return entry.path();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return {};
}

TEST(QuilloutProcess, RunKilledHalfwayLeavesTheEarlierFilesByteForByte) {
    quilltest::TempDir dir;
    const std::string msh = saveLargeMesh(dir);
    const std::filesystem::path folder = dir.path() / "out";
    std::filesystem::create_directory(folder);
    const std::string obj = (folder / "out.obj").string();
    quilltest::writeFile(obj, "earlier obj\n");
    quilltest::writeFile(folder / "out.matrix", "earlier side file\n");
    const Writer writer = startWriter(msh, obj);
    ASSERT_TRUE(writer != Writer{} && writer != Writer(-1));
    const std::filesystem::path temporary = growingTemporaryFile(folder, writer);
    const bool killed = killWriter(writer);
    ASSERT_FALSE(temporary.empty()) << "the run ended before it could be killed";
    EXPECT_TRUE(killed);
    EXPECT_EQ(quilltest::readFile(obj), "earlier obj\n");
    EXPECT_EQ(quilltest::readFile(folder / "out.matrix"), "earlier side file\n");
    // What the killed run leaves is recognisable by its name.
    const std::string name = temporary.filename().string();
    const std::string prefix = ".out.obj.tmp-";
    EXPECT_TRUE(name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
                std::all_of(name.begin() + prefix.size(), name.end(),
                            [](unsigned char c) { return std::isalnum(c); }))
        << name;
    EXPECT_TRUE(std::filesystem::exists(temporary));
}

} // namespace
