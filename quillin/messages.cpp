#include "quillin/messages.h"

#include "quillin/piece_reader.h"

#include <cinttypes>
#include <cstdio>

namespace quillin {

namespace {

// `kind`: ".obj" or ".matrix".
void printOpenError(const char* kind, const char* path) {
    std::fprintf(stderr, "ERROR: Could not open %s file \"%s\" for reading\n", kind, path);
}

void printReadError(const char* kind, const char* path) {
    std::fprintf(stderr, "ERROR: Could not read %s file \"%s\"\n", kind, path);
}

} // namespace

void printUsage() {
    std::fputs("Usage: <msh file> <output file> <OPTIONAL: matrix file>\n", stdout);
}

void printOutOfMemory() { std::fputs("ERROR: Could not allocate needed memory\n", stderr); }

void printObjReadError(const char* path) { printReadError(".obj", path); }

void printObjUtf16Error(const char* path) {
    std::fprintf(stderr, "ERROR: .obj file \"%s\" is UTF-16 text; save it as UTF-8 or ASCII\n",
                 path);
}

void printMissingRecordError(uint64_t line, const char* path, const char* what, int32_t number) {
    std::fprintf(stderr,
                 "ERROR: Line %" PRIu64 " of .obj file \"%s\": face refers to %s %" PRId32
                 ", which does not exist\n",
                 line, path, what, number);
}

void printFewCornersError(uint64_t line, const char* path) {
    std::fprintf(stderr,
                 "ERROR: Line %" PRIu64 " of .obj file \"%s\": face has fewer than three corners\n",
                 line, path);
}

void printObjWarning(ObjWarning warning) {
    std::fprintf(stderr, "WARNING: HEAP CORRUPTION DETECTED! LINE %d\n", static_cast<int>(warning));
}

void printSideReadError(const char* path) { printReadError(".matrix", path); }

void printGroupPositionError(uint64_t line, const char* path, uint32_t group, uint32_t rows) {
    std::fprintf(stderr,
                 "ERROR: Line %" PRIu64 " of .matrix file \"%s\": group position %" PRIu32
                 " is not below the number of table rows (%" PRIu32 ")\n",
                 line, path, group, rows);
}

void printInputFailure(InputResult result, const char* kind, const char* path) {
    switch (result) {
    case InputResult::ok:
        break;
    case InputResult::openFailed:
        printOpenError(kind, path);
        break;
    case InputResult::readFailed:
        printReadError(kind, path);
        break;
    case InputResult::outOfMemory:
        printOutOfMemory();
        break;
    case InputResult::notFileOrPipe:
        std::fprintf(stderr, "ERROR: %s file \"%s\" is not a regular file or a pipe\n", kind, path);
        break;
    case InputResult::pipeTooLarge:
        std::fprintf(stderr,
                     "ERROR: %s file \"%s\" is a pipe of more than %" PRIu64
                     " MiB; save it as a regular file first\n",
                     kind, path, pipeLimitBytes >> 20);
        break;
    }
}

} // namespace quillin
