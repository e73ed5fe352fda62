#include "bench_files.h"

#include "msh.h"
#include "quillout/run.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kGroupSpan = 50000; // vertices per group

// N vertices with values such as meshes hold, 2N triangles in groups of kGroupSpan vertices,
// and a few matrices.
MeshHandle makeMesh(uint32_t vertexCount) {
    const uint32_t groupCount = (vertexCount + kGroupSpan - 1) / kGroupSpan;
    const uint32_t matrixCount = 4;
    MeshHandle mesh(mshCreate(vertexCount, 2 * vertexCount, groupCount, groupCount, matrixCount));
    std::mt19937 random(42);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f), unit(-1.0f, 1.0f),
        texture(0.0f, 1.0f);
    for (uint32_t k = 0; k < vertexCount; ++k)
        mesh->vertices[k] =
            MeshVertex{coordinate(random), coordinate(random), coordinate(random), unit(random),
                       unit(random),       unit(random),       texture(random),    texture(random)};
    uint32_t triangle = 0;
    for (uint32_t g = 0; g < groupCount; ++g) {
        const uint32_t base = g * kGroupSpan;
        const uint32_t span = std::min(kGroupSpan, vertexCount - base);
        mesh->groups[g] = MeshGroup{g, 6 * span, base, span, 3 * triangle};
        mesh->groupMatrix[g] = g % matrixCount;
        for (uint32_t i = 0; i < span; ++i) {
            const auto at = [&](uint32_t step) { return static_cast<uint16_t>((i + step) % span); };
            mesh->triangles[triangle++] = MeshTriangle{{at(0), at(1), at(2)}};
            mesh->triangles[triangle++] = MeshTriangle{{at(1), at(3), at(2)}};
        }
    }
    for (uint32_t m = 0; m < matrixCount; ++m)
        for (float& value : mesh->matrices[m].value)
            value = unit(random);
    return mesh;
}

// A temporary folder for the generated files, removed with them when the run ends.
struct BenchDir {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("quillin-bench-" + std::to_string(::getpid()));
    BenchDir() { std::filesystem::create_directories(path); }
    ~BenchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

std::string benchDir() {
    static const BenchDir dir;
    return dir.path.string();
}

// Writes the mesh's OBJ text and side file with quillout once per size.
const BenchFiles& filesFor(uint32_t vertexCount) {
    static std::map<uint32_t, BenchFiles> cache;
    auto found = cache.find(vertexCount);
    if (found != cache.end())
        return found->second;
    BenchFiles files;
    const std::string stem = benchDir() + "/mesh" + std::to_string(vertexCount);
    files.obj = stem + ".obj";
    files.side = stem + ".matrix";
    files.out = stem + ".back.msh";
    const std::string msh = stem + ".msh";
    {
        const MeshHandle mesh = makeMesh(vertexCount);
        mshSave(msh.c_str(), mesh.get());
    }
    std::vector<std::string> args{"quillout", msh, files.obj};
    std::vector<char*> argv{args[0].data(), args[1].data(), args[2].data(), nullptr};
    quillout::runQuillout(3, argv.data());
    files.objBytes = std::filesystem::file_size(files.obj) + std::filesystem::file_size(files.side);
    return cache.emplace(vertexCount, files).first->second;
}

// Writes the modelling tool's OBJ text and material file once per size.
const ModellingFiles& modellingFilesFor(uint32_t vertexCount) {
    static std::map<uint32_t, ModellingFiles> cache;
    auto found = cache.find(vertexCount);
    if (found != cache.end())
        return found->second;
    ModellingFiles files;
    const std::string name = "torus" + std::to_string(vertexCount);
    files.obj = benchDir() + "/" + name + ".obj";
    files.out = benchDir() + "/" + name + ".msh";
    files.counts = writeModellingObj(files.obj, name + ".mtl", vertexCount);
    return cache.emplace(vertexCount, files).first->second;
}
