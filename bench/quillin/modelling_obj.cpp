#include "modelling_obj.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Appends text to a reused 1 MiB buffer and writes it out whenever it fills.
class TextOut {
public:
    explicit TextOut(const std::string& path) : file_(std::fopen(path.c_str(), "wb")), path_(path) {
        if (file_ == nullptr)
            throw std::runtime_error("cannot create " + path);
        buffer_.resize(size_t{1} << 20);
    }
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;
    ~TextOut() {
        if (file_ != nullptr)
            std::fclose(file_);
    }

    void text(std::string_view part) {
        room(part.size());
        std::copy(part.begin(), part.end(), buffer_.data() + used_);
        used_ += part.size();
    }
    // " %.6f"
    void number(double value) {
        room(64);
        char* at = buffer_.data() + used_;
        *at++ = ' ';
        at = std::to_chars(at, buffer_.data() + buffer_.size(), value, std::chars_format::fixed, 6)
                 .ptr;
        used_ = static_cast<size_t>(at - buffer_.data());
    }
    // "a/b/c" after a space
    void corner(uint64_t position, uint64_t texture, uint64_t normal) {
        room(64);
        char* at = buffer_.data() + used_;
        char* const end = buffer_.data() + buffer_.size();
        *at++ = ' ';
        at = std::to_chars(at, end, position).ptr;
        *at++ = '/';
        at = std::to_chars(at, end, texture).ptr;
        *at++ = '/';
        at = std::to_chars(at, end, normal).ptr;
        used_ = static_cast<size_t>(at - buffer_.data());
    }
    void newline() { text("\n"); }

    // Writes what is left and closes the file; returns the bytes written in all.
    uint64_t finish() {
        flush();
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (closed != 0)
            throw std::runtime_error("cannot write " + path_);
        return written_;
    }

private:
    void room(size_t size) {
        if (buffer_.size() - used_ < size)
            flush();
    }
    void flush() {
        if (used_ != 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_)
            throw std::runtime_error("cannot write " + path_);
        written_ += used_;
        used_ = 0;
    }

    std::FILE* file_;
    std::string path_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    uint64_t written_ = 0;
};

} // namespace

ModellingObjCounts modellingObjShape(uint32_t vertexCount) {
    ModellingObjCounts counts;
    counts.rows = std::max<uint32_t>(3, static_cast<uint32_t>(std::sqrt(double(vertexCount))));
    counts.columns = std::max<uint32_t>(3, vertexCount / counts.rows);
    const uint64_t rows = counts.rows, columns = counts.columns;
    counts.positions = rows * columns;
    counts.textureCoordinates = (rows + 1) * (columns + 1);
    counts.normals = rows * columns;
    counts.faces = rows * columns;
    return counts;
}

ModellingObjCounts writeModellingObj(const std::string& objPath, const std::string& mtlName,
                                     uint32_t vertexCount) {
    ModellingObjCounts counts = modellingObjShape(vertexCount);
    const uint64_t rows = counts.rows, columns = counts.columns;
    constexpr double kRingRadius = 1.0, kTubeRadius = 0.35;
    constexpr double kTurn = 2 * std::numbers::pi;

    {
        const std::filesystem::path mtlPath =
            std::filesystem::path(objPath).parent_path() / mtlName;
        TextOut mtl(mtlPath.string());
        mtl.text("# material of the benchmark's torus\nnewmtl Material\nNs 250.000000\nKa 1.000000 "
                 "1.000000 "
                 "1.000000\nKd 0.800000 0.800000 0.800000\nKs 0.500000 0.500000 0.500000\nd "
                 "1.000000\nillum 2\n");
        mtl.finish();
    }

    TextOut obj(objPath);
    obj.text("# OBJ text as a modelling tool exports it: a quad torus of ");
    obj.text(std::to_string(rows) + " x " + std::to_string(columns) + " vertices\n");
    obj.text("mtllib " + mtlName + "\no Object\n");

    // Ring i turns about the z axis, vertex j of a ring about the tube's centre line.
    std::vector<double> ringCos(rows), ringSin(rows), tubeCos(columns), tubeSin(columns);
    for (uint64_t i = 0; i < rows; ++i) {
        ringCos[i] = std::cos(kTurn * double(i) / double(rows));
        ringSin[i] = std::sin(kTurn * double(i) / double(rows));
    }
    for (uint64_t j = 0; j < columns; ++j) {
        tubeCos[j] = std::cos(kTurn * double(j) / double(columns));
        tubeSin[j] = std::sin(kTurn * double(j) / double(columns));
    }
    for (uint64_t i = 0; i < rows; ++i)
        for (uint64_t j = 0; j < columns; ++j) {
            const double distance = kRingRadius + kTubeRadius * tubeCos[j];
            obj.text("v");
            obj.number(distance * ringCos[i]);
            obj.number(distance * ringSin[i]);
            obj.number(kTubeRadius * tubeSin[j]);
            obj.newline();
        }
    for (uint64_t i = 0; i <= rows; ++i)
        for (uint64_t j = 0; j <= columns; ++j) {
            obj.text("vt");
            obj.number(double(j) / double(columns));
            obj.number(double(i) / double(rows));
            obj.newline();
        }
    for (uint64_t j = 0; j < columns; ++j)
        for (uint64_t i = 0; i < rows; ++i) {
            obj.text("vn");
            obj.number(tubeCos[j] * ringCos[i]);
            obj.number(tubeCos[j] * ringSin[i]);
            obj.number(tubeSin[j]);
            obj.newline();
        }
    obj.text("usemtl Material\ns 1\n");
    // Numbers count from 1; positions and normals wrap around, texture coordinates do not.
    const auto position = [&](uint64_t i, uint64_t j) {
        return (i % rows) * columns + j % columns + 1;
    };
    const auto texture = [&](uint64_t i, uint64_t j) { return i * (columns + 1) + j + 1; };
    const auto normal = [&](uint64_t i, uint64_t j) { return (j % columns) * rows + i % rows + 1; };
    for (uint64_t i = 0; i < rows; ++i)
        for (uint64_t j = 0; j < columns; ++j) {
            obj.text("f");
            for (const auto& [ci, cj] : {std::pair{i, j}, std::pair{i + 1, j},
                                         std::pair{i + 1, j + 1}, std::pair{i, j + 1}})
                obj.corner(position(ci, cj), texture(ci, cj), normal(ci, cj));
            obj.newline();
        }
    counts.bytes = obj.finish();
    return counts;
}
