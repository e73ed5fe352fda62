#include "quillout/output_buffer.h"

#include "msh_alloc.h"
#include "quillout/messages.h"

#include <cstring>

namespace quillout {
namespace {

#ifdef _WIN32
// How much text is turned into the Windows line ends at a time (on the stack, twice as much).
constexpr size_t kLineEndStretch = size_t(32) << 10;

// Text files on Windows end their lines with CR LF: each "\n" of the formatted text goes to the
// file as "\r\n", so that the formatting code makes one text on every system.
bool writeText(ReplacingFile& file, const char* text, size_t length) {
    char expanded[2 * kLineEndStretch];
    while (length != 0) {
        const size_t stretch = length < kLineEndStretch ? length : kLineEndStretch;
        const char* from = text;
        const char* const end = text + stretch;
        size_t used = 0;
        while (from != end) {
            const void* found = std::memchr(from, '\n', size_t(end - from));
            const char* lineEnd = found != nullptr ? static_cast<const char*>(found) : end;
            std::memcpy(expanded + used, from, size_t(lineEnd - from));
            used += size_t(lineEnd - from);
            from = lineEnd;
            if (found != nullptr) {
                expanded[used++] = '\r';
                expanded[used++] = '\n';
                ++from;
            }
        }
        if (!replacingWrite(file, expanded, used))
            return false;
        text += stretch;
        length -= stretch;
    }
    return true;
}
#else
// Text goes to the file as it was formatted.
bool writeText(ReplacingFile& file, const char* text, size_t length) {
    return replacingWrite(file, text, length);
}
#endif

} // namespace

bool outputAllocate(OutputBuffer& out, size_t capacity) {
    out = OutputBuffer{};
    out.data = static_cast<char*>(mshAllocate(capacity, 1));
    out.capacity = out.data != nullptr ? capacity : 0;
    return out.data != nullptr;
}

void outputRelease(OutputBuffer& out) {
    mshRelease(out.data);
    out.data = nullptr;
    out.capacity = 0;
}

bool outputOpen(OutputBuffer& out, const char* path) {
    out.used = 0;
    out.failed = false;
    out.path = path;
    if (!replacingOpen(out.file, path)) {
        printOpenError(path);
        return false;
    }
    return true;
}

void outputFlush(OutputBuffer& out) {
    if (out.used != 0 && !out.failed && !writeText(out.file, out.data, out.used))
        out.failed = true;
    out.used = 0;
}

bool outputClose(OutputBuffer& out) {
    outputFlush(out);
    if (!replacingClose(out.file, !out.failed))
        out.failed = true;
    if (out.failed)
        printWriteError(out.path);
    return !out.failed;
}

void outputWriteBlock(OutputBuffer& out, const char* data, size_t length) {
    outputFlush(out);
    if (length != 0 && !out.failed && !writeText(out.file, data, length))
        out.failed = true;
}

void outputText(OutputBuffer& out, const char* text, size_t length) {
    while (length != 0) {
        if (out.used == out.capacity)
            outputFlush(out);
        const size_t room = out.capacity - out.used;
        const size_t piece = length < room ? length : room;
        std::memcpy(out.data + out.used, text, piece);
        out.used += piece;
        text += piece;
        length -= piece;
    }
}

} // namespace quillout
