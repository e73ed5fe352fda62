// Uses the installed mesh library: builds a small mesh, saves it, loads it back and compares
// every table. Exits 0 when the loaded mesh equals the saved one.
#include <msh.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool fillSmallMesh(Mesh& mesh) {
    const MeshVertex vertices[3] = {
        {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f},
        {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f},
        {0.0f, 1.0f, -2.5f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f},
    };
    if (mesh.vertexCount != 3 || mesh.triangleCount != 1 || mesh.groupCount != 1 ||
        mesh.groupMatrixCount != 1 || mesh.matrixCount != 1)
        return false;
    std::memcpy(mesh.vertices, vertices, sizeof vertices);
    mesh.triangles[0] = MeshTriangle{{0, 1, 2}};
    mesh.groups[0] = MeshGroup{7, 3, 0, 3, 0};
    mesh.groupMatrix[0] = 0;
    mesh.matrices[0] = MeshMatrix{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    return true;
}

template <typename T>
bool sameTable(const T* a, uint32_t countA, const T* b, uint32_t countB) {
    return countA == countB && std::memcmp(a, b, sizeof(T) * countA) == 0;
}

bool sameMesh(const Mesh& a, const Mesh& b) {
    return sameTable(a.vertices, a.vertexCount, b.vertices, b.vertexCount) &&
           sameTable(a.triangles, a.triangleCount, b.triangles, b.triangleCount) &&
           sameTable(a.groups, a.groupCount, b.groups, b.groupCount) &&
           sameTable(a.groupMatrix, a.groupMatrixCount, b.groupMatrix, b.groupMatrixCount) &&
           sameTable(a.matrices, a.matrixCount, b.matrices, b.matrixCount);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: msh_consumer <scratch .msh path>\n");
        return 1;
    }
    MeshHandle made(mshCreate(3, 1, 1, 1, 1));
    if (!made || !fillSmallMesh(*made)) {
        std::fprintf(stderr, "consumer: mshCreate gave no mesh of the asked sizes\n");
        return 1;
    }
    if (mshSave(argv[1], made.get()) != 1) {
        std::fprintf(stderr, "\nconsumer: mshSave failed\n");
        return 1;
    }
    // 3 vertices (8 + 3 * 44), 1 triangle (8 + 6), 1 group (8 + 20), 1 entry (8 + 4),
    // 1 matrix (8 + 36).
    const long expectedSize = 140 + 14 + 28 + 12 + 44;
    std::FILE* file = std::fopen(argv[1], "rb");
    long size = -1;
    if (file && std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    if (file)
        std::fclose(file);
    if (size != expectedSize) {
        std::fprintf(stderr, "consumer: saved file has %ld bytes, expected %ld\n", size,
                     expectedSize);
        return 1;
    }
    MeshHandle loaded(mshLoad(argv[1]));
    if (!loaded) {
        std::fprintf(stderr, "consumer: mshLoad failed\n");
        return 1;
    }
    if (!sameMesh(*made, *loaded)) {
        std::fprintf(stderr, "consumer: loaded mesh differs from the saved one\n");
        return 1;
    }
    std::printf("consumer: saved and loaded a mesh of %u vertices through msh::msh\n",
                loaded->vertexCount);
    return 0;
}
