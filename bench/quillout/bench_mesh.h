// The benchmark mesh: vertexCount vertices and twice as many triangles, in groups of at most
// 65536 vertices, with values spread like a real model's (positions within a few hundred
// units, unit normals, texture coordinates in [0, 1]). Saved once per size as a .msh file.
#pragma once

#include "msh.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace quilloutbench {

inline void fillBenchVertices(Mesh& mesh, std::mt19937& random) {
    std::uniform_real_distribution<float> position(-300.0f, 300.0f);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> texture(0.0f, 1.0f);
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        float nx = unit(random), ny = unit(random), nz = unit(random);
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz) + 1e-6f;
        mesh.vertices[i] =
            MeshVertex{position(random), position(random), position(random), nx / length,
                       ny / length,      nz / length,      texture(random),  texture(random)};
    }
}

// Each group owns a run of at most 65536 vertices and two triangles per vertex, every index
// inside its own run.
inline void fillBenchGroups(Mesh& mesh, std::mt19937& random) {
    uint32_t baseVertex = 0;
    uint32_t triangle = 0;
    for (uint32_t g = 0; g < mesh.groupCount; ++g) {
        const uint32_t span = std::min<uint32_t>(65536, mesh.vertexCount - baseVertex);
        mesh.groups[g] = MeshGroup{g + 100, 6 * span, baseVertex, span, 3 * triangle};
        for (uint32_t k = 0; k < 2 * span; ++k) {
            const uint32_t a = (k / 2 + random() % 3) % span;
            const uint32_t b = (a + 1 + random() % 200) % span;
            const uint32_t c = (b + 1 + random() % 200) % span;
            mesh.triangles[triangle++] = MeshTriangle{{uint16_t(a), uint16_t(b), uint16_t(c)}};
        }
        baseVertex += span;
    }
}

// The folder for the benchmark's files: $QUILLOUT_BENCH_DIR, else the temporary folder. The
// fast writer, the literal one and the large write all write there, to the same kind of file.
inline std::filesystem::path benchDir() {
    const char* chosen = std::getenv("QUILLOUT_BENCH_DIR");
    const std::filesystem::path base =
        chosen != nullptr ? std::filesystem::path(chosen) : std::filesystem::temp_directory_path();
    return base / ("quillout-bench-" + std::to_string(getpid()));
}

// Path of the .msh file for this size, written on first use in the benchmark folder.
inline std::string benchMeshPath(uint32_t vertexCount) {
    const std::filesystem::path dir = benchDir();
    std::filesystem::create_directories(dir);
    const std::string path = (dir / ("mesh-" + std::to_string(vertexCount) + ".msh")).string();
    if (std::filesystem::exists(path))
        return path;
    const uint32_t groupCount = (vertexCount + 65535) / 65536;
    const MeshHandle mesh(mshCreate(vertexCount, 2 * vertexCount, groupCount, groupCount, 4));
    std::mt19937 random(vertexCount);
    fillBenchVertices(*mesh, random);
    fillBenchGroups(*mesh, random);
    for (uint32_t g = 0; g < groupCount; ++g)
        mesh->groupMatrix[g] = g % 4;
    for (uint32_t m = 0; m < 4; ++m)
        for (int i = 0; i < 9; ++i)
            mesh->matrices[m].value[i] = float(m) * 0.25f + float(i) * 0.1f;
    if (mshSave(path.c_str(), mesh.get()) != 1)
        std::fprintf(stderr, "could not write %s\n", path.c_str());
    return path;
}

inline std::string benchOutputPath(const char* name) {
    const std::filesystem::path dir = benchDir();
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

inline void removeBenchFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(benchDir(), ignored);
}

} // namespace quilloutbench
