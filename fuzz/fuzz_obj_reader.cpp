// Fuzzes the OBJ reading and the mesh assembly on arbitrary text held in memory, as the importer
// run does them: counting pass, table allocation, parsing pass, then mshCreate and assembleMesh.
// A quarter of the inputs (the thread start is slow next to the reading) are read again in two
// stretches joined at a line start, and assembled again in two shares, the way large inputs are
// read and assembled on two threads; both ways must give the same result, tables and mesh.
// Nothing may be read or written outside a table or the input, whatever the text says, and every
// group record must reach only vertices that exist, every index only its record's span.
#include "fuzz_sample.h"
#include "msh.h"
#include "quillin/assemble.h"
#include "quillin/obj_input.h"
#include "quillin/obj_reader.h"
#include "quillin/piece_reader.h"
#include "quillin/side_file_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using quillin::assembleMeshWith;
using quillin::makeReadBuffer;
using quillin::MeshPlan;
using quillin::ObjTables;
using quillin::planMesh;
using quillin::plannedVertexCount;
using quillin::ReadBuffer;
using quillin::ReadMode;
using quillin::readObjTables;
using quillin::releaseMeshPlan;
using quillin::releaseObjTables;
using quillin::SideTables;
using quillin::TextInput;

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
           a.normalCount == b.normalCount && a.faceCount == b.faceCount &&
           a.cornerCount == b.cornerCount && a.groupCount == b.groupCount &&
           a.storedFaces == b.storedFaces && a.storedGroups == b.storedGroups &&
           sameTable(a.positions, b.positions, a.positionCount) &&
           sameTable(a.texcoords, b.texcoords, a.texcoordCount) &&
           sameTable(a.normals, b.normals, a.normalCount) &&
           sameTable(a.faces, b.faces, a.faceCount) &&
           sameTable(a.corners, b.corners, a.cornerCount) &&
           sameTable(a.groups, b.groups, a.groupCount);
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fault: %s\n", what);
    std::abort();
}

// Every group record within 16 bits of vertices that exist, every index below its record's span.
void checkRanges(const Mesh& mesh) {
    for (uint32_t g = 0; g < mesh.groupCount; ++g) {
        const MeshGroup& group = mesh.groups[g];
        if (group.vertexCount > 65536 ||
            uint64_t{group.baseVertex} + group.vertexCount > mesh.vertexCount)
            fail("group record range");
        for (uint32_t i = group.firstIndex; i < group.firstIndex + group.indexCount; ++i)
            if (mesh.triangles[i / 3].index[i % 3] >= group.vertexCount)
                fail("triangle index range");
    }
}

Mesh* assembled(const ObjTables& tables, uint64_t parallelFrom) {
    const SideTables noSide{};
    MeshPlan plan{};
    if (!planMesh(tables, noSide, plan))
        std::abort(); // a few kilobytes of text never need more than a few megabytes
    Mesh* mesh = mshCreate(plannedVertexCount(plan), plan.triangleCount, plan.recordCount, 0, 0);
    if (mesh == nullptr || !assembleMeshWith(tables, noSide, plan, *mesh, parallelFrom))
        std::abort();
    releaseMeshPlan(plan);
    checkRanges(*mesh);
    return mesh;
}

bool sameMesh(const Mesh& a, const Mesh& b) {
    return a.vertexCount == b.vertexCount && a.triangleCount == b.triangleCount &&
           a.groupCount == b.groupCount && sameTable(a.vertices, b.vertices, a.vertexCount) &&
           sameTable(a.triangles, b.triangles, a.triangleCount) &&
           sameTable(a.groups, b.groups, a.groupCount);
}

// On one thread, and for the sampled inputs also in two shares on two threads: the same mesh.
void assemble(const ObjTables& tables, bool compareThreads) {
    Mesh* one = assembled(tables, UINT64_MAX);
    if (compareThreads) {
        Mesh* two = assembled(tables, 0);
        if (!sameMesh(*one, *two))
            fail("one and two threads: assembled mesh");
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
    const bool oneRead = readObjTables(input, "fuzz.obj", fuzzBuffer(), ReadMode::oneStretch, one);
    if (compareThreads) {
        const bool twoRead =
            readObjTables(input, "fuzz.obj", fuzzBuffer(), ReadMode::twoStretches, two);
        if (oneRead != twoRead)
            fail("one and two threads: result");
        if (oneRead && !sameTables(one, two))
            fail("one and two threads: tables");
    }
    if (oneRead)
        assemble(one, compareThreads);
    releaseObjTables(one);
    releaseObjTables(two);
    return 0;
}
