#include "quillin/piece_reader.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace quillin {

ReadBuffer makeReadBuffer(size_t capacity) {
    if (capacity < 2 * kPieceLimit)
        capacity = 2 * kPieceLimit;
    // Plain malloc: the buffer is overwritten before every use, so zero-filling it would only
    // touch pages for nothing.
    char* bytes = static_cast<char*>(std::malloc(capacity));
    return ReadBuffer{bytes, bytes != nullptr ? capacity : 0};
}

void releaseReadBuffer(ReadBuffer& buffer) {
    std::free(buffer.bytes);
    buffer = ReadBuffer{nullptr, 0};
}

namespace {

// Reads until `wanted` bytes have arrived, the file ends or a read fails.
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

InputResult readStreamIntoMemory(FILE* file, TextInput& input) {
    size_t capacity = 1 << 20;
    size_t size = 0;
    char* memory = static_cast<char*>(std::malloc(capacity));
    if (memory == nullptr)
        return InputResult::outOfMemory;
    for (;;) {
        size += readFully(file, memory + size, capacity - size);
        if (std::ferror(file)) {
            std::free(memory);
            return InputResult::readFailed;
        }
        if (size < capacity)
            break;
        char* grown = capacity <= SIZE_MAX / 2
                          ? static_cast<char*>(std::realloc(memory, capacity * 2))
                          : nullptr;
        if (grown == nullptr) {
            std::free(memory);
            return InputResult::outOfMemory;
        }
        memory = grown;
        capacity *= 2;
    }
    input.memory = memory;
    input.memorySize = size;
    return InputResult::ok;
}

} // namespace

InputResult prepareTextInput(FILE* file, TextInput& input) {
    input = TextInput{file, nullptr, 0};
    // The passes read large blocks themselves; a stdio buffer in between would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    if (std::fseek(file, 0, SEEK_CUR) == 0)
        return InputResult::ok;
    std::clearerr(file);
    return readStreamIntoMemory(file, input);
}

void releaseTextInput(TextInput& input) {
    std::free(input.memory);
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
                             true,
                             false,
                             false,
                             nullptr};
        return;
    }
    reader = PieceReader{input.file,  buffer.bytes, buffer.capacity, buffer.bytes, 0,      0,
                         end - begin, false,        false,           false,        nullptr};
    if (begin > static_cast<uint64_t>(LONG_MAX) ||
        std::fseek(input.file, static_cast<long>(begin), SEEK_SET) != 0) {
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
    std::free(reader.grown);
    reader.grown = nullptr;
}

namespace {

// Replaces the reader's full buffer by one twice as large holding the same bytes.
bool growBuffer(PieceReader& reader) {
    if (reader.capacity > SIZE_MAX / 2)
        return false;
    char* grown = static_cast<char*>(std::malloc(reader.capacity * 2));
    if (grown == nullptr)
        return false;
    std::memcpy(grown, reader.buffer, reader.size);
    std::free(reader.grown);
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
    const size_t got = readFully(reader.file, reader.buffer + tail, wanted);
    reader.fileBytesLeft -= got;
    reader.size = tail + got;
    reader.position = 0;
    if (got < wanted || reader.fileBytesLeft == 0) {
        reader.sourceDone = true;
        reader.failed = std::ferror(reader.file) != 0;
    }
}

uint64_t textInputSize(const TextInput& input) {
    if (input.memory != nullptr || input.file == nullptr)
        return input.memorySize;
    if (std::fseek(input.file, 0, SEEK_END) != 0)
        return UINT64_MAX;
    const long size = std::ftell(input.file);
    return size < 0 ? UINT64_MAX : static_cast<uint64_t>(size);
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
