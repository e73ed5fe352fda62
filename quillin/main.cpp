#include "run.h"

int main(int argc, char** argv) { return runQuillin(argc, argv); }
