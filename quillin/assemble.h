// Building the mesh from the working tables and the plan: the vertices (each position's own,
// the extra ones and the copies), the triangles rebased to their group record's base vertex, the
// group records, and the side-file tables as the group-to-matrix table and the matrices.
#pragma once

#include "msh.h"
#include "quillin/mesh_plan.h"
#include "quillin/obj_reader.h"
#include "quillin/side_file_reader.h"

#include <cstdint>

namespace quillin {

// Fills a mesh made by mshCreate(plannedVertexCount(plan), plan.triangleCount,
// plan.recordCount, plan.groupMatrixCount, side.matrixCount). Entries nothing fills keep the
// zeros mshCreate gave them. False when memory for the group-to-matrix table runs out.
bool assembleMesh(const ObjTables& obj, const SideTables& side, const MeshPlan& plan, Mesh& mesh);

// The same with the size from which two threads share the work (UINT64_MAX: always one).
bool assembleMeshWith(const ObjTables& obj, const SideTables& side, const MeshPlan& plan,
                      Mesh& mesh, uint64_t parallelFrom);

} // namespace quillin
