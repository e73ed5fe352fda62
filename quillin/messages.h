// Every text the importer prints: the usage line, its error messages and its warnings. Errors
// and warnings go to the standard error stream, the usage line to the standard output.
#pragma once

#include <cstdint>

namespace quillin {

enum class InputResult; // quillin/piece_reader.h

// The warning printed for a record the working tables have no room for: a record beyond the
// counted ones, in an input that changed after it was counted. Each value is the line number the
// warning prints. A face warns only when it holds no '/', or three or six of them.
enum class ObjWarning : int {
    none = 0,                      // a face of any other spelling: left out without a warning
    positionPastTable = 205,       // "v"
    normalPastTable = 218,         // "vn"
    texcoordPastTable = 231,       // "vt"
    faceNoSlashPastTable = 252,    // "f" whose corners name positions only
    faceThreeSlashPastTable = 262, // "f" with three '/', as "p/t" triangles have
    faceSixSlashPastTable = 284,   // "f" with six '/', as "p/t/n" or "p//n" triangles
    groupPastTable = 333,          // "g"
    lastGroupPastTable = 364,      // the last group, once the parsing ends beyond the group table
};

// The one line printed without the files to convert.
void printUsage();

void printOutOfMemory();

void printObjReadError(const char* path);
void printObjUtf16Error(const char* path);
// A face corner part ("position", "texture coordinate" or "normal") naming no record.
void printMissingRecordError(uint64_t line, const char* path, const char* what, int32_t number);
void printFewCornersError(uint64_t line, const char* path);
void printObjWarning(ObjWarning warning);

void printSideReadError(const char* path);
// The message of an input that could not be opened or prepared for reading: the `kind` of file
// (".obj", ".matrix") could not be opened or read, memory ran out, it is neither a regular file nor
// a pipe, or it is a pipe too long to hold.
void printInputFailure(InputResult result, const char* kind, const char* path);

// A table row whose group position is not below the number of table rows.
void printGroupPositionError(uint64_t line, const char* path, uint32_t group, uint32_t rows);

} // namespace quillin
