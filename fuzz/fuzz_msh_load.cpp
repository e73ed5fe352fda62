// Fuzzes the .msh loader on arbitrary bytes, and the exporter's OBJ and side-file text on every
// mesh that loads: the loader must never read past the input or store past a table, and a mesh
// whose groups pass the exporter's range check must be printable without reading past a table.
#include "group_ranges.h"
#include "msh.h"
#include "obj_writer.h"
#include "output_buffer.h"
#include "side_file_writer.h"

#include <cstdint>
#include <cstdlib>

namespace {

// The text goes to /dev/null: the writers' buffering and formatting are what is exercised.
void printMesh(const Mesh& mesh) {
    uint32_t position = 0;
    if (quillout::findGroupPastTriangles(mesh, &position))
        return;
    static quillout::OutputBuffer out{};
    if (out.data == nullptr && !quillout::outputAllocate(out, size_t(64) << 10))
        std::abort();
    if (!quillout::outputOpen(out, "/dev/null"))
        std::abort();
    quillout::writeObjText(mesh, out);
    quillout::writeSideText(mesh, "fuzz.matrix", out);
    if (!quillout::outputClose(out))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Mesh* mesh = mshLoadMemory(data, size, "fuzz.msh");
    if (mesh != nullptr)
        printMesh(*mesh);
    mshFree(mesh);
    return 0;
}
