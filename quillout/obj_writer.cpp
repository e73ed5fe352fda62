#include "obj_writer.h"

#include "obj_text.h"
#include "parallel_pieces.h"

#include <thread>

namespace quillout {
namespace {

void writeObjTextAlone(const Mesh& mesh, OutputBuffer& out) {
    const size_t records = out.capacity / objRecordMaxLength();
    ObjCursor cursor{};
    while (cursor.section != ObjSection::end) {
        char* space = outputSpace(out, records * objRecordMaxLength());
        outputCommit(out, formatObjRecords(mesh, cursor, records, space));
    }
}

} // namespace

int writeObjFile(const Mesh& mesh, const char* path, OutputBuffer& out, unsigned threads) {
    if (!outputOpen(out, path))
        return -1;
    if (threads <= 1 || !writeObjTextInParallel(mesh, out, threads))
        writeObjTextAlone(mesh, out);
    return outputClose(out) ? 0 : -1;
}

unsigned objFormattingThreads() { return std::thread::hardware_concurrency() >= 2 ? 2 : 1; }

} // namespace quillout
