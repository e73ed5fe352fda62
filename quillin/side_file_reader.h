// Reading the matrix side file: table rows ("g <group> <matrix>") and matrix rows
// ("m" and nine floats), counted in one pass and stored in a second.
#pragma once

#include "msh.h"
#include "quillin/piece_reader.h"

#include <cstdint>

namespace quillin {

struct GroupMatrixPair {
    uint32_t group;
    uint32_t matrix;
};

// Both tables are absent (null, count 0) when no side file is read.
struct SideTables {
    GroupMatrixPair* pairs;
    uint32_t pairCount;
    MeshMatrix* matrices;
    uint32_t matrixCount;
};

struct SideCounts {
    uint64_t rows;
    uint64_t matrices;
};

SideCounts countSidePieces(PieceReader& reader);

// Stores the rows. A table row whose group position is not below the number of table rows
// stops the pass with one "ERROR: " message naming the line; returns false then.
bool parseSidePieces(PieceReader& reader, SideTables& tables, const char* path);

// The whole reading of the side file at `path`: open, count, allocate the pair table and then
// the matrix table, parse, close; true when done. Every failure prints its one message and
// leaves both tables absent; the caller then releases its own tables.
bool readSideFile(const char* path, const ReadBuffer& buffer, SideTables& tables);

// Releases the pair table, then the matrix table.
void releaseSideTables(SideTables& tables);

} // namespace quillin
