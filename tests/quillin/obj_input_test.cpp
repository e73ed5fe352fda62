// Reading in two stretches on two threads must give exactly the tables, messages and result of
// reading in one stretch, wherever the seam falls among groups, faces and errors.
#include "quillin/obj_input.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>

using quillin::makeReadBuffer;
using quillin::ObjTables;
using quillin::ReadBuffer;
using quillin::ReadMode;
using quillin::readObjTables;
using quillin::releaseObjTables;
using quillin::releaseReadBuffer;
using quillin::StretchFallback;
using quillin::TextInput;
using quillin::TwoStretchSeam;
using quillin::twoStretchSeam;

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

TablesRead readWith(const std::string& path, bool fromMemory, ReadMode mode) {
    FILE* file = std::fopen(path.c_str(), "rb");
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
    TablesRead read{readObjTables(input, path.c_str(), buffer, mode, tables), "", ""};
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
        const TablesRead one = readWith(path, false, ReadMode::oneStretch);
        for (bool fromMemory : {false, true}) {
            const TablesRead two = readWith(path, fromMemory, ReadMode::twoStretches);
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
        const TablesRead one = readWith(path, false, ReadMode::oneStretch);
        ASSERT_TRUE(one.done) << one.err;
        for (bool fromMemory : {false, true}) {
            const TablesRead two = readWith(path, fromMemory, ReadMode::twoStretches);
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
        const TablesRead one = readWith(path, false, ReadMode::oneStretch);
        const TablesRead two = readWith(path, false, ReadMode::twoStretches);
        EXPECT_FALSE(one.done);
        EXPECT_FALSE(two.done);
        EXPECT_EQ(two.err, one.err);
        EXPECT_EQ(one.err.rfind("ERROR: Line ", 0), 0u) << one.err;
    }
}

void rewriteFile(void* change) {
    const auto& [path, text] = *static_cast<std::pair<std::string, std::string>*>(change);
    quilltest::writeFile(path, text);
}

// Each fallback of the two-stretch reading, made to happen through the test seam, gives the
// tables a one-stretch reading of the file (as it is after the change) gives.
TEST(ObjInput, EachFallbackGivesWhatOneStretchGives) {
    quilltest::TempDir dir;
    const std::string path = dir.file("in.obj");
    std::string vertices;
    std::string normals;
    for (int k = 0; k < 300; ++k) {
        vertices += "v " + std::to_string(k) + " 1 2\n";
        normals += "vn 0 " + std::to_string(k) + " 1\n";
    }
    const std::string original = "g a/1\n" + vertices + normals + "f 1 2 3\n";
    // The same records in another order: every chunk's counts change, the totals do not.
    std::pair<std::string, std::string> change{path, "g a/1\n" + normals + vertices + "f 3 2 1\n"};
    const struct {
        const char* what;
        int failThreadStartInPass;
        bool changeFile;
        StretchFallback taken;
    } cases[] = {
        {"no fallback", 0, false, StretchFallback::none},
        {"no thread for counting", 1, false, StretchFallback::threadNotStarted},
        {"no thread for parsing", 2, false, StretchFallback::threadNotStarted},
        {"file changed between the passes", 0, true, StretchFallback::inputChanged},
    };
    for (const auto& c : cases) {
        quilltest::writeFile(path, original);
        twoStretchSeam =
            TwoStretchSeam{c.failThreadStartInPass, c.changeFile ? rewriteFile : nullptr, &change,
                           StretchFallback::none};
        const TablesRead two = readWith(path, false, ReadMode::twoStretches);
        const StretchFallback taken = twoStretchSeam.taken;
        twoStretchSeam = TwoStretchSeam{};
        const TablesRead one = readWith(path, false, ReadMode::oneStretch);
        EXPECT_EQ(taken, c.taken) << c.what;
        EXPECT_TRUE(two.done) << c.what << two.err;
        EXPECT_EQ(two.err, "") << c.what;
        EXPECT_TRUE(two.bytes == one.bytes) << c.what;
    }
}

} // namespace
