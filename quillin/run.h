// The importer run: OBJ file (and optional matrix side file) in, .msh file out.
#pragma once

#include "quillin/read_mode.h"

namespace quillin {

// argv[1]: OBJ file, argv[2]: .msh file to write, argv[3] (optional): matrix side file.
// Returns 0 on success and after the usage text, -1 after any failure.
int runQuillin(int argc, char** argv);

// The same run with the OBJ file read in the given mode; runQuillin reads it by its size.
int runQuillinWith(int argc, char** argv, ReadMode mode);

} // namespace quillin
