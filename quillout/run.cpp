#include "run.h"

#include "group_ranges.h"
#include "input_guard.h"
#include "msh.h"
#include "obj_writer.h"
#include "output_buffer.h"
#include "side_file_writer.h"

#include <cstdio>
#include <string>

namespace quillout {
namespace {

bool groupsFitTriangles(const Mesh& mesh, const char* mshPath) {
    uint32_t position = 0;
    if (!findGroupPastTriangles(mesh, &position))
        return true;
    std::fprintf(stderr,
                 "ERROR: Group %u in .msh file \"%s\" names triangles past the end of the "
                 "triangle table\n",
                 position, mshPath);
    return false;
}

// An OBJ path ending in ".matrix" is its own side file path: refuse it before any file is
// created, rather than replace the OBJ text with the side file and report success.
bool sideFileKeepsObj(const Mesh& mesh, const char* objPath) {
    if (mesh.groupMatrixCount == 0 || mesh.matrixCount == 0 || !sideFileReplacesObj(objPath))
        return true;
    std::fprintf(stderr, "ERROR: The matrix side file for \"%s\" would replace that OBJ file\n",
                 objPath);
    return false;
}

// The mesh is loaded whole before anything is written, so an output that is the input file
// itself would replace the user's .msh file: refuse that before creating any file.
bool outputKeepsInput(const char* outputPath, const char* mshPath) {
    if (!namesSameFile(outputPath, mshPath))
        return true;
    std::fprintf(stderr, "ERROR: Writing \"%s\" would replace the input .msh file \"%s\"\n",
                 outputPath, mshPath);
    return false;
}

bool outputsKeepInput(const Mesh& mesh, const char* mshPath, const char* objPath) {
    if (!outputKeepsInput(objPath, mshPath))
        return false;
    if (mesh.groupMatrixCount == 0 || mesh.matrixCount == 0)
        return true;
    const std::string sidePath = std::string(objPath, sideFileKeptLength(objPath)) + ".matrix";
    return outputKeepsInput(sidePath.c_str(), mshPath);
}

int writeOutputs(const Mesh& mesh, const char* objPath, unsigned threads) {
    OutputBuffer out{};
    if (!outputAllocate(out, outputDefaultCapacity)) {
        std::fputs("ERROR: Could not allocate needed memory\n", stderr);
        return -1;
    }
    int status = writeObjFile(mesh, objPath, out, threads);
    if (status == 0 && mesh.groupMatrixCount != 0 && mesh.matrixCount != 0)
        status = writeSideFile(mesh, objPath, out);
    outputRelease(out);
    return status;
}

} // namespace

int runQuillout(int argc, char** argv) {
    return runQuilloutWithThreads(argc, argv, objFormattingThreads());
}

int runQuilloutWithThreads(int argc, char** argv, unsigned threads) {
    if (argc < 3) {
        std::fputs("Usage: <msh file> <output file>\n", stdout);
        return 0;
    }
    const MeshHandle mesh(mshLoad(argv[1]));
    if (!mesh)
        return -1;
    if (!groupsFitTriangles(*mesh, argv[1]) || !outputsKeepInput(*mesh, argv[1], argv[2]) ||
        !sideFileKeepsObj(*mesh, argv[2]))
        return -1;
    return writeOutputs(*mesh, argv[2], threads);
}

} // namespace quillout
