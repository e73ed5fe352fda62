// Creation and release of the mesh record and its five tables.
#include "msh.h"
#include "msh_alloc.h"

#include <cstdio>

namespace {

// Allocates a zero-filled table of `count` elements, or leaves it absent when count is 0.
// Returns false only when a needed allocation fails.
template <typename T>
bool createTable(T*& table, uint32_t& tableCount, uint32_t count) {
    table = nullptr;
    tableCount = 0;
    if (count == 0)
        return true;
    table = mshAllocateArray<T>(count);
    if (table == nullptr)
        return false;
    tableCount = count;
    return true;
}

} // namespace

Mesh* mshCreate(uint32_t vertexCount, uint32_t triangleCount, uint32_t groupCount,
                uint32_t groupMatrixCount, uint32_t matrixCount) {
    Mesh* mesh = mshAllocateArray<Mesh>(1);
    if (mesh == nullptr) {
        std::fputs("mshCreate(): ERROR: Could not allocate needed memory\n", stderr);
        return nullptr;
    }
    *mesh = Mesh{};
    const bool created = createTable(mesh->vertices, mesh->vertexCount, vertexCount) &&
                         createTable(mesh->triangles, mesh->triangleCount, triangleCount) &&
                         createTable(mesh->groups, mesh->groupCount, groupCount) &&
                         createTable(mesh->groupMatrix, mesh->groupMatrixCount, groupMatrixCount) &&
                         createTable(mesh->matrices, mesh->matrixCount, matrixCount);
    if (!created) {
        std::fputs("mshCreate(): ERROR: Could not allocate needed memory\n", stderr);
        mshFree(mesh);
        return nullptr;
    }
    return mesh;
}

void mshFree(Mesh* mesh) {
    if (mesh == nullptr)
        return;
    mshRelease(mesh->vertices);
    mshRelease(mesh->triangles);
    mshRelease(mesh->groups);
    mshRelease(mesh->groupMatrix);
    mshRelease(mesh->matrices);
    mshRelease(mesh);
}
