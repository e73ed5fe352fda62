// quillout end to end (load the .msh file, write the OBJ text and the side file) next to the
// literal fprintf writer of the same text and one large write of the same number of bytes.
// Bytes per second are OBJ bytes written.
//
//   quillout_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "bench_mesh.h"
#include "literal_writer.h"
#include "quillout/run.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kMillionVertices = 1000000;

int runQuilloutOn(const std::string& msh, const std::string& obj, unsigned threads = 0) {
    std::string program = "quillout";
    std::string input = msh;
    std::string output = obj;
    char* argv[] = {program.data(), input.data(), output.data(), nullptr};
    return threads == 0 ? quillout::runQuillout(3, argv)
                        : quillout::runQuilloutWithThreads(3, argv, threads);
}

uint64_t fileSize(const std::string& path) { return std::filesystem::file_size(path); }

bool sameBytes(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (first && second) {
        first.read(x.data(), std::streamsize(x.size()));
        second.read(y.data(), std::streamsize(y.size()));
        if (first.gcount() != second.gcount() ||
            std::memcmp(x.data(), y.data(), size_t(first.gcount())) != 0)
            return false;
    }
    return !first && !second;
}

void quilloutEndToEnd(benchmark::State& state) {
    const std::string msh = quilloutbench::benchMeshPath(uint32_t(state.range(0)));
    const std::string obj = quilloutbench::benchOutputPath("quillout.obj");
    for (auto _ : state)
        if (runQuilloutOn(msh, obj) != 0)
            state.SkipWithError("quillout failed");
    state.SetBytesProcessed(int64_t(state.iterations() * fileSize(obj)));
}

// The same run with the text formatted by the writing thread alone.
void quilloutOneThread(benchmark::State& state) {
    const std::string msh = quilloutbench::benchMeshPath(uint32_t(state.range(0)));
    const std::string obj = quilloutbench::benchOutputPath("one-thread.obj");
    for (auto _ : state)
        if (runQuilloutOn(msh, obj, 1) != 0)
            state.SkipWithError("quillout failed");
    state.SetBytesProcessed(int64_t(state.iterations() * fileSize(obj)));
}

void literalFprintfWriter(benchmark::State& state) {
    const std::string msh = quilloutbench::benchMeshPath(uint32_t(state.range(0)));
    const std::string obj = quilloutbench::benchOutputPath("literal.obj");
    for (auto _ : state)
        if (quilloutbench::literalObjWriter(msh.c_str(), obj.c_str()) != 0)
            state.SkipWithError("literal writer failed");
    // Both writers must produce the same text, or the comparison means nothing.
    const std::string fast = quilloutbench::benchOutputPath("check.obj");
    if (runQuilloutOn(msh, fast) != 0 || !sameBytes(fast, obj))
        state.SkipWithError("quillout and the literal writer wrote different bytes");
    std::filesystem::remove(fast);
    state.SetBytesProcessed(int64_t(state.iterations() * fileSize(obj)));
}

// The floor: the same number of bytes, already in memory, in one write to the same kind of file.
void oneLargeWrite(benchmark::State& state) {
    const std::string msh = quilloutbench::benchMeshPath(uint32_t(state.range(0)));
    const std::string sizing = quilloutbench::benchOutputPath("sizing.obj");
    runQuilloutOn(msh, sizing);
    const size_t bytes = fileSize(sizing);
    std::filesystem::remove(sizing);
    std::vector<char> text(bytes, 'x');
    const std::string obj = quilloutbench::benchOutputPath("large-write.obj");
    for (auto _ : state) {
        const int fd = ::open(obj.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        size_t done = 0;
        while (fd >= 0 && done < bytes) {
            const ssize_t written = ::write(fd, text.data() + done, bytes - done);
            if (written <= 0)
                break;
            done += size_t(written);
        }
        if (fd < 0 || ::close(fd) != 0 || done != bytes)
            state.SkipWithError("large write failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}

} // namespace

BENCHMARK(quilloutEndToEnd)->Arg(kMillionVertices)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(quilloutOneThread)->Arg(kMillionVertices)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(literalFprintfWriter)
    ->Arg(kMillionVertices)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(oneLargeWrite)->Arg(kMillionVertices)->Unit(benchmark::kMillisecond)->UseRealTime();

// Scaling: the same run from ten thousand to four million vertices.
BENCHMARK(quilloutEndToEnd)
    ->Name("quilloutScaling")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(4000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A quick run for continuous integration.
BENCHMARK(quilloutEndToEnd)->Name("quilloutSmallMesh")->Arg(10000)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    quilloutbench::removeBenchFiles();
    return 0;
}
