#include "quillin/run.h"

int main(int argc, char** argv) { return quillin::runQuillin(argc, argv); }
