#include "obj_reader.h"

#include "fields.h"
#include "msh_alloc.h"
#include "number_text.h"

#include <cinttypes>
#include <cstdio>

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

void warnLine(int line) {
    std::fprintf(stderr, "WARNING: HEAP CORRUPTION DETECTED! LINE %d\n", line);
}

float floatOrZero(const Field* fields, size_t taken, size_t index) {
    return index < taken ? parseFloatText(fields[index].first, fields[index].last) : 0.0f;
}

int32_t intOf(Field field) {
    return parseIntText(field.first, field.last);
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

struct ParseState {
    ObjTables& tables;
    const char* path;
    uint64_t line = 1;
    uint32_t positionIndex = 0;
    uint32_t texcoordIndex = 0;
    uint32_t normalIndex = 0;
    uint32_t faceIndex = 0;
    uint32_t groupIndex = 0; // may pass the table when records were added after counting
    uint32_t runningMax = 0;
    uint32_t runningMin = 0;
    uint32_t facesSinceGroup = 0;
};

// Positions and normals: "%[^' '] %[^' '] %[^' '] %s"; a w component is ignored.
void parseVec3(const Piece& piece, ObjVec3* table, uint32_t& index, uint32_t size, int warning) {
    if (index >= size) {
        warnLine(warning);
        return;
    }
    Field fields[4];
    const size_t taken = splitFields(piece.text, piece.text + piece.length, fields, 4);
    table[index++] = ObjVec3{floatOrZero(fields, taken, 1), floatOrZero(fields, taken, 2),
                             floatOrZero(fields, taken, 3)};
}

void parseTexcoord(ParseState& s, const Piece& piece) {
    if (s.texcoordIndex >= s.tables.texcoordCount) {
        warnLine(231);
        return;
    }
    Field fields[3];
    const size_t taken = splitFields(piece.text, piece.text + piece.length, fields, 3);
    s.tables.texcoords[s.texcoordIndex++] = ObjVec2{floatOrZero(fields, taken, 1), floatOrZero(fields, taken, 2)};
}

void reportBadReference(const ParseState& s, const char* kind, int32_t number) {
    std::fprintf(stderr, "ERROR: Line %" PRIu64 " of .obj file \"%s\": face refers to %s %" PRId32
                         ", which does not exist\n",
                 s.line, s.path, kind, number);
}

// An optional part: empty gives kNoIndex, anything else must name an existing record.
bool resolvePart(const ParseState& s, Field part, uint32_t readSoFar, uint32_t tableSize, const char* kind,
                 uint32_t& index) {
    if (part.empty()) {
        index = kNoIndex;
        return true;
    }
    const int32_t number = intOf(part);
    if (resolveReference(number, readSoFar, tableSize, index))
        return true;
    reportBadReference(s, kind, number);
    return false;
}

bool parseCorner(ParseState& s, Field corner, ObjFace& face, int c) {
    const CornerParts parts = splitCorner(corner);
    const int32_t position = intOf(parts.position);
    if (!resolveReference(position, s.positionIndex, s.tables.positionCount, face.positionIndex[c])) {
        reportBadReference(s, "position", position);
        return false;
    }
    return resolvePart(s, parts.texcoord, s.texcoordIndex, s.tables.texcoordCount, "texture coordinate",
                       face.texcoordIndex[c]) &&
           resolvePart(s, parts.normal, s.normalIndex, s.tables.normalCount, "normal", face.normalIndex[c]);
}

void warnFaceOverflow(const Piece& piece) {
    switch (strCount(piece.text, piece.text + piece.length, '/')) {
    case 0:
        warnLine(252);
        break;
    case 3:
        warnLine(262);
        break;
    case 6:
        warnLine(284);
        break;
    default:
        break;
    }
}

ParseResult parseFace(ParseState& s, const Piece& piece) {
    Field fields[4];
    const size_t taken = splitFields(piece.text, piece.text + piece.length, fields, 4);
    if (s.faceIndex >= s.tables.faceCount) {
        warnFaceOverflow(piece);
        return ParseResult::ok;
    }
    if (taken < 4) {
        std::fprintf(stderr, "ERROR: Line %" PRIu64 " of .obj file \"%s\": face has fewer than three corners\n",
                     s.line, s.path);
        return ParseResult::badFace;
    }
    ObjFace face;
    for (int c = 0; c < 3; ++c)
        if (!parseCorner(s, fields[c + 1], face, c))
            return ParseResult::badReference;
    for (uint32_t p : face.positionIndex) {
        if (p > s.runningMax)
            s.runningMax = p;
        if (p < s.runningMin)
            s.runningMin = p;
    }
    s.tables.faces[s.faceIndex++] = face;
    ++s.facesSinceGroup;
    return ParseResult::ok;
}

void closeGroup(ParseState& s, uint32_t index) {
    if (index >= s.tables.groupCount)
        return;
    ObjGroup& group = s.tables.groups[index];
    group.faceCount = s.facesSinceGroup;
    group.vertexCount = s.runningMax + 1 - s.runningMin;
}

void parseGroup(ParseState& s, const Piece& piece) {
    if (s.groupIndex >= s.tables.groupCount)
        warnLine(333);
    if (s.groupIndex != 0)
        closeGroup(s, s.groupIndex - 1);
    Field idText;
    const uint32_t id = splitGroupId(piece.text, piece.text + piece.length, idText)
                            ? static_cast<uint32_t>(intOf(idText))
                            : 0;
    if (s.groupIndex < s.tables.groupCount) {
        const uint32_t baseVertex = s.groupIndex == 0 ? s.runningMax : s.runningMax + 1;
        s.tables.groups[s.groupIndex] = ObjGroup{id, s.faceIndex, 0, baseVertex, 0};
    }
    ++s.groupIndex;
    s.runningMin = s.tables.positionCount;
    s.runningMax = 0;
    s.facesSinceGroup = 0;
}

ParseResult parsePiece(ParseState& s, const Piece& piece) {
    switch (storedKind(piece)) {
    case PieceKind::position:
        parseVec3(piece, s.tables.positions, s.positionIndex, s.tables.positionCount, 205);
        return ParseResult::ok;
    case PieceKind::normal:
        parseVec3(piece, s.tables.normals, s.normalIndex, s.tables.normalCount, 218);
        return ParseResult::ok;
    case PieceKind::texcoord:
        parseTexcoord(s, piece);
        return ParseResult::ok;
    case PieceKind::face:
        return parseFace(s, piece);
    case PieceKind::group:
        parseGroup(s, piece);
        return ParseResult::ok;
    case PieceKind::other:
        return ParseResult::ok;
    }
    return ParseResult::ok;
}

} // namespace

ObjCounts countObjPieces(PieceReader& reader) {
    ObjCounts counts{};
    Piece piece;
    while (nextPiece(reader, piece)) {
        switch (countedKind(piece)) {
        case PieceKind::position:
            ++counts.positions;
            break;
        case PieceKind::texcoord:
            ++counts.texcoords;
            break;
        case PieceKind::normal:
            ++counts.normals;
            break;
        case PieceKind::face:
            ++counts.faces;
            break;
        case PieceKind::group:
            ++counts.groups;
            break;
        case PieceKind::other:
            break;
        }
    }
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
    if (!allocated)
        releaseObjTables(tables);
    return allocated;
}

void releaseObjTables(ObjTables& tables) {
    mshRelease(tables.positions);
    mshRelease(tables.texcoords);
    mshRelease(tables.normals);
    mshRelease(tables.faces);
    mshRelease(tables.groups);
    tables = ObjTables{};
}

ParseResult parseObjPieces(PieceReader& reader, ObjTables& tables, const char* path) {
    ParseState s{tables, path};
    s.runningMin = tables.positionCount;
    Piece piece;
    while (nextPiece(reader, piece)) {
        const ParseResult result = parsePiece(s, piece);
        if (result != ParseResult::ok)
            return result;
        s.line += piece.endsLine;
    }
    if (s.groupIndex != 0) {
        if (s.groupIndex - 1 >= tables.groupCount)
            warnLine(364);
        else
            closeGroup(s, s.groupIndex - 1);
    }
    tables.storedFaces = s.faceIndex;
    tables.storedGroups = s.groupIndex < tables.groupCount ? s.groupIndex : tables.groupCount;
    return ParseResult::ok;
}
