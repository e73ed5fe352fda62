// The importer's reading written literally with the C library, as the baseline of the
// benchmark: fgets into a 256-byte buffer, sscanf with the scanset patterns, strtod and atoi,
// then the same assembly and mshSave as quillin. Only for files quillin reads without error.
#pragma once

// Same arguments as runQuillin: OBJ file, .msh file, optional side file. Returns 0 or -1.
int runLiteralImporter(int argc, char** argv);
