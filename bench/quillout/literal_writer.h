// The exporter's text written the literal way, one fprintf per record with "%8.24f": the
// yardstick the fast writer is measured against, and a check that both write the same bytes.
#pragma once

#include "msh.h"

#include <cstdio>

namespace quilloutbench {

inline int literalObjWriter(const char* mshPath, const char* objPath) {
    const MeshHandle mesh(mshLoad(mshPath));
    if (!mesh)
        return -1;
    std::FILE* file = std::fopen(objPath, "w");
    if (file == nullptr)
        return -1;
    const Mesh& m = *mesh;
    std::fprintf(file, "# Wavefront OBJ exported by quillout.exe\n\n");
    for (uint32_t i = 0; i < m.vertexCount; ++i)
        std::fprintf(file, "v %8.24f %8.24f %8.24f\n", double(m.vertices[i].x),
                     double(m.vertices[i].y), double(m.vertices[i].z));
    std::fprintf(file, "# %u vertices\n\n", m.vertexCount);
    for (uint32_t i = 0; i < m.vertexCount; ++i)
        std::fprintf(file, "vt %8.24f %8.24f\n", double(m.vertices[i].u), double(m.vertices[i].v));
    std::fprintf(file, "# %u vertices\n\n", m.vertexCount);
    for (uint32_t i = 0; i < m.vertexCount; ++i)
        std::fprintf(file, "vn %8.24f %8.24f %8.24f\n", double(m.vertices[i].nx),
                     double(m.vertices[i].ny), double(m.vertices[i].nz));
    std::fprintf(file, "# %u normals\n\n", m.vertexCount);
    for (uint32_t j = 0; j < m.groupCount; ++j) {
        const MeshGroup& g = m.groups[j];
        std::fprintf(file, "g %u/%u\n", j, g.id);
        const uint32_t n = g.indexCount / 3;
        const uint32_t t = g.firstIndex / 3;
        for (uint32_t k = 0; k < n; ++k) {
            const MeshTriangle& tri = m.triangles[t + k];
            const uint32_t a = tri.index[0] + g.baseVertex + 1;
            const uint32_t b = tri.index[1] + g.baseVertex + 1;
            const uint32_t c = tri.index[2] + g.baseVertex + 1;
            std::fprintf(file, "f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c, c);
        }
        std::fprintf(file, "# %u triangles in group\n\n", n);
    }
    std::fprintf(file, "# %u triangles total\n", m.triangleCount);
    return std::fclose(file) == 0 ? 0 : -1;
}

} // namespace quilloutbench
