// The matrix side file: the group-to-matrix table and the matrices of a mesh, written beside
// the OBJ file under the OBJ path with its extension replaced by ".matrix".
#pragma once

#include "msh.h"
#include "quillout/format_fixed24.h"
#include "quillout/output_buffer.h"

#include <cstddef>

namespace quillout {

// The side file path for an OBJ path: the path up to the last "." of its last component,
// followed by ".matrix". A dot that begins the last component (".obj", "..") does not count,
// nor does any dot in a directory name, so the side file always stays beside the OBJ file.
// An OBJ path whose last component ends in ".matrix" is its own side file path. The text lives
// in a buffer from mshAllocate (release with mshRelease); null when that allocation fails.
char* sideFilePath(const char* objPath);

// "m %8.24f ... %8.24f\n" with the nine floats of one matrix.
constexpr size_t kMatrixRecordMaxLength = 2 + 9 * (kFixed24MaxLength + 1);
char* formatMatrixRecord(const MeshMatrix& matrix, char* out);

// Writes the side file text: the path comment, the table rows and the matrix rows.
void writeSideText(const Mesh& mesh, const char* sidePath, OutputBuffer& out);

// Creates the side file at `sidePath` (see sideFilePath), writes it and closes it. The buffer
// must hold at least one matrix record (capacity >= kMatrixRecordMaxLength). Returns true when
// the file is written, false after one message when it cannot be opened or a write or the close
// fails.
bool writeSideFile(const Mesh& mesh, const char* sidePath, OutputBuffer& out);

} // namespace quillout
