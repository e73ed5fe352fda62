#include "assemble.h"

#include <algorithm>
#include <cstring>

namespace {

// Vertex k takes position k, texture coordinate k and normal k where those records exist.
void fillDefaultVertices(const ObjTables& obj, Mesh& mesh) {
    for (uint32_t k = 0; k < mesh.vertexCount; ++k) {
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

// Faces [first, end) become triangles [first, end), rebased to `baseVertex`; each corner writes
// the texture coordinate and normal it gives into the vertex of its position.
void assembleFaces(const ObjTables& obj, uint32_t first, uint32_t end, uint32_t baseVertex, Mesh& mesh) {
    for (uint32_t i = first; i < end; ++i) {
        const ObjFace& face = obj.faces[i];
        for (int c = 0; c < 3; ++c) {
            const uint32_t position = face.positionIndex[c];
            mesh.triangles[i].index[c] = static_cast<uint16_t>(position - baseVertex);
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
}

void assembleGroups(const ObjTables& obj, Mesh& mesh) {
    for (uint32_t j = 0; j < obj.groupCount; ++j) {
        const ObjGroup& group = obj.groups[j];
        mesh.groups[j] = MeshGroup{group.id, 3 * group.faceCount, group.baseVertex, group.vertexCount,
                                   3 * group.firstFace};
    }
    // Faces before the first group record belong to no group: their base is 0.
    const uint32_t ungroupedEnd = obj.storedGroups != 0 ? obj.groups[0].firstFace : obj.storedFaces;
    assembleFaces(obj, 0, std::min(ungroupedEnd, obj.storedFaces), 0, mesh);
    for (uint32_t j = 0; j < obj.storedGroups; ++j) {
        const ObjGroup& group = obj.groups[j];
        const uint32_t first = std::min(group.firstFace, obj.storedFaces);
        const uint32_t end = first + std::min(group.faceCount, obj.storedFaces - first);
        assembleFaces(obj, first, end, group.baseVertex, mesh);
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
    fillDefaultVertices(obj, mesh);
    assembleGroups(obj, mesh);
    assembleMatrices(side, mesh);
}
