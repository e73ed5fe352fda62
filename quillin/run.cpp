#include "run.h"

#include "assemble.h"
#include "huge_pages.h"
#include "msh.h"
#include "obj_input.h"
#include "piece_reader.h"
#include "side_file_reader.h"

#include <cstdio>

namespace {

// Large enough that reading costs a few system calls per megabyte, small enough that the block
// being parsed stays in the processor's caches; two stretches read at once take half each.
constexpr size_t kReadBufferBytes = size_t{1} << 20;

void printOutOfMemory() { std::fputs("ERROR: Could not allocate needed memory\n", stderr); }

// Opens, reads and closes the OBJ file; every failure prints its message.
bool readObjFile(const char* path, const ReadBuffer& buffer, ReadMode mode, ObjTables& tables) {
    tables = ObjTables{};
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        std::fprintf(stderr, "ERROR: Could not open .obj file \"%s\" for reading\n", path);
        return false;
    }
    TextInput input{};
    const InputResult prepared = prepareTextInput(file, input);
    bool ok = false;
    if (prepared != InputResult::ok)
        printInputFailure(prepared, ".obj", path);
    else
        ok = readObjTables(input, path, buffer, mode, tables) == ObjReadResult::ok;
    releaseTextInput(input);
    std::fclose(file);
    return ok;
}

void releaseWorkingTables(ObjTables& obj, SideTables& side) {
    releaseObjTables(obj);
    releaseSideTables(side);
}

int convert(int argc, char** argv, const ReadBuffer& buffer, ReadMode mode) {
    ObjTables obj{};
    if (!readObjFile(argv[1], buffer, mode, obj))
        return -1;
    SideTables side{};
    if (argc > 3 && readSideFile(argv[3], buffer, side) != SideFileResult::ok) {
        releaseObjTables(obj);
        return -1;
    }
    MeshPlan plan{};
    if (!planMesh(obj, side, plan)) {
        printOutOfMemory();
        releaseWorkingTables(obj, side);
        return -1;
    }
    releaseObjFaces(obj);
    Mesh* mesh = mshCreate(plannedVertexCount(plan), plan.triangleCount, plan.recordCount,
                           plan.groupMatrixCount, side.matrixCount);
    int saved = 0;
    if (mesh != nullptr) {
        adviseHugePages(mesh->vertices, sizeof(MeshVertex) * mesh->vertexCount);
        adviseHugePages(mesh->triangles, sizeof(MeshTriangle) * mesh->triangleCount);
        if (assembleMesh(obj, side, plan, *mesh))
            saved = mshSave(argv[2], mesh);
        else
            printOutOfMemory();
    }
    releaseMeshPlan(plan);
    releaseWorkingTables(obj, side);
    mshFree(mesh);
    return saved == 1 ? 0 : -1;
}

} // namespace

int runQuillin(int argc, char** argv) { return runQuillinWith(argc, argv, ReadMode::bySize); }

int runQuillinWith(int argc, char** argv, ReadMode mode) {
    if (argc < 3) {
        std::fputs("Usage: <msh file> <output file> <OPTIONAL: matrix file>\n", stdout);
        return 0;
    }
    ReadBuffer buffer = makeReadBuffer(kReadBufferBytes);
    if (buffer.bytes == nullptr) {
        printOutOfMemory();
        return -1;
    }
    const int status = convert(argc, argv, buffer, mode);
    releaseReadBuffer(buffer);
    return status;
}
