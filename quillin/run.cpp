#include "quillin/run.h"

#include "msh.h"
#include "quillin/assemble.h"
#include "quillin/huge_pages.h"
#include "quillin/messages.h"
#include "quillin/obj_input.h"
#include "quillin/piece_reader.h"
#include "quillin/side_file_reader.h"

#include <cstdio>

namespace quillin {

namespace {

// Large enough that reading costs a few system calls per megabyte, small enough that the block
// being parsed stays in the processor's caches; two stretches read at once take half each.
constexpr size_t kReadBufferBytes = size_t{1} << 20;

// Opens, reads and closes the OBJ file; every failure prints its message.
bool readObjFile(const char* path, const ReadBuffer& buffer, ReadMode mode, ObjTables& tables) {
    tables = ObjTables{};
    InputResult opened = InputResult::ok;
    FILE* file = openTextInput(path, opened);
    if (file == nullptr) {
        printInputFailure(opened, ".obj", path);
        return false;
    }
    TextInput input{};
    const InputResult prepared = prepareTextInput(file, input);
    bool ok = false;
    if (prepared != InputResult::ok)
        printInputFailure(prepared, ".obj", path);
    else
        ok = readObjTables(input, path, buffer, mode, tables);
    releaseTextInput(input);
    std::fclose(file);
    return ok;
}

void releaseWorkingTables(ObjTables& obj, SideTables& side) {
    releaseObjTables(obj);
    releaseSideTables(side);
}

// Reads the inputs, plans, assembles and saves the mesh; every failure prints its message.
bool convert(int argc, char** argv, const ReadBuffer& buffer, ReadMode mode) {
    ObjTables obj{};
    if (!readObjFile(argv[1], buffer, mode, obj))
        return false;
    SideTables side{};
    if (argc > 3 && !readSideFile(argv[3], buffer, side)) {
        releaseObjTables(obj);
        return false;
    }
    MeshPlan plan{};
    if (!planMesh(obj, side, plan)) {
        printOutOfMemory();
        releaseWorkingTables(obj, side);
        return false;
    }
    releaseObjFaces(obj);
    Mesh* mesh = mshCreate(plannedVertexCount(plan), plan.triangleCount, plan.recordCount,
                           plan.groupMatrixCount, side.matrixCount);
    bool saved = false;
    if (mesh != nullptr) {
        adviseHugePages(mesh->vertices, sizeof(MeshVertex) * mesh->vertexCount);
        adviseHugePages(mesh->triangles, sizeof(MeshTriangle) * mesh->triangleCount);
        if (assembleMesh(obj, side, plan, *mesh))
            saved = mshSave(argv[2], mesh) == 1;
        else
            printOutOfMemory();
    }
    releaseMeshPlan(plan);
    releaseWorkingTables(obj, side);
    mshFree(mesh);
    return saved;
}

} // namespace

int runQuillin(int argc, char** argv) { return runQuillinWith(argc, argv, ReadMode::bySize); }

int runQuillinWith(int argc, char** argv, ReadMode mode) {
    if (argc < 3) {
        printUsage();
        return 0;
    }
    ReadBuffer buffer = makeReadBuffer(kReadBufferBytes);
    if (buffer.bytes == nullptr) {
        printOutOfMemory();
        return -1;
    }
    const bool converted = convert(argc, argv, buffer, mode);
    releaseReadBuffer(buffer);
    return converted ? 0 : -1;
}

} // namespace quillin
