// Planning the mesh before it is created: which vertex each face corner becomes, the triangles
// of every polygon, and the group records that hold them within 16-bit indices.
//
// Vertex k is position k, with texture coordinate k and normal k where they exist, unless
// corners name others: the first corner of position k that names a texture coordinate (or
// normal) gives vertex k that one. A later corner of position k that names another texture
// coordinate or normal gets a vertex of its own, added after the others and shared by every
// corner that names the same three; a part such a corner does not name is what vertex k
// carries. Each "g" record (and the faces before the first one) becomes one group record, or
// several in a row with the same id when its triangles span more than 65536 vertices; a
// triangle whose own corners lie further apart is drawn from copies of its vertices, added last.
#pragma once

#include "msh.h"
#include "quillin/obj_reader.h"
#include "quillin/side_file_reader.h"

#include <cstdint>

namespace quillin {

// A vertex beyond the positions' own: a position with a texture coordinate and normal (each
// kNoIndex when its corners name none: it then carries the position's own vertex's).
struct ExtraVertex {
    uint32_t position;
    uint32_t texcoord;
    uint32_t normal;
};

// A group record and the place of the "g" record it comes from (UINT32_MAX for the faces before
// the first).
struct PlannedRecord {
    MeshGroup group;
    uint32_t line;
};

struct MeshPlan {
    uint32_t baseVertexCount; // the largest of the position, texture-coordinate and normal counts
    uint64_t* claims;         // per position: the texture coordinate and normal its vertex carries
    ExtraVertex* extras;
    uint32_t extraCount;
    uint32_t* copies; // the vertex each copied vertex copies
    uint32_t copyCount;
    uint32_t copyCapacity;
    uint32_t* triangleVertices; // three per triangle: vertex numbers of the whole mesh
    uint32_t triangleCount;
    PlannedRecord* records;
    uint32_t recordCount;
    uint32_t recordCapacity;
    uint32_t groupMatrixCount;
    bool recordsAreGroups; // one record per "g" record, in order: the side file's rows name records
};

// The copies are numbered after the positions' own vertices and the extra ones.
inline uint32_t firstCopyVertex(const MeshPlan& plan) {
    return plan.baseVertexCount + plan.extraCount;
}

inline uint32_t plannedVertexCount(const MeshPlan& plan) {
    return firstCopyVertex(plan) + plan.copyCount;
}

// Plans the mesh of `obj`; false when memory runs out (the plan is then released).
bool planMesh(const ObjTables& obj, const SideTables& side, MeshPlan& plan);
void releaseMeshPlan(MeshPlan& plan);

// The texture coordinate and normal that vertex `position` (a position's own vertex) carries:
// those its corners named, or its own numbers where none did (kNoIndex beyond the table).
void claimedAttributes(const ObjTables& obj, const MeshPlan& plan, uint32_t position,
                       uint32_t& texcoord, uint32_t& normal);

// Meshes of at least this many vertices and faces together are filled in two shares on two
// threads.
inline constexpr uint64_t kParallelAssemblyFrom = uint64_t{1} << 18;

} // namespace quillin
