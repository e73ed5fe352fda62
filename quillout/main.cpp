#include "quillout/run.h"

int main(int argc, char** argv) { return quillout::runQuillout(argc, argv); }
