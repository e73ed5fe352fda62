// Pieces must be cut exactly where a loop of fgets calls with a 256-byte buffer cuts them, and
// lines must come whole (with the lines a trailing backslash joins to them), however the blocks
// of the reader fall and however long the lines are.
#include "quillin/piece_reader.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

using quillin::forEachLine;
using quillin::InputResult;
using quillin::kPipeLimitBytes;
using quillin::makeReadBuffer;
using quillin::nextLine;
using quillin::nextPiece;
using quillin::Piece;
using quillin::PieceReader;
using quillin::pipeLimitBytes;
using quillin::prepareTextInput;
using quillin::ReadBuffer;
using quillin::releaseReadBuffer;
using quillin::releaseTextInput;
using quillin::startPieces;
using quillin::TextInput;
using quillin::textInputSize;

namespace {

using Pieces = std::vector<std::string>;

// The oracle: fgets with a 256-byte buffer; ftell tells each piece's length even across NULs.
Pieces fgetsPieces(const std::string& path) {
    Pieces pieces;
    FILE* file = std::fopen(path.c_str(), "rb");
    std::string all = quilltest::readFile(path);
    char line[256];
    long before = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        const long after = std::ftell(file);
        pieces.push_back(
            all.substr(static_cast<size_t>(before), static_cast<size_t>(after - before)));
        before = after;
    }
    std::fclose(file);
    return pieces;
}

// The oracle for whole lines: a line ends after a line end that no backslash (or backslash and
// carriage return) precedes within the line; a UTF-8 byte order mark at the start is dropped.
Pieces wholeLines(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    Pieces lines;
    std::string line;
    for (char c : text) {
        line.push_back(c);
        if (c != '\n')
            continue;
        const size_t n = line.size();
        const bool continued = (n >= 2 && line[n - 2] == '\\') ||
                               (n >= 3 && line[n - 2] == '\r' && line[n - 3] == '\\');
        if (!continued) {
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

enum class Walk { onePieceAtATime, inBlocks };

// Reads the file as prepareTextInput prepares it, through a block buffer of `capacity` bytes (0:
// the smallest the reader takes). The pieces come from nextPiece calls, or whole lines from
// forEachLine, which cuts them from whole blocks.
Pieces readerPieces(const std::string& path, size_t capacity, Walk walk = Walk::onePieceAtATime) {
    FILE* file = std::fopen(path.c_str(), "rb");
    TextInput input{file, nullptr, 0};
    if (capacity == 0) {
        EXPECT_EQ(prepareTextInput(file, input), InputResult::ok);
    }
    ReadBuffer buffer = makeReadBuffer(capacity);
    PieceReader reader;
    startPieces(reader, input, buffer);
    Pieces pieces;
    auto take = [&pieces](const Piece& piece) {
        pieces.emplace_back(piece.text, piece.length);
        EXPECT_EQ(piece.lineEnds, std::count(pieces.back().begin(), pieces.back().end(), '\n'));
        return true;
    };
    if (walk == Walk::inBlocks) {
        forEachLine(reader, take);
    } else {
        Piece piece;
        while (nextPiece(reader, piece))
            take(piece);
    }
    EXPECT_FALSE(reader.failed);
    releaseReadBuffer(buffer);
    releaseTextInput(input);
    std::fclose(file);
    return pieces;
}

TEST(PieceReader, LongLinesAreCutAt255Characters) {
    quilltest::TempDir dir;
    const std::string path = dir.file("a.obj");
    const std::string line300 = std::string(254, 'x') + "f 1 2 3" + std::string(38, 'y') + "\n";
    ASSERT_EQ(line300.size(), 300u);
    quilltest::writeFile(path, line300 + std::string(255, 'z') + "\n" + "end");
    const Pieces expected{std::string(254, 'x') + "f", " 1 2 3" + std::string(38, 'y') + "\n",
                          std::string(255, 'z'), "\n", "end"};
    EXPECT_EQ(readerPieces(path, 4096), expected);
    EXPECT_EQ(readerPieces(path, 0), expected);
    EXPECT_EQ(fgetsPieces(path), expected);
    const Pieces lines{line300, std::string(255, 'z') + "\n", "end"};
    EXPECT_EQ(readerPieces(path, 4096, Walk::inBlocks), lines);
    EXPECT_EQ(readerPieces(path, 0, Walk::inBlocks), lines);
}

TEST(PieceReader, AgreesWithFgetsOnRandomTextAndSmallBlocks) {
    quilltest::TempDir dir;
    const std::string path = dir.file("random.obj");
    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        std::string text;
        const int lines = static_cast<int>(random() % 200);
        for (int i = 0; i < lines; ++i) {
            const size_t length = random() % 4 == 0 ? random() % 700 : random() % 90;
            for (size_t k = 0; k < length; ++k)
                text.push_back(random() % 50 == 0 ? '\0' : static_cast<char>('a' + random() % 26));
            if (random() % 8 == 0)
                text += random() % 2 == 0 ? "\\" : "\\\r";
            if (random() % 10 != 0)
                text.push_back('\n');
        }
        quilltest::writeFile(path, text);
        const Pieces expected = fgetsPieces(path);
        EXPECT_EQ(readerPieces(path, 510), expected) << "round " << round;
        EXPECT_EQ(readerPieces(path, 1 << 20), expected) << "round " << round;
        EXPECT_EQ(readerPieces(path, 0), expected) << "round " << round;
        EXPECT_EQ(readerPieces(path, 510, Walk::inBlocks), wholeLines(text)) << "round " << round;
        EXPECT_EQ(readerPieces(path, 0, Walk::inBlocks), wholeLines(text)) << "round " << round;
    }
}

// Cutting lines from whole blocks: lines just around the block size, and lines far longer than
// a block or the reader's buffer, which then grows; a byte order mark is no part of a line.
TEST(PieceReader, LinesCutFromBlocksAreWhole) {
    quilltest::TempDir dir;
    const std::string path = dir.file("blocks.obj");
    std::string text;
    for (size_t length :
         {0, 1, 63, 64, 65, 127, 128, 253, 254, 255, 256, 257, 509, 510, 511, 765, 766})
        text += std::string(length, 'a' + static_cast<char>(length % 26)) + "\n";
    text += std::string(100000, 'q') + "\n" + std::string(70000, 'r') + "\\\n\n\n" +
            std::string(300, 's');
    for (const std::string& start : {std::string(), std::string("\xEF\xBB\xBF")}) {
        quilltest::writeFile(path, start + text);
        for (size_t capacity : {size_t{510}, size_t{4096}, size_t{0}})
            EXPECT_EQ(readerPieces(path, capacity, Walk::inBlocks), wholeLines(text)) << capacity;
    }
}

// The line-end mask in its vector form (where the host has one) against the byte-by-byte form,
// on random bytes of every line-end density, at every alignment; and one mask spelled out.
TEST(PieceReader, LineEndMaskAgreesWithTheByteByByteMask) {
    std::string block(64, 'a');
    block[0] = block[9] = block[63] = '\n';
    EXPECT_EQ(quillin::lineEndsIn64(block.data()), (uint64_t{1} << 63) | (1u << 9) | 1u);
    std::mt19937 random(64);
    std::string text(128, '\0');
    uint64_t mismatches = 0;
    for (uint32_t round = 0; round < 2000; ++round) {
        for (char& c : text)
            c = random() % (1 + round % 16) == 0 ? '\n' : static_cast<char>(random());
        for (size_t offset = 0; offset + 64 <= text.size(); ++offset)
            mismatches += quillin::lineEndsIn64(text.data() + offset) !=
                          quillin::lineEndsIn64Portably(text.data() + offset);
    }
    EXPECT_EQ(mismatches, 0u);
}

// A visit that says stop ends the walk at once, and the reader goes on from the line after it.
TEST(PieceReader, StoppingTheWalkLeavesTheReaderAtTheNextLine) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += std::string(static_cast<size_t>(i * 7 % 400), 'x') + (i % 5 == 0 ? "\\\n" : "\n");
    const Pieces all = [&] {
        PieceReader reader;
        startPieces(reader, TextInput{nullptr, text.data(), text.size()}, ReadBuffer{nullptr, 0});
        Pieces pieces;
        forEachLine(reader, [&](const Piece& piece) {
            pieces.emplace_back(piece.text, piece.length);
            return true;
        });
        return pieces;
    }();
    ASSERT_EQ(all, wholeLines(text));
    for (size_t stopAt : {size_t{0}, size_t{1}, size_t{17}, all.size() / 2, all.size() - 1}) {
        PieceReader reader;
        startPieces(reader, TextInput{nullptr, text.data(), text.size()}, ReadBuffer{nullptr, 0});
        Pieces pieces;
        forEachLine(reader, [&](const Piece& piece) {
            pieces.emplace_back(piece.text, piece.length);
            return pieces.size() <= stopAt;
        });
        EXPECT_EQ(pieces.size(), stopAt + 1);
        Piece piece;
        while (nextLine(reader, piece))
            pieces.emplace_back(piece.text, piece.length);
        EXPECT_EQ(pieces, all) << stopAt;
    }
}

// A file many times larger than the block buffer: pieces that straddle each refill must not
// change a byte.
TEST(PieceReader, LargeFileAgreesWithFgets) {
    quilltest::TempDir dir;
    const std::string path = dir.file("large.obj");
    std::mt19937 random(777);
    std::string text;
    while (text.size() < (size_t{9} << 20)) {
        const size_t length = random() % 8 == 0 ? random() % 600 : random() % 100;
        text.append(length, static_cast<char>('a' + random() % 26));
        if (random() % 64 == 0)
            text.push_back('\0');
        text.push_back('\n');
    }
    quilltest::writeFile(path, text);
    const Pieces expected = fgetsPieces(path);
    EXPECT_GT(expected.size(), 100000u);
    EXPECT_TRUE(readerPieces(path, 1 << 20) == expected);
    EXPECT_TRUE(readerPieces(path, 1 << 20, Walk::inBlocks) == wholeLines(text));
}

// Another program cutting the file short while it is read: the pass ends early at the new end
// (the file is never mapped, so nothing faults).
TEST(PieceReader, FileCutShortWhileReadEndsThePass) {
    quilltest::TempDir dir;
    const std::string path = dir.file("shrinking.obj");
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "v 1.5 2.5 3.5\n";
    quilltest::writeFile(path, text);
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    TextInput input{};
    ASSERT_EQ(prepareTextInput(file, input), InputResult::ok);
    ReadBuffer buffer = makeReadBuffer(4096);
    PieceReader reader;
    startPieces(reader, input, buffer);
    size_t pieces = 0;
    Piece piece;
    while (pieces < 10 && nextPiece(reader, piece))
        ++pieces;
    std::filesystem::resize_file(path, 14 * 1000);
    size_t bytes = 14 * pieces;
    forEachLine(reader, [&](const Piece& next) {
        bytes += next.length;
        return true;
    });
    EXPECT_LT(bytes, text.size());
    EXPECT_GE(bytes, size_t{14} * 1000);
    EXPECT_FALSE(reader.failed);
    releaseReadBuffer(buffer);
    releaseTextInput(input);
    std::fclose(file);
}

#ifndef _WIN32
// popen runs a POSIX shell command.
TEST(PieceReader, StreamIsReadIntoMemoryAndReadTwice) {
    FILE* pipe = ::popen("printf 'v 1 2 3\\nf 1 1 1'", "r");
    ASSERT_NE(pipe, nullptr);
    TextInput input{};
    ASSERT_EQ(prepareTextInput(pipe, input), InputResult::ok);
    ASSERT_NE(input.memory, nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        PieceReader reader;
        startPieces(reader, input, ReadBuffer{nullptr, 0});
        Pieces pieces;
        Piece piece;
        while (nextPiece(reader, piece))
            pieces.emplace_back(piece.text, piece.length);
        EXPECT_EQ(pieces, (Pieces{"v 1 2 3\n", "f 1 1 1"}));
    }
    releaseTextInput(input);
    ::pclose(pipe);
}
#endif

// A pipe is read into memory up to the limit (growing past its first block on the way); one
// byte more and it is refused.
TEST(PieceReader, PipeIsReadUpToTheLimit) {
    const size_t limit = 40000;
    pipeLimitBytes = limit;
    for (const size_t size : {size_t{0}, size_t{100}, limit - 1, limit, limit + 1}) {
        int ends[2];
#ifdef _WIN32
        ASSERT_EQ(::_pipe(ends, 65536, _O_BINARY), 0);
#else
        ASSERT_EQ(::pipe(ends), 0);
#endif
        const std::string text(size, 'v');
        ASSERT_EQ(::write(ends[1], text.data(), size), ssize_t(size));
        ::close(ends[1]);
        FILE* pipe = ::fdopen(ends[0], "r");
        TextInput input{};
        const InputResult prepared = prepareTextInput(pipe, input);
        EXPECT_EQ(prepared, size <= limit ? InputResult::ok : InputResult::pipeTooLarge) << size;
        if (prepared == InputResult::ok) {
            EXPECT_EQ(std::string(input.memory, input.memorySize), text) << size;
        } else {
            EXPECT_EQ(input.memory, nullptr) << size;
        }
        releaseTextInput(input);
        std::fclose(pipe);
    }
    pipeLimitBytes = kPipeLimitBytes;
}

TEST(PieceReader, RegularFileIsReadInPlaceAndAnEmptyOneIsRead) {
    quilltest::TempDir dir;
    quilltest::writeFile(dir.file("a.obj"), "v 1 2 3\nf 1 1 1");
    quilltest::writeFile(dir.file("empty.obj"), "");
    for (const char* name : {"a.obj", "empty.obj"}) {
        FILE* file = std::fopen(dir.file(name).c_str(), "rb");
        ASSERT_NE(file, nullptr);
        TextInput input{};
        ASSERT_EQ(prepareTextInput(file, input), InputResult::ok);
        const bool empty = std::string(name) == "empty.obj";
        EXPECT_EQ(input.memory, nullptr) << name;
        EXPECT_EQ(textInputSize(input), empty ? 0u : 15u) << name;
        releaseTextInput(input);
        std::fclose(file);
    }
    EXPECT_EQ(readerPieces(dir.file("a.obj"), 0), (Pieces{"v 1 2 3\n", "f 1 1 1"}));
    EXPECT_EQ(readerPieces(dir.file("a.obj"), 0, Walk::inBlocks), (Pieces{"v 1 2 3\n", "f 1 1 1"}));
    EXPECT_EQ(readerPieces(dir.file("empty.obj"), 0), Pieces{});
}

#ifndef _WIN32
// Windows opens no directory as a stream.
TEST(PieceReader, DirectoryFailsToRead) {
    quilltest::TempDir dir;
    FILE* file = std::fopen(dir.path().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    TextInput input{};
    const InputResult prepared = prepareTextInput(file, input);
    bool failed = prepared == InputResult::readFailed;
    if (prepared == InputResult::ok) {
        ReadBuffer buffer = makeReadBuffer(4096);
        PieceReader reader;
        startPieces(reader, input, buffer);
        Piece piece;
        EXPECT_FALSE(nextPiece(reader, piece));
        failed = reader.failed;
        releaseReadBuffer(buffer);
    }
    EXPECT_TRUE(failed);
    releaseTextInput(input);
    std::fclose(file);
}

#endif

} // namespace
