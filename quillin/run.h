// The importer run: OBJ file (and optional matrix side file) in, .msh file out.
#pragma once

// argv[1]: OBJ file, argv[2]: .msh file to write, argv[3] (optional): matrix side file.
// Returns 0 on success and after the usage text, -1 after any failure.
int runQuillin(int argc, char** argv);
