#include "quillin/obj_reader.h"

#include "msh_alloc.h"
#include "quillin/fields.h"
#include "quillin/huge_pages.h"
#include "quillin/messages.h"
#include "quillin/number_text.h"
#include "quillin/obj_fields.h"

#include <algorithm>
#include <cstring>

namespace quillin {

namespace {

void addTo(ObjCounts& counts, ObjLineKind kind) {
    counts.positions += kind == ObjLineKind::position;
    counts.texcoords += kind == ObjLineKind::texcoord;
    counts.normals += kind == ObjLineKind::normal;
    counts.faces += kind == ObjLineKind::face;
    counts.groups += kind == ObjLineKind::group;
}

float floatOrZero(const Field* fields, size_t taken, size_t index) {
    return index < taken ? parseFloatText(fields[index].first, fields[index].last) : 0.0f;
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
    ObjStretch& stretch;
    ObjPlace at;
    bool stop = false;
};

// A store index that reached its limit: warn and leave the record out, or, when the stretch
// does not warn, stop: the input has changed since it was counted.
bool roomFor(ParseState& s, uint32_t index, uint32_t limit, ObjWarning warning) {
    if (index < limit)
        return true;
    if (s.stretch.pastTable == PastTableAction::warnAndLeaveOut) {
        if (warning != ObjWarning::none)
            printObjWarning(warning);
        return false;
    }
    s.stretch.changed = true;
    s.stop = true;
    return false;
}

// Positions and normals: x, y, z; a w component (or colours) is ignored, a missing value is 0.
void parseVec3(ParseState& s, const char* fields, const char* last, ObjVec3* table, uint32_t& index,
               uint32_t limit, ObjWarning warning) {
    if (!roomFor(s, index, limit, warning))
        return;
    float values[3];
    if (readFixedFloatFields(fields, last, values, 3)) {
        table[index++] = ObjVec3{values[0], values[1], values[2]};
        return;
    }
    Field split[3];
    const size_t taken = splitObjFields(fields, last, split, 3);
    table[index++] = ObjVec3{floatOrZero(split, taken, 0), floatOrZero(split, taken, 1),
                             floatOrZero(split, taken, 2)};
}

void parseTexcoord(ParseState& s, const char* fields, const char* last) {
    if (!roomFor(s, s.at.texcoord, s.stretch.limit.texcoord, ObjWarning::texcoordPastTable))
        return;
    float values[2];
    if (readFixedFloatFields(fields, last, values, 2)) {
        s.tables.texcoords[s.at.texcoord++] = ObjVec2{values[0], values[1]};
        return;
    }
    Field split[2];
    const size_t taken = splitObjFields(fields, last, split, 2);
    s.tables.texcoords[s.at.texcoord++] =
        ObjVec2{floatOrZero(split, taken, 0), floatOrZero(split, taken, 1)};
}

// A texture or normal part: absent gives kNoIndex, anything else must name an existing record.
bool resolvePart(bool given, int32_t number, uint32_t readSoFar, uint32_t tableSize,
                 uint32_t& index) {
    if (!given) {
        index = kNoIndex;
        return true;
    }
    return resolveReference(number, readSoFar, tableSize, index);
}

// Resolves a corner's numbers into `corner`; on a missing record fills `error` (once).
void resolveCorner(const ParseState& s, const ObjCornerNumbers& numbers, ObjCorner& corner,
                   ObjError& error) {
    const ObjTables& t = s.tables;
    if (!resolveReference(numbers.position, s.at.position, t.positionCount, corner.position))
        error = ObjError{ObjError::badReference, s.at.line, "position", numbers.position};
    else if (!resolvePart(numbers.hasTexcoord, numbers.texcoord, s.at.texcoord, t.texcoordCount,
                          corner.texcoord))
        error = ObjError{ObjError::badReference, s.at.line, "texture coordinate", numbers.texcoord};
    else if (!resolvePart(numbers.hasNormal, numbers.normal, s.at.normal, t.normalCount,
                          corner.normal))
        error = ObjError{ObjError::badReference, s.at.line, "normal", numbers.normal};
}

// The index warning of a face beyond its table, chosen by the '/' characters of the record.
ObjWarning faceWarning(const char* first, const char* last) {
    switch (strCount(first, last, '/')) {
    case 0:
        return ObjWarning::faceNoSlashPastTable;
    case 3:
        return ObjWarning::faceThreeSlashPastTable;
    case 6:
        return ObjWarning::faceSixSlashPastTable;
    default:
        return ObjWarning::none;
    }
}

// Reads the corners into the corner table, resolved; a face of fewer than three corners is an
// error before any missing record it names.
void parseFace(ParseState& s, const Piece& line, const char* fields) {
    const char* last = line.text + line.length;
    const uint32_t firstCorner = s.at.corner;
    int32_t repeated[3];
    if (s.at.face < s.stretch.limit.face && s.stretch.limit.corner - firstCorner >= 3 &&
        readRepeatedFaceNumbers(line.text, last, repeated)) {
        ObjCorner* corners = s.tables.corners + firstCorner;
        const ObjTables& t = s.tables;
        bool direct = true;
        for (int c = 0; c < 3; ++c)
            direct = direct &&
                     resolveReference(repeated[c], s.at.position, t.positionCount,
                                      corners[c].position) &&
                     resolveReference(repeated[c], s.at.texcoord, t.texcoordCount,
                                      corners[c].texcoord) &&
                     resolveReference(repeated[c], s.at.normal, t.normalCount, corners[c].normal);
        if (direct) {
            // Each corner names its position's number three times: its own numbers.
            s.tables.faces[s.at.face++] = ObjFace{firstCorner, 3};
            s.at.corner += 3;
            return;
        }
    }
    ObjCorner* const corners = s.tables.corners + firstCorner;
    // Corners beyond the table's room (a file grown since it was counted) are read, not stored.
    const uint32_t room =
        s.at.face < s.stretch.limit.face ? s.stretch.limit.corner - firstCorner : 0;
    ObjError error{ObjError::none, 0, nullptr, 0};
    uint32_t count = 0;
    ObjCornerNumbers numbers;
    for (const char* p = fields; readObjCorner(p, last, numbers); ++count)
        if (count < room && error.kind == ObjError::none)
            resolveCorner(s, numbers, corners[count], error);
    if (count > room || s.at.face >= s.stretch.limit.face) {
        roomFor(s, std::max(s.at.face, s.stretch.limit.face), s.stretch.limit.face,
                faceWarning(line.text, last));
        return;
    }
    if (count < 3)
        error = ObjError{ObjError::fewCorners, s.at.line, nullptr, 0};
    if (error.kind != ObjError::none) {
        s.stretch.error = error;
        s.stop = true;
        return;
    }
    for (uint32_t c = 0; c < count && s.stretch.ownNumbersOnly; ++c) {
        const ObjCorner& corner = corners[c];
        s.stretch.ownNumbersOnly =
            (corner.texcoord == kNoIndex || corner.texcoord == corner.position) &&
            (corner.normal == kNoIndex || corner.normal == corner.position);
    }
    s.tables.faces[s.at.face++] = ObjFace{firstCorner, count};
    s.at.corner += count;
}

void parseGroup(ParseState& s, const char* fields, const char* last) {
    // Past the table a group still ends the one before, but is not stored.
    if (!roomFor(s, s.at.group, s.stretch.limit.group, ObjWarning::groupPastTable) && s.stop)
        return;
    if (s.at.group < s.tables.groupCount)
        s.tables.groups[s.at.group] = ObjGroup{readObjGroupId(fields, last), s.at.face, 0};
    ++s.at.group;
}

void parseLine(ParseState& s, const Piece& line) {
    const char* last = line.text + line.length;
    const char* fields = nullptr;
    const ObjLineKind kind = classifyObjLine(line.text, last, fields);
    switch (kind) {
    case ObjLineKind::position:
        parseVec3(s, fields, last, s.tables.positions, s.at.position, s.stretch.limit.position,
                  ObjWarning::positionPastTable);
        return;
    case ObjLineKind::normal:
        parseVec3(s, fields, last, s.tables.normals, s.at.normal, s.stretch.limit.normal,
                  ObjWarning::normalPastTable);
        return;
    case ObjLineKind::texcoord:
        parseTexcoord(s, fields, last);
        return;
    case ObjLineKind::face:
        parseFace(s, line, fields);
        return;
    case ObjLineKind::group:
        parseGroup(s, fields, last);
        return;
    case ObjLineKind::other:
        return;
    }
}

} // namespace

ObjLineCounts countObjLines(PieceReader& reader) {
    ObjLineCounts counts{};
    forEachLine(reader, [&counts](const Piece& line) {
        const char* last = line.text + line.length;
        const char* fields = nullptr;
        const ObjLineKind kind = classifyObjLine(line.text, last, fields);
        addTo(counts.records, kind);
        if (kind == ObjLineKind::face)
            counts.records.corners += countObjFields(line.text, fields, last, line.lineEnds > 1);
        counts.lines += line.lineEnds;
        return true;
    });
    return counts;
}

bool allocateObjTables(const ObjCounts& counts, ObjTables& tables) {
    tables = ObjTables{};
    const uint64_t all[] = {counts.positions, counts.texcoords, counts.normals,
                            counts.faces,     counts.corners,   counts.groups};
    for (uint64_t count : all)
        if (count > UINT32_MAX)
            return false;
    tables.positionCount = static_cast<uint32_t>(counts.positions);
    tables.texcoordCount = static_cast<uint32_t>(counts.texcoords);
    tables.normalCount = static_cast<uint32_t>(counts.normals);
    tables.faceCount = static_cast<uint32_t>(counts.faces);
    tables.cornerCount = static_cast<uint32_t>(counts.corners);
    tables.groupCount = static_cast<uint32_t>(counts.groups);
    const bool allocated =
        (tables.positions = mshAllocateArray<ObjVec3>(tables.positionCount)) != nullptr &&
        (tables.texcoords = mshAllocateArray<ObjVec2>(tables.texcoordCount)) != nullptr &&
        (tables.normals = mshAllocateArray<ObjVec3>(tables.normalCount)) != nullptr &&
        (tables.faces = mshAllocateArray<ObjFace>(tables.faceCount)) != nullptr &&
        (tables.corners = mshAllocateArray<ObjCorner>(tables.cornerCount)) != nullptr &&
        (tables.groups = mshAllocateArray<ObjGroup>(tables.groupCount)) != nullptr;
    if (!allocated) {
        releaseObjTables(tables);
        return false;
    }
    adviseHugePages(tables.positions, sizeof(ObjVec3) * tables.positionCount);
    adviseHugePages(tables.texcoords, sizeof(ObjVec2) * tables.texcoordCount);
    adviseHugePages(tables.normals, sizeof(ObjVec3) * tables.normalCount);
    adviseHugePages(tables.faces, sizeof(ObjFace) * tables.faceCount);
    adviseHugePages(tables.corners, sizeof(ObjCorner) * tables.cornerCount);
    adviseHugePages(tables.groups, sizeof(ObjGroup) * tables.groupCount);
    return true;
}

void releaseObjFaces(ObjTables& tables) {
    mshRelease(tables.faces);
    mshRelease(tables.corners);
    mshRelease(tables.groups);
    tables.faces = nullptr;
    tables.corners = nullptr;
    tables.groups = nullptr;
    tables.faceCount = tables.cornerCount = tables.groupCount = 0;
    tables.storedFaces = tables.storedGroups = 0;
}

void releaseObjTables(ObjTables& tables) {
    mshRelease(tables.positions);
    mshRelease(tables.texcoords);
    mshRelease(tables.normals);
    mshRelease(tables.faces);
    mshRelease(tables.corners);
    mshRelease(tables.groups);
    tables = ObjTables{};
}

void parseObjStretch(PieceReader& reader, ObjTables& tables, ObjStretch& stretch) {
    stretch.changed = false;
    stretch.ownNumbersOnly = true;
    stretch.error = ObjError{ObjError::none, 0, nullptr, 0};
    ParseState s{tables, stretch, stretch.start};
    forEachLine(reader, [&s](const Piece& line) {
        parseLine(s, line);
        s.at.line += line.lineEnds;
        return !s.stop;
    });
    stretch.end = s.at;
}

void finishObjGroups(ObjTables& tables, const ObjPlace& end, PastTableAction pastTable,
                     bool ownNumbersOnly) {
    tables.cornersNameOwnNumbers = ownNumbersOnly;
    if (end.group > tables.groupCount && pastTable == PastTableAction::warnAndLeaveOut)
        printObjWarning(ObjWarning::lastGroupPastTable);
    tables.storedFaces = end.face;
    tables.storedGroups = std::min(end.group, tables.groupCount);
    for (uint32_t j = 0; j < tables.storedGroups; ++j) {
        const uint32_t next =
            j + 1 < tables.storedGroups ? tables.groups[j + 1].firstFace : tables.storedFaces;
        tables.groups[j].faceCount = next - tables.groups[j].firstFace;
    }
}

void printObjError(const ObjError& error, const char* path) {
    if (error.kind == ObjError::badReference)
        printMissingRecordError(error.line, path, error.what, error.number);
    else if (error.kind == ObjError::fewCorners)
        printFewCornersError(error.line, path);
}

bool parseObjLines(PieceReader& reader, ObjTables& tables, const char* path) {
    ObjStretch stretch{};
    stretch.start = ObjPlace{0, 0, 0, 0, 0, 0, 1};
    stretch.limit =
        ObjPlace{tables.positionCount, tables.texcoordCount, tables.normalCount, tables.faceCount,
                 tables.cornerCount,   tables.groupCount,    UINT64_MAX};
    stretch.pastTable = PastTableAction::warnAndLeaveOut;
    parseObjStretch(reader, tables, stretch);
    if (stretch.error.kind != ObjError::none) {
        printObjError(stretch.error, path);
        return false;
    }
    finishObjGroups(tables, stretch.end, PastTableAction::warnAndLeaveOut, stretch.ownNumbersOnly);
    return true;
}

} // namespace quillin
