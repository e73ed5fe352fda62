// Fuzzes the matrix side file reading on arbitrary text held in memory: counting pass, the pair
// and matrix tables, parsing pass, then the group-to-matrix table and matrices of a new mesh as
// the importer fills them. No row may be stored outside its table, whatever the text says.
#include "msh.h"
#include "msh_alloc.h"
#include "quillin/assemble.h"
#include "quillin/obj_reader.h"
#include "quillin/piece_reader.h"
#include "quillin/side_file_reader.h"

#include <cstdint>
#include <cstdlib>

using quillin::assembleMesh;
using quillin::countSidePieces;
using quillin::GroupMatrixPair;
using quillin::MeshPlan;
using quillin::ObjTables;
using quillin::parseSidePieces;
using quillin::PieceReader;
using quillin::planMesh;
using quillin::ReadBuffer;
using quillin::releaseMeshPlan;
using quillin::releaseSideTables;
using quillin::SideTables;
using quillin::startPieces;
using quillin::TextInput;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TextInput input{nullptr, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), size};
    const ReadBuffer noBuffer{nullptr, 0};
    PieceReader reader;
    startPieces(reader, input, noBuffer);
    const auto counts = countSidePieces(reader);
    SideTables tables{};
    tables.pairCount = static_cast<uint32_t>(counts.rows);
    tables.matrixCount = static_cast<uint32_t>(counts.matrices);
    tables.pairs = mshAllocateArray<GroupMatrixPair>(tables.pairCount);
    tables.matrices = mshAllocateArray<MeshMatrix>(tables.matrixCount);
    if (tables.pairs == nullptr || tables.matrices == nullptr)
        std::abort();
    startPieces(reader, input, noBuffer);
    if (parseSidePieces(reader, tables, "fuzz.matrix")) {
        const ObjTables noObj{};
        MeshPlan plan{};
        if (!planMesh(noObj, tables, plan))
            std::abort();
        Mesh* mesh = mshCreate(0, 0, 0, plan.groupMatrixCount, tables.matrixCount);
        if (mesh == nullptr || !assembleMesh(noObj, tables, plan, *mesh))
            std::abort();
        mshFree(mesh);
        releaseMeshPlan(plan);
    }
    releaseSideTables(tables);
    return 0;
}
