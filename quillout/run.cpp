#include "quillout/run.h"

#include "msh.h"
#include "msh_alloc.h"
#include "quillout/group_ranges.h"
#include "quillout/input_guard.h"
#include "quillout/messages.h"
#include "quillout/obj_writer.h"
#include "quillout/output_buffer.h"
#include "quillout/side_file_writer.h"

#include <cstring>

namespace quillout {
namespace {

// A side file is written only for a mesh that carries both a group-to-matrix table and
// matrices.
bool hasSideFile(const Mesh& mesh) { return mesh.groupMatrixCount != 0 && mesh.matrixCount != 0; }

bool groupsFitTriangles(const Mesh& mesh, const char* mshPath) {
    uint32_t position = 0;
    if (!findGroupPastTriangles(mesh, position))
        return true;
    printGroupPastTriangles(position, mshPath);
    return false;
}

// The mesh is loaded whole before anything is written, so an output that is the input file
// itself would replace the user's .msh file: refuse that before creating any file.
bool outputKeepsInput(const char* outputPath, const char* mshPath) {
    if (!namesSameFile(outputPath, mshPath))
        return true;
    printOutputReplacesInput(outputPath, mshPath);
    return false;
}

// sidePath: null when no side file is due.
bool outputsKeepInput(const char* mshPath, const char* objPath, const char* sidePath) {
    return outputKeepsInput(objPath, mshPath) &&
           (sidePath == nullptr || outputKeepsInput(sidePath, mshPath));
}

// An OBJ path ending in ".matrix" is its own side file path: refuse it before any file is
// created, rather than replace the OBJ text with the side file and report success.
bool sideFileKeepsObj(const char* objPath, const char* sidePath) {
    if (sidePath == nullptr || std::strcmp(sidePath, objPath) != 0)
        return true;
    printSideFileReplacesObj(objPath);
    return false;
}

// Writes the OBJ file, then the side file when sidePath is not null; the side file only once
// the OBJ file is complete.
bool writeOutputs(const Mesh& mesh, const char* objPath, const char* sidePath, unsigned threads) {
    OutputBuffer out{};
    if (!outputAllocate(out, kOutputDefaultCapacity)) {
        printOutOfMemory();
        return false;
    }
    bool written = writeObjFile(mesh, objPath, out, threads);
    if (written && sidePath != nullptr)
        written = writeSideFile(mesh, sidePath, out);
    outputRelease(out);
    return written;
}

// Every check runs before any file is created; the side file path is made once, for the checks
// and the writing alike.
bool exportMesh(const Mesh& mesh, const char* mshPath, const char* objPath, unsigned threads) {
    if (!groupsFitTriangles(mesh, mshPath))
        return false;
    char* sidePath = nullptr;
    if (hasSideFile(mesh)) {
        sidePath = sideFilePath(objPath);
        if (sidePath == nullptr) {
            printOutOfMemory();
            return false;
        }
    }
    const bool exported = outputsKeepInput(mshPath, objPath, sidePath) &&
                          sideFileKeepsObj(objPath, sidePath) &&
                          writeOutputs(mesh, objPath, sidePath, threads);
    mshRelease(sidePath);
    return exported;
}

} // namespace

int runQuillout(int argc, char** argv) {
    return runQuilloutWithThreads(argc, argv, objFormattingThreads());
}

int runQuilloutWithThreads(int argc, char** argv, unsigned threads) {
    if (argc < 3) {
        printUsage();
        return 0;
    }
    const MeshHandle mesh(mshLoad(argv[1]));
    if (!mesh)
        return -1;
    return exportMesh(*mesh, argv[1], argv[2], threads) ? 0 : -1;
}

} // namespace quillout
