// The OBJ text of a mesh: every vertex as a position, a texture coordinate and a normal record,
// one "g" record and its "f" records per group, and the count comments.
#pragma once

#include "format_fixed24.h"
#include "msh.h"
#include "output_buffer.h"

#include <cstddef>
#include <cstdint>

namespace quillout {

// Longest record of each kind, line end included.
constexpr size_t positionRecordMaxLength = 3 + 3 * (fixed24MaxLength + 1);
constexpr size_t normalRecordMaxLength = 3 + 3 * (fixed24MaxLength + 1);
constexpr size_t texcoordRecordMaxLength = 3 + 2 * (fixed24MaxLength + 1);
constexpr size_t faceRecordMaxLength = 2 + 3 * (3 * 10 + 3);

// "v %8.24f %8.24f %8.24f\n", "vt %8.24f %8.24f\n", "vn %8.24f %8.24f %8.24f\n" of one vertex.
char* formatPositionRecord(const MeshVertex& vertex, char* out);
char* formatTexcoordRecord(const MeshVertex& vertex, char* out);
char* formatNormalRecord(const MeshVertex& vertex, char* out);

// "f a/a/a b/b/b c/c/c\n" with each corner index + baseVertex + 1 (unsigned 32-bit arithmetic).
char* formatFaceRecord(const MeshTriangle& triangle, uint32_t baseVertex, char* out);

// Writes the whole OBJ text of the mesh into the buffer. Every group must lie inside the
// triangle table (see findGroupPastTriangles).
void writeObjText(const Mesh& mesh, OutputBuffer& out);

// Creates the OBJ file, writes the text and closes it. Returns 0, or -1 after one message
// when the file cannot be opened or a write or the close fails.
int writeObjFile(const Mesh& mesh, const char* path, OutputBuffer& out);

} // namespace quillout
