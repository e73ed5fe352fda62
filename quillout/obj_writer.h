// Writing the OBJ file: the text of obj_text.h, made in pieces of whole records and written in
// big blocks, on one thread or with further threads formatting pieces ahead of the writer.
#pragma once

#include "msh.h"
#include "quillout/output_buffer.h"

namespace quillout {

// Creates the OBJ file at `path`, writes the mesh's OBJ text and closes the file. `threads` is
// the number of threads that format (1: this thread alone); the text is the same either way.
// The buffer's memory holds the pieces, so nothing beyond it is gathered; it must hold at
// least one record (capacity >= objRecordMaxLength()). Returns true when the file is written,
// false after one message when it cannot be opened or a write or the close fails. Every group
// must lie inside the triangle table (see findGroupPastTriangles).
bool writeObjFile(const Mesh& mesh, const char* path, OutputBuffer& out, unsigned threads);

// Formatting threads worth using here: two when the machine has two cores or more, else one.
unsigned objFormattingThreads();

} // namespace quillout
