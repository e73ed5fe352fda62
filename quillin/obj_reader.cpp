#include "obj_reader.h"

#include "fields.h"
#include "huge_pages.h"
#include "msh_alloc.h"
#include "number_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

enum class PieceKind { other, position, texcoord, normal, face, group };

// Counting pass classification: 'g' and 'f' count whatever follows them.
PieceKind countedKind(const Piece& piece) {
    switch (pieceChar(piece, 0)) {
    case 'g':
        return PieceKind::group;
    case 'f':
        return PieceKind::face;
    case 'v':
        switch (pieceChar(piece, 1)) {
        case ' ':
            return PieceKind::position;
        case 't':
            return PieceKind::texcoord;
        case 'n':
            return PieceKind::normal;
        default:
            return PieceKind::other;
        }
    default:
        return PieceKind::other;
    }
}

// Parsing pass classification: "v ", "vt ", "vn ", "f ", "g ".
PieceKind storedKind(const Piece& piece) {
    const char first = pieceChar(piece, 0);
    const char second = pieceChar(piece, 1);
    if (first == 'v') {
        if (second == ' ')
            return PieceKind::position;
        if ((second == 't' || second == 'n') && pieceChar(piece, 2) == ' ')
            return second == 't' ? PieceKind::texcoord : PieceKind::normal;
        return PieceKind::other;
    }
    if (second != ' ')
        return PieceKind::other;
    if (first == 'f')
        return PieceKind::face;
    if (first == 'g')
        return PieceKind::group;
    return PieceKind::other;
}

void addTo(ObjCounts& counts, PieceKind kind) {
    counts.positions += kind == PieceKind::position;
    counts.texcoords += kind == PieceKind::texcoord;
    counts.normals += kind == PieceKind::normal;
    counts.faces += kind == PieceKind::face;
    counts.groups += kind == PieceKind::group;
}

void warnLine(int line) {
    std::fprintf(stderr, "WARNING: HEAP CORRUPTION DETECTED! LINE %d\n", line);
}

float floatOrZero(const Field* fields, size_t taken, size_t index) {
    return index < taken ? parseFloatText(fields[index].first, fields[index].last) : 0.0f;
}

int32_t intOf(Field field) {
    return parseIntText(field.first, field.last);
}

bool sameText(Field a, Field b) {
    const size_t length = static_cast<size_t>(a.last - a.first);
    return length == static_cast<size_t>(b.last - b.first) && std::memcmp(a.first, b.first, length) == 0;
}

// An OBJ number as a 0-based table number: 1..tableSize count from the start, -1..-readSoFar
// count back from the latest record read so far. Anything else names no record.
bool resolveReference(int32_t number, uint32_t readSoFar, uint32_t tableSize, uint32_t& index) {
    if (number > 0 && static_cast<uint32_t>(number) <= tableSize) {
        index = static_cast<uint32_t>(number) - 1;
        return true;
    }
    const uint32_t back = static_cast<uint32_t>(-static_cast<int64_t>(number));
    if (number < 0 && back <= readSoFar) {
        index = readSoFar - back;
        return true;
    }
    return false;
}

FaceRun freshRun(const ObjTables& tables) {
    return FaceRun{0, 0, tables.positionCount};
}

FaceRun joinRuns(const FaceRun& before, const FaceRun& after) {
    return FaceRun{before.faces + after.faces, std::max(before.maxPosition, after.maxPosition),
                   std::min(before.minPosition, after.minPosition)};
}

struct ParseState {
    ObjTables& tables;
    ObjStretch& stretch;
    ObjPlace at;
    FaceRun run;
    bool stop = false;
};

// A store index that reached its limit: warn and leave the record out, or, when the stretch
// does not warn, stop: the input has changed since it was counted.
bool roomFor(ParseState& s, uint32_t index, uint32_t limit, int warning) {
    if (index < limit)
        return true;
    if (s.stretch.warn) {
        warnLine(warning);
        return false;
    }
    s.stretch.changed = true;
    s.stop = true;
    return false;
}

// Positions and normals: "%[^' '] %[^' '] %[^' '] %s"; a w component is ignored.
void parseVec3(ParseState& s, const Piece& piece, size_t keywordLength, ObjVec3* table, uint32_t& index,
               uint32_t limit, int warning) {
    if (!roomFor(s, index, limit, warning))
        return;
    const char* last = piece.text + piece.length;
    float values[3];
    if (readFixedFloatFields(piece.text, last, keywordLength, values, 3)) {
        table[index++] = ObjVec3{values[0], values[1], values[2]};
        return;
    }
    Field fields[4];
    const size_t taken = splitRecordFields(piece.text, last, keywordLength, fields, 4);
    table[index++] = ObjVec3{floatOrZero(fields, taken, 1), floatOrZero(fields, taken, 2),
                             floatOrZero(fields, taken, 3)};
}

void parseTexcoord(ParseState& s, const Piece& piece) {
    if (!roomFor(s, s.at.texcoord, s.stretch.limit.texcoord, 231))
        return;
    float values[2];
    if (readFixedFloatFields(piece.text, piece.text + piece.length, 2, values, 2)) {
        s.tables.texcoords[s.at.texcoord++] = ObjVec2{values[0], values[1]};
        return;
    }
    Field fields[3];
    const size_t taken = splitRecordFields(piece.text, piece.text + piece.length, 2, fields, 3);
    s.tables.texcoords[s.at.texcoord++] = ObjVec2{floatOrZero(fields, taken, 1), floatOrZero(fields, taken, 2)};
}

bool fail(ParseState& s, ObjError::Kind kind, const char* what, int32_t number) {
    s.stretch.error = ObjError{kind, s.at.line, what, number};
    s.stop = true;
    return false;
}

// A texture or normal part: empty gives kNoIndex, anything else must name an existing record.
// A part spelled as the position part has its number (as the exporter writes every corner).
bool resolvePart(ParseState& s, Field part, bool repeated, Field positionPart, int32_t position,
                 uint32_t readSoFar, uint32_t tableSize, const char* what, uint32_t& index) {
    if (part.empty()) {
        index = kNoIndex;
        return true;
    }
    const int32_t number = repeated || sameText(part, positionPart) ? position : intOf(part);
    return resolveReference(number, readSoFar, tableSize, index) || fail(s, ObjError::badReference, what, number);
}

bool parseCorner(ParseState& s, const CornerParts& parts, ObjFace& face, int c) {
    const int32_t position = intOf(parts.position);
    if (!resolveReference(position, s.at.position, s.tables.positionCount, face.positionIndex[c]))
        return fail(s, ObjError::badReference, "position", position);
    return resolvePart(s, parts.texcoord, parts.repeated, parts.position, position, s.at.texcoord,
                       s.tables.texcoordCount, "texture coordinate", face.texcoordIndex[c]) &&
           resolvePart(s, parts.normal, parts.repeated, parts.position, position, s.at.normal, s.tables.normalCount,
                       "normal", face.normalIndex[c]);
}

// "%[^' '] %[^' '] %[^' '] %s", then each corner into its parts. Returns false for a face with
// fewer than 3 corners.
bool splitFace(const Piece& piece, CornerParts corners[3]) {
    Field fields[4];
    if (splitRecordFields(piece.text, piece.text + piece.length, 1, fields, 4) < 4)
        return false;
    for (int c = 0; c < 3; ++c)
        corners[c] = splitCorner(fields[c + 1]);
    return true;
}

int faceWarning(const Piece& piece) {
    switch (strCount(piece.text, piece.text + piece.length, '/')) {
    case 0:
        return 252;
    case 3:
        return 262;
    case 6:
        return 284;
    default:
        return 0;
    }
}

void storeFace(ParseState& s, const ObjFace& face) {
    for (uint32_t p : face.positionIndex) {
        s.run.maxPosition = std::max(s.run.maxPosition, p);
        s.run.minPosition = std::min(s.run.minPosition, p);
    }
    s.tables.faces[s.at.face++] = face;
    ++s.run.faces;
}

// A corner of the exporter's spelling: its three parts are the same number.
bool resolveRepeatedCorner(ParseState& s, int32_t number, ObjFace& face, int c) {
    if (!resolveReference(number, s.at.position, s.tables.positionCount, face.positionIndex[c]))
        return fail(s, ObjError::badReference, "position", number);
    return (resolveReference(number, s.at.texcoord, s.tables.texcoordCount, face.texcoordIndex[c]) ||
            fail(s, ObjError::badReference, "texture coordinate", number)) &&
           (resolveReference(number, s.at.normal, s.tables.normalCount, face.normalIndex[c]) ||
            fail(s, ObjError::badReference, "normal", number));
}

void parseFace(ParseState& s, const Piece& piece) {
    int32_t numbers[3];
    if (s.at.face < s.stretch.limit.face && readRepeatedFaceNumbers(piece.text, piece.text + piece.length, numbers)) {
        ObjFace face;
        for (int c = 0; c < 3; ++c)
            if (!resolveRepeatedCorner(s, numbers[c], face, c))
                return;
        storeFace(s, face);
        return;
    }
    CornerParts corners[3];
    const bool complete = splitFace(piece, corners);
    if (s.at.face >= s.stretch.limit.face) {
        // Only faces of 0, 3 or 6 '/' have a warning; every extra face is left out.
        const int warning = faceWarning(piece);
        if (!s.stretch.warn || warning != 0)
            roomFor(s, s.at.face, s.stretch.limit.face, warning);
        return;
    }
    if (!complete) {
        fail(s, ObjError::fewCorners, nullptr, 0);
        return;
    }
    ObjFace face;
    for (int c = 0; c < 3; ++c)
        if (!parseCorner(s, corners[c], face, c))
            return;
    storeFace(s, face);
}

void closeGroup(ObjTables& tables, uint32_t index, const FaceRun& run) {
    if (index >= tables.groupCount)
        return;
    ObjGroup& group = tables.groups[index];
    group.faceCount = run.faces;
    group.vertexCount = run.maxPosition + 1 - run.minPosition;
}

void parseGroup(ParseState& s, const Piece& piece) {
    // Past the table a group still opens (and closes the one before), but is not stored.
    if (s.at.group >= s.stretch.limit.group) {
        roomFor(s, s.at.group, s.stretch.limit.group, 333);
        if (s.stop)
            return;
    }
    if (s.stretch.sawGroup) {
        closeGroup(s.tables, s.at.group - 1, s.run);
    } else {
        s.stretch.sawGroup = true;
        s.stretch.firstGroup = s.at.group;
        s.stretch.prefix = s.run;
    }
    Field idText;
    const uint32_t id = splitGroupId(piece.text, piece.text + piece.length, idText)
                            ? static_cast<uint32_t>(intOf(idText))
                            : 0;
    if (s.at.group < s.tables.groupCount) {
        // The first group of a stretch gets its base vertex from finishObjGroups.
        const uint32_t baseVertex = s.at.group == s.stretch.firstGroup ? 0 : s.run.maxPosition + 1;
        s.tables.groups[s.at.group] = ObjGroup{id, s.at.face, 0, baseVertex, 0};
    }
    ++s.at.group;
    s.run = freshRun(s.tables);
}

void parsePiece(ParseState& s, const Piece& piece) {
    switch (storedKind(piece)) {
    case PieceKind::position:
        parseVec3(s, piece, 1, s.tables.positions, s.at.position, s.stretch.limit.position, 205);
        return;
    case PieceKind::normal:
        parseVec3(s, piece, 2, s.tables.normals, s.at.normal, s.stretch.limit.normal, 218);
        return;
    case PieceKind::texcoord:
        parseTexcoord(s, piece);
        return;
    case PieceKind::face:
        parseFace(s, piece);
        return;
    case PieceKind::group:
        parseGroup(s, piece);
        return;
    case PieceKind::other:
        return;
    }
}

} // namespace

ObjPieceCounts countObjPieces(PieceReader& reader) {
    ObjPieceCounts counts{};
    forEachPiece(reader, [&counts](const Piece& piece) {
        addTo(counts.counted, countedKind(piece));
        addTo(counts.stored, storedKind(piece));
        counts.lines += piece.endsLine;
        return true;
    });
    return counts;
}

bool allocateObjTables(const ObjCounts& counts, ObjTables& tables) {
    tables = ObjTables{};
    const uint64_t all[] = {counts.positions, counts.texcoords, counts.normals, counts.faces, counts.groups};
    for (uint64_t count : all)
        if (count > UINT32_MAX)
            return false;
    tables.positionCount = static_cast<uint32_t>(counts.positions);
    tables.texcoordCount = static_cast<uint32_t>(counts.texcoords);
    tables.normalCount = static_cast<uint32_t>(counts.normals);
    tables.faceCount = static_cast<uint32_t>(counts.faces);
    tables.groupCount = static_cast<uint32_t>(counts.groups);
    const bool allocated = (tables.positions = mshAllocateArray<ObjVec3>(tables.positionCount)) != nullptr &&
                           (tables.texcoords = mshAllocateArray<ObjVec2>(tables.texcoordCount)) != nullptr &&
                           (tables.normals = mshAllocateArray<ObjVec3>(tables.normalCount)) != nullptr &&
                           (tables.faces = mshAllocateArray<ObjFace>(tables.faceCount)) != nullptr &&
                           (tables.groups = mshAllocateArray<ObjGroup>(tables.groupCount)) != nullptr;
    if (!allocated) {
        releaseObjTables(tables);
        return false;
    }
    adviseHugePages(tables.positions, sizeof(ObjVec3) * tables.positionCount);
    adviseHugePages(tables.texcoords, sizeof(ObjVec2) * tables.texcoordCount);
    adviseHugePages(tables.normals, sizeof(ObjVec3) * tables.normalCount);
    adviseHugePages(tables.faces, sizeof(ObjFace) * tables.faceCount);
    adviseHugePages(tables.groups, sizeof(ObjGroup) * tables.groupCount);
    return true;
}

void releaseObjTables(ObjTables& tables) {
    mshRelease(tables.positions);
    mshRelease(tables.texcoords);
    mshRelease(tables.normals);
    mshRelease(tables.faces);
    mshRelease(tables.groups);
    tables = ObjTables{};
}

void parseObjStretch(PieceReader& reader, ObjTables& tables, ObjStretch& stretch) {
    stretch.sawGroup = false;
    stretch.changed = false;
    stretch.error = ObjError{ObjError::none, 0, nullptr, 0};
    ParseState s{tables, stretch, stretch.start, freshRun(tables)};
    forEachPiece(reader, [&s](const Piece& piece) {
        parsePiece(s, piece);
        s.at.line += piece.endsLine;
        return !s.stop;
    });
    stretch.end = s.at;
    if (stretch.sawGroup) {
        stretch.lastGroup = s.at.group - 1;
        stretch.tail = s.run;
    } else {
        stretch.prefix = s.run;
    }
}

void finishObjGroups(ObjTables& tables, const ObjStretch* stretches, size_t count) {
    FaceRun carried = freshRun(tables);
    bool open = false;
    uint32_t openGroup = 0;
    for (size_t i = 0; i < count; ++i) {
        const ObjStretch& stretch = stretches[i];
        const FaceRun joined = joinRuns(carried, stretch.prefix);
        if (!stretch.sawGroup) {
            carried = joined;
            continue;
        }
        if (open)
            closeGroup(tables, openGroup, joined);
        if (stretch.firstGroup < tables.groupCount) {
            // The first group of the file: the greatest position before it, without adding 1.
            tables.groups[stretch.firstGroup].baseVertex =
                stretch.firstGroup == 0 ? joined.maxPosition : joined.maxPosition + 1;
        }
        carried = stretch.tail;
        open = true;
        openGroup = stretch.lastGroup;
    }
    if (open) {
        if (openGroup >= tables.groupCount && count != 0 && stretches[count - 1].warn)
            warnLine(364);
        closeGroup(tables, openGroup, carried);
    }
    const ObjPlace& end = count != 0 ? stretches[count - 1].end : ObjPlace{};
    tables.storedFaces = end.face;
    tables.storedGroups = std::min(end.group, tables.groupCount);
}

void printObjError(const ObjError& error, const char* path) {
    if (error.kind == ObjError::badReference)
        std::fprintf(stderr,
                     "ERROR: Line %" PRIu64 " of .obj file \"%s\": face refers to %s %" PRId32
                     ", which does not exist\n",
                     error.line, path, error.what, error.number);
    else if (error.kind == ObjError::fewCorners)
        std::fprintf(stderr, "ERROR: Line %" PRIu64 " of .obj file \"%s\": face has fewer than three corners\n",
                     error.line, path);
}

ParseResult parseObjPieces(PieceReader& reader, ObjTables& tables, const char* path) {
    ObjStretch stretch{};
    stretch.start = ObjPlace{0, 0, 0, 0, 0, 1};
    stretch.limit = ObjPlace{tables.positionCount, tables.texcoordCount, tables.normalCount, tables.faceCount,
                             tables.groupCount, UINT64_MAX};
    stretch.warn = true;
    parseObjStretch(reader, tables, stretch);
    if (stretch.error.kind != ObjError::none) {
        printObjError(stretch.error, path);
        return stretch.error.kind == ObjError::badReference ? ParseResult::badReference : ParseResult::badFace;
    }
    finishObjGroups(tables, &stretch, 1);
    return ParseResult::ok;
}
