// Throughput of mshSave and mshLoad (file and memory forms) on a generated mesh of one
// million vertices and two million triangles in groups, with matrices.
#include "msh.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t vertexCount = 1000000;
constexpr uint32_t triangleCount = 2000000;
constexpr uint32_t groupCount = 20; // 50000 vertices and 100000 triangles each
constexpr uint32_t matrixCount = 20;

MeshHandle makeMesh() {
    MeshHandle mesh(mshCreate(vertexCount, triangleCount, groupCount, groupCount, matrixCount));
    for (uint32_t i = 0; i < vertexCount; ++i) {
        const float f = float(i);
        mesh->vertices[i] =
            MeshVertex{f, f * 0.5f, -f, 0.0f, 1.0f, 0.0f, f * 1e-6f, 1.0f - f * 1e-6f};
    }
    const uint32_t verticesPerGroup = vertexCount / groupCount;
    const uint32_t trianglesPerGroup = triangleCount / groupCount;
    for (uint32_t g = 0; g < groupCount; ++g) {
        mesh->groups[g] = MeshGroup{g, 3 * trianglesPerGroup, g * verticesPerGroup,
                                    verticesPerGroup, 3 * g * trianglesPerGroup};
        mesh->groupMatrix[g] = g % matrixCount;
        for (uint32_t t = 0; t < trianglesPerGroup; ++t) {
            const uint32_t a = t % (verticesPerGroup - 2);
            mesh->triangles[g * trianglesPerGroup + t] =
                MeshTriangle{{uint16_t(a), uint16_t(a + 1), uint16_t(a + 2)}};
        }
    }
    for (uint32_t m = 0; m < matrixCount; ++m)
        for (int k = 0; k < 9; ++k)
            mesh->matrices[m].value[k] = float(m + k);
    return mesh;
}

std::string benchPath() {
    return (std::filesystem::temp_directory_path() /
            ("quill-mesh-bench-" + std::to_string(::getpid()) + ".msh"))
        .string();
}

// Writes the generated mesh once and keeps its path and bytes for the load benchmarks.
struct SavedMesh {
    std::string path = benchPath();
    std::vector<unsigned char> bytes;
    SavedMesh() {
        MeshHandle mesh = makeMesh();
        mshSave(path.c_str(), mesh.get());
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ~SavedMesh() { std::filesystem::remove(path); }
};

SavedMesh& savedMesh() {
    static SavedMesh saved;
    return saved;
}

void BM_SaveFile(benchmark::State& state) {
    const MeshHandle mesh = makeMesh();
    const std::string path = benchPath() + ".out";
    for (auto _ : state)
        if (mshSave(path.c_str(), mesh.get()) != 1)
            state.SkipWithError("mshSave failed");
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}

void BM_LoadFile(benchmark::State& state) {
    const SavedMesh& saved = savedMesh();
    for (auto _ : state) {
        MeshHandle mesh(mshLoad(saved.path.c_str()));
        if (mesh == nullptr || mesh->vertexCount != vertexCount)
            state.SkipWithError("mshLoad failed");
        benchmark::DoNotOptimize(mesh.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(saved.bytes.size()));
}

void BM_LoadMemory(benchmark::State& state) {
    const SavedMesh& saved = savedMesh();
    for (auto _ : state) {
        MeshHandle mesh(mshLoadMemory(saved.bytes.data(), saved.bytes.size(), "bench"));
        if (mesh == nullptr || mesh->triangleCount != triangleCount)
            state.SkipWithError("mshLoadMemory failed");
        benchmark::DoNotOptimize(mesh.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(saved.bytes.size()));
}

BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
