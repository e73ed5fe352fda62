// The order of the OBJ text: the header, the position, texture-coordinate and normal records
// with their count comments, each group's "g" record, "f" records and count comment, and the
// closing total. A cursor walks it record by record, so the text can be made in pieces of a
// fixed number of records, and a piece's start found without formatting what comes before.
#pragma once

#include "msh.h"

#include <cstddef>
#include <cstdint>

namespace quillout {

enum class ObjSection : uint8_t {
    header,
    positions,
    positionCount,
    texcoords,
    texcoordCount,
    normals,
    normalCount,
    groups,
    triangleTotal,
    end,
};

struct ObjCursor {
    ObjSection section;
    uint32_t index; // vertex number, or step within the group: 0 "g", 1..n faces, n + 1 count
    uint32_t group; // position of the current group
};

// Longest record of the text, line end included (a position or normal record).
size_t objRecordMaxLength();

// Formats up to `records` records from the cursor into `out` (room for records *
// objRecordMaxLength() bytes) and moves the cursor past them. Returns the end of the text.
// Every group must lie inside the triangle table (see findGroupPastTriangles).
char* formatObjRecords(const Mesh& mesh, ObjCursor& cursor, size_t records, char* out);

// Moves the cursor past up to `records` records without formatting them.
void skipObjRecords(const Mesh& mesh, ObjCursor& cursor, size_t records);

} // namespace quillout
