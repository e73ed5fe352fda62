#include "quillout/run.h"

#ifdef _WIN32
#include "platform_file.h"
#include "quillout/messages.h"

// The program takes its arguments as UTF-8, whatever the console's code page.
int wmain(int argc, wchar_t** wideArgv) {
    return mshRunWithUtf8Arguments(argc, wideArgv, quillout::runQuillout,
                                   quillout::printOutOfMemory);
}
#else
int main(int argc, char** argv) { return quillout::runQuillout(argc, argv); }
#endif
