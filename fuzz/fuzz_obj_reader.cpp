// Fuzzes the OBJ reading and the mesh assembly on arbitrary text held in memory, as the importer
// run does them: counting pass, table allocation, parsing pass, then mshCreate and assembleMesh.
// A quarter of the inputs (the thread start is slow next to the reading) are read again in two
// stretches joined at a line start, and assembled again in two shares, the way large inputs are
// read and assembled on two threads; both ways must give the same result, tables and mesh.
// Nothing may be read or written outside a table or the input, whatever the text says.
#include "assemble.h"
#include "fuzz_sample.h"
#include "msh.h"
#include "obj_input.h"
#include "obj_reader.h"
#include "piece_reader.h"
#include "side_file_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Large enough for the two-stretch reading (four pieces), small next to any real file.
const ReadBuffer& fuzzBuffer() {
    static const ReadBuffer buffer = makeReadBuffer(4096);
    return buffer;
}

template <typename T>
bool sameTable(const T* a, const T* b, uint32_t count) {
    return count == 0 || std::memcmp(a, b, sizeof(T) * count) == 0;
}

bool sameTables(const ObjTables& a, const ObjTables& b) {
    return a.positionCount == b.positionCount && a.texcoordCount == b.texcoordCount &&
           a.normalCount == b.normalCount && a.faceCount == b.faceCount && a.groupCount == b.groupCount &&
           a.storedFaces == b.storedFaces && a.storedGroups == b.storedGroups &&
           sameTable(a.positions, b.positions, a.positionCount) && sameTable(a.texcoords, b.texcoords, a.texcoordCount) &&
           sameTable(a.normals, b.normals, a.normalCount) && sameTable(a.faces, b.faces, a.faceCount) &&
           sameTable(a.groups, b.groups, a.groupCount);
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "one and two threads differ: %s\n", what);
    std::abort();
}

Mesh* assembled(const ObjTables& tables, uint64_t parallelFrom) {
    const SideTables noSide{};
    Mesh* mesh = mshCreate(meshVertexCount(tables), tables.faceCount, tables.groupCount, 0, 0);
    if (mesh == nullptr)
        std::abort(); // a few kilobytes of text never need more than a few megabytes
    assembleMeshWith(tables, noSide, *mesh, parallelFrom);
    return mesh;
}

bool sameMesh(const Mesh& a, const Mesh& b) {
    return a.vertexCount == b.vertexCount && a.triangleCount == b.triangleCount && a.groupCount == b.groupCount &&
           sameTable(a.vertices, b.vertices, a.vertexCount) && sameTable(a.triangles, b.triangles, a.triangleCount) &&
           sameTable(a.groups, b.groups, a.groupCount);
}

// On one thread, and for the sampled inputs also in two shares on two threads: the same mesh.
void assemble(const ObjTables& tables, bool compareThreads) {
    Mesh* one = assembled(tables, UINT64_MAX);
    if (compareThreads) {
        Mesh* two = assembled(tables, 0);
        if (!sameMesh(*one, *two))
            fail("assembled mesh");
        mshFree(two);
    }
    mshFree(one);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The memory form of the input; it is not released here, since libFuzzer owns the bytes.
    const TextInput input{nullptr, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), size};
    ObjTables one{};
    ObjTables two{};
    const bool compareThreads = sampledInput(data, size, 4);
    const ObjReadResult oneResult = readObjTables(input, "fuzz.obj", fuzzBuffer(), UINT64_MAX, one);
    if (compareThreads) {
        const ObjReadResult twoResult = readObjTables(input, "fuzz.obj", fuzzBuffer(), 0, two);
        if (oneResult != twoResult)
            fail("result");
        if (oneResult == ObjReadResult::ok && !sameTables(one, two))
            fail("tables");
    }
    if (oneResult == ObjReadResult::ok)
        assemble(one, compareThreads);
    releaseObjTables(one);
    releaseObjTables(two);
    return 0;
}
