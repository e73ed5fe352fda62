// One large buffer, reused for every file the exporter writes: records are formatted straight
// into it and it goes to the file in big blocks, so no stdio call is made per record and
// nothing beyond the buffer is held in memory. Every write, the flush and the close are
// checked; the first failure sticks until the file is closed. The file appears whole or not at
// all (see replacing_file.h). The text is formatted with "\n" line ends; on Windows each goes to
// the file as "\r\n", the system's text form.
#pragma once

#include "replacing_file.h"

#include <cstddef>

namespace quillout {

struct OutputBuffer {
    char* data;
    size_t capacity;
    size_t used;
    ReplacingFile file; // open between outputOpen and outputClose
    const char* path;
    bool failed;
};

// 4 MiB: large enough that the per-write cost vanishes, small enough to stay in the budget.
constexpr size_t kOutputDefaultCapacity = size_t(4) << 20;

// Allocates the buffer (through the mesh library's allocator). False when memory runs out.
bool outputAllocate(OutputBuffer& out, size_t capacity);
void outputRelease(OutputBuffer& out);

// Opens the file for writing. On failure prints printOpenError's message and returns false.
bool outputOpen(OutputBuffer& out, const char* path);

// Writes what is buffered and closes the file, which then replaces any earlier one. On any
// failure since outputOpen the earlier file stays as it was, and this prints printWriteError's
// message and returns false.
bool outputClose(OutputBuffer& out);

// Hands the buffered bytes to the file and empties the buffer.
void outputFlush(OutputBuffer& out);

// Room for at least `length` more bytes (length <= capacity): the place to format into.
inline char* outputSpace(OutputBuffer& out, size_t length) {
    if (out.capacity - out.used < length)
        outputFlush(out);
    return out.data + out.used;
}

// Marks the bytes up to `end`, formatted after outputSpace, as written.
inline void outputCommit(OutputBuffer& out, char* end) { out.used = size_t(end - out.data); }

// Appends text of any length.
void outputText(OutputBuffer& out, const char* text, size_t length);

// Writes a block held elsewhere (or in the buffer's own memory, when nothing is buffered)
// straight to the file, after whatever is buffered.
void outputWriteBlock(OutputBuffer& out, const char* data, size_t length);

} // namespace quillout
