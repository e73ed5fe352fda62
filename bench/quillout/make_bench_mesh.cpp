// Writes the benchmark mesh of quillout_bench (bench_mesh.h) to a path, for runs of the built
// program from the shell: make_bench_mesh <vertex count> <path>.
#include "bench_mesh.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("Usage: make_bench_mesh <vertex count> <path>\n", stderr);
        return 2;
    }
    const std::string made =
        quilloutbench::benchMeshPath(uint32_t(std::strtoul(argv[1], nullptr, 10)));
    std::error_code failed;
    std::filesystem::copy_file(made, argv[2], std::filesystem::copy_options::overwrite_existing,
                               failed);
    quilloutbench::removeBenchFiles();
    if (failed) {
        std::fprintf(stderr, "could not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
