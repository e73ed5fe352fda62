#include "quillout/messages.h"

#include <cstdio>

namespace quillout {

void printUsage() { std::fputs("Usage: <msh file> <output file>\n", stdout); }

void printOutOfMemory() { std::fputs("ERROR: Could not allocate needed memory\n", stderr); }

void printOpenError(const char* path) {
    std::fprintf(stderr, "ERROR: Could not open file \"%s\" for writing\n", path);
}

void printWriteError(const char* path) {
    std::fprintf(stderr, "ERROR: Could not write to file \"%s\"\n", path);
}

void printGroupPastTriangles(uint32_t group, const char* mshPath) {
    std::fprintf(stderr,
                 "ERROR: Group %u in .msh file \"%s\" names triangles past the end of the "
                 "triangle table\n",
                 unsigned(group), mshPath);
}

void printOutputReplacesInput(const char* outputPath, const char* mshPath) {
    std::fprintf(stderr, "ERROR: Writing \"%s\" would replace the input .msh file \"%s\"\n",
                 outputPath, mshPath);
}

void printSideFileReplacesObj(const char* objPath) {
    std::fprintf(stderr, "ERROR: The matrix side file for \"%s\" would replace that OBJ file\n",
                 objPath);
}

} // namespace quillout
