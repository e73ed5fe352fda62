// The exporter's whole run, callable in-process: load the .msh file, write the OBJ file, then
// the matrix side file when the mesh carries both a group-to-matrix table and matrices.
#pragma once

namespace quillout {

// argv[1]: the .msh file to read; argv[2]: the OBJ file to write; further arguments are
// ignored. Returns 0 on success and after the usage text (fewer than two arguments), -1 after
// one message on stderr.
int runQuillout(int argc, char** argv);

// The same run with the OBJ text formatted on `threads` threads in all (runQuillout picks the
// number from the machine); the output is the same for every number.
int runQuilloutWithThreads(int argc, char** argv, unsigned threads);

} // namespace quillout
