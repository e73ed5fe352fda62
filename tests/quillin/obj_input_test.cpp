// Reading in two stretches on two threads must give exactly the tables, messages and result of
// reading in one stretch, wherever the seam falls among groups, faces and errors.
#include "quillin/obj_input.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

using quillin::makeReadBuffer;
using quillin::ObjTables;
using quillin::ReadBuffer;
using quillin::readObjTables;
using quillin::releaseObjTables;
using quillin::releaseReadBuffer;
using quillin::TextInput;

namespace {

struct TablesRead {
    bool done;
    std::string err;
    std::string bytes; // every table entry and the stored counts, for comparison
};

template <typename T>
void appendTable(std::string& bytes, const T* table, uint32_t count) {
    bytes.append(reinterpret_cast<const char*>(&count), sizeof count);
    if (count != 0)
        bytes.append(reinterpret_cast<const char*>(table), sizeof(T) * count);
}

TablesRead readWith(const std::string& path, bool fromMemory, uint64_t parallelFromBytes) {
    FILE* file = std::fopen(path.c_str(), "r");
    EXPECT_NE(file, nullptr);
    TextInput input{file, nullptr, 0};
    std::string memory;
    if (fromMemory) {
        memory = quilltest::readFile(path);
        input = TextInput{nullptr, memory.data(), memory.size()};
    }
    ReadBuffer buffer = makeReadBuffer(4096);
    ObjTables tables{};
    testing::internal::CaptureStderr();
    TablesRead read{readObjTables(input, path.c_str(), buffer, parallelFromBytes, tables), "", ""};
    read.err = testing::internal::GetCapturedStderr();
    if (read.done) {
        appendTable(read.bytes, tables.positions, tables.positionCount);
        appendTable(read.bytes, tables.texcoords, tables.texcoordCount);
        appendTable(read.bytes, tables.normals, tables.normalCount);
        appendTable(read.bytes, tables.faces, tables.faceCount);
        appendTable(read.bytes, tables.groups, tables.groupCount);
        read.bytes +=
            std::to_string(tables.storedFaces) + "/" + std::to_string(tables.storedGroups);
    } else {
        EXPECT_EQ(tables.positions, nullptr);
        EXPECT_EQ(tables.faces, nullptr);
    }
    releaseObjTables(tables);
    releaseReadBuffer(buffer);
    std::fclose(file);
    return read;
}

// OBJ-like text with groups, faces before and after them, long lines, and now and then a bad
// reference, in random order.
std::string randomObj(std::mt19937& random, bool allowErrors) {
    std::string text;
    const int lines = 20 + static_cast<int>(random() % 200);
    int positions = 0;
    for (int i = 0; i < lines; ++i) {
        switch (random() % 10) {
        case 0:
        case 1:
        case 2:
            text += "v " + std::to_string(random() % 100) + ".5 1 -2\n";
            ++positions;
            break;
        case 3:
            text += "vt 0.25 " + std::to_string(random() % 9) + "\nvn 0 0 1\n";
            break;
        case 4:
        case 5:
        case 6:
            if (positions > 0) {
                const auto corner = [&] { return std::to_string(1 + random() % positions); };
                text += "f " + corner() + " " + corner() + " " + corner() + "\n";
            }
            break;
        case 7:
            text += "g part/" + std::to_string(random() % 50) + "\n";
            break;
        case 8:
            text += "# " + std::string(random() % 400, 'c') + "\n";
            break;
        default:
            if (allowErrors && random() % 8 == 0)
                text += "f 1 2 " + std::to_string(positions + 5) + "\n";
            else
                text += "s off\n";
        }
    }
    return text;
}

TEST(ObjInput, TwoStretchesGiveWhatOneStretchGives) {
    quilltest::TempDir dir;
    const std::string path = dir.file("in.obj");
    std::mt19937 random(31337);
    for (int round = 0; round < 300; ++round) {
        quilltest::writeFile(path, randomObj(random, round % 3 == 0));
        const TablesRead one = readWith(path, false, UINT64_MAX);
        for (bool fromMemory : {false, true}) {
            const TablesRead two = readWith(path, fromMemory, 0);
            ASSERT_EQ(two.done, one.done) << "round " << round;
            ASSERT_EQ(two.err, one.err) << "round " << round;
            ASSERT_TRUE(two.bytes == one.bytes) << "round " << round;
        }
    }
}

// The exporter's layout, every vertex record before every face: faces weigh more than their
// bytes, so the parsing seam moves away from the middle chunk boundary, and the tables must not
// tell.
TEST(ObjInput, VerticesThenFacesGiveWhatOneStretchGives) {
    quilltest::TempDir dir;
    const std::string path = dir.file("in.obj");
    for (int vertices : {40, 300, 3000}) {
        std::string text;
        for (int k = 0; k < vertices; ++k)
            text += "v " + std::to_string(k) + ".125 -1.5 2\n";
        for (int k = 0; k < vertices; ++k)
            text += "vt 0.5 0.25\nvn 0 0 1\n";
        for (int k = 0; k < 2 * vertices; ++k) {
            if (k % 100 == 0)
                text += "g " + std::to_string(k) + "/" + std::to_string(k / 100) + "\n";
            const auto corner = [&](int step) {
                const std::string n = std::to_string(1 + (k / 2 + step) % vertices);
                return n + "/" + n + "/" + n;
            };
            text += "f " + corner(0) + " " + corner(1) + " " + corner(2) + "\n";
        }
        quilltest::writeFile(path, text);
        const TablesRead one = readWith(path, false, UINT64_MAX);
        ASSERT_TRUE(one.done) << one.err;
        for (bool fromMemory : {false, true}) {
            const TablesRead two = readWith(path, fromMemory, 0);
            EXPECT_TRUE(two.done) << vertices;
            EXPECT_EQ(two.err, "") << vertices;
            EXPECT_TRUE(two.bytes == one.bytes) << vertices;
        }
    }
}

TEST(ObjInput, ErrorsInEitherStretchAreReportedAsInOneStretch) {
    quilltest::TempDir dir;
    const std::string path = dir.file("in.obj");
    std::string body;
    for (int i = 0; i < 200; ++i)
        body += "v 1 2 3\n";
    for (const std::string& text :
         {"f 1 2 999\n" + body + "f 1 2 998\n", body + "f 1 2 3\nf 0 1 2\n", "f 1 2\n" + body}) {
        quilltest::writeFile(path, text);
        const TablesRead one = readWith(path, false, UINT64_MAX);
        const TablesRead two = readWith(path, false, 0);
        EXPECT_FALSE(one.done);
        EXPECT_FALSE(two.done);
        EXPECT_EQ(two.err, one.err);
        EXPECT_EQ(one.err.rfind("ERROR: Line ", 0), 0u) << one.err;
    }
}

} // namespace
