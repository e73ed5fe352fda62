// Every truncation length of valid inputs. A .msh file cut anywhere but at a section boundary
// fails with the read message at the offset of the first header or record that is not there
// whole; OBJ text and side files cut anywhere convert or fail with one message, never reading
// past what is there.
#include "hardening_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using hardening::RunResult;
using quilltest::fileExists;
using quilltest::readFile;
using quilltest::TempDir;
using quilltest::writeFile;

// The small mesh in writer order: each section's header and record blocks (record size,
// count), from the layout of the format.
struct Block {
    uint64_t recordSize;
    uint64_t count;
};
const std::vector<std::vector<Block>> smallMeshSections = {
    {{32, 7}, {12, 7}}, // VERT: vertex records, then normal records
    {{6, 4}},           // INDL
    {{20, 2}},          // GRPL
    {{4, 2}},           // GTOM
    {{36, 2}},          // MATL
};

// The offset the loader names for the first `length` bytes of the small mesh's file, or -1
// when they end at a section boundary and load.
int64_t expectedReadOffset(uint64_t length) {
    uint64_t start = 0;
    for (const std::vector<Block>& section : smallMeshSections) {
        if (length == start)
            return -1;
        if (length < start + 8)
            return int64_t(start);
        uint64_t position = start + 8;
        for (const Block& block : section) {
            const uint64_t end = position + block.recordSize * block.count;
            if (length < end)
                return int64_t(position +
                               (length - position) / block.recordSize * block.recordSize);
            position = end;
        }
        start = position;
    }
    return length == start ? -1 : int64_t(start);
}

std::string readMessage(const std::string& name, int64_t offset) {
    return "mshLoad(): ERROR: Could not read from file \"" + name + "\" at " +
           std::to_string(offset) + "\n";
}

TEST(Truncation, SmallMeshLayoutIsTheOneTheWriterProduces) {
    TempDir dir;
    EXPECT_EQ(readFile(hardening::saveSmallMesh(dir)).size(),
              8 + 44 * 7 + 8 + 24 + 8 + 40 + 8 + 8 + 8 + 72);
}

// Each prefix in an allocation of exactly its size, so that any read past it is caught.
TEST(Truncation, EveryPrefixOfAMshInMemory) {
    TempDir dir;
    const std::string whole = readFile(hardening::saveSmallMesh(dir));
    for (size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const std::unique_ptr<unsigned char[]> bytes(new unsigned char[length]);
        std::copy(whole.begin(), whole.begin() + length, bytes.get());
        testing::internal::CaptureStderr();
        Mesh* mesh = mshLoadMemory(bytes.get(), length, "cut.msh");
        const std::string err = testing::internal::GetCapturedStderr();
        const int64_t offset = expectedReadOffset(length);
        if (offset < 0) {
            EXPECT_NE(mesh, nullptr);
            EXPECT_EQ(err, "");
        } else {
            EXPECT_EQ(mesh, nullptr);
            EXPECT_EQ(err, readMessage("cut.msh", offset));
        }
        mshFree(mesh);
    }
}

TEST(Truncation, EveryPrefixOfAMshThroughQuillout) {
    TempDir dir;
    const std::string whole = readFile(hardening::saveSmallMesh(dir));
    const std::string msh = dir.file("cut.msh");
    const std::string obj = dir.file("cut.obj");
    size_t loaded = 0;
    for (size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        writeFile(msh, whole.substr(0, length));
        std::remove(obj.c_str());
        std::remove(dir.file("cut.matrix").c_str());
        const RunResult result = hardening::runQuillout(msh, obj);
        const int64_t offset = expectedReadOffset(length);
        if (offset < 0) {
            ++loaded;
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.err, "");
            EXPECT_TRUE(fileExists(obj));
            EXPECT_EQ(fileExists(dir.file("cut.matrix")), length == whole.size());
        } else {
            EXPECT_EQ(result.status, -1);
            EXPECT_EQ(result.err, readMessage(msh, offset));
            EXPECT_FALSE(fileExists(obj));
        }
    }
    EXPECT_EQ(loaded, 6u); // the empty file and the end of each of the five sections
}

// A run that failed must have printed exactly one "ERROR: " line and written nothing; a run
// that succeeded must have written a .msh file that loads.
void expectConvertedOrOneError(const RunResult& result, const std::string& msh) {
    if (result.status == 0) {
        EXPECT_EQ(result.err, "");
        const MeshHandle mesh(mshLoad(msh.c_str()));
        EXPECT_TRUE(mesh);
        return;
    }
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_FALSE(fileExists(msh));
}

class ImportTruncation : public testing::Test {
protected:
    TempDir dir;
    std::string obj = dir.file("in.obj");
    std::string side = dir.file("in.matrix");
    std::string cut = dir.file("cut.txt");
    std::string msh = dir.file("out.msh");

    void SetUp() override {
        ASSERT_EQ(hardening::runQuillout(hardening::saveSmallMesh(dir), obj).status, 0);
    }
};

// The exporter writes every vertex record before the faces, so an OBJ file cut at a line end
// always converts; a face cut inside its corners converts or fails with one message. Read in
// two stretches on two threads, each prefix gives the same result, message and bytes.
TEST_F(ImportTruncation, EveryPrefixOfTheObjText) {
    const std::string whole = readFile(obj);
    size_t failures = 0;
    for (size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        writeFile(cut, whole.substr(0, length));
        std::remove(msh.c_str());
        const RunResult result = hardening::runQuillin(cut, msh, side);
        expectConvertedOrOneError(result, msh);
        const std::string converted = readFile(msh);
        std::remove(msh.c_str());
        const RunResult twoStretches = hardening::runQuillinInTwoStretches(cut, msh, side);
        EXPECT_EQ(twoStretches.status, result.status);
        EXPECT_EQ(twoStretches.err, result.err);
        EXPECT_EQ(readFile(msh), converted);
        if (length == 0 || whole[length - 1] == '\n') {
            EXPECT_EQ(result.status, 0);
        }
        failures += result.status != 0;
    }
    EXPECT_GT(failures, 0u); // a face cut after its second corner has fewer than three
}

uint32_t linesStartingWith(const std::string& text, const std::string& start) {
    uint32_t lines = 0;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
        lines += text.compare(at, start.size(), start) == 0;
        if (text.find('\n', at) == std::string::npos)
            break;
    }
    return lines;
}

// Every row of the exported side file names a group position below the number of rows that
// precede and include it, so every prefix converts, with one pair per "g " row it holds.
TEST_F(ImportTruncation, EveryPrefixOfTheSideFile) {
    const std::string whole = readFile(side);
    for (size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const std::string text = whole.substr(0, length);
        writeFile(cut, text);
        std::remove(msh.c_str());
        const RunResult result = hardening::runQuillin(obj, msh, cut);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        const MeshHandle mesh(mshLoad(msh.c_str()));
        ASSERT_TRUE(mesh);
        EXPECT_EQ(mesh->groupMatrixCount, linesStartingWith(text, "g "));
        EXPECT_EQ(mesh->matrixCount, linesStartingWith(text, "m "));
    }
}

} // namespace
