// Reading text input line by line: whole lines of any length (OBJ text, where a trailing
// backslash joins a line to the next), or pieces of at most 255 characters, exactly as a loop of
// fgets calls with a 256-byte buffer cuts them (the matrix side file). The bytes come in large
// blocks through one reused buffer; nothing is allocated, and no stdio call is made, per line.
// Every buffer comes from the allocation seam (msh_alloc.h), so tests can make each one fail.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillin {

inline constexpr size_t kPieceLimit = 255;

// The one block buffer that every pass of a run reads through.
struct ReadBuffer {
    char* bytes;
    size_t capacity;
};

// Allocates a block buffer of `capacity` bytes (at least 2 * kPieceLimit); null bytes on failure.
ReadBuffer makeReadBuffer(size_t capacity);
void releaseReadBuffer(ReadBuffer& buffer);

// What the passes read: an open regular file, read in place through the block buffer (with
// reads at the reader's own offset, so that two threads can share the one handle), or the whole
// input in memory (a pipe, which cannot be read twice, read in to its end first).
struct TextInput {
    FILE* file;
    char* memory; // owned; null for a regular file read through the block buffer
    size_t memorySize;
};

// A pipe is read into memory up to this many bytes; a longer one is refused, so that an endless
// one (`yes | quillin /dev/stdin out.msh`) ends the run in bounded memory and time.
inline constexpr uint64_t kPipeLimitBytes = uint64_t{2} << 30;

// Test seam: the limit prepareTextInput applies. Tests lower it to reach the refusal with a
// small pipe; a normal run leaves it at kPipeLimitBytes.
inline uint64_t pipeLimitBytes = kPipeLimitBytes;

enum class InputResult {
    ok,
    openFailed,
    readFailed,
    outOfMemory,
    notFileOrPipe, // a device such as /dev/zero, a terminal or /dev/null
    pipeTooLarge,  // a pipe holding more than pipeLimitBytes
};

// Opens the text input at `path` for prepareTextInput; null when it cannot be opened, with
// `result` saying why. A directory is a read failure on every system (a POSIX system opens one,
// which then fails prepareTextInput; Windows refuses to open it); anything else is openFailed.
FILE* openTextInput(const char* path, InputResult& result);

// Prepares `file` for two passes. A regular file is read where it is, through the block buffer:
// its bytes are never mapped, so a file cut short by another program while it is read ends a
// pass early rather than faulting. A pipe (or socket) is read into memory to its end first, so
// that the second pass sees the same bytes. A directory is a read failure; anything else (a
// device, which may hold endless bytes) is refused.
InputResult prepareTextInput(FILE* file, TextInput& input);
void releaseTextInput(TextInput& input);

struct Piece {
    const char* text;
    size_t length;     // bytes up to and including the line end, if any
    uint32_t lineEnds; // the '\n' bytes the piece holds: 0 or 1, more for a continued line
};

struct PieceReader {
    FILE* file; // null when reading from memory
    char* buffer;
    size_t capacity;
    const char* data;
    size_t size;
    size_t position;
    uint64_t fileOffset;    // where the next read from the file starts
    uint64_t fileBytesLeft; // bytes of the stretch not yet read from the file
    bool sourceDone;
    bool failed;
    bool outOfMemory; // a line longer than the buffer could not be given a larger one
    char* grown;      // owned: the larger buffer of such a line, once one was needed
};

// Starts a pass from the first byte of the input.
void startPieces(PieceReader& reader, const TextInput& input, const ReadBuffer& buffer);

// Starts a pass over the bytes [begin, end) of the input only. `begin` must follow a line end
// (or be 0), so that pieces fall exactly where a pass from the start would cut them.
void startPiecesAt(PieceReader& reader, const TextInput& input, const ReadBuffer& buffer,
                   uint64_t begin, uint64_t end);

// Releases the larger buffer a long line needed, if any; the reader is done.
void finishPieces(PieceReader& reader);

// The size of the input in bytes, or UINT64_MAX when a file cannot tell it.
uint64_t textInputSize(const TextInput& input);

// The offset just after the first line end at or after `from`, looked for within `window`
// bytes; 0 when there is none (or the file cannot be read there).
uint64_t lineStartAfter(const TextInput& input, const ReadBuffer& buffer, uint64_t from,
                        size_t window);

// Moves the unread tail to the front of the buffer and fills the rest from the file. With
// `grow`, a full buffer is first replaced by one twice as large (a line longer than it).
void refillPieces(PieceReader& reader, bool grow = false);

// The next piece, or false at the end of the input (or after a read error: see `failed`).
inline bool nextPiece(PieceReader& reader, Piece& piece) {
    if (reader.size - reader.position < kPieceLimit && !reader.sourceDone)
        refillPieces(reader);
    const size_t available = reader.size - reader.position;
    if (available == 0)
        return false;
    const char* start = reader.data + reader.position;
    const size_t window = available < kPieceLimit ? available : kPieceLimit;
    const void* lineEnd = std::memchr(start, '\n', window);
    piece.text = start;
    piece.lineEnds = lineEnd != nullptr;
    piece.length = lineEnd != nullptr
                       ? static_cast<size_t>(static_cast<const char*>(lineEnd) - start) + 1
                       : window;
    reader.position += piece.length;
    return true;
}

// A line end at `lineEnd` continues the line that began at `start` when a backslash stands
// right before it (or before its carriage return).
inline bool continuesLine(const char* data, size_t start, size_t lineEnd) {
    const size_t back = lineEnd > start && data[lineEnd - 1] == '\r' ? 1 : 0;
    return lineEnd - start > back && data[lineEnd - 1 - back] == '\\';
}

// The next whole line, however long, with the lines a trailing backslash joins to it: from the
// reader's position up to and including the line end that ends it, or to the end of the input.
// False at the end of the input, after a read error (`failed`) or when a long line finds no
// memory (`outOfMemory`).
bool nextLine(PieceReader& reader, Piece& line);

// The line ends among the 64 bytes at `p`: bit i is set when p[i] is '\n'.
inline uint64_t lineEndsIn64(const char* p) {
#if defined(__SSE2__)
    const __m128i lineEnd = _mm_set1_epi8('\n');
    uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        mask |= static_cast<uint64_t>(
                    static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lineEnd))))
                << (16 * i);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= static_cast<uint64_t>(p[i] == '\n') << i;
    return mask;
#endif
}

// Hands visit(line) every line that ends in the whole 64-byte blocks of what the reader holds,
// cutting them from the blocks' line-end masks rather than one search per line. Stops early
// when visit returns false (and returns false). Leaves the reader at the first line not handed
// out.
template <typename Visit>
bool visitLinesInBlocks(PieceReader& reader, Visit& visit) {
    const char* const data = reader.data;
    size_t start = reader.position;
    uint32_t joined = 0;
    for (size_t block = start; reader.size - block >= 64; block += 64) {
        for (uint64_t mask = lineEndsIn64(data + block); mask != 0; mask &= mask - 1) {
            const size_t lineEnd = block + static_cast<size_t>(std::countr_zero(mask));
            if (continuesLine(data, start, lineEnd)) {
                ++joined;
                continue;
            }
            reader.position = lineEnd + 1;
            if (!visit(Piece{data + start, lineEnd + 1 - start, joined + 1}))
                return false;
            start = lineEnd + 1;
            joined = 0;
        }
    }
    reader.position = start;
    return true;
}

// Hands visit(line) every line in order, as repeated nextLine calls would, until visit returns
// false or the input ends; then releases what a long line needed.
template <typename Visit>
void forEachLine(PieceReader& reader, Visit visit) {
    Piece line;
    while (visitLinesInBlocks(reader, visit) && nextLine(reader, line) && visit(line)) {
    }
    finishPieces(reader);
}

// The byte at `index` as C code sees the NUL-terminated piece: 0 at or past its end.
inline char pieceChar(const Piece& piece, size_t index) {
    return index < piece.length ? piece.text[index] : '\0';
}

} // namespace quillin
