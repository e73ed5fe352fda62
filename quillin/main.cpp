#include "quillin/run.h"

#ifdef _WIN32
#include "platform_file.h"
#include "quillin/messages.h"

// The program takes its arguments as UTF-8, whatever the console's code page.
int wmain(int argc, wchar_t** wideArgv) {
    return mshRunWithUtf8Arguments(argc, wideArgv, quillin::runQuillin, quillin::printOutOfMemory);
}
#else
int main(int argc, char** argv) { return quillin::runQuillin(argc, argv); }
#endif
