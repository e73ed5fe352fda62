// mshLoad and mshLoadMemory on damaged input: every message with its exact offset, counts
// that the input cannot hold, every truncation, every allocation failure, and inputs that
// are not regular files.
#include "msh.h"
#include "msh_alloc.h"
#include "msh_test_bytes.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <thread>
#endif

namespace {

using namespace meshtest;

const char* const allocationFailure = "mshLoad(): ERROR: Could not allocate needed memory\n";

std::string zeros(size_t n) { return std::string(n, '\0'); }

// Loads the bytes both from memory (named "x.msh") and from a file, and checks that both fail
// with the read message at `offset`.
void expectReadFailure(const std::string& bytes, size_t offset) {
    const LoadResult fromMemory = loadMemory(bytes);
    EXPECT_EQ(fromMemory.mesh, nullptr);
    EXPECT_EQ(fromMemory.errors, readMessage("x.msh", offset));

    quilltest::TempDir dir;
    const std::string path = dir.file("x.msh");
    quilltest::writeFile(path, bytes);
    const LoadResult fromFile = loadFile(path);
    EXPECT_EQ(fromFile.mesh, nullptr);
    EXPECT_EQ(fromFile.errors, readMessage(path, offset));
}

TEST(MeshLoadFailure, MissingFileGivesTheOpenMessage) {
    quilltest::TempDir dir;
    const std::string path = dir.file("none.msh");
    const LoadResult loaded = loadFile(path);
    EXPECT_EQ(loaded.mesh, nullptr);
    EXPECT_EQ(loaded.errors,
              "mshLoad(): ERROR: Could not open .msh file \"" + path + "\" for binary reading\n");
}

TEST(MeshLoadFailure, DirectoryGivesTheOpenMessage) {
    quilltest::TempDir dir;
    const LoadResult loaded = loadFile(dir.path().string());
    EXPECT_EQ(loaded.mesh, nullptr);
    EXPECT_EQ(loaded.errors, "mshLoad(): ERROR: Could not open .msh file \"" + dir.path().string() +
                                 "\" for binary reading\n");
}

#ifndef _WIN32
// Named pipes and devices as POSIX systems have them.

// A pipe cannot tell its size, so nothing can be read from it with confidence.
TEST(MeshLoadFailure, PipeGivesTheReadMessageAtZero) {
    quilltest::TempDir dir;
    const std::string path = dir.file("pipe.msh");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // Opening the other end lets the loader's open return; writing into it could meet a
    // closed reader, so nothing is written.
    std::thread writer([&path] {
        if (std::FILE* out = std::fopen(path.c_str(), "wb"))
            std::fclose(out);
    });
    const LoadResult loaded = loadFile(path);
    writer.join();
    EXPECT_EQ(loaded.mesh, nullptr);
    EXPECT_EQ(loaded.errors, readMessage(path, 0));
}

TEST(MeshLoadFailure, EndlessDeviceGivesTheReadMessageAtZeroNotAnEmptyMesh) {
    // /dev/zero seeks to a size of 0 yet never ends: it is no .msh file, not an empty one.
    const LoadResult loaded = loadFile("/dev/zero");
    EXPECT_EQ(loaded.mesh, nullptr);
    EXPECT_EQ(loaded.errors, readMessage("/dev/zero", 0));
}
#endif

TEST(MeshLoadFailure, NullMemoryBlockIsEmptyOnlyWhenItsSizeIsZero) {
    testing::internal::CaptureStderr();
    MeshHandle empty(mshLoadMemory(nullptr, 0, "n.msh"));
    MeshHandle missing(mshLoadMemory(nullptr, 16, "n.msh"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), readMessage("n.msh", 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->vertices, nullptr);
    EXPECT_EQ(missing, nullptr);
}

TEST(MeshLoadFailure, UnknownTagNamesTagCountOffsetAndFile) {
    const LoadResult loaded = loadMemory(header("ABCD", 5) + zeros(40));
    EXPECT_EQ(loaded.mesh, nullptr);
    EXPECT_EQ(loaded.errors, "mshLoad(): ERROR: Unknown section type 1145258561 of size 5 at "
                             "offset 8 in file \"x.msh\"\n");

    const LoadResult later = loadMemory(header("GTOM", 1) + u32le(3) + header("vert", 0));
    EXPECT_EQ(later.errors, "mshLoad(): ERROR: Unknown section type 1953654134 of size 0 at "
                            "offset 20 in file \"x.msh\"\n");
}

TEST(MeshLoadFailure, ShortHeaderIsReportedAtItsOffset) {
    for (size_t stray = 1; stray <= 7; ++stray) {
        SCOPED_TRACE(stray);
        expectReadFailure(zeros(stray), 0);
        expectReadFailure(header("GTOM", 1) + u32le(3) + std::string("GRPL\1\0\0", stray), 12);
    }
    // An end tag is only honoured when its whole header is there.
    expectReadFailure(header("VERT", 0) + "AVW2", 8);
}

TEST(MeshLoadFailure, ShortVertexRecordIsReportedAtItsStart) {
    expectReadFailure(header("VERT", 2) + zeros(32 + 31), 40);
    expectReadFailure(header("VERT", 2) + zeros(5), 8);
}

TEST(MeshLoadFailure, ShortNormalRecordIsReportedAtItsStart) {
    expectReadFailure(header("VERT", 2) + zeros(64 + 12 + 11), 84);
    expectReadFailure(header("VERT", 2) + zeros(64), 72);
}

// A count the input cannot hold fails at once, where reading would have stopped, with no
// table allocated: only the mesh record is.
TEST(MeshLoadFailure, HugeCountInATinyInputFailsWithoutAllocating) {
    struct Case {
        std::string bytes;
        size_t offset;
        uint64_t allocations; // the record, and the empty groups table of the last case
    };
    const Case cases[] = {
        {header("VERT", 0xFFFFFFFF) + zeros(8), 8, 1},
        {header("INDL", 0xFFFFFFFF) + zeros(10), 14, 1},
        {header("GRPL", 0xFFFFFFFF) + zeros(100), 108, 1},
        {header("GTOM", 0x80000000) + zeros(7), 12, 1},
        {header("MATL", 0xFFFFFFFF) + zeros(71), 44, 1},
        {header("GRPL", 0) + header("MATL", 0x10000000) + zeros(4), 16, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        const uint64_t before = mshAllocationCount();
        const LoadResult loaded = loadMemory(c.bytes);
        EXPECT_EQ(mshAllocationCount() - before, c.allocations);
        EXPECT_EQ(loaded.mesh, nullptr);
        EXPECT_EQ(loaded.errors, readMessage("x.msh", c.offset));
        expectReadFailure(c.bytes, c.offset);
    }
}

// A file with every kind of section, recording where each header and record starts.
FileBuilder fullFile() {
    FileBuilder file;
    file.section("VERT", 3);
    for (int i = 0; i < 3; ++i)
        file.record(f32le(float(i)) + f32le(1) + f32le(2) + u32le(0xFFFFFFFF) + zeros(16));
    for (int i = 0; i < 3; ++i)
        file.record(f32le(0) + f32le(0) + f32le(float(i)));
    file.endSection();
    file.section("INDL", 6);
    file.record(u16le(0) + u16le(1) + u16le(2));
    file.record(u16le(2) + u16le(1) + u16le(0));
    file.endSection();
    file.section("GRPL", 2);
    file.record(u32le(0) + u32le(3) + u32le(0) + u32le(3) + u32le(0));
    file.record(u32le(1) + u32le(3) + u32le(0) + u32le(3) + u32le(3));
    file.endSection();
    file.section("GTOM", 2);
    file.record(u32le(0));
    file.record(u32le(0));
    file.endSection();
    file.section("MATL", 1);
    file.record(zeros(36));
    file.endSection();
    return file;
}

// Every shorter prefix either ends at a section boundary, and loads the sections before it,
// or fails at the start of the header or record it cuts; the file and memory forms agree.
TEST(MeshLoadFailure, EveryTruncationFailsAtTheCutRecordUnlessAtASectionBoundary) {
    const FileBuilder file = fullFile();
    quilltest::TempDir dir;
    const std::string path = dir.file("cut.msh");
    for (size_t length = 0; length <= file.bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::string prefix = file.bytes.substr(0, length);
        quilltest::writeFile(path, prefix);
        const LoadResult fromMemory = loadMemory(prefix);
        const LoadResult fromFile = loadFile(path);
        const auto& ends = file.sectionEnds;
        const size_t sections = size_t(std::find(ends.begin(), ends.end(), length) - ends.begin());
        if (sections < ends.size()) {
            ASSERT_NE(fromMemory.mesh, nullptr) << fromMemory.errors;
            ASSERT_NE(fromFile.mesh, nullptr) << fromFile.errors;
            EXPECT_EQ(fromMemory.mesh->vertices != nullptr, sections >= 1);
            EXPECT_EQ(fromMemory.mesh->triangles != nullptr, sections >= 2);
            EXPECT_EQ(fromMemory.mesh->groups != nullptr, sections >= 3);
            EXPECT_EQ(fromMemory.mesh->groupMatrix != nullptr, sections >= 4);
            EXPECT_EQ(fromFile.mesh->matrices != nullptr, sections >= 5);
            continue;
        }
        const size_t cut = *std::prev(
            std::upper_bound(file.recordStarts.begin(), file.recordStarts.end(), length));
        EXPECT_EQ(fromMemory.mesh, nullptr);
        EXPECT_EQ(fromMemory.errors, readMessage("x.msh", cut));
        EXPECT_EQ(fromFile.mesh, nullptr);
        EXPECT_EQ(fromFile.errors, readMessage(path, cut));
    }
}

// Each allocation of a load failing in turn gives the one message and no mesh; the memory
// form allocates the record and five tables, the file form also its read buffer.
TEST(MeshLoadFailure, EveryAllocationFailureIsReportedOnce) {
    const FileBuilder file = fullFile();
    quilltest::TempDir dir;
    const std::string path = dir.file("m.msh");
    quilltest::writeFile(path, file.bytes);
    struct Form {
        bool fromFile;
        uint64_t allocations;
    };
    for (const Form form : {Form{false, 6}, Form{true, 7}}) {
        SCOPED_TRACE(form.fromFile);
        for (uint64_t nth = 1; nth <= form.allocations + 1; ++nth) {
            SCOPED_TRACE(nth);
            mshFailAllocation(nth);
            LoadResult loaded = form.fromFile ? loadFile(path) : loadMemory(file.bytes);
            mshFailAllocation(0);
            if (nth <= form.allocations) {
                EXPECT_EQ(loaded.mesh, nullptr);
                EXPECT_EQ(loaded.errors, allocationFailure);
            } else {
                EXPECT_NE(loaded.mesh, nullptr);
                EXPECT_EQ(loaded.errors, "");
            }
        }
    }
}

} // namespace
