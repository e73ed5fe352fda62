// Exact conversions of the importer's number fields: the C library's text-to-double and
// text-to-integer conversions applied to a character range that is not NUL-terminated.
#include "number_text.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The text as C sees it: a NUL byte inside the range ends it.
const char* cStringEnd(const char* first, const char* last)
{
    const void* nul = std::memchr(first, '\0', static_cast<size_t>(last - first));
    return nul != nullptr ? static_cast<const char*>(nul) : last;
}

// Calls convert on a NUL-terminated copy of [first, last): on the stack for the short fields
// an OBJ file holds, on the heap for the rare longer ones.
template <typename Convert>
auto withCString(const char* first, const char* last, Convert convert)
{
    last = cStringEnd(first, last);
    const size_t length = static_cast<size_t>(last - first);
    char local[256];
    if (length < sizeof local) {
        std::memcpy(local, first, length);
        local[length] = '\0';
        return convert(local);
    }
    const std::string copy(first, length);
    return convert(copy.c_str());
}

} // namespace

float parseFloatText(const char* first, const char* last)
{
    return withCString(first, last,
                       [](const char* text) { return static_cast<float>(std::strtod(text, nullptr)); });
}

int32_t parseIntText(const char* first, const char* last)
{
    return withCString(first, last, [](const char* text) {
        return static_cast<int32_t>(static_cast<uint32_t>(std::strtol(text, nullptr, 10)));
    });
}
