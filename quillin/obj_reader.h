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

// Counting pass: reads every piece and counts the records of each kind.
ObjCounts countObjPieces(PieceReader& reader);

// Allocates the five tables in the order positions, texture coordinates, normals, faces,
// groups, zero-filled. On failure releases what it allocated and returns false (the caller
// reports it). Counts beyond 32 bits fail as an allocation would.
bool allocateObjTables(const ObjCounts& counts, ObjTables& tables);

// Releases the five tables in the order positions, texture coordinates, normals, faces,
// groups; absent tables are harmless.
void releaseObjTables(ObjTables& tables);

enum class ParseResult { ok, badReference, badFace };

// Parsing pass over the same input. Prints the index warnings; stops with one "ERROR: " message
// on a face that names a record that does not exist or has fewer than three corners.
// `path` names the file in that message.
ParseResult parseObjPieces(PieceReader& reader, ObjTables& tables, const char* path);
