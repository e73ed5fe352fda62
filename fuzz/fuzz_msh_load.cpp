// Fuzzes the .msh loader on arbitrary bytes, and the exporter's text on every mesh that loads:
// the loader must never read past the input or store past a table, and a mesh whose groups pass
// the exporter's range check must print without reading past a table. For a quarter of the
// inputs (the thread start is slow next to the loading) the OBJ text is written once on this
// thread alone and once with a second formatting thread, through a buffer so small that the text
// is cut into pieces of eight records; both files must hold the same bytes.
#include "fuzz_sample.h"
#include "fuzz_scratch.h"
#include "msh.h"
#include "quillout/group_ranges.h"
#include "quillout/obj_text.h"
#include "quillout/obj_writer.h"
#include "quillout/output_buffer.h"
#include "quillout/side_file_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Four slots of eight records each: small enough that most meshes are cut into many pieces.
quillout::OutputBuffer& smallBuffer() {
    static quillout::OutputBuffer out{};
    if (out.data == nullptr &&
        !quillout::outputAllocate(out, 4 * 8 * quillout::objRecordMaxLength()))
        std::abort();
    return out;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Both writings of the OBJ text must hold the same bytes.
void compareOneAndTwoThreads(const Mesh& mesh, quillout::OutputBuffer& out) {
    ScratchDir scratch("quill-msh-load");
    const std::string alone = scratch.file("alone.obj");
    const std::string together = scratch.file("together.obj");
    if (!quillout::writeObjFile(mesh, alone.c_str(), out, 1) ||
        !quillout::writeObjFile(mesh, together.c_str(), out, 2))
        std::abort();
    if (readAll(alone) != readAll(together)) {
        std::fputs("the OBJ text differs between one and two formatting threads\n", stderr);
        std::abort();
    }
}

void printMesh(const Mesh& mesh, bool compareThreads) {
    uint32_t position = 0;
    if (quillout::findGroupPastTriangles(mesh, position))
        return;
    quillout::OutputBuffer& out = smallBuffer();
    if (compareThreads)
        compareOneAndTwoThreads(mesh, out);
    else if (!quillout::writeObjFile(mesh, "/dev/null", out, 1))
        std::abort();
    if (!quillout::outputOpen(out, "/dev/null"))
        std::abort();
    quillout::writeSideText(mesh, "fuzz.matrix", out);
    if (!quillout::outputClose(out))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Mesh* mesh = mshLoadMemory(data, size, "fuzz.msh");
    if (mesh != nullptr)
        printMesh(*mesh, sampledInput(data, size, 4));
    mshFree(mesh);
    return 0;
}
