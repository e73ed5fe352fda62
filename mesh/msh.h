// The mesh record and the reading and writing of .msh files.
//
// A Mesh holds five tables, each a pointer and an unsigned 32-bit count. A table is absent
// (null pointer, count 0) or present; a present table may be empty. The Mesh and its tables
// are one unit, released together by mshFree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct MeshVertex {
    float x, y, z;    // position
    float nx, ny, nz; // normal
    float u, v;       // texture coordinate
};

// Three vertex indices, each relative to the baseVertex of the group that draws the triangle.
struct MeshTriangle {
    uint16_t index[3];
};

struct MeshGroup {
    uint32_t id;          // carried through the OBJ text as the number after the '/' of "g"
    uint32_t indexCount;  // 3 per triangle
    uint32_t baseVertex;  // added to each of the group's 16-bit indices
    uint32_t vertexCount; // span of vertex numbers the group's indices use
    uint32_t firstIndex;  // position of the group's first index in the index stream
};

// Nine floats in storage order; never interpreted, only copied, stored and printed.
struct MeshMatrix {
    float value[9];
};

static_assert(sizeof(MeshVertex) == 32, "MeshVertex is eight floats");
static_assert(sizeof(MeshTriangle) == 6, "MeshTriangle is three u16");
static_assert(sizeof(MeshGroup) == 20, "MeshGroup is five u32");
static_assert(sizeof(MeshMatrix) == 36, "MeshMatrix is nine floats");

struct Mesh {
    MeshVertex* vertices;
    uint32_t vertexCount;
    MeshTriangle* triangles;
    uint32_t triangleCount;
    MeshGroup* groups;
    uint32_t groupCount;
    uint32_t* groupMatrix; // entry g: the matrix number of group g
    uint32_t groupMatrixCount;
    MeshMatrix* matrices;
    uint32_t matrixCount;
};

// Creates a mesh whose tables hold the given numbers of entries, zero-filled; a count of 0
// leaves that table absent. Returns null (after one message on stderr) when memory runs out.
Mesh* mshCreate(uint32_t vertexCount, uint32_t triangleCount, uint32_t groupCount,
                uint32_t groupMatrixCount, uint32_t matrixCount);

// Releases a mesh from mshCreate or mshLoad and every present table; null is accepted.
void mshFree(Mesh* mesh);

// Paths are UTF-8 strings on every system (on Windows they are opened through the wide file
// functions, so that any name works).

// Loads a .msh file. Returns a new mesh owned by the caller, or null after exactly one
// message on stderr.
Mesh* mshLoad(const char* path);

// Loads .msh bytes held in memory; `name` stands for the path in messages. Behaves exactly as
// mshLoad does on a file holding the same bytes.
Mesh* mshLoadMemory(const unsigned char* data, size_t size, const char* name);

// Writes a mesh as a .msh file, replacing any file at the path. Returns 1 on success and 0
// after one message (without a line end) on stderr.
int mshSave(const char* path, const Mesh* mesh);

// Owning handle for the edges of programs and tests.
struct MeshDeleter {
    void operator()(Mesh* mesh) const noexcept { mshFree(mesh); }
};
using MeshHandle = std::unique_ptr<Mesh, MeshDeleter>;
