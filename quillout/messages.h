// Every text the exporter prints: the usage line on stdout and one "ERROR: " line on stderr
// for each way a run can fail. The rest of the exporter prints only through these.
#pragma once

#include <cstdint>

namespace quillout {

// "Usage: <msh file> <output file>\n" on stdout.
void printUsage();

// "ERROR: Could not allocate needed memory\n"
void printOutOfMemory();

// "ERROR: Could not open file \"<path>\" for writing\n"
void printOpenError(const char* path);

// "ERROR: Could not write to file \"<path>\"\n"
void printWriteError(const char* path);

// "ERROR: Group <group> in .msh file \"<mshPath>\" names triangles past the end of the
// triangle table\n"
void printGroupPastTriangles(uint32_t group, const char* mshPath);

// "ERROR: Writing \"<outputPath>\" would replace the input .msh file \"<mshPath>\"\n"
void printOutputReplacesInput(const char* outputPath, const char* mshPath);

// "ERROR: The matrix side file for \"<objPath>\" would replace that OBJ file\n"
void printSideFileReplacesObj(const char* objPath);

} // namespace quillout
