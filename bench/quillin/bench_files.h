// The files the quillin benchmarks read, generated once per size in a temporary folder that is
// removed when the run ends: the OBJ text and side file quillout writes for a generated mesh,
// and the OBJ text of a quad torus as modelling tools write it.
#pragma once

#include "modelling_obj.h"

#include <cstdint>
#include <string>

struct BenchFiles {
    std::string dir;
    std::string obj;
    std::string side;
    std::string out;
    uint64_t objBytes = 0; // OBJ text and side file together
};

// The temporary folder, created on first use.
std::string benchDir();

// quillout's OBJ text and side file for a mesh of N vertices and 2N triangles in groups of
// 50000 vertices.
const BenchFiles& filesFor(uint32_t vertexCount);

struct ModellingFiles {
    std::string obj;
    std::string out;
    ModellingObjCounts counts; // counts.bytes: the OBJ text's size
};

// The modelling tool's OBJ text (with its material file beside it) for about N vertices.
const ModellingFiles& modellingFilesFor(uint32_t vertexCount);
