#include "assemble.h"

#include <algorithm>
#include <cstring>

#include "two_threads.h"

namespace {

// Vertices [first, end): vertex k takes position k, texture coordinate k and normal k where
// those records exist.
void fillDefaultVertices(const ObjTables& obj, uint32_t first, uint32_t end, Mesh& mesh) {
    for (uint32_t k = first; k < end; ++k) {
        MeshVertex& vertex = mesh.vertices[k];
        if (k < obj.positionCount) {
            vertex.x = obj.positions[k].x;
            vertex.y = obj.positions[k].y;
            vertex.z = obj.positions[k].z;
        }
        if (k < obj.normalCount) {
            vertex.nx = obj.normals[k].x;
            vertex.ny = obj.normals[k].y;
            vertex.nz = obj.normals[k].z;
        }
        if (k < obj.texcoordCount) {
            vertex.u = obj.texcoords[k].u;
            vertex.v = obj.texcoords[k].v;
        }
    }
}

// Calls visit(first, end, baseVertex) for the runs of stored faces in order: the faces before
// the first group record (base 0), then each stored group's faces.
template <typename Visit>
void forEachFaceRun(const ObjTables& obj, Visit visit) {
    const uint32_t ungroupedEnd = obj.storedGroups != 0 ? obj.groups[0].firstFace : obj.storedFaces;
    visit(0u, std::min(ungroupedEnd, obj.storedFaces), 0u);
    for (uint32_t j = 0; j < obj.storedGroups; ++j) {
        const ObjGroup& group = obj.groups[j];
        const uint32_t first = std::min(group.firstFace, obj.storedFaces);
        visit(first, first + std::min(group.faceCount, obj.storedFaces - first), group.baseVertex);
    }
}

// Face i becomes triangle i, its position numbers rebased to the base vertex of its run, for
// the faces in [faceFirst, faceEnd).
void fillTriangles(const ObjTables& obj, uint32_t faceFirst, uint32_t faceEnd, Mesh& mesh) {
    forEachFaceRun(obj, [&](uint32_t first, uint32_t end, uint32_t baseVertex) {
        for (uint32_t i = std::max(first, faceFirst); i < std::min(end, faceEnd); ++i)
            for (int c = 0; c < 3; ++c)
                mesh.triangles[i].index[c] = static_cast<uint16_t>(obj.faces[i].positionIndex[c] - baseVertex);
    });
}

// Each corner, in run, face and corner order, writes the texture coordinate and normal it gives
// into the vertex of its position, if that vertex is in [vertexFirst, vertexEnd): the last
// corner naming a vertex decides it.
void applyCorners(const ObjTables& obj, uint32_t vertexFirst, uint32_t vertexEnd, Mesh& mesh) {
    forEachFaceRun(obj, [&](uint32_t first, uint32_t end, uint32_t) {
        for (uint32_t i = first; i < end; ++i) {
            const ObjFace& face = obj.faces[i];
            for (int c = 0; c < 3; ++c) {
                const uint32_t position = face.positionIndex[c];
                if (position < vertexFirst || position >= vertexEnd)
                    continue;
                MeshVertex& vertex = mesh.vertices[position];
                const uint32_t texcoord = face.texcoordIndex[c];
                if (texcoord != kNoIndex) {
                    vertex.u = obj.texcoords[texcoord].u;
                    vertex.v = obj.texcoords[texcoord].v;
                }
                const uint32_t normal = face.normalIndex[c];
                if (normal != kNoIndex) {
                    vertex.nx = obj.normals[normal].x;
                    vertex.ny = obj.normals[normal].y;
                    vertex.nz = obj.normals[normal].z;
                }
            }
        }
    });
}

// One share of the work: the vertices [vertexFirst, vertexEnd) and the triangles of the faces
// [faceFirst, faceEnd). Shares touch disjoint entries, so they can run at once.
void assembleShare(const ObjTables& obj, uint32_t vertexFirst, uint32_t vertexEnd, uint32_t faceFirst,
                   uint32_t faceEnd, Mesh& mesh) {
    fillDefaultVertices(obj, vertexFirst, vertexEnd, mesh);
    applyCorners(obj, vertexFirst, vertexEnd, mesh);
    fillTriangles(obj, faceFirst, faceEnd, mesh);
}

void fillGroups(const ObjTables& obj, Mesh& mesh) {
    for (uint32_t j = 0; j < obj.groupCount; ++j) {
        const ObjGroup& group = obj.groups[j];
        mesh.groups[j] = MeshGroup{group.id, 3 * group.faceCount, group.baseVertex, group.vertexCount,
                                   3 * group.firstFace};
    }
}

void assembleMatrices(const SideTables& side, Mesh& mesh) {
    for (uint32_t i = 0; i < side.pairCount; ++i)
        if (side.pairs[i].group < mesh.groupMatrixCount)
            mesh.groupMatrix[side.pairs[i].group] = side.pairs[i].matrix;
    if (side.matrixCount != 0)
        std::memcpy(mesh.matrices, side.matrices, sizeof(MeshMatrix) * side.matrixCount);
}

} // namespace

uint32_t meshVertexCount(const ObjTables& obj) {
    return std::max({obj.positionCount, obj.texcoordCount, obj.normalCount});
}

void assembleMesh(const ObjTables& obj, const SideTables& side, Mesh& mesh) {
    assembleMeshWith(obj, side, mesh, kParallelAssemblyFrom);
}

void assembleMeshWith(const ObjTables& obj, const SideTables& side, Mesh& mesh, uint64_t parallelFrom) {
    fillGroups(obj, mesh);
    const uint32_t vertices = mesh.vertexCount;
    const uint32_t faces = obj.storedFaces;
    const bool twoShares = uint64_t{vertices} + faces >= parallelFrom &&
                           runTogether([&] { assembleShare(obj, 0, vertices / 2, 0, faces / 2, mesh); },
                                       [&] { assembleShare(obj, vertices / 2, vertices, faces / 2, faces, mesh); });
    if (!twoShares)
        assembleShare(obj, 0, vertices, 0, faces, mesh);
    assembleMatrices(side, mesh);
}
