// The two-pass reading of OBJ text: a counting pass that classifies every line by its keyword
// and counts the corners of its faces, then, once the working tables are allocated at those
// sizes, a parsing pass that fills them and keeps each group's faces.
#pragma once

#include "quillin/piece_reader.h"

#include <cstdint>

namespace quillin {

// Marks a texture-coordinate or normal part that a face corner does not give.
inline constexpr uint32_t kNoIndex = UINT32_MAX;

// 0-based numbers of one face corner. The position is always a valid number of the positions
// table; a texture coordinate or normal is kNoIndex or a valid number of its table.
struct ObjCorner {
    uint32_t position;
    uint32_t texcoord;
    uint32_t normal;
};

// A face of three or more corners: corners [firstCorner, firstCorner + cornerCount) of the corner
// table, in the order in which they stand in the record.
struct ObjFace {
    uint32_t firstCorner;
    uint32_t cornerCount;
};

// A "g" record: its id and its faces [firstFace, firstFace + faceCount).
struct ObjGroup {
    uint32_t id;
    uint32_t firstFace;
    uint32_t faceCount;
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
    uint64_t corners;
    uint64_t groups;
};

// The six working tables at their counted sizes, and how many faces, corners and groups the
// parsing pass stored (the rest stay zero).
struct ObjTables {
    ObjVec3* positions;
    uint32_t positionCount;
    ObjVec2* texcoords;
    uint32_t texcoordCount;
    ObjVec3* normals;
    uint32_t normalCount;
    ObjFace* faces;
    uint32_t faceCount;
    ObjCorner* corners;
    uint32_t cornerCount;
    ObjGroup* groups;
    uint32_t groupCount;
    uint32_t storedFaces;
    uint32_t storedGroups;
    bool
        cornersNameOwnNumbers; // every stored corner's texture coordinate and normal, where it
                               // names one, has the number of its position (as the exporter writes)
};

// What the counting pass finds in a stretch of the input.
struct ObjLineCounts {
    ObjCounts records; // "v", "vt", "vn", "f" (and the corners of its faces), "g"
    uint64_t lines;    // line ends
};

// Counting pass: reads every line and counts the records of each kind and the corners of faces.
ObjLineCounts countObjLines(PieceReader& reader);

// Allocates the six tables in the order positions, texture coordinates, normals, faces,
// corners, groups, zero-filled. On failure releases what it allocated and returns false (the
// caller reports it). Counts beyond 32 bits fail as an allocation would.
bool allocateObjTables(const ObjCounts& counts, ObjTables& tables);

// Releases the six tables in that order; absent tables are harmless.
void releaseObjTables(ObjTables& tables);

// Releases the faces, corners and groups alone (a planned mesh needs only the rest), so that the
// mesh can take their memory.
void releaseObjFaces(ObjTables& tables);

// Store indices of the six tables and a line number: where a stretch of the input starts,
// where it may not reach, and where it ended.
struct ObjPlace {
    uint32_t position;
    uint32_t texcoord;
    uint32_t normal;
    uint32_t face;
    uint32_t corner;
    uint32_t group;
    uint64_t line;
};

struct ObjError {
    enum Kind { none, badReference, fewCorners } kind;
    uint64_t line;
    const char* what; // "position", "texture coordinate" or "normal"
    int32_t number;
};

// What a stretch does with a record the tables have no room for (one the counting pass missed).
enum class PastTableAction {
    stopAsChanged,   // stop and mark the stretch changed: its caller reads the input again
    warnAndLeaveOut, // print the record's index warning, leave the record out and go on
};

// One stretch of the parsing pass. Groups keep their first face; finishObjGroups gives each its
// faces once every stretch is parsed.
struct ObjStretch {
    ObjPlace start;
    ObjPlace limit; // a store index that reaches its limit is a record the counting pass missed
    PastTableAction pastTable;
    ObjPlace end;
    bool changed;        // the input differs from what the counting pass saw
    bool ownNumbersOnly; // every corner stored names its position's own numbers, or none
    ObjError error;
};

// Parses the lines of the reader into the tables from stretch.start on.
void parseObjStretch(PieceReader& reader, ObjTables& tables, ObjStretch& stretch);

// Once the last stretch is parsed (it ended at `end`): each stored group's faces run to the next
// group's first face or to the last face, and the stored counts are set. Prints the warning
// for a last group beyond the table when `pastTable` warns. `ownNumbersOnly`: every stretch's
// corners name their positions' own numbers.
void finishObjGroups(ObjTables& tables, const ObjPlace& end, PastTableAction pastTable,
                     bool ownNumbersOnly);

// Prints the one message of a stretch's error (nothing for ObjError::none).
void printObjError(const ObjError& error, const char* path);

// The whole parsing pass in one stretch: prints the index warnings; stops with one "ERROR: "
// message on a face that names a record that does not exist or has fewer than three corners,
// and returns false then. `path` names the file in that message.
bool parseObjLines(PieceReader& reader, ObjTables& tables, const char* path);

} // namespace quillin
