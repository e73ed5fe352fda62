// Writes the small example mesh of examples/example.msh: three groups over consecutive
// triangles and consecutive vertex spans, every vertex used and each group's triangles using
// the first and last vertex of its span (so the mesh survives a trip through OBJ text and
// back), a group-to-matrix table and two matrices.
//
//   make_example <output .msh path>

#include "msh.h"

#include <cstdio>

namespace {

struct GroupShape {
    uint32_t id;
    uint32_t vertexCount;
};

// A quad (two triangles), a fan of five vertices (three triangles) and one triangle.
constexpr GroupShape shapes[] = {{10, 4}, {20, 5}, {30, 3}};
constexpr uint32_t vertexTotal = 12;
constexpr uint32_t triangleTotal = 6;

void fillVertices(Mesh& mesh) {
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        const float f = float(i);
        mesh.vertices[i] = MeshVertex{0.1f * f - 0.5f,
                                      1.0f / (f + 3.0f),
                                      -2.25f + 0.75f * f, // position
                                      0.0f,
                                      f < 6 ? 1.0f : -1.0f,
                                      0.0f, // normal
                                      f / 11.0f,
                                      1.0f - f / 11.0f}; // texture coordinate
    }
}

// Fans from the first vertex of each span: (0, 1, 2), (0, 2, 3), ... relative to baseVertex.
void fillGroupsAndTriangles(Mesh& mesh) {
    uint32_t baseVertex = 0;
    uint32_t triangle = 0;
    for (uint32_t g = 0; g < mesh.groupCount; ++g) {
        const uint32_t span = shapes[g].vertexCount;
        const uint32_t firstTriangle = triangle;
        for (uint32_t k = 1; k + 1 < span; ++k)
            mesh.triangles[triangle++] =
                MeshTriangle{{0, static_cast<uint16_t>(k), static_cast<uint16_t>(k + 1)}};
        mesh.groups[g] = MeshGroup{shapes[g].id, 3 * (triangle - firstTriangle), baseVertex, span,
                                   3 * firstTriangle};
        baseVertex += span;
    }
}

void fillMatrices(Mesh& mesh) {
    mesh.groupMatrix[0] = 0;
    mesh.groupMatrix[1] = 1;
    mesh.groupMatrix[2] = 0;
    mesh.matrices[0] = MeshMatrix{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    mesh.matrices[1] = MeshMatrix{{0.5f, -0.866025403f, 0, 0.866025403f, 0.5f, 0, 0, 0, 2.0f}};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: make_example <output .msh file>\n", stdout);
        return 0;
    }
    const MeshHandle mesh(mshCreate(vertexTotal, triangleTotal, 3, 3, 2));
    if (!mesh)
        return -1;
    fillVertices(*mesh);
    fillGroupsAndTriangles(*mesh);
    fillMatrices(*mesh);
    return mshSave(argv[1], mesh.get()) == 1 ? 0 : -1;
}
