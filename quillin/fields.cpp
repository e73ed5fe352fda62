#include "fields.h"

namespace {

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%[^' ']": up to a space, an apostrophe, the end or a NUL.
const char* scanToSpace(const char* p, const char* last) {
    while (p != last && *p != ' ' && *p != '\'' && *p != '\0')
        ++p;
    return p;
}

// "%[^'/']": up to a '/', an apostrophe, the end or a NUL.
const char* scanToSlash(const char* p, const char* last) {
    while (p != last && *p != '/' && *p != '\'' && *p != '\0')
        ++p;
    return p;
}

// "%s" after its white space: up to white space, the end or a NUL.
const char* scanWord(const char* p, const char* last) {
    while (p != last && !isWhiteSpace(*p) && *p != '\0')
        ++p;
    return p;
}

const char* skipWhiteSpace(const char* p, const char* last) {
    while (p != last && isWhiteSpace(*p))
        ++p;
    return p;
}

} // namespace

size_t splitFields(const char* first, const char* last, Field* fields, size_t count) {
    const char* p = first;
    for (size_t i = 0; i < count; ++i) {
        const bool lastField = i + 1 == count;
        if (i != 0 || lastField)
            p = skipWhiteSpace(p, last);
        const char* end = lastField ? scanWord(p, last) : scanToSpace(p, last);
        if (end == p)
            return i;
        fields[i] = Field{p, end};
        p = end;
    }
    return count;
}

bool splitGroupId(const char* first, const char* last, Field& id) {
    const char* keywordEnd = scanToSpace(first, last);
    if (keywordEnd == first)
        return false;
    const char* name = skipWhiteSpace(keywordEnd, last);
    const char* nameEnd = scanToSlash(name, last);
    if (nameEnd == name || nameEnd == last || *nameEnd != '/')
        return false;
    const char* idStart = skipWhiteSpace(nameEnd + 1, last);
    const char* idEnd = scanWord(idStart, last);
    if (idEnd == idStart)
        return false;
    id = Field{idStart, idEnd};
    return true;
}

CornerParts splitCorner(Field corner) {
    CornerParts parts{{corner.first, corner.first}, {corner.last, corner.last}, {corner.last, corner.last}};
    const char* last = corner.last;
    const char* p = scanToSlash(corner.first, last);
    parts.position.last = p;
    if (p == last || *p != '/')
        return parts;
    const char* texcoordEnd = scanToSlash(p + 1, last);
    parts.texcoord = Field{p + 1, texcoordEnd};
    if (texcoordEnd == last || *texcoordEnd != '/')
        return parts;
    const char* normalEnd = scanWord(texcoordEnd + 1, last);
    parts.normal = Field{texcoordEnd + 1, normalEnd};
    return parts;
}

int strCount(const char* first, const char* last, char c) {
    int count = 0;
    for (const char* p = first; p != last && *p != '\0'; ++p)
        count += *p == c;
    return count;
}
