#include "quillin/piece_reader.h"

#include "msh_alloc.h"
#include "platform_file.h"

#include <cstdint>
#include <cstring>

namespace quillin {

ReadBuffer makeReadBuffer(size_t capacity) {
    if (capacity < 2 * kPieceLimit)
        capacity = 2 * kPieceLimit;
    char* bytes = mshAllocateArray<char>(capacity);
    return ReadBuffer{bytes, bytes != nullptr ? capacity : 0};
}

void releaseReadBuffer(ReadBuffer& buffer) {
    mshRelease(buffer.bytes);
    buffer = ReadBuffer{nullptr, 0};
}

namespace {

// A pipe's memory starts this small and doubles, so that a short pipe takes little.
constexpr size_t kFirstPipeBytes = size_t{16} << 10;

// Reads until `wanted` bytes have arrived, the stream ends or a read fails.
size_t readFully(FILE* file, char* into, size_t wanted) {
    size_t got = 0;
    while (got < wanted) {
        const size_t n = std::fread(into + got, 1, wanted - got, file);
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

InputResult readPipeIntoMemory(FILE* file, TextInput& input) {
    const uint64_t limit = pipeLimitBytes;
    size_t capacity = limit < kFirstPipeBytes ? static_cast<size_t>(limit) : kFirstPipeBytes;
    size_t size = 0;
    char* memory = mshAllocateArray<char>(capacity);
    if (memory == nullptr)
        return InputResult::outOfMemory;
    for (;;) {
        size += readFully(file, memory + size, capacity - size);
        if (std::ferror(file)) {
            mshRelease(memory);
            return InputResult::readFailed;
        }
        if (size < capacity)
            break;
        if (capacity >= limit) {
            // Full at the limit: the pipe is refused if it holds one byte more.
            char more;
            const bool longer = readFully(file, &more, 1) != 0;
            if (!longer && !std::ferror(file))
                break;
            mshRelease(memory);
            return longer ? InputResult::pipeTooLarge : InputResult::readFailed;
        }
        const size_t larger = capacity > limit / 2 ? static_cast<size_t>(limit) : capacity * 2;
        char* grown = static_cast<char*>(mshGrow(memory, capacity, larger, 1));
        if (grown == nullptr) {
            mshRelease(memory);
            return InputResult::outOfMemory;
        }
        memory = grown;
        capacity = larger;
    }
    input.memory = memory;
    input.memorySize = size;
    return InputResult::ok;
}

} // namespace

FILE* openTextInput(const char* path, InputResult& result) {
    FILE* file = mshOpenFile(path, "rb");
    result = file != nullptr        ? InputResult::ok
             : mshIsDirectory(path) ? InputResult::readFailed
                                    : InputResult::openFailed;
    return file;
}

InputResult prepareTextInput(FILE* file, TextInput& input) {
    input = TextInput{file, nullptr, 0};
    FileStatus status{};
    if (!mshFileStatus(file, status) || status.kind == FileKind::directory)
        return InputResult::readFailed;
    if (status.kind == FileKind::regular)
        return InputResult::ok;
    if (status.kind != FileKind::pipe)
        return InputResult::notFileOrPipe;
    // Large reads go straight into the memory; a stdio buffer in between would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return readPipeIntoMemory(file, input);
}

void releaseTextInput(TextInput& input) {
    mshRelease(input.memory);
    input.memory = nullptr;
    input.memorySize = 0;
}

void startPieces(PieceReader& reader, const TextInput& input, const ReadBuffer& buffer) {
    startPiecesAt(reader, input, buffer, 0, UINT64_MAX);
}

namespace {

bool startsWithByteOrderMark(const char* data, size_t size) {
    return size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0;
}

} // namespace

void startPiecesAt(PieceReader& reader, const TextInput& input, const ReadBuffer& buffer,
                   uint64_t begin, uint64_t end) {
    // A UTF-8 byte order mark is no part of the first line.
    if (input.memory != nullptr || input.file == nullptr) {
        const uint64_t last = end < input.memorySize ? end : input.memorySize;
        uint64_t first = begin < last ? begin : last;
        if (first == 0 && startsWithByteOrderMark(input.memory, static_cast<size_t>(last)))
            first = 3;
        reader = PieceReader{nullptr,
                             nullptr,
                             0,
                             input.memory + first,
                             static_cast<size_t>(last - first),
                             0,
                             0,
                             0,
                             true,
                             false,
                             false,
                             nullptr};
        return;
    }
    reader = PieceReader{input.file, buffer.bytes, buffer.capacity, buffer.bytes, 0,     0,
                         begin,      end - begin,  false,           false,        false, nullptr};
    if (begin > static_cast<uint64_t>(INT64_MAX)) {
        reader.sourceDone = true;
        reader.failed = true;
        return;
    }
    if (begin == 0) {
        refillPieces(reader);
        if (startsWithByteOrderMark(reader.data, reader.size))
            reader.position = 3;
    }
}

void finishPieces(PieceReader& reader) {
    mshRelease(reader.grown);
    reader.grown = nullptr;
}

namespace {

// Replaces the reader's full buffer by one twice as large holding the same bytes.
bool growBuffer(PieceReader& reader) {
    if (reader.capacity > SIZE_MAX / 2)
        return false;
    char* grown = mshAllocateArray<char>(reader.capacity * 2);
    if (grown == nullptr)
        return false;
    std::memcpy(grown, reader.buffer, reader.size);
    mshRelease(reader.grown);
    reader.grown = grown;
    reader.buffer = grown;
    reader.data = grown;
    reader.capacity *= 2;
    return true;
}

} // namespace

bool nextLine(PieceReader& reader, Piece& line) {
    size_t scanned = 0;
    uint32_t joined = 0;
    for (;;) {
        const char* start = reader.data + reader.position;
        const size_t available = reader.size - reader.position;
        while (scanned < available) {
            const void* found = std::memchr(start + scanned, '\n', available - scanned);
            if (found == nullptr) {
                scanned = available;
                break;
            }
            const size_t end = static_cast<size_t>(static_cast<const char*>(found) - start);
            scanned = end + 1;
            if (continuesLine(start, 0, end)) {
                ++joined;
                continue;
            }
            line = Piece{start, end + 1, joined + 1};
            reader.position += end + 1;
            return true;
        }
        if (reader.sourceDone) {
            if (available == 0)
                return false;
            line = Piece{start, available, joined};
            reader.position = reader.size;
            return true;
        }
        refillPieces(reader, reader.position == 0 && reader.size == reader.capacity);
        if (reader.outOfMemory)
            return false;
    }
}

void refillPieces(PieceReader& reader, bool grow) {
    if (grow && !growBuffer(reader)) {
        reader.sourceDone = true;
        reader.outOfMemory = true;
        return;
    }
    const size_t tail = reader.size - reader.position;
    if (tail != 0 && reader.position != 0)
        std::memmove(reader.buffer, reader.buffer + reader.position, tail);
    size_t wanted = reader.capacity - tail;
    if (wanted > reader.fileBytesLeft)
        wanted = static_cast<size_t>(reader.fileBytesLeft);
    bool failed = false;
    const size_t got =
        mshReadFullyAt(reader.file, reader.fileOffset, reader.buffer + tail, wanted, failed);
    reader.fileOffset += got;
    reader.fileBytesLeft -= got;
    reader.size = tail + got;
    reader.position = 0;
    if (got < wanted || reader.fileBytesLeft == 0) {
        reader.sourceDone = true;
        reader.failed = failed;
    }
}

uint64_t textInputSize(const TextInput& input) {
    if (input.memory != nullptr || input.file == nullptr)
        return input.memorySize;
    FileStatus status{};
    if (!mshFileStatus(input.file, status))
        return UINT64_MAX;
    return status.size;
}

uint64_t lineStartAfter(const TextInput& input, const ReadBuffer& buffer, uint64_t from,
                        size_t window) {
    // The two bytes before `from` tell whether a line end right at it is continued. The search
    // starts past the first bytes, so that it never reads from the start (and its mark).
    if (from < 3)
        from = 3;
    const size_t before = 2;
    const uint64_t first = from - before;
    PieceReader reader;
    startPiecesAt(reader, input, buffer, first, from + window);
    if (reader.file != nullptr)
        refillPieces(reader);
    if (reader.failed)
        return 0;
    for (size_t at = before; at < reader.size; ++at) {
        const void* found = std::memchr(reader.data + at, '\n', reader.size - at);
        if (found == nullptr)
            return 0;
        const size_t lineEnd = static_cast<size_t>(static_cast<const char*>(found) - reader.data);
        if (!continuesLine(reader.data, 0, lineEnd))
            return first + lineEnd + 1;
        at = lineEnd;
    }
    return 0;
}

} // namespace quillin
