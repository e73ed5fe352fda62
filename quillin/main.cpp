#include "quillin/run.h"

#ifdef _WIN32
#include "msh_alloc.h"
#include "platform_file.h"
#include "quillin/messages.h"

// The program takes its arguments as UTF-8, whatever the console's code page.
int wmain(int argc, wchar_t** wideArgv) {
    char** argv = mshUtf8Arguments(argc, wideArgv);
    if (argv == nullptr) {
        quillin::printOutOfMemory();
        return -1;
    }
    const int result = quillin::runQuillin(argc, argv);
    mshRelease(argv);
    return result;
}
#else
int main(int argc, char** argv) { return quillin::runQuillin(argc, argv); }
#endif
