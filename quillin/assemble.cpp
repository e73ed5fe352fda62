#include "quillin/assemble.h"

#include "msh_alloc.h"
#include "quillin/two_threads.h"

#include <algorithm>
#include <cstring>

namespace quillin {

namespace {

void setTexcoord(const ObjTables& obj, uint32_t texcoord, MeshVertex& vertex) {
    if (texcoord != kNoIndex) {
        vertex.u = obj.texcoords[texcoord].u;
        vertex.v = obj.texcoords[texcoord].v;
    }
}

void setNormal(const ObjTables& obj, uint32_t normal, MeshVertex& vertex) {
    if (normal != kNoIndex) {
        vertex.nx = obj.normals[normal].x;
        vertex.ny = obj.normals[normal].y;
        vertex.nz = obj.normals[normal].z;
    }
}

void setPosition(const ObjTables& obj, uint32_t position, MeshVertex& vertex) {
    if (position < obj.positionCount) {
        vertex.x = obj.positions[position].x;
        vertex.y = obj.positions[position].y;
        vertex.z = obj.positions[position].z;
    }
}

// The positions' own vertices [first, end) and the extra vertices [extraFirst, extraEnd).
void fillVertices(const ObjTables& obj, const MeshPlan& plan, uint32_t first, uint32_t end,
                  uint32_t extraFirst, uint32_t extraEnd, Mesh& mesh) {
    for (uint32_t k = first; k < end; ++k) {
        MeshVertex& vertex = mesh.vertices[k];
        uint32_t texcoord, normal;
        claimedAttributes(obj, plan, k, texcoord, normal);
        setPosition(obj, k, vertex);
        setTexcoord(obj, texcoord, vertex);
        setNormal(obj, normal, vertex);
    }
    for (uint32_t i = extraFirst; i < extraEnd; ++i) {
        const ExtraVertex& extra = plan.extras[i];
        MeshVertex& vertex = mesh.vertices[plan.baseVertexCount + i];
        uint32_t texcoord, normal;
        claimedAttributes(obj, plan, extra.position, texcoord, normal);
        setPosition(obj, extra.position, vertex);
        setTexcoord(obj, extra.texcoord != kNoIndex ? extra.texcoord : texcoord, vertex);
        setNormal(obj, extra.normal != kNoIndex ? extra.normal : normal, vertex);
    }
}

void fillCopies(const MeshPlan& plan, Mesh& mesh) {
    const uint32_t first = firstCopyVertex(plan);
    for (uint32_t i = 0; i < plan.copyCount; ++i)
        mesh.vertices[first + i] = mesh.vertices[plan.copies[i]];
}

// The triangles [first, end), each index its vertex less its record's base vertex.
void fillTriangles(const MeshPlan& plan, uint32_t first, uint32_t end, Mesh& mesh) {
    for (uint32_t r = 0; r < plan.recordCount; ++r) {
        const MeshGroup& record = plan.records[r].group;
        const uint32_t from = std::max(record.firstIndex / 3, first);
        const uint32_t to = std::min((record.firstIndex + record.indexCount) / 3, end);
        for (uint32_t t = from; t < to; ++t)
            for (int c = 0; c < 3; ++c)
                mesh.triangles[t].index[c] = static_cast<uint16_t>(
                    plan.triangleVertices[3 * size_t{t} + c] - record.baseVertex);
    }
}

// Each table row names a "g" record by its place; a later row for the same place wins. Group
// records take the matrix of their "g" record, or 0 for the faces before the first.
bool assembleMatrices(const SideTables& side, const MeshPlan& plan, Mesh& mesh) {
    if (side.matrixCount != 0)
        std::memcpy(mesh.matrices, side.matrices, sizeof(MeshMatrix) * side.matrixCount);
    if (plan.recordsAreGroups) {
        for (uint32_t i = 0; i < side.pairCount; ++i)
            if (side.pairs[i].group < mesh.groupMatrixCount)
                mesh.groupMatrix[side.pairs[i].group] = side.pairs[i].matrix;
        return true;
    }
    uint32_t* byLine = mshAllocateArray<uint32_t>(side.pairCount);
    if (byLine == nullptr)
        return false;
    for (uint32_t i = 0; i < side.pairCount; ++i)
        if (side.pairs[i].group < side.pairCount)
            byLine[side.pairs[i].group] = side.pairs[i].matrix;
    for (uint32_t r = 0; r < mesh.groupMatrixCount; ++r)
        mesh.groupMatrix[r] =
            plan.records[r].line < side.pairCount ? byLine[plan.records[r].line] : 0;
    mshRelease(byLine);
    return true;
}

} // namespace

bool assembleMesh(const ObjTables& obj, const SideTables& side, const MeshPlan& plan, Mesh& mesh) {
    return assembleMeshWith(obj, side, plan, mesh, kParallelAssemblyFrom);
}

bool assembleMeshWith(const ObjTables& obj, const SideTables& side, const MeshPlan& plan,
                      Mesh& mesh, uint64_t parallelFrom) {
    for (uint32_t r = 0; r < plan.recordCount; ++r)
        mesh.groups[r] = plan.records[r].group;
    const uint32_t base = plan.baseVertexCount;
    const uint32_t extras = plan.extraCount;
    const uint32_t triangles = plan.triangleCount;
    runShares(uint64_t{base} + triangles, parallelFrom, [&](int share) {
        const ShareRange vertices = shareOf(base, share), extraVertices = shareOf(extras, share);
        const ShareRange faces = shareOf(triangles, share);
        fillVertices(obj, plan, vertices.first, vertices.end, extraVertices.first,
                     extraVertices.end, mesh);
        fillTriangles(plan, faces.first, faces.end, mesh);
    });
    fillCopies(plan, mesh);
    return assembleMatrices(side, plan, mesh);
}

} // namespace quillin
