#include "obj_input.h"

#include "two_threads.h"

#include <cstdio>
#include <cstring>

namespace {

void printOutOfMemory() {
    std::fputs("ERROR: Could not allocate needed memory\n", stderr);
}

void printReadError(const char* path) {
    std::fprintf(stderr, "ERROR: Could not read .obj file \"%s\"\n", path);
}

ObjPlace placeAfter(const ObjPieceCounts& counts) {
    return ObjPlace{static_cast<uint32_t>(counts.stored.positions), static_cast<uint32_t>(counts.stored.texcoords),
                    static_cast<uint32_t>(counts.stored.normals),   static_cast<uint32_t>(counts.stored.faces),
                    static_cast<uint32_t>(counts.stored.groups),    counts.lines + 1};
}

ObjPlace tableLimits(const ObjTables& tables) {
    return ObjPlace{tables.positionCount, tables.texcoordCount, tables.normalCount, tables.faceCount,
                    tables.groupCount,    UINT64_MAX};
}

bool samePlace(const ObjPlace& a, const ObjPlace& b) {
    return a.position == b.position && a.texcoord == b.texcoord && a.normal == b.normal && a.face == b.face &&
           a.group == b.group;
}

ObjCounts sum(const ObjCounts& a, const ObjCounts& b) {
    return ObjCounts{a.positions + b.positions, a.texcoords + b.texcoords, a.normals + b.normals, a.faces + b.faces,
                     a.groups + b.groups};
}

void clearTables(ObjTables& tables) {
    std::memset(tables.positions, 0, sizeof(ObjVec3) * tables.positionCount);
    std::memset(tables.texcoords, 0, sizeof(ObjVec2) * tables.texcoordCount);
    std::memset(tables.normals, 0, sizeof(ObjVec3) * tables.normalCount);
    std::memset(tables.faces, 0, sizeof(ObjFace) * tables.faceCount);
    std::memset(tables.groups, 0, sizeof(ObjGroup) * tables.groupCount);
}

bool allocate(const ObjCounts& counts, ObjTables& tables) {
    if (allocateObjTables(counts, tables))
        return true;
    printOutOfMemory();
    return false;
}

// The parsing pass in one stretch with the index warnings. The tables are released on failure.
ObjReadResult parseInOneStretch(const TextInput& input, const ReadBuffer& buffer, const char* path,
                                ObjTables& tables) {
    PieceReader reader;
    startPieces(reader, input, buffer);
    const ParseResult parsed = parseObjPieces(reader, tables, path);
    if (parsed == ParseResult::ok && reader.failed)
        printReadError(path);
    if (parsed != ParseResult::ok || reader.failed) {
        releaseObjTables(tables);
        return ObjReadResult::failed;
    }
    return ObjReadResult::ok;
}

ObjReadResult readInOneStretch(const TextInput& input, const ReadBuffer& buffer, const char* path,
                               ObjTables& tables) {
    PieceReader reader;
    startPieces(reader, input, buffer);
    const ObjPieceCounts counts = countObjPieces(reader);
    if (reader.failed) {
        printReadError(path);
        return ObjReadResult::failed;
    }
    if (!allocate(counts.counted, tables))
        return ObjReadResult::failed;
    return parseInOneStretch(input, buffer, path, tables);
}

// Two stretches, [0, split) here and [split, size) on a second thread, each through its own
// file handle and half of the buffer.
struct TwoStretches {
    TextInput inputs[2];
    ReadBuffer buffers[2];
    uint64_t bounds[3];
};

// The counting pass cuts each stretch into chunks at line starts and counts them one by one, so
// that the parsing pass can move its seam to the chunk boundary that shares the work best.
constexpr int kChunks = 32;

struct CountedChunks {
    uint64_t bounds[kChunks + 1];
    ObjPieceCounts counts[kChunks];
};

ObjPieceCounts sumCounts(const CountedChunks& chunks, int first, int end) {
    ObjPieceCounts total{};
    for (int j = first; j < end; ++j) {
        total.counted = sum(total.counted, chunks.counts[j].counted);
        total.stored = sum(total.stored, chunks.counts[j].stored);
        total.lines += chunks.counts[j].lines;
    }
    return total;
}

// Chunk boundaries at line starts near equal steps of the input, never going back; the middle
// one is the split of the counting stretches.
void placeChunks(const TextInput& input, const ReadBuffer& buffer, uint64_t size, uint64_t split,
                 CountedChunks& chunks) {
    chunks.bounds[0] = 0;
    chunks.bounds[kChunks / 2] = split;
    chunks.bounds[kChunks] = size;
    for (int j = 1; j < kChunks; ++j) {
        if (j == kChunks / 2)
            continue;
        const uint64_t low = chunks.bounds[j - 1];
        const uint64_t high = j < kChunks / 2 ? split : size;
        const uint64_t at = lineStartAfter(input, buffer, size / kChunks * static_cast<uint64_t>(j), 1 << 16);
        chunks.bounds[j] = at < low ? low : at > high ? high : at;
    }
}

bool countTwoStretches(const TwoStretches& two, CountedChunks& chunks, bool failed[2]) {
    auto countOne = [&](int i) {
        failed[i] = false;
        for (int j = i * kChunks / 2; j < (i + 1) * kChunks / 2; ++j) {
            PieceReader reader;
            startPiecesAt(reader, two.inputs[i], two.buffers[i], chunks.bounds[j], chunks.bounds[j + 1]);
            chunks.counts[j] = countObjPieces(reader);
            failed[i] = failed[i] || reader.failed;
        }
    };
    return runTogether([&] { countOne(0); }, [&] { countOne(1); });
}

// A vertex record ("v", "vt", "vn") costs more to parse than its bytes alone tell (its numbers
// are long decimals, each converted exactly); about as much as this many more bytes of faces.
constexpr uint64_t kVertexRecordWeightBytes = 16;

// The chunk boundary (inside the input) that shares the parsing work most evenly.
int balancedSeam(const CountedChunks& chunks) {
    uint64_t cost[kChunks];
    uint64_t total = 0;
    for (int j = 0; j < kChunks; ++j) {
        const ObjCounts& stored = chunks.counts[j].stored;
        cost[j] = (chunks.bounds[j + 1] - chunks.bounds[j]) +
                  kVertexRecordWeightBytes * (stored.positions + stored.texcoords + stored.normals);
        total += cost[j];
    }
    int best = kChunks / 2;
    uint64_t bestGap = UINT64_MAX;
    uint64_t before = 0;
    for (int j = 1; j < kChunks; ++j) {
        before += cost[j - 1];
        const uint64_t gap = before > total - before ? before - (total - before) : (total - before) - before;
        if (chunks.bounds[j] != 0 && chunks.bounds[j] < chunks.bounds[kChunks] && gap < bestGap) {
            best = j;
            bestGap = gap;
        }
    }
    return best;
}

// Parses both stretches at once. Returns false when the result cannot stand (the input changed
// since it was counted, or no thread could be started); an error found is kept in `stretches`.
bool parseTwoStretches(const TwoStretches& two, const ObjPieceCounts counts[2], ObjTables& tables,
                       ObjStretch stretches[2], bool failed[2]) {
    const ObjPlace seam = placeAfter(counts[0]);
    stretches[0] = ObjStretch{};
    stretches[0].start = ObjPlace{0, 0, 0, 0, 0, 1};
    stretches[0].limit = seam;
    stretches[1] = ObjStretch{};
    stretches[1].start = seam;
    stretches[1].limit = tableLimits(tables);
    auto parseOne = [&](int i) {
        PieceReader reader;
        startPiecesAt(reader, two.inputs[i], two.buffers[i], two.bounds[i], two.bounds[i + 1]);
        parseObjStretch(reader, tables, stretches[i]);
        failed[i] = reader.failed;
    };
    if (!runTogether([&] { parseOne(0); }, [&] { parseOne(1); }))
        return false;
    if (stretches[0].error.kind != ObjError::none)
        return true;
    const ObjPlace expectedEnd = placeAfter(ObjPieceCounts{{}, sum(counts[0].stored, counts[1].stored), 0});
    return !stretches[0].changed && samePlace(stretches[0].end, seam) &&
           (stretches[1].error.kind != ObjError::none ||
            (!stretches[1].changed && samePlace(stretches[1].end, expectedEnd)));
}

ObjReadResult readInTwoStretches(TwoStretches& two, const CountedChunks& placed, const TextInput& input,
                                 const ReadBuffer& buffer, const char* path, ObjTables& tables) {
    CountedChunks chunks = placed;
    bool failed[2] = {false, false};
    if (!countTwoStretches(two, chunks, failed))
        return readInOneStretch(input, buffer, path, tables);
    if (failed[0] || failed[1]) {
        printReadError(path);
        return ObjReadResult::failed;
    }
    const int seam = balancedSeam(chunks);
    two.bounds[1] = chunks.bounds[seam];
    const ObjPieceCounts counts[2] = {sumCounts(chunks, 0, seam), sumCounts(chunks, seam, kChunks)};
    if (!allocate(sum(counts[0].counted, counts[1].counted), tables))
        return ObjReadResult::failed;
    ObjStretch stretches[2];
    if (!parseTwoStretches(two, counts, tables, stretches, failed)) {
        clearTables(tables);
        return parseInOneStretch(input, buffer, path, tables);
    }
    const bool readFailed = failed[0] || failed[1];
    if (readFailed)
        printReadError(path);
    const ObjStretch* withError = stretches[0].error.kind != ObjError::none   ? &stretches[0]
                                  : stretches[1].error.kind != ObjError::none ? &stretches[1]
                                                                              : nullptr;
    if (!readFailed && withError != nullptr)
        printObjError(withError->error, path);
    if (readFailed || withError != nullptr) {
        releaseObjTables(tables);
        return ObjReadResult::failed;
    }
    finishObjGroups(tables, stretches, 2);
    return ObjReadResult::ok;
}

} // namespace

ObjReadResult readObjTables(const TextInput& input, const char* path, const ReadBuffer& buffer,
                            uint64_t parallelFromBytes, ObjTables& tables) {
    tables = ObjTables{};
    const uint64_t size = textInputSize(input);
    if (size == UINT64_MAX || size < parallelFromBytes || buffer.capacity < 4 * kPieceLimit)
        return readInOneStretch(input, buffer, path, tables);
    const uint64_t split = lineStartAfter(input, buffer, size / 2, 1 << 16);
    if (split == 0 || split >= size)
        return readInOneStretch(input, buffer, path, tables);
    TwoStretches two{{input, input},
                     {ReadBuffer{buffer.bytes, buffer.capacity / 2},
                      ReadBuffer{buffer.bytes + buffer.capacity / 2, buffer.capacity - buffer.capacity / 2}},
                     {0, split, size}};
    FILE* second = nullptr;
    if (input.memory == nullptr) {
        second = std::fopen(path, "r");
        if (second == nullptr)
            return readInOneStretch(input, buffer, path, tables);
        std::setvbuf(second, nullptr, _IONBF, 0);
        two.inputs[1].file = second;
    }
    CountedChunks chunks{};
    placeChunks(input, buffer, size, split, chunks);
    const ObjReadResult result = readInTwoStretches(two, chunks, input, buffer, path, tables);
    if (second != nullptr)
        std::fclose(second);
    return result;
}
