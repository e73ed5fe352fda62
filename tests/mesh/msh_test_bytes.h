// Building .msh inputs byte by byte and running the loader on them, for the mesh tests.
#pragma once

#include "msh.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace meshtest {

inline std::string u16le(uint16_t value) { return {char(value & 0xFF), char(value >> 8)}; }

inline std::string u32le(uint32_t value) {
    return {char(value & 0xFF), char((value >> 8) & 0xFF), char((value >> 16) & 0xFF),
            char(value >> 24)};
}

inline std::string f32le(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    return u32le(bits);
}

inline std::string header(const char* tag, uint32_t count) {
    return std::string(tag, 4) + u32le(count);
}

// A file being assembled, remembering where each header and record starts.
struct FileBuilder {
    std::string bytes;
    std::vector<size_t> recordStarts;
    std::vector<size_t> sectionEnds{0};

    void section(const char* tag, uint32_t count) { record(header(tag, count)); }
    void record(const std::string& recordBytes) {
        recordStarts.push_back(bytes.size());
        bytes += recordBytes;
    }
    void endSection() { sectionEnds.push_back(bytes.size()); }
};

struct LoadResult {
    MeshHandle mesh;
    std::string errors;
};

// Loads from a heap block of exactly the input's size, so the address sanitizer sees any
// read past its end.
inline LoadResult loadMemory(const std::string& bytes, const char* name = "x.msh") {
    auto block = std::make_unique<unsigned char[]>(bytes.size() + (bytes.empty() ? 1 : 0));
    std::memcpy(block.get(), bytes.data(), bytes.size());
    testing::internal::CaptureStderr();
    MeshHandle mesh(mshLoadMemory(block.get(), bytes.size(), name));
    return {std::move(mesh), testing::internal::GetCapturedStderr()};
}

inline LoadResult loadFile(const std::string& path) {
    testing::internal::CaptureStderr();
    MeshHandle mesh(mshLoad(path.c_str()));
    return {std::move(mesh), testing::internal::GetCapturedStderr()};
}

inline std::string readMessage(const std::string& name, size_t offset) {
    return "mshLoad(): ERROR: Could not read from file \"" + name + "\" at " +
           std::to_string(offset) + "\n";
}

} // namespace meshtest
