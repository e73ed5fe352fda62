// The two-pass reading of OBJ text: a counting pass that classifies every piece by its first
// characters, then, once the working tables are allocated at those sizes, a parsing pass that
// fills them and keeps each group's faces and span of position numbers.
#pragma once

#include "piece_reader.h"

#include <cstdint>

// Marks a texture-coordinate or normal part that a face corner does not give.
inline constexpr uint32_t kNoIndex = UINT32_MAX;

// 0-based numbers of one face's three corners. Positions are always valid numbers of the
// positions table; a texture coordinate or normal is kNoIndex or a valid number of its table.
struct ObjFace {
    uint32_t positionIndex[3];
    uint32_t texcoordIndex[3];
    uint32_t normalIndex[3];
};

struct ObjGroup {
    uint32_t id;
    uint32_t firstFace;
    uint32_t faceCount;
    uint32_t baseVertex;
    uint32_t vertexCount;
};

struct ObjVec3 {
    float x, y, z;
};
struct ObjVec2 {
    float u, v;
};

struct ObjCounts {
    uint64_t positions;
    uint64_t texcoords;
    uint64_t normals;
    uint64_t faces;
    uint64_t groups;
};

// The five working tables at their counted sizes, and how many entries the parsing pass
// stored (the rest stay zero).
struct ObjTables {
    ObjVec3* positions;
    uint32_t positionCount;
    ObjVec2* texcoords;
    uint32_t texcoordCount;
    ObjVec3* normals;
    uint32_t normalCount;
    ObjFace* faces;
    uint32_t faceCount;
    ObjGroup* groups;
    uint32_t groupCount;
    uint32_t storedFaces;
    uint32_t storedGroups;
};

// What the counting pass finds in a stretch of the input.
struct ObjPieceCounts {
    ObjCounts counted; // the table sizes: pieces by their first characters
    ObjCounts stored;  // the pieces the parsing pass stores: "v ", "vt ", "vn ", "f ", "g "
    uint64_t lines;    // line ends
};

// Counting pass: reads every piece and counts the records of each kind.
ObjPieceCounts countObjPieces(PieceReader& reader);

// Allocates the five tables in the order positions, texture coordinates, normals, faces,
// groups, zero-filled. On failure releases what it allocated and returns false (the caller
// reports it). Counts beyond 32 bits fail as an allocation would.
bool allocateObjTables(const ObjCounts& counts, ObjTables& tables);

// Releases the five tables in the order positions, texture coordinates, normals, faces,
// groups; absent tables are harmless.
void releaseObjTables(ObjTables& tables);

// Store indices of the five tables and a line number: where a stretch of the input starts,
// where it may not reach, and where it ended.
struct ObjPlace {
    uint32_t position;
    uint32_t texcoord;
    uint32_t normal;
    uint32_t face;
    uint32_t group;
    uint64_t line;
};

// The faces since a group record (or since the start) and the span of their position numbers.
struct FaceRun {
    uint32_t faces;
    uint32_t maxPosition;
    uint32_t minPosition;
};

struct ObjError {
    enum Kind { none, badReference, fewCorners } kind;
    uint64_t line;
    const char* what; // "position", "texture coordinate" or "normal"
    int32_t number;
};

// One stretch of the parsing pass. A stretch closes the groups it opens except its last; the
// faces before its first group record (`prefix`) and after its last (`tail`) are settled by
// finishObjGroups, which knows the stretches around it.
struct ObjStretch {
    ObjPlace start;
    ObjPlace limit;  // a store index that reaches its limit is a record the counting pass missed
    bool warn;       // true: print the index warning and leave the record out; false: stop as changed
    ObjPlace end;
    bool sawGroup;
    uint32_t firstGroup;
    uint32_t lastGroup;
    FaceRun prefix;
    FaceRun tail;
    bool changed; // the input differs from what the counting pass saw
    ObjError error;
};

// Parses the pieces of the reader into the tables from stretch.start on.
void parseObjStretch(PieceReader& reader, ObjTables& tables, ObjStretch& stretch);

// Joins the stretches (in input order): closes the groups open at their seams and at the end,
// sets the base vertex of each stretch's first group, and the stored counts. Prints the warning
// for a last group beyond the table when the stretch warns.
void finishObjGroups(ObjTables& tables, const ObjStretch* stretches, size_t count);

void printObjError(const ObjError& error, const char* path);

enum class ParseResult { ok, badReference, badFace };

// The whole parsing pass in one stretch: prints the index warnings; stops with one "ERROR: "
// message on a face that names a record that does not exist or has fewer than three corners.
// `path` names the file in that message.
ParseResult parseObjPieces(PieceReader& reader, ObjTables& tables, const char* path);
