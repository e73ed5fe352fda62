// A Mesh over tables held in vectors, for building small meshes in tests without the loader.
#pragma once

#include "msh.h"

#include <vector>

namespace quillouttest {

struct MeshTables {
    std::vector<MeshVertex> vertices;
    std::vector<MeshTriangle> triangles;
    std::vector<MeshGroup> groups;
    std::vector<uint32_t> groupMatrix;
    std::vector<MeshMatrix> matrices;

    // Empty vectors become absent tables.
    Mesh mesh() {
        Mesh result{};
        result.vertices = vertices.empty() ? nullptr : vertices.data();
        result.vertexCount = uint32_t(vertices.size());
        result.triangles = triangles.empty() ? nullptr : triangles.data();
        result.triangleCount = uint32_t(triangles.size());
        result.groups = groups.empty() ? nullptr : groups.data();
        result.groupCount = uint32_t(groups.size());
        result.groupMatrix = groupMatrix.empty() ? nullptr : groupMatrix.data();
        result.groupMatrixCount = uint32_t(groupMatrix.size());
        result.matrices = matrices.empty() ? nullptr : matrices.data();
        result.matrixCount = uint32_t(matrices.size());
        return result;
    }
};

// MeshGroup fields in their record order: id, indexCount, baseVertex, vertexCount, firstIndex.
inline MeshGroup group(uint32_t id, uint32_t indexCount, uint32_t baseVertex, uint32_t firstIndex) {
    return MeshGroup{id, indexCount, baseVertex, 0, firstIndex};
}

inline MeshMatrix identityMatrix() { return MeshMatrix{{1, 0, 0, 0, 1, 0, 0, 0, 1}}; }

} // namespace quillouttest
