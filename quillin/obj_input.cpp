#include "quillin/obj_input.h"

#include "quillin/messages.h"
#include "quillin/number_text.h"
#include "quillin/two_threads.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace quillin {

namespace {

ObjPlace placeAfter(const ObjLineCounts& counts) {
    const ObjCounts& r = counts.records;
    return ObjPlace{static_cast<uint32_t>(r.positions),
                    static_cast<uint32_t>(r.texcoords),
                    static_cast<uint32_t>(r.normals),
                    static_cast<uint32_t>(r.faces),
                    static_cast<uint32_t>(r.corners),
                    static_cast<uint32_t>(r.groups),
                    counts.lines + 1};
}

bool samePlace(const ObjPlace& a, const ObjPlace& b) {
    return a.position == b.position && a.texcoord == b.texcoord && a.normal == b.normal &&
           a.face == b.face && a.corner == b.corner && a.group == b.group;
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

// Reports a read error, else a want of memory for a long line; true when either happened.
bool reportReadFailure(bool failed, bool outOfMemory, const char* path) {
    if (failed)
        printObjReadError(path);
    else if (outOfMemory)
        printOutOfMemory();
    return failed || outOfMemory;
}

bool reportReaderFailure(const PieceReader& reader, const char* path) {
    return reportReadFailure(reader.failed, reader.outOfMemory, path);
}

bool allocate(const ObjCounts& counts, ObjTables& tables) {
    if (allocateObjTables(counts, tables))
        return true;
    printOutOfMemory();
    return false;
}

// The parsing pass in one stretch with the index warnings. The tables are released on failure.
bool parseInOneStretch(const TextInput& input, const ReadBuffer& buffer, const char* path,
                       ObjTables& tables) {
    PieceReader reader;
    startPieces(reader, input, buffer);
    if (!parseObjLines(reader, tables, path) || reportReaderFailure(reader, path)) {
        releaseObjTables(tables);
        return false;
    }
    return true;
}

bool readInOneStretch(const TextInput& input, const ReadBuffer& buffer, const char* path,
                      ObjTables& tables) {
    PieceReader reader;
    startPieces(reader, input, buffer);
    const ObjLineCounts counts = countObjLines(reader);
    if (reportReaderFailure(reader, path))
        return false;
    if (!allocate(counts.records, tables))
        return false;
    return parseInOneStretch(input, buffer, path, tables);
}

// The two threads' halves of the buffer, through which each reads the one input.
struct TwoBuffers {
    ReadBuffer halves[2];
};

// The input is cut into chunks at line starts; both passes hand them to whichever thread is
// free, so that chunks of different costs (vertices, faces) share out evenly. The counts of the
// chunks before a chunk tell where its records go.
constexpr int kChunks = 32;

struct CountedChunks {
    uint64_t bounds[kChunks + 1];
    ObjLineCounts counts[kChunks];
};

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
        const uint64_t at =
            lineStartAfter(input, buffer, size / kChunks * static_cast<uint64_t>(j), 1 << 16);
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
    return reportReadFailure(failures.failed[0] || failures.failed[1],
                             failures.outOfMemory[0] || failures.outOfMemory[1], path);
}

// The passes, as the test seam names them.
constexpr int kCountingPass = 1;
constexpr int kParsingPass = 2;

// Runs work(j, reader) for every chunk j, on two threads that each take the next chunk not yet
// taken until none is left (chunks of faces cost more than chunks of vertices), each reading
// through its own half of the buffer. Returns false, having run nothing, when no thread can be
// started.
template <typename Work>
bool forEachChunk(const TextInput& input, const TwoBuffers& two, const CountedChunks& chunks,
                  int pass, ReaderFailures& failures, Work work) {
    if (twoStretchSeam.failThreadStartInPass == pass)
        return false;
    std::atomic<int> next{0};
    auto takeChunks = [&](int i) {
        failures.failed[i] = failures.outOfMemory[i] = false;
        for (int j = next++; j < kChunks; j = next++) {
            PieceReader reader;
            startPiecesAt(reader, input, two.halves[i], chunks.bounds[j], chunks.bounds[j + 1]);
            work(j, reader);
            failures.failed[i] = failures.failed[i] || reader.failed;
            failures.outOfMemory[i] = failures.outOfMemory[i] || reader.outOfMemory;
        }
    };
    return runTogether([&] { takeChunks(0); }, [&] { takeChunks(1); });
}

bool countTwoStretches(const TextInput& input, const TwoBuffers& two, CountedChunks& chunks,
                       ReaderFailures& failures) {
    return forEachChunk(
        input, two, chunks, kCountingPass, failures,
        [&chunks](int j, PieceReader& reader) { chunks.counts[j] = countObjLines(reader); });
}

// Where each chunk's records go: the table places after the chunks before it. Returns the
// records of all the chunks.
ObjCounts placeChunkRecords(const CountedChunks& chunks, ObjPlace places[kChunks + 1]) {
    ObjLineCounts before{};
    places[0] = placeAfter(before);
    for (int j = 0; j < kChunks; ++j) {
        before.records = sum(before.records, chunks.counts[j].records);
        before.lines += chunks.counts[j].lines;
        places[j + 1] = placeAfter(before);
    }
    return before.records;
}

// Parses the chunks on two threads, each taking the next chunk not yet parsed, into the places
// the counting gave them. Tells the fallback the result calls for when it cannot stand (no
// thread could be started, or the input changed since it was counted); an error found is kept
// in its chunk's stretch.
StretchFallback parseChunks(const TextInput& input, const TwoBuffers& two,
                            const CountedChunks& chunks, const ObjPlace places[kChunks + 1],
                            ObjTables& tables, ObjStretch stretches[kChunks],
                            ReaderFailures& failures) {
    const bool ran =
        forEachChunk(input, two, chunks, kParsingPass, failures, [&](int j, PieceReader& reader) {
            stretches[j] = ObjStretch{};
            stretches[j].start = places[j];
            stretches[j].limit = places[j + 1];
            parseObjStretch(reader, tables, stretches[j]);
        });
    if (!ran)
        return StretchFallback::threadNotStarted;
    for (int j = 0; j < kChunks; ++j) {
        if (stretches[j].error.kind != ObjError::none)
            return StretchFallback::none;
        if (stretches[j].changed || !samePlace(stretches[j].end, places[j + 1]))
            return StretchFallback::inputChanged;
    }
    return StretchFallback::none;
}

bool readInTwoStretches(const TwoBuffers& two, const CountedChunks& placed, const TextInput& input,
                        const ReadBuffer& buffer, const char* path, ObjTables& tables) {
    CountedChunks chunks = placed;
    ReaderFailures failures{};
    if (!countTwoStretches(input, two, chunks, failures)) {
        twoStretchSeam.taken = StretchFallback::threadNotStarted;
        return readInOneStretch(input, buffer, path, tables);
    }
    if (reportFailures(failures, path))
        return false;
    ObjPlace places[kChunks + 1];
    if (!allocate(placeChunkRecords(chunks, places), tables))
        return false;
    if (twoStretchSeam.betweenPasses != nullptr)
        twoStretchSeam.betweenPasses(twoStretchSeam.context);
    ObjStretch stretches[kChunks];
    const StretchFallback fallback =
        parseChunks(input, two, chunks, places, tables, stretches, failures);
    if (fallback != StretchFallback::none) {
        twoStretchSeam.taken = fallback;
        clearTables(tables);
        return parseInOneStretch(input, buffer, path, tables);
    }
    const bool readFailed = reportFailures(failures, path);
    const ObjStretch* withError = nullptr;
    for (int j = 0; j < kChunks && withError == nullptr; ++j)
        if (stretches[j].error.kind != ObjError::none)
            withError = &stretches[j];
    if (!readFailed && withError != nullptr)
        printObjError(withError->error, path);
    if (readFailed || withError != nullptr) {
        releaseObjTables(tables);
        return false;
    }
    bool ownNumbersOnly = true;
    for (const ObjStretch& stretch : stretches)
        ownNumbersOnly = ownNumbersOnly && stretch.ownNumbersOnly;
    finishObjGroups(tables, places[kChunks], PastTableAction::stopAsChanged, ownNumbersOnly);
    return true;
}

// UTF-16 text: a byte order mark of either order, or an ASCII character and a zero byte.
bool startsAsUtf16(const TextInput& input, const ReadBuffer& buffer) {
    PieceReader reader;
    startPiecesAt(reader, input, buffer, 0, 2);
    if (reader.size < 2)
        return false;
    const auto first = static_cast<unsigned char>(reader.data[0]);
    const auto second = static_cast<unsigned char>(reader.data[1]);
    const auto isText = [](unsigned char c) {
        return c == '\t' || c == '\n' || c == '\r' || (c >= ' ' && c < 0x7F);
    };
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF) ||
           (first == 0 && isText(second)) || (second == 0 && isText(first));
}

} // namespace

namespace {

bool readTables(const TextInput& input, const char* path, const ReadBuffer& buffer, ReadMode mode,
                ObjTables& tables) {
    tables = ObjTables{};
    twoStretchSeam.taken = StretchFallback::none;
    if (startsAsUtf16(input, buffer)) {
        printObjUtf16Error(path);
        return false;
    }
    const uint64_t size = textInputSize(input);
    const uint64_t twoFromBytes = mode == ReadMode::bySize       ? kParallelFromBytes
                                  : mode == ReadMode::oneStretch ? UINT64_MAX
                                                                 : 0;
    if (size == UINT64_MAX || size < twoFromBytes || buffer.capacity < 4096)
        return readInOneStretch(input, buffer, path, tables);
    const uint64_t split = lineStartAfter(input, buffer, size / 2, 1 << 16);
    if (split == 0 || split >= size)
        return readInOneStretch(input, buffer, path, tables);
    const TwoBuffers two{
        {ReadBuffer{buffer.bytes, buffer.capacity / 2},
         ReadBuffer{buffer.bytes + buffer.capacity / 2, buffer.capacity - buffer.capacity / 2}}};
    CountedChunks chunks{};
    placeChunks(input, buffer, size, split, chunks);
    return readInTwoStretches(two, chunks, input, buffer, path, tables);
}

} // namespace

bool readObjTables(const TextInput& input, const char* path, const ReadBuffer& buffer,
                   ReadMode mode, ObjTables& tables) {
    clearNumberCopyFailure();
    if (!readTables(input, path, buffer, mode, tables))
        return false;
    if (!numberCopyFailed())
        return true;
    releaseObjTables(tables);
    printOutOfMemory();
    return false;
}

} // namespace quillin
