#include "obj_input.h"

#include "two_threads.h"

#include <atomic>
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
    const ObjCounts& r = counts.records;
    return ObjPlace{static_cast<uint32_t>(r.positions), static_cast<uint32_t>(r.texcoords),
                    static_cast<uint32_t>(r.normals),   static_cast<uint32_t>(r.faces),
                    static_cast<uint32_t>(r.corners),   static_cast<uint32_t>(r.groups),
                    counts.lines + 1};
}

ObjPlace tableLimits(const ObjTables& tables) {
    return ObjPlace{tables.positionCount, tables.texcoordCount, tables.normalCount, tables.faceCount,
                    tables.cornerCount,   tables.groupCount,    UINT64_MAX};
}

bool samePlace(const ObjPlace& a, const ObjPlace& b) {
    return a.position == b.position && a.texcoord == b.texcoord && a.normal == b.normal && a.face == b.face &&
           a.corner == b.corner && a.group == b.group;
}

ObjCounts sum(const ObjCounts& a, const ObjCounts& b) {
    return ObjCounts{a.positions + b.positions, a.texcoords + b.texcoords, a.normals + b.normals,
                     a.faces + b.faces,         a.corners + b.corners,     a.groups + b.groups};
}

void clearTables(ObjTables& tables) {
    std::memset(tables.positions, 0, sizeof(ObjVec3) * tables.positionCount);
    std::memset(tables.texcoords, 0, sizeof(ObjVec2) * tables.texcoordCount);
    std::memset(tables.normals, 0, sizeof(ObjVec3) * tables.normalCount);
    std::memset(tables.faces, 0, sizeof(ObjFace) * tables.faceCount);
    std::memset(tables.corners, 0, sizeof(ObjCorner) * tables.cornerCount);
    std::memset(tables.groups, 0, sizeof(ObjGroup) * tables.groupCount);
}

// Reports a reader that stopped on a read error or for want of memory; true when it did.
bool reportReaderFailure(const PieceReader& reader, const char* path) {
    if (reader.failed)
        printReadError(path);
    else if (reader.outOfMemory)
        printOutOfMemory();
    return reader.failed || reader.outOfMemory;
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
    if (parsed == ParseResult::ok)
        reportReaderFailure(reader, path);
    if (parsed != ParseResult::ok || reader.failed || reader.outOfMemory) {
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
    if (reportReaderFailure(reader, path))
        return ObjReadResult::failed;
    if (!allocate(counts.records, tables))
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
        total.records = sum(total.records, chunks.counts[j].records);
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

// What went wrong with a reader of each stretch: nothing, a read error, or no memory for a
// long line.
struct ReaderFailures {
    bool failed[2];
    bool outOfMemory[2];
};

bool reportFailures(const ReaderFailures& failures, const char* path) {
    const bool failed = failures.failed[0] || failures.failed[1];
    const bool outOfMemory = failures.outOfMemory[0] || failures.outOfMemory[1];
    if (failed)
        printReadError(path);
    else if (outOfMemory)
        printOutOfMemory();
    return failed || outOfMemory;
}

// Both threads take the next chunk not yet counted until none is left, since the chunks of
// faces cost more to count than the chunks of vertices.
bool countTwoStretches(const TwoStretches& two, CountedChunks& chunks, ReaderFailures& failures) {
    std::atomic<int> next{0};
    auto countOne = [&](int i) {
        failures.failed[i] = failures.outOfMemory[i] = false;
        for (int j = next++; j < kChunks; j = next++) {
            PieceReader reader;
            startPiecesAt(reader, two.inputs[i], two.buffers[i], chunks.bounds[j], chunks.bounds[j + 1]);
            chunks.counts[j] = countObjPieces(reader);
            failures.failed[i] = failures.failed[i] || reader.failed;
            failures.outOfMemory[i] = failures.outOfMemory[i] || reader.outOfMemory;
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
        const ObjCounts& stored = chunks.counts[j].records;
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
                       ObjStretch stretches[2], ReaderFailures& failures) {
    const ObjPlace seam = placeAfter(counts[0]);
    stretches[0] = ObjStretch{};
    stretches[0].start = ObjPlace{0, 0, 0, 0, 0, 0, 1};
    stretches[0].limit = seam;
    stretches[1] = ObjStretch{};
    stretches[1].start = seam;
    stretches[1].limit = tableLimits(tables);
    auto parseOne = [&](int i) {
        PieceReader reader;
        startPiecesAt(reader, two.inputs[i], two.buffers[i], two.bounds[i], two.bounds[i + 1]);
        parseObjStretch(reader, tables, stretches[i]);
        failures.failed[i] = reader.failed;
        failures.outOfMemory[i] = reader.outOfMemory;
    };
    if (!runTogether([&] { parseOne(0); }, [&] { parseOne(1); }))
        return false;
    if (stretches[0].error.kind != ObjError::none)
        return true;
    const ObjPlace expectedEnd = placeAfter(ObjPieceCounts{sum(counts[0].records, counts[1].records), 0});
    return !stretches[0].changed && samePlace(stretches[0].end, seam) &&
           (stretches[1].error.kind != ObjError::none ||
            (!stretches[1].changed && samePlace(stretches[1].end, expectedEnd)));
}

ObjReadResult readInTwoStretches(TwoStretches& two, const CountedChunks& placed, const TextInput& input,
                                 const ReadBuffer& buffer, const char* path, ObjTables& tables) {
    CountedChunks chunks = placed;
    ReaderFailures failures{};
    if (!countTwoStretches(two, chunks, failures))
        return readInOneStretch(input, buffer, path, tables);
    if (reportFailures(failures, path))
        return ObjReadResult::failed;
    const int seam = balancedSeam(chunks);
    two.bounds[1] = chunks.bounds[seam];
    const ObjPieceCounts counts[2] = {sumCounts(chunks, 0, seam), sumCounts(chunks, seam, kChunks)};
    if (!allocate(sum(counts[0].records, counts[1].records), tables))
        return ObjReadResult::failed;
    ObjStretch stretches[2];
    if (!parseTwoStretches(two, counts, tables, stretches, failures)) {
        clearTables(tables);
        return parseInOneStretch(input, buffer, path, tables);
    }
    const bool readFailed = reportFailures(failures, path);
    const ObjStretch* withError = stretches[0].error.kind != ObjError::none   ? &stretches[0]
                                  : stretches[1].error.kind != ObjError::none ? &stretches[1]
                                                                              : nullptr;
    if (!readFailed && withError != nullptr)
        printObjError(withError->error, path);
    if (readFailed || withError != nullptr) {
        releaseObjTables(tables);
        return ObjReadResult::failed;
    }
    finishObjGroups(tables, stretches[1].end, false);
    return ObjReadResult::ok;
}

// UTF-16 text: a byte order mark of either order, or an ASCII character and a zero byte.
bool startsAsUtf16(const TextInput& input, const ReadBuffer& buffer) {
    PieceReader reader;
    startPiecesAt(reader, input, buffer, 0, 2);
    if (reader.size < 2)
        return false;
    const auto first = static_cast<unsigned char>(reader.data[0]);
    const auto second = static_cast<unsigned char>(reader.data[1]);
    const auto isText = [](unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || (c >= ' ' && c < 0x7F); };
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF) || (first == 0 && isText(second)) ||
           (second == 0 && isText(first));
}

} // namespace

ObjReadResult readObjTables(const TextInput& input, const char* path, const ReadBuffer& buffer,
                            uint64_t parallelFromBytes, ObjTables& tables) {
    tables = ObjTables{};
    if (startsAsUtf16(input, buffer)) {
        std::fprintf(stderr, "ERROR: .obj file \"%s\" is UTF-16 text; save it as UTF-8 or ASCII\n", path);
        return ObjReadResult::failed;
    }
    const uint64_t size = textInputSize(input);
    if (size == UINT64_MAX || size < parallelFromBytes || buffer.capacity < 4096)
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
