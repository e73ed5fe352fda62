// quillin end to end (OBJ and side file in, .msh out) on the OBJ text quillout writes for a
// generated mesh of N vertices and 2N triangles, next to the literal C-library reader with the
// same assembly and to reading the file's bytes once, in one run. A last benchmark runs the
// quillin program as a child process and reports its peak resident memory.
#include "literal_reader.h"
#include "msh.h"
#include "run.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace quillout {
int runQuillout(int argc, char** argv);
}

namespace {

constexpr uint32_t kGroupSpan = 50000; // vertices per group

// N vertices with values such as meshes hold, 2N triangles in groups of kGroupSpan vertices,
// and a few matrices.
MeshHandle makeMesh(uint32_t vertexCount) {
    const uint32_t groupCount = (vertexCount + kGroupSpan - 1) / kGroupSpan;
    const uint32_t matrixCount = 4;
    MeshHandle mesh(mshCreate(vertexCount, 2 * vertexCount, groupCount, groupCount, matrixCount));
    std::mt19937 random(42);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f), unit(-1.0f, 1.0f), texture(0.0f, 1.0f);
    for (uint32_t k = 0; k < vertexCount; ++k)
        mesh->vertices[k] = MeshVertex{coordinate(random), coordinate(random), coordinate(random), unit(random),
                                       unit(random), unit(random), texture(random), texture(random)};
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

struct BenchFiles {
    std::string dir;
    std::string obj;
    std::string side;
    std::string out;
    uint64_t objBytes = 0;
};

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

template <typename Run>
void runImporterBench(benchmark::State& state, Run run) {
    const BenchFiles& files = filesFor(static_cast<uint32_t>(state.range(0)));
    std::vector<std::string> args{"quillin", files.obj, files.out, files.side};
    std::vector<char*> argv{args[0].data(), args[1].data(), args[2].data(), args[3].data(), nullptr};
    for (auto _ : state)
        if (run(4, argv.data()) != 0)
            state.SkipWithError("import failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.objBytes));
}

void BM_Quillin(benchmark::State& state) {
    runImporterBench(state, runQuillin);
}

// The same run with the OBJ file read in one stretch on one thread.
void BM_QuillinOneThread(benchmark::State& state) {
    runImporterBench(state, [](int argc, char** argv) { return runQuillinWith(argc, argv, UINT64_MAX); });
}

void BM_LiteralReader(benchmark::State& state) {
    runImporterBench(state, runLiteralImporter);
}

// The floor: every byte of the OBJ and side file read once through a reused 4 MiB buffer.
void BM_ReadOnce(benchmark::State& state) {
    const BenchFiles& files = filesFor(static_cast<uint32_t>(state.range(0)));
    std::vector<char> buffer(size_t{4} << 20);
    for (auto _ : state) {
        size_t total = 0;
        for (const std::string& path : {files.obj, files.side}) {
            FILE* file = std::fopen(path.c_str(), "rb");
            std::setvbuf(file, nullptr, _IONBF, 0);
            size_t n;
            while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) != 0)
                total += n;
            std::fclose(file);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.objBytes));
}

// Peak resident memory of the quillin program on the files, against its tables and mesh.
void BM_QuillinPeakMemory(benchmark::State& state) {
    const uint64_t n = static_cast<uint64_t>(state.range(0));
    const BenchFiles& files = filesFor(static_cast<uint32_t>(n));
    long peakKiB = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(QUILLIN_PATH, "quillin", files.obj.c_str(), files.out.c_str(), files.side.c_str(), nullptr);
            std::_Exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("quillin failed");
        peakKiB = std::max(peakKiB, usage.ru_maxrss);
    }
    // positions 12, texture coordinates 8, normals 12 bytes per vertex; faces 36 per triangle;
    // mesh: 32 per vertex and 6 per triangle.
    const double tablesAndMesh = double(n * (12 + 8 + 12 + 32) + 2 * n * (36 + 6)) / (1 << 20);
    state.counters["peak_MiB"] = double(peakKiB) / 1024;
    state.counters["tables_mesh_MiB"] = tablesAndMesh;
    state.counters["over_MiB"] = double(peakKiB) / 1024 - tablesAndMesh;
}

} // namespace

BENCHMARK(BM_ReadOnce)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quillin)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillinOneThread)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralReader)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillinPeakMemory)->Arg(1000000)->Arg(4000000)->Iterations(1)->Unit(benchmark::kMillisecond);
