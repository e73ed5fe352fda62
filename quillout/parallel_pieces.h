// The OBJ text made on several threads: the text is cut into pieces of a fixed number of
// records, formatting threads take pieces in order into slots of the output buffer, and this
// thread writes the finished pieces in order (formatting one itself whenever none is ready).
// The slots are the buffer's own memory, so nothing beyond it is gathered.
#pragma once

#include "msh.h"
#include "quillout/output_buffer.h"

namespace quillout {

// Writes the whole OBJ text to the open file of `out` (nothing buffered yet) using `threads`
// formatting threads in all. Returns false, having written nothing, when the buffer is too
// small to cut into slots or no further thread can be started; the caller then writes the text
// alone. Write failures are recorded in `out` as usual.
bool writeObjTextInParallel(const Mesh& mesh, OutputBuffer& out, unsigned threads);

} // namespace quillout
