#include "obj_fields.h"

#include "number_text.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const char* skipObjBlanks(const char* p, const char* last) {
    while (p != last && (isObjBlank(*p) || isObjContinuation(p, last)))
        ++p;
    return p;
}

namespace {

bool isBlankAt(const char* p, const char* last) {
    return isObjBlank(*p) || isObjContinuation(p, last);
}

const char* fieldEnd(const char* p, const char* last) {
    while (p != last && !isBlankAt(p, last))
        ++p;
    return p;
}

uint64_t countFieldsScalar(const char* p, const char* last) {
    uint64_t count = 0;
    for (;;) {
        p = skipObjBlanks(p, last);
        if (p == last || *p == '#')
            return count;
        ++count;
        p = fieldEnd(p, last);
    }
}


int32_t readPartSlowly(const char* first, const char* last) {
    return first == last ? 0 : parseIntText(first, last);
}

// The corner field [first, end) split at its '/' characters, each part read as strtol reads it.
void readCornerSlowly(const char* first, const char* end, ObjCornerNumbers& corner) {
    const char* slash = static_cast<const char*>(std::memchr(first, '/', static_cast<size_t>(end - first)));
    corner.position = readPartSlowly(first, slash != nullptr ? slash : end);
    corner.hasTexcoord = corner.hasNormal = false;
    if (slash == nullptr)
        return;
    const char* texcoord = slash + 1;
    const char* second = static_cast<const char*>(std::memchr(texcoord, '/', static_cast<size_t>(end - texcoord)));
    const char* texcoordEnd = second != nullptr ? second : end;
    corner.hasTexcoord = texcoordEnd != texcoord;
    corner.texcoord = readPartSlowly(texcoord, texcoordEnd);
    if (second == nullptr)
        return;
    // A third '/' and what follows it stay in the normal part, where strtol stops at it.
    corner.hasNormal = second + 1 != end;
    corner.normal = readPartSlowly(second + 1, end);
}

} // namespace

uint64_t countObjFieldsSlowly(const char* first, const char* last) {
    return countFieldsScalar(first, last);
}

size_t splitObjFields(const char* first, const char* last, Field* fields, size_t count) {
    const char* p = first;
    for (size_t i = 0; i < count; ++i) {
        p = skipObjBlanks(p, last);
        if (p == last || *p == '#')
            return i;
        const char* end = fieldEnd(p, last);
        fields[i] = Field{p, end};
        p = end;
    }
    return count;
}

bool readObjCornerSlowly(const char*& p, const char* last, ObjCornerNumbers& corner) {
    p = skipObjBlanks(p, last);
    if (p == last || *p == '#')
        return false;
    if (readObjCornerQuickly(p, last, corner))
        return true;
    const char* end = fieldEnd(p, last);
    readCornerSlowly(p, end, corner);
    p = end;
    return true;
}

uint32_t readObjGroupId(const char* first, const char* last) {
    for (const char* p = skipObjBlanks(first, last); p != last && *p != '#'; p = skipObjBlanks(p, last)) {
        const char* end = fieldEnd(p, last);
        const char* slash = static_cast<const char*>(std::memchr(p, '/', static_cast<size_t>(end - p)));
        if (slash != nullptr) {
            const char* id = skipObjBlanks(slash + 1, last);
            return static_cast<uint32_t>(readPartSlowly(id, fieldEnd(id, last)));
        }
        p = end;
    }
    return 0;
}
