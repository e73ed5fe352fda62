// Helpers for the importer tests: running the importer in-process with captured streams,
// reading OBJ text held in memory, and building little-endian expected bytes.
#pragma once

#include "quillin/obj_reader.h"
#include "quillin/piece_reader.h"
#include "quillin/run.h"
#include "run_captured.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace quillintest {

using quillin::allocateObjTables;
using quillin::countObjLines;
using quillin::ObjCounts;
using quillin::ObjTables;
using quillin::parseObjLines;
using quillin::PieceReader;
using quillin::ReadBuffer;
using quillin::releaseObjTables;
using quillin::runQuillin;
using quillin::startPieces;
using quillin::TextInput;

using RunOutcome = quilltest::RunResult;

inline RunOutcome runImporter(std::vector<std::string> args) {
    args.insert(args.begin(), "quillin");
    return quilltest::runCaptured(runQuillin, std::move(args));
}

// OBJ text read through both passes from memory, with the tables the reader left.
struct ObjRead {
    ObjTables tables{};
    bool parsed = true;
    std::string err;

    ObjRead() = default;
    ObjRead(const ObjRead&) = delete;
    ObjRead& operator=(const ObjRead&) = delete;
    ~ObjRead() { releaseObjTables(tables); }
};

inline TextInput memoryInput(std::string& text) {
    return TextInput{nullptr, text.data(), text.size()};
}

// Counts, allocates at `counts` (or at the counted sizes) and parses.
inline void readObjText(std::string text, ObjRead& read, const ObjCounts* counts = nullptr) {
    const TextInput input = memoryInput(text);
    const ReadBuffer none{nullptr, 0};
    PieceReader reader;
    startPieces(reader, input, none);
    const ObjCounts counted = countObjLines(reader).records;
    ASSERT_TRUE(allocateObjTables(counts != nullptr ? *counts : counted, read.tables));
    startPieces(reader, input, none);
    testing::internal::CaptureStderr();
    read.parsed = parseObjLines(reader, read.tables, "in.obj");
    read.err = testing::internal::GetCapturedStderr();
}

inline ObjCounts countObjText(std::string text) {
    const TextInput input = memoryInput(text);
    PieceReader reader;
    startPieces(reader, input, ReadBuffer{nullptr, 0});
    return countObjLines(reader).records;
}

// Little-endian bytes for expected .msh contents.
struct Bytes {
    std::string data;

    Bytes& tag(const char* name) {
        data.append(name, 4);
        return *this;
    }
    Bytes& u32(uint32_t value) {
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        return *this;
    }
    Bytes& u16(uint16_t value) {
        data.push_back(static_cast<char>(value & 0xFF));
        data.push_back(static_cast<char>(value >> 8));
        return *this;
    }
    Bytes& f32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return u32(bits);
    }
};

} // namespace quillintest
