// The matrix side file: the group-to-matrix table and the matrices of a mesh, written beside
// the OBJ file under the OBJ path with its extension replaced by ".matrix".
#pragma once

#include "format_fixed24.h"
#include "msh.h"
#include "output_buffer.h"

#include <cstddef>

namespace quillout {

// The side file path for an OBJ path: the path up to the last "." of its last component,
// followed by ".matrix". A dot that begins the last component (".obj", "..") does not count,
// nor does any dot in a directory name, so the side file always stays beside the OBJ file.
// The text lives in a buffer from mshAllocate (release with mshRelease); null when that
// allocation fails.
char* sideFilePath(const char* objPath);

// How many leading characters of the OBJ path the side file path keeps before ".matrix".
size_t sideFileKeptLength(const char* objPath);

// True when that side file path is the OBJ path itself (an OBJ path whose last component ends
// in ".matrix"), so that writing the side file would replace the OBJ file just written.
bool sideFileReplacesObj(const char* objPath);

// "m %8.24f ... %8.24f\n" with the nine floats of one matrix.
constexpr size_t matrixRecordMaxLength = 2 + 9 * (fixed24MaxLength + 1);
char* formatMatrixRecord(const MeshMatrix& matrix, char* out);

// Writes the side file text: the path comment, the table rows and the matrix rows.
void writeSideText(const Mesh& mesh, const char* sidePath, OutputBuffer& out);

// Derives the side file path from the OBJ path, creates the file, writes it and closes it. The
// buffer must hold at least one matrix record (capacity >= matrixRecordMaxLength).
// Returns 0, or -1 after one message when the path cannot be allocated, the file cannot be
// opened, or a write or the close fails.
int writeSideFile(const Mesh& mesh, const char* objPath, OutputBuffer& out);

} // namespace quillout
