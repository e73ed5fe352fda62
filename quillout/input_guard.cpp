#include "quillout/input_guard.h"

#include <sys/stat.h>

namespace quillout {

bool namesSameFile(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    if (::stat(first, &a) != 0 || ::stat(second, &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace quillout
