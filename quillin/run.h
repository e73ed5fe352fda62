// The importer run: OBJ file (and optional matrix side file) in, .msh file out.
#pragma once

#include <cstdint>

namespace quillin {

// argv[1]: OBJ file, argv[2]: .msh file to write, argv[3] (optional): matrix side file.
// Returns 0 on success and after the usage text, -1 after any failure.
int runQuillin(int argc, char** argv);

// The same run with the input size from which the OBJ file is read in two stretches on two
// threads (UINT64_MAX: always one); runQuillin uses 8 MiB.
int runQuillinWith(int argc, char** argv, uint64_t parallelFromBytes);

} // namespace quillin
