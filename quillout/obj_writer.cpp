#include "quillout/obj_writer.h"

#include "quillout/obj_text.h"
#include "quillout/parallel_pieces.h"

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

bool writeObjFile(const Mesh& mesh, const char* path, OutputBuffer& out, unsigned threads) {
    if (!outputOpen(out, path))
        return false;
    if (threads <= 1 || !writeObjTextInParallel(mesh, out, threads))
        writeObjTextAlone(mesh, out);
    return outputClose(out);
}

unsigned objFormattingThreads() { return std::thread::hardware_concurrency() >= 2 ? 2 : 1; }

} // namespace quillout
