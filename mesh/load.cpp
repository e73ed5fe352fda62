// The .msh loader. One core reads sections from a byte source, which is either a file read in
// large chunks or a block of memory, so that mshLoad and mshLoadMemory behave identically.
#include "msh.h"
#include "msh_alloc.h"
#include "msh_format.h"
#include "platform_file.h"

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace msh;

namespace {

// Large enough that a million-vertex section takes a few dozen reads.
constexpr size_t kChunkCapacity = size_t(1) << 20;

// The bytes being loaded: either an open file with a chunk buffer, or memory.
struct ByteSource {
    uint64_t size = 0;
    std::FILE* file = nullptr;
    unsigned char* buffer = nullptr; // kChunkCapacity bytes, file form only
    const unsigned char* data = nullptr;
    uint64_t position = 0; // memory form only
};

// Hands out the next `want` bytes (want <= kChunkCapacity); `got` is smaller only at the end
// of the input or after a read error.
const unsigned char* readChunk(ByteSource& source, size_t want, size_t& got) {
    if (source.file != nullptr) {
        got = std::fread(source.buffer, 1, want, source.file);
        return source.buffer;
    }
    const uint64_t left = source.size - source.position;
    got = size_t(std::min<uint64_t>(want, left));
    const unsigned char* bytes = source.data + source.position;
    source.position += got;
    return bytes;
}

struct Loader {
    ByteSource& source;
    const char* name;
    uint64_t offset; // of the next byte to read
    Mesh* mesh;
};

enum class Step { nextSection, endOfData, failed };

void reportReadFailure(const char* name, uint64_t offset) {
    std::fprintf(stderr, "mshLoad(): ERROR: Could not read from file \"%s\" at %llu\n", name,
                 static_cast<unsigned long long>(offset));
}

void reportAllocationFailure() {
    std::fputs("mshLoad(): ERROR: Could not allocate needed memory\n", stderr);
}

// Advances `offset` past `count` records of `recordSize` bytes when they all lie before
// `end`; otherwise moves it to the first record that is not there whole and returns false.
bool blockFits(uint64_t& offset, uint64_t end, uint32_t count, size_t recordSize) {
    const uint64_t remaining = end - std::min(offset, end);
    const uint64_t needed = uint64_t(count) * recordSize;
    if (needed <= remaining) {
        offset += needed;
        return true;
    }
    offset += remaining / recordSize * recordSize;
    return false;
}

template <typename T>
bool tableSizeFits(uint32_t count) {
    return uint64_t(count) <= std::numeric_limits<size_t>::max() / sizeof(T);
}

// Allocates a present table of `count` elements and sets its count. Reports the failure.
template <typename T>
bool allocateTable(T*& table, uint32_t& tableCount, uint32_t count) {
    if (!tableSizeFits<T>(count)) {
        reportAllocationFailure();
        return false;
    }
    table = mshAllocateArray<T>(count);
    if (table == nullptr) {
        reportAllocationFailure();
        return false;
    }
    tableCount = count;
    return true;
}

// Reads `count` records in large chunks and hands each chunk to decode(bytes, first, n).
// A short read reports the offset of the first record that was not read whole.
template <typename Decode>
bool readRecords(Loader& loader, uint32_t count, size_t recordSize, Decode decode) {
    const size_t perChunk = kChunkCapacity / recordSize;
    size_t done = 0;
    while (done < count) {
        const size_t wanted = std::min<size_t>(count - done, perChunk);
        size_t got = 0;
        const unsigned char* bytes = readChunk(loader.source, wanted * recordSize, got);
        const size_t whole = got / recordSize;
        if (whole < wanted) {
            reportReadFailure(loader.name, loader.offset + uint64_t(whole) * recordSize);
            return false;
        }
        decode(bytes, done, wanted);
        loader.offset += uint64_t(wanted) * recordSize;
        done += wanted;
    }
    return true;
}

// Fails before allocating when the payload cannot be present in the bytes that remain,
// naming the offset at which reading would have stopped.
bool payloadPresent(const Loader& loader, uint32_t count, size_t recordSize,
                    size_t secondRecordSize = 0) {
    uint64_t offset = loader.offset;
    const uint64_t end = loader.source.size;
    const bool present = blockFits(offset, end, count, recordSize) &&
                         (secondRecordSize == 0 || blockFits(offset, end, count, secondRecordSize));
    if (!present)
        reportReadFailure(loader.name, offset);
    return present;
}

void decodeVertexRecords(MeshVertex* vertices, const unsigned char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i, bytes += kVertexRecordSize) {
        MeshVertex& vertex = vertices[i];
        vertex.x = loadF32(bytes);
        vertex.y = loadF32(bytes + 4);
        vertex.z = loadF32(bytes + 8);
        // bytes 12..15: constant word; bytes 24..31: second texture coordinate; both ignored
        vertex.u = loadF32(bytes + 16);
        vertex.v = loadF32(bytes + 20);
    }
}

void decodeNormalRecords(MeshVertex* vertices, const unsigned char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i, bytes += kNormalRecordSize) {
        vertices[i].nx = loadF32(bytes);
        vertices[i].ny = loadF32(bytes + 4);
        vertices[i].nz = loadF32(bytes + 8);
    }
}

void decodeRecord(const unsigned char* bytes, MeshTriangle& triangle) {
    for (int k = 0; k < 3; ++k)
        triangle.index[k] = loadU16(bytes + 2 * k);
}

void decodeRecord(const unsigned char* bytes, MeshGroup& group) {
    group.id = loadU32(bytes);
    group.indexCount = loadU32(bytes + 4);
    group.baseVertex = loadU32(bytes + 8);
    group.vertexCount = loadU32(bytes + 12);
    group.firstIndex = loadU32(bytes + 16);
}

void decodeRecord(const unsigned char* bytes, uint32_t& matrixNumber) {
    matrixNumber = loadU32(bytes);
}

void decodeRecord(const unsigned char* bytes, MeshMatrix& matrix) {
    for (int k = 0; k < 9; ++k)
        matrix.value[k] = loadF32(bytes + 4 * k);
}

Step loadVertices(Loader& loader, uint32_t count) {
    Mesh& mesh = *loader.mesh;
    if (!payloadPresent(loader, count, kVertexRecordSize, kNormalRecordSize) ||
        !allocateTable(mesh.vertices, mesh.vertexCount, count))
        return Step::failed;
    MeshVertex* vertices = mesh.vertices;
    const bool read = readRecords(loader, count, kVertexRecordSize,
                                  [vertices](const unsigned char* bytes, size_t first, size_t n) {
                                      decodeVertexRecords(vertices + first, bytes, n);
                                  }) &&
                      readRecords(loader, count, kNormalRecordSize,
                                  [vertices](const unsigned char* bytes, size_t first, size_t n) {
                                      decodeNormalRecords(vertices + first, bytes, n);
                                  });
    return read ? Step::nextSection : Step::failed;
}

// Sections whose records map one to one onto the entries of a table.
template <typename T>
Step loadTable(Loader& loader, T*& table, uint32_t& tableCount, uint32_t count, size_t recordSize) {
    if (!payloadPresent(loader, count, recordSize) || !allocateTable(table, tableCount, count))
        return Step::failed;
    T* entries = table;
    const bool read =
        readRecords(loader, count, recordSize,
                    [entries, recordSize](const unsigned char* bytes, size_t first, size_t n) {
                        for (size_t i = 0; i < n; ++i)
                            decodeRecord(bytes + i * recordSize, entries[first + i]);
                    });
    return read ? Step::nextSection : Step::failed;
}

Step reportUnknownSection(const Loader& loader, uint32_t tag, uint32_t count) {
    std::fprintf(stderr,
                 "mshLoad(): ERROR: Unknown section type %u of size %u at offset %llu in file "
                 "\"%s\"\n",
                 tag, count, static_cast<unsigned long long>(loader.offset), loader.name);
    return Step::failed;
}

// A section of a kind already loaded, or an index list whose count is not a multiple of 3,
// is not loaded: only its header is consumed and the next header is read right after it.
Step loadSection(Loader& loader) {
    size_t got = 0;
    const unsigned char* header = readChunk(loader.source, kSectionHeaderSize, got);
    if (got < kSectionHeaderSize) {
        reportReadFailure(loader.name, loader.offset);
        return Step::failed;
    }
    const uint32_t tag = loadU32(header);
    const uint32_t count = loadU32(header + 4);
    loader.offset += kSectionHeaderSize;
    Mesh& mesh = *loader.mesh;
    switch (tag) {
    case kTagEndA:
    case kTagEndB:
        return Step::endOfData;
    case kTagVertices:
        if (mesh.vertices != nullptr)
            return Step::nextSection;
        return loadVertices(loader, count);
    case kTagIndices:
        if (mesh.triangles != nullptr || count % 3 != 0)
            return Step::nextSection;
        return loadTable(loader, mesh.triangles, mesh.triangleCount, count / 3,
                         kTriangleRecordSize);
    case kTagGroups:
        if (mesh.groups != nullptr)
            return Step::nextSection;
        return loadTable(loader, mesh.groups, mesh.groupCount, count, kGroupRecordSize);
    case kTagGroupMatrix:
        if (mesh.groupMatrix != nullptr)
            return Step::nextSection;
        return loadTable(loader, mesh.groupMatrix, mesh.groupMatrixCount, count,
                         kGroupMatrixRecordSize);
    case kTagMatrices:
        if (mesh.matrices != nullptr)
            return Step::nextSection;
        return loadTable(loader, mesh.matrices, mesh.matrixCount, count, kMatrixRecordSize);
    default:
        return reportUnknownSection(loader, tag, count);
    }
}

Mesh* loadFromSource(ByteSource& source, const char* name) {
    Mesh* mesh = mshAllocateArray<Mesh>(1);
    if (mesh == nullptr) {
        reportAllocationFailure();
        return nullptr;
    }
    *mesh = Mesh{};
    Loader loader{source, name, 0, mesh};
    while (loader.offset < source.size) {
        const Step step = loadSection(loader);
        if (step == Step::endOfData)
            break;
        if (step == Step::failed) {
            mshFree(mesh);
            return nullptr;
        }
    }
    return mesh;
}

// The size of an open regular file. False for anything else: a pipe has no size, and a device
// such as /dev/zero tells a size of 0 while holding endless bytes, so taking its size would
// silently load an empty mesh.
bool findFileSize(std::FILE* file, uint64_t& size) {
    FileStatus status{};
    if (!mshFileStatus(file, status) || status.kind != FileKind::regular)
        return false;
    size = status.size;
    return true;
}

const char* printableName(const char* name) { return name != nullptr ? name : ""; }

} // namespace

Mesh* mshLoad(const char* path) {
    const char* name = printableName(path);
    // A directory opens for reading on some systems but holds no bytes to read.
    const bool isDirectory = path != nullptr && mshIsDirectory(path);
    std::FILE* file = isDirectory || path == nullptr ? nullptr : mshOpenFile(path, "rb");
    if (file == nullptr) {
        std::fprintf(
            stderr, "mshLoad(): ERROR: Could not open .msh file \"%s\" for binary reading\n", name);
        return nullptr;
    }
    ByteSource source;
    source.file = file;
    Mesh* mesh = nullptr;
    if (!findFileSize(file, source.size)) {
        reportReadFailure(name, 0);
    } else if ((source.buffer = mshAllocateArray<unsigned char>(kChunkCapacity)) == nullptr) {
        reportAllocationFailure();
    } else {
        mesh = loadFromSource(source, name);
    }
    mshRelease(source.buffer);
    std::fclose(file);
    return mesh;
}

Mesh* mshLoadMemory(const unsigned char* data, size_t size, const char* name) {
    if (data == nullptr && size != 0) {
        reportReadFailure(printableName(name), 0);
        return nullptr;
    }
    ByteSource source;
    source.data = data;
    source.size = size;
    return loadFromSource(source, printableName(name));
}
