// quillin end to end (OBJ and side file in, .msh out) on the OBJ text quillout writes for a
// generated mesh of N vertices and 2N triangles, next to the literal C-library reader with the
// same assembly and to reading the file's bytes once, in one run. The Modelling benchmarks run
// quillin on OBJ text as modelling tools write it (a quad torus of about N vertices, see
// modelling_obj.h). The PeakMemory benchmarks run the quillin program as a child process and
// report its peak resident memory.
#include "bench_files.h"
#include "literal_reader.h"
#include "quillin/run.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

using quillin::ReadMode;
using quillin::runQuillin;
using quillin::runQuillinWith;

namespace {

template <typename Run>
void runImporterBench(benchmark::State& state, Run run) {
    const BenchFiles& files = filesFor(static_cast<uint32_t>(state.range(0)));
    std::vector<std::string> args{"quillin", files.obj, files.out, files.side};
    std::vector<char*> argv{args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                            nullptr};
    for (auto _ : state)
        if (run(4, argv.data()) != 0)
            state.SkipWithError("import failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.objBytes));
}

void BM_Quillin(benchmark::State& state) { runImporterBench(state, runQuillin); }

// The same run with the OBJ file read in one stretch on one thread.
void BM_QuillinOneThread(benchmark::State& state) {
    runImporterBench(state, [](int argc, char** argv) {
        return runQuillinWith(argc, argv, ReadMode::oneStretch);
    });
}

void BM_LiteralReader(benchmark::State& state) { runImporterBench(state, runLiteralImporter); }

// Every byte of the given files read once through a reused 4 MiB buffer.
size_t readOnce(std::initializer_list<const std::string*> paths, std::vector<char>& buffer) {
    size_t total = 0;
    for (const std::string* path : paths) {
        FILE* file = std::fopen(path->c_str(), "rb");
        std::setvbuf(file, nullptr, _IONBF, 0);
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) != 0)
            total += n;
        std::fclose(file);
    }
    return total;
}

// The floor: every byte of the OBJ and side file read once.
void BM_ReadOnce(benchmark::State& state) {
    const BenchFiles& files = filesFor(static_cast<uint32_t>(state.range(0)));
    std::vector<char> buffer(size_t{4} << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(readOnce({&files.obj, &files.side}, buffer));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.objBytes));
}

// Runs the quillin program on the arguments as a child process; returns its peak resident
// memory in KiB, or -1 when it failed.
long childPeakKiB(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execv(QUILLIN_PATH, argv.data());
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

// Peak resident memory of the quillin program on the files, against its tables and mesh.
void BM_QuillinPeakMemory(benchmark::State& state) {
    const uint64_t n = static_cast<uint64_t>(state.range(0));
    const BenchFiles& files = filesFor(static_cast<uint32_t>(n));
    long peakKiB = 0;
    for (auto _ : state) {
        const long kiB = childPeakKiB({"quillin", files.obj, files.out, files.side});
        if (kiB < 0)
            state.SkipWithError("quillin failed");
        peakKiB = std::max(peakKiB, kiB);
    }
    // positions 12, texture coordinates 8, normals 12 bytes per vertex; faces 36 per triangle;
    // mesh: 32 per vertex and 6 per triangle.
    const double tablesAndMesh = double(n * (12 + 8 + 12 + 32) + 2 * n * (36 + 6)) / (1 << 20);
    state.counters["peak_MiB"] = double(peakKiB) / 1024;
    state.counters["tables_mesh_MiB"] = tablesAndMesh;
    state.counters["over_MiB"] = double(peakKiB) / 1024 - tablesAndMesh;
}

// quillin on the modelling tool's OBJ text (no side file).
void BM_QuillinModelling(benchmark::State& state) {
    const ModellingFiles& files = modellingFilesFor(static_cast<uint32_t>(state.range(0)));
    std::vector<std::string> args{"quillin", files.obj, files.out};
    std::vector<char*> argv{args[0].data(), args[1].data(), args[2].data(), nullptr};
    for (auto _ : state)
        if (runQuillin(3, argv.data()) != 0)
            state.SkipWithError("import failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.counts.bytes));
    state.counters["obj_MiB"] = double(files.counts.bytes) / (1 << 20);
}

void BM_ReadOnceModelling(benchmark::State& state) {
    const ModellingFiles& files = modellingFilesFor(static_cast<uint32_t>(state.range(0)));
    std::vector<char> buffer(size_t{4} << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(readOnce({&files.obj}, buffer));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.counts.bytes));
}

// Peak resident memory of the quillin program on the modelling tool's OBJ text.
void BM_QuillinModellingPeakMemory(benchmark::State& state) {
    const ModellingFiles& files = modellingFilesFor(static_cast<uint32_t>(state.range(0)));
    long peakKiB = 0;
    for (auto _ : state) {
        const long kiB = childPeakKiB({"quillin", files.obj, files.out});
        if (kiB < 0)
            state.SkipWithError("quillin failed");
        peakKiB = std::max(peakKiB, kiB);
    }
    state.counters["peak_MiB"] = double(peakKiB) / 1024;
    state.counters["obj_MiB"] = double(files.counts.bytes) / (1 << 20);
}

} // namespace

BENCHMARK(BM_ReadOnce)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(4000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quillin)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(4000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillinOneThread)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(4000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralReader)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillinPeakMemory)
    ->Arg(1000000)
    ->Arg(4000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadOnceModelling)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillinModelling)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillinModellingPeakMemory)
    ->Arg(1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
