// Fuzzes the OBJ reading and the mesh assembly on arbitrary text held in memory: counting pass,
// table allocation, parsing pass, then mshCreate and assembleMesh exactly as the importer run
// does. Nothing may be read or written outside a table or the input, whatever the text says.
#include "assemble.h"
#include "msh.h"
#include "obj_reader.h"
#include "piece_reader.h"
#include "side_file_reader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The memory form of the input; it is not released here, since libFuzzer owns the bytes.
    const TextInput input{nullptr, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), size};
    const ReadBuffer noBuffer{nullptr, 0};
    PieceReader reader;
    startPieces(reader, input, noBuffer);
    const auto counts = countObjPieces(reader);
    ObjTables tables{};
    if (!allocateObjTables(counts, tables))
        std::abort(); // a few kilobytes of text never need more than a few megabytes
    startPieces(reader, input, noBuffer);
    if (parseObjPieces(reader, tables, "fuzz.obj") == ParseResult::ok) {
        const SideTables noSide{};
        Mesh* mesh = mshCreate(meshVertexCount(tables), tables.faceCount, tables.groupCount, 0, 0);
        if (mesh == nullptr)
            std::abort();
        assembleMesh(tables, noSide, *mesh);
        mshFree(mesh);
    }
    releaseObjTables(tables);
    return 0;
}
