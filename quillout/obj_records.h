// The records of the OBJ text, each formatted straight into memory with its line end.
#pragma once

#include "msh.h"
#include "quillout/format_fixed24.h"

#include <cstddef>
#include <cstdint>

namespace quillout {

// Longest record of each kind, line end included.
constexpr size_t kPositionRecordMaxLength = 3 + 3 * (kFixed24MaxLength + 1);
constexpr size_t kNormalRecordMaxLength = 3 + 3 * (kFixed24MaxLength + 1);
constexpr size_t kTexcoordRecordMaxLength = 3 + 2 * (kFixed24MaxLength + 1);
constexpr size_t kFaceRecordMaxLength = 2 + 3 * (3 * 10 + 3);

// "v %8.24f %8.24f %8.24f\n", "vt %8.24f %8.24f\n", "vn %8.24f %8.24f %8.24f\n" of one vertex.
char* formatPositionRecord(const MeshVertex& vertex, char* out);
char* formatTexcoordRecord(const MeshVertex& vertex, char* out);
char* formatNormalRecord(const MeshVertex& vertex, char* out);

// "f a/a/a b/b/b c/c/c\n" with each corner index + baseVertex + 1 (unsigned 32-bit arithmetic).
char* formatFaceRecord(const MeshTriangle& triangle, uint32_t baseVertex, char* out);

} // namespace quillout
