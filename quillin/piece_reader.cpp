#include "piece_reader.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

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
        char* grown = capacity <= SIZE_MAX / 2 ? static_cast<char*>(std::realloc(memory, capacity * 2)) : nullptr;
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

void startPiecesAt(PieceReader& reader, const TextInput& input, const ReadBuffer& buffer, uint64_t begin,
                   uint64_t end) {
    if (input.memory != nullptr || input.file == nullptr) {
        const uint64_t last = end < input.memorySize ? end : input.memorySize;
        const uint64_t first = begin < last ? begin : last;
        reader = PieceReader{nullptr, nullptr, 0, input.memory + first, static_cast<size_t>(last - first), 0, 0, true,
                             false};
        return;
    }
    reader = PieceReader{input.file, buffer.bytes, buffer.capacity, buffer.bytes, 0, 0, end - begin, false, false};
    if (begin > static_cast<uint64_t>(LONG_MAX) || std::fseek(input.file, static_cast<long>(begin), SEEK_SET) != 0) {
        reader.sourceDone = true;
        reader.failed = true;
    }
}

void refillPieces(PieceReader& reader) {
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

uint64_t lineStartAfter(const TextInput& input, const ReadBuffer& buffer, uint64_t from, size_t window) {
    PieceReader reader;
    startPiecesAt(reader, input, buffer, from, from + window);
    if (reader.file != nullptr)
        refillPieces(reader);
    if (reader.failed)
        return 0;
    const void* lineEnd = std::memchr(reader.data, '\n', reader.size);
    return lineEnd == nullptr ? 0 : from + static_cast<uint64_t>(static_cast<const char*>(lineEnd) - reader.data) + 1;
}
