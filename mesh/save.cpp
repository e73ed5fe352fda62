// The .msh writer. Values are encoded little-endian into one large buffer that is written out
// whenever it fills; every write and the close are checked. The file appears whole or not at
// all (see replacing_file.h).
#include "msh.h"
#include "msh_alloc.h"
#include "msh_format.h"
#include "replacing_file.h"

#include <cstdio>
#include <cstring>

using namespace msh;

namespace {

static_assert(sizeof(MeshTriangle) == kTriangleRecordSize &&
              sizeof(MeshGroup) == kGroupRecordSize && sizeof(uint32_t) == kGroupMatrixRecordSize &&
              sizeof(MeshMatrix) == kMatrixRecordSize);

constexpr size_t kBufferCapacity = size_t(1) << 20;
// Used when the large buffer cannot be had: slower, but the file is the same.
constexpr size_t kFallbackCapacity = 4096;

struct OutBuffer {
    ReplacingFile& file;
    unsigned char* bytes;
    size_t capacity;
    size_t used;
};

bool flushBuffer(OutBuffer& out) {
    const size_t pending = out.used;
    out.used = 0;
    return pending == 0 || replacingWrite(out.file, out.bytes, pending);
}

bool writeSectionHeader(OutBuffer& out, uint32_t tag, uint32_t count) {
    if (out.capacity - out.used < kSectionHeaderSize && !flushBuffer(out))
        return false;
    unsigned char* room = out.bytes + out.used;
    out.used += kSectionHeaderSize;
    storeU32(room, tag);
    storeU32(room + 4, count);
    return true;
}

// On a little-endian host a float's bytes in memory are its file bytes, so runs of floats are
// copied as they stand; elsewhere each value is encoded on its own.
void encodeVertexRecord(unsigned char* bytes, const MeshVertex& vertex) {
    if constexpr (kHostIsLittleEndian) {
        const uint32_t constant = kVertexConstantWord;
        std::memcpy(bytes, &vertex.x, 12);
        std::memcpy(bytes + 12, &constant, 4);
        std::memcpy(bytes + 16, &vertex.u, 8);
        std::memcpy(bytes + 24, &vertex.u, 8);
        return;
    }
    storeF32(bytes, vertex.x);
    storeF32(bytes + 4, vertex.y);
    storeF32(bytes + 8, vertex.z);
    storeU32(bytes + 12, kVertexConstantWord);
    storeF32(bytes + 16, vertex.u);
    storeF32(bytes + 20, vertex.v);
    storeF32(bytes + 24, vertex.u);
    storeF32(bytes + 28, vertex.v);
}

void encodeNormalRecord(unsigned char* bytes, const MeshVertex& vertex) {
    if constexpr (kHostIsLittleEndian) {
        std::memcpy(bytes, &vertex.nx, 12);
        return;
    }
    storeF32(bytes, vertex.nx);
    storeF32(bytes + 4, vertex.ny);
    storeF32(bytes + 8, vertex.nz);
}

void encodeRecord(unsigned char* bytes, const MeshTriangle& triangle) {
    for (int k = 0; k < 3; ++k)
        storeU16(bytes + 2 * k, triangle.index[k]);
}

void encodeRecord(unsigned char* bytes, const MeshGroup& group) {
    storeU32(bytes, group.id);
    storeU32(bytes + 4, group.indexCount);
    storeU32(bytes + 8, group.baseVertex);
    storeU32(bytes + 12, group.vertexCount);
    storeU32(bytes + 16, group.firstIndex);
}

void encodeRecord(unsigned char* bytes, const uint32_t& matrixNumber) {
    storeU32(bytes, matrixNumber);
}

void encodeRecord(unsigned char* bytes, const MeshMatrix& matrix) {
    for (int k = 0; k < 9; ++k)
        storeF32(bytes + 4 * k, matrix.value[k]);
}

// Encodes `count` entries as records of `recordSize` bytes, filling the buffer chunk by chunk.
template <typename T, typename Encode>
bool writeRecords(OutBuffer& out, const T* entries, uint32_t count, size_t recordSize,
                  Encode encode) {
    const size_t perChunk = out.capacity / recordSize;
    size_t done = 0;
    while (done < count) {
        size_t n = (out.capacity - out.used) / recordSize;
        if (n == 0) {
            if (!flushBuffer(out))
                return false;
            n = perChunk;
        }
        n = n < count - done ? n : count - done;
        unsigned char* room = out.bytes + out.used;
        out.used += n * recordSize;
        for (size_t i = 0; i < n; ++i)
            encode(room + i * recordSize, entries[done + i]);
        done += n;
    }
    return true;
}

// Hands `size` bytes to the file through the buffer, or straight from where they stand when
// they would fill it anyway.
bool writeBytes(OutBuffer& out, const void* bytes, size_t size) {
    if (out.capacity - out.used < size && !flushBuffer(out))
        return false;
    if (size >= out.capacity)
        return replacingWrite(out.file, bytes, size);
    std::memcpy(out.bytes + out.used, bytes, size);
    out.used += size;
    return true;
}

// Little-endian hosts hold triangles, groups, group-to-matrix entries and matrices byte for
// byte as the file does, so those tables go out whole; other hosts encode entry by entry. The
// condition is a constant: both branches are compiled on every host and one folds away.
template <typename T>
bool writeTable(OutBuffer& out, uint32_t tag, const T* table, uint32_t count, uint32_t countField,
                size_t recordSize) {
    if (table == nullptr)
        return true;
    if (!writeSectionHeader(out, tag, countField))
        return false;
    if (kHostIsLittleEndian)
        return writeBytes(out, table, size_t{count} * recordSize);
    return writeRecords(out, table, count, recordSize,
                        [](unsigned char* bytes, const T& entry) { encodeRecord(bytes, entry); });
}

bool writeVertices(OutBuffer& out, const Mesh& mesh) {
    if (mesh.vertices == nullptr)
        return true;
    return writeSectionHeader(out, kTagVertices, mesh.vertexCount) &&
           writeRecords(out, mesh.vertices, mesh.vertexCount, kVertexRecordSize,
                        encodeVertexRecord) &&
           writeRecords(out, mesh.vertices, mesh.vertexCount, kNormalRecordSize,
                        encodeNormalRecord);
}

// The index list stores 3 x triangleCount in a u32; a larger list cannot be written truly.
bool indexCountFits(const Mesh& mesh) {
    return mesh.triangles == nullptr || mesh.triangleCount <= UINT32_MAX / 3;
}

// Sections in the fixed writer order, present tables only.
bool writeMesh(OutBuffer& out, const Mesh& mesh) {
    return indexCountFits(mesh) && writeVertices(out, mesh) &&
           writeTable(out, kTagIndices, mesh.triangles, mesh.triangleCount, 3 * mesh.triangleCount,
                      kTriangleRecordSize) &&
           writeTable(out, kTagGroups, mesh.groups, mesh.groupCount, mesh.groupCount,
                      kGroupRecordSize) &&
           writeTable(out, kTagGroupMatrix, mesh.groupMatrix, mesh.groupMatrixCount,
                      mesh.groupMatrixCount, kGroupMatrixRecordSize) &&
           writeTable(out, kTagMatrices, mesh.matrices, mesh.matrixCount, mesh.matrixCount,
                      kMatrixRecordSize) &&
           flushBuffer(out);
}

} // namespace

int mshSave(const char* path, const Mesh* mesh) {
    ReplacingFile file;
    if (!replacingOpen(file, path)) {
        std::fprintf(stderr, "mshSave(): ERROR: Could not open file \"%s\" for binary writing",
                     path);
        return 0;
    }
    unsigned char fallback[kFallbackCapacity];
    unsigned char* large = mshAllocateArray<unsigned char>(kBufferCapacity);
    OutBuffer out{file, large != nullptr ? large : fallback,
                  large != nullptr ? kBufferCapacity : kFallbackCapacity, 0};
    const bool written = mesh == nullptr || writeMesh(out, *mesh);
    mshRelease(large);
    // A full disk can show as late as the close; the file replaces the earlier one only then.
    if (!replacingClose(file, written)) {
        std::fprintf(stderr, "mshSave(): ERROR: Could not write data to file \"%s\"", path);
        return 0;
    }
    return 1;
}
