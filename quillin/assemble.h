// Building the mesh from the working tables: vertex k is position k, each group's triangles are
// its faces rebased to the group's base vertex, and the side-file tables fill the group-to-matrix
// table and the matrices.
#pragma once

#include "msh.h"
#include "obj_reader.h"
#include "side_file_reader.h"

#include <cstdint>

// The largest of the position, texture-coordinate and normal counts.
uint32_t meshVertexCount(const ObjTables& obj);

// Fills a mesh made by mshCreate(meshVertexCount(obj), obj.faceCount, obj.groupCount,
// side.pairCount, side.matrixCount). Entries nothing fills keep the zeros mshCreate gave them.
void assembleMesh(const ObjTables& obj, const SideTables& side, Mesh& mesh);

// Meshes of at least this many vertices and faces together are assembled in two shares on two
// threads.
inline constexpr uint64_t kParallelAssemblyFrom = uint64_t{1} << 18;

// The same with the size from which two threads share the work (UINT64_MAX: always one).
void assembleMeshWith(const ObjTables& obj, const SideTables& side, Mesh& mesh, uint64_t parallelFrom);
