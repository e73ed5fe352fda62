#include "quillin/side_file_reader.h"

#include "msh_alloc.h"
#include "quillin/fields.h"
#include "quillin/messages.h"
#include "quillin/number_text.h"

#include <cstdio>

namespace quillin {

namespace {

bool isTableRow(const Piece& piece) {
    return pieceChar(piece, 0) == 'g' && pieceChar(piece, 1) == ' ';
}

bool isMatrixRow(const Piece& piece) {
    return pieceChar(piece, 0) == 'm' && pieceChar(piece, 1) == ' ';
}

// "%[^' '] %[^' '] %s": the kind letter, the group position, the matrix number. A number the
// row lacks is 0.
GroupMatrixPair parseTableRow(const Piece& piece) {
    Field fields[3];
    const size_t taken = splitRecordFields(piece.text, piece.text + piece.length, 1, fields, 3);
    GroupMatrixPair pair{0, 0};
    if (taken > 1)
        pair.group = static_cast<uint32_t>(parseIntText(fields[1].first, fields[1].last));
    if (taken > 2)
        pair.matrix = static_cast<uint32_t>(parseIntText(fields[2].first, fields[2].last));
    return pair;
}

// Ten fields, the last one "%s": the kind letter and nine floats; a float the row lacks is 0.
MeshMatrix parseMatrixRow(const Piece& piece) {
    Field fields[10];
    const size_t taken = splitRecordFields(piece.text, piece.text + piece.length, 1, fields, 10);
    MeshMatrix matrix{};
    for (size_t i = 1; i < taken; ++i)
        matrix.value[i - 1] = parseFloatText(fields[i].first, fields[i].last);
    return matrix;
}

// Releases what a failed reading holds; false, for the caller to return.
bool failWith(SideTables& tables, TextInput& input, FILE* file) {
    releaseSideTables(tables);
    releaseTextInput(input);
    std::fclose(file);
    return false;
}

} // namespace

SideCounts countSidePieces(PieceReader& reader) {
    SideCounts counts{0, 0};
    Piece piece;
    while (nextPiece(reader, piece)) {
        counts.rows += isTableRow(piece);
        counts.matrices += isMatrixRow(piece);
    }
    return counts;
}

bool parseSidePieces(PieceReader& reader, SideTables& tables, const char* path) {
    uint32_t pairIndex = 0;
    uint32_t matrixIndex = 0;
    uint64_t line = 1;
    Piece piece;
    while (nextPiece(reader, piece)) {
        // Rows beyond the counted ones (a file that grew between the passes) are left out.
        if (isTableRow(piece) && pairIndex < tables.pairCount) {
            const GroupMatrixPair pair = parseTableRow(piece);
            if (pair.group >= tables.pairCount) {
                printGroupPositionError(line, path, pair.group, tables.pairCount);
                return false;
            }
            tables.pairs[pairIndex++] = pair;
        } else if (isMatrixRow(piece) && matrixIndex < tables.matrixCount) {
            tables.matrices[matrixIndex++] = parseMatrixRow(piece);
        }
        line += piece.lineEnds;
    }
    return true;
}

bool readSideFile(const char* path, const ReadBuffer& buffer, SideTables& tables) {
    tables = SideTables{};
    InputResult opened = InputResult::ok;
    FILE* file = openTextInput(path, opened);
    if (file == nullptr) {
        printInputFailure(opened, ".matrix", path);
        return false;
    }
    TextInput input{};
    const InputResult prepared = prepareTextInput(file, input);
    if (prepared != InputResult::ok) {
        printInputFailure(prepared, ".matrix", path);
        return failWith(tables, input, file);
    }
    PieceReader reader;
    startPieces(reader, input, buffer);
    const SideCounts counts = countSidePieces(reader);
    if (reader.failed) {
        printSideReadError(path);
        return failWith(tables, input, file);
    }
    if (counts.rows > UINT32_MAX || counts.matrices > UINT32_MAX) {
        printOutOfMemory();
        return failWith(tables, input, file);
    }
    tables.pairCount = static_cast<uint32_t>(counts.rows);
    tables.matrixCount = static_cast<uint32_t>(counts.matrices);
    // A count of 0 needs no storage: the table stays absent.
    if (tables.pairCount != 0 &&
        (tables.pairs = mshAllocateArray<GroupMatrixPair>(tables.pairCount)) == nullptr) {
        printOutOfMemory();
        return failWith(tables, input, file);
    }
    if (tables.matrixCount != 0 &&
        (tables.matrices = mshAllocateArray<MeshMatrix>(tables.matrixCount)) == nullptr) {
        printOutOfMemory();
        return failWith(tables, input, file);
    }
    startPieces(reader, input, buffer);
    clearNumberCopyFailure();
    const bool parsed = parseSidePieces(reader, tables, path);
    if (parsed && reader.failed)
        printSideReadError(path);
    else if (parsed && numberCopyFailed())
        printOutOfMemory();
    if (!parsed || reader.failed || numberCopyFailed())
        return failWith(tables, input, file);
    releaseTextInput(input);
    std::fclose(file);
    return true;
}

void releaseSideTables(SideTables& tables) {
    mshRelease(tables.pairs);
    mshRelease(tables.matrices);
    tables = SideTables{};
}

} // namespace quillin
