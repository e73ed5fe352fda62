#include "quillin/obj_fields.h"

#include "quillin/number_text.h"

#include <cstring>

namespace quillin {

namespace {

bool isBlankAt(const char* p, const char* last) {
    return isCSpace(*p) || isObjContinuation(p, last);
}

const char* fieldEnd(const char* p, const char* last) {
    while (p != last && !isBlankAt(p, last))
        ++p;
    return p;
}

// The corner field [first, end) split at its '/' characters, each part read as strtol reads it.
void readCornerSlowly(const char* first, const char* end, ObjCornerNumbers& corner) {
    const char* slash =
        static_cast<const char*>(std::memchr(first, '/', static_cast<size_t>(end - first)));
    corner.position = parseIntText(first, slash != nullptr ? slash : end);
    corner.hasTexcoord = corner.hasNormal = false;
    if (slash == nullptr)
        return;
    const char* texcoord = slash + 1;
    const char* second =
        static_cast<const char*>(std::memchr(texcoord, '/', static_cast<size_t>(end - texcoord)));
    const char* texcoordEnd = second != nullptr ? second : end;
    corner.hasTexcoord = texcoordEnd != texcoord;
    corner.texcoord = parseIntText(texcoord, texcoordEnd);
    if (second == nullptr)
        return;
    // A third '/' and what follows it stay in the normal part, where strtol stops at it.
    corner.hasNormal = second + 1 != end;
    corner.normal = parseIntText(second + 1, end);
}

} // namespace

const char* skipObjBlanks(const char* p, const char* last) {
    while (p != last && isBlankAt(p, last))
        ++p;
    return p;
}

uint64_t countObjFieldsSlowly(const char* p, const char* last) {
    uint64_t count = 0;
    for (; (p = skipObjBlanks(p, last)) != last && *p != '#'; p = fieldEnd(p, last))
        ++count;
    return count;
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
    for (const char* p = skipObjBlanks(first, last); p != last && *p != '#';
         p = skipObjBlanks(p, last)) {
        const char* end = fieldEnd(p, last);
        const char* slash =
            static_cast<const char*>(std::memchr(p, '/', static_cast<size_t>(end - p)));
        if (slash != nullptr) {
            const char* id = skipObjBlanks(slash + 1, last);
            return static_cast<uint32_t>(parseIntText(id, fieldEnd(id, last)));
        }
        p = end;
    }
    return 0;
}

} // namespace quillin
