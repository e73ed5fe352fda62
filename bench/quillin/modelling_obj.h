// OBJ text laid out as modelling tools write it: a header comment, mtllib, one o record, then
// all positions, texture coordinates and normals, each kind with its own numbering, then usemtl,
// s 1 and quad faces whose corners name three different numbers (p/t/n).
#pragma once

#include <cstdint>
#include <string>

struct ModellingObjCounts {
    uint32_t rows = 0;    // rings around the torus's axis
    uint32_t columns = 0; // vertices around each ring
    uint64_t positions = 0;
    uint64_t textureCoordinates = 0;
    uint64_t normals = 0;
    uint64_t faces = 0; // quads
    uint64_t bytes = 0;
};

// The torus's grid for about vertexCount vertices: rows = floor(sqrt(N)), columns = N / rows,
// each at least 3.
ModellingObjCounts modellingObjShape(uint32_t vertexCount);

// Writes the OBJ text of a closed quad torus of rows x columns vertices to objPath, numbers
// with six decimals, and a one-material file under mtlName beside it (mtllib names it). The
// texture coordinates have a seam: (rows + 1) x (columns + 1) of them, the last row and column
// repeating the first positions with u or v = 1. There is one normal per position, listed
// column by column where the positions go row by row, so the three numbers of a corner differ.
// Returns the counts, with the OBJ text's size; throws std::runtime_error when a file cannot
// be written.
ModellingObjCounts writeModellingObj(const std::string& objPath, const std::string& mtlName,
                                     uint32_t vertexCount);
