#include "quillout/output_buffer.h"

#include "msh_alloc.h"
#include "quillout/messages.h"

#include <cstring>

namespace quillout {

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
    if (out.used != 0 && !out.failed && !replacingWrite(out.file, out.data, out.used))
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
    if (length != 0 && !out.failed && !replacingWrite(out.file, data, length))
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
