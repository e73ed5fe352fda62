#include "quillout/run.h"

#ifdef _WIN32
#include "msh_alloc.h"
#include "platform_file.h"
#include "quillout/messages.h"

// The program takes its arguments as UTF-8, whatever the console's code page.
int wmain(int argc, wchar_t** wideArgv) {
    char** argv = mshUtf8Arguments(argc, wideArgv);
    if (argv == nullptr) {
        quillout::printOutOfMemory();
        return -1;
    }
    const int result = quillout::runQuillout(argc, argv);
    mshRelease(argv);
    return result;
}
#else
int main(int argc, char** argv) { return quillout::runQuillout(argc, argv); }
#endif
