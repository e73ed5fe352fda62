// The fields of an OBJ line: runs of characters between blanks. Blanks are spaces, tabs,
// carriage returns, vertical tabs, form feeds, line ends and a backslash that continues the line
// on the next. Leading blanks are allowed, and a field that begins with '#' starts a comment that
// runs to the end of the line. The first field is the record's keyword.
#pragma once

#include "fields.h"

#include <cstddef>
#include <cstdint>

enum class ObjLineKind { other, position, texcoord, normal, face, group };

// The kind of the line [first, last) by its keyword ("v", "vt", "vn", "f", "g"); sets `fields`
// to just after the keyword.
ObjLineKind classifyObjLine(const char* first, const char* last, const char*& fields);

// The fields in [first, last) before a comment. `continued`: the text may hold a backslash that
// continues the line (a line read with more than one line end).
uint64_t countObjFields(const char* first, const char* last, bool continued);

// Up to `count` fields of [first, last) before a comment; returns how many were taken.
size_t splitObjFields(const char* first, const char* last, Field* fields, size_t count);

// One face corner: "p", "p/t", "p/t/n" or "p//n". Each part is read as strtol reads it; a
// texture-coordinate or normal part that is absent or empty is not given.
struct ObjCornerNumbers {
    int32_t position;
    int32_t texcoord;
    int32_t normal;
    bool hasTexcoord;
    bool hasNormal;
};

// Reads the next corner of a face from `p` (at or before its field): returns false when the
// fields end (the end of the line or a comment); otherwise fills `corner` and moves `p` past it.
bool readObjCorner(const char*& p, const char* last, ObjCornerNumbers& corner);

// The group id of a "g" line's fields [first, last): the number after the first '/' (white space
// after the '/' is skipped), 0 when there is no '/' before the end or a comment.
uint32_t readObjGroupId(const char* first, const char* last);
