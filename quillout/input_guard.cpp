#include "quillout/input_guard.h"

#include "platform_file.h"

namespace quillout {

bool namesSameFile(const char* first, const char* second) {
    FileIdentity a{};
    FileIdentity b{};
    if (!mshFileIdentity(first, a) || !mshFileIdentity(second, b))
        return false;
    return a == b;
}

} // namespace quillout
