// tinyobjloader as a peer, parse only: its ObjReader with its default configuration
// (polygons triangulated as fans, .mtl files searched beside the OBJ file) on the same OBJ text
// the quillin benchmarks read, without building a mesh from the result. Bytes processed are
// the OBJ text's size alone (the quillout file's side file is not read). Built only when the
// libtinyobjloader package is installed.
#include "bench_files.h"

#include <benchmark/benchmark.h>

#include <tiny_obj_loader.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

void parseBench(benchmark::State& state, const std::string& path) {
    size_t triangles = 0, positions = 0;
    for (auto _ : state) {
        tinyobj::ObjReader reader;
        if (!reader.ParseFromFile(path)) {
            state.SkipWithError(("tinyobjloader failed: " + reader.Error()).c_str());
            break;
        }
        triangles = 0;
        for (const tinyobj::shape_t& shape : reader.GetShapes())
            triangles += shape.mesh.num_face_vertices.size();
        positions = reader.GetAttrib().vertices.size() / 3;
        benchmark::DoNotOptimize(triangles);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
    state.counters["positions"] = double(positions);
    state.counters["triangles"] = double(triangles);
}

// The OBJ text quillout writes (the same file as BM_Quillin's).
void BM_TinyobjParse(benchmark::State& state) {
    parseBench(state, filesFor(static_cast<uint32_t>(state.range(0))).obj);
}

// The modelling tool's OBJ text (the same file as BM_QuillinModelling's).
void BM_TinyobjParseModelling(benchmark::State& state) {
    parseBench(state, modellingFilesFor(static_cast<uint32_t>(state.range(0))).obj);
}

} // namespace

BENCHMARK(BM_TinyobjParse)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinyobjParseModelling)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
