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

#if defined(__SSE2__)
// The blank bytes among the 16 at `p` (bit i for p[i]); false when one of them is '#'.
bool blankMask(const char* p, uint32_t& blank) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('#'))) != 0)
        return false;
    // '\t' to '\r' (tab, line end, vertical tab, form feed, carriage return) and ' '.
    const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('\t' - 1)),
                                          _mm_cmplt_epi8(bytes, _mm_set1_epi8('\r' + 1)));
    blank = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), control)));
    return true;
}

uint64_t popcount16(uint32_t x) {
    x = x - ((x >> 1) & 0x5555u);
    x = (x & 0x3333u) + ((x >> 2) & 0x3333u);
    x = (x + (x >> 4)) & 0x0F0Fu;
    return (x + (x >> 8)) & 0x1Fu;
}
#endif

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

uint64_t countObjFields(const char* line, const char* first, const char* last, bool continued) {
#if defined(__SSE2__)
    if (continued)
        return countFieldsScalar(first, last);
    // Field starts are non-blank bytes after a blank one (the text starts after a blank: the
    // keyword's end). A comment anywhere sends the line to the scalar count, which stops there.
    uint64_t count = 0;
    uint32_t blankBefore = 1;
    const char* p = first;
    for (; last - p >= 16; p += 16) {
        uint32_t blank;
        if (!blankMask(p, blank))
            return count + countFieldsScalar(blankBefore != 0 ? p : fieldEnd(p, last), last);
        count += popcount16(~blank & ((blank << 1) | blankBefore) & 0xFFFFu);
        blankBefore = (blank >> 15) & 1u;
    }
    if (p == last)
        return count;
    if (last - line < 16)
        return count + countFieldsScalar(blankBefore != 0 ? p : fieldEnd(p, last), last);
    // The last bytes, in the 16 that end the line: the ones counted already are left out.
    const int done = 16 - static_cast<int>(last - p);
    uint32_t blank;
    if (!blankMask(last - 16, blank))
        return count + countFieldsScalar(blankBefore != 0 ? p : fieldEnd(p, last), last);
    const uint32_t shifted = (blank >> done);
    const uint32_t starts = ~shifted & ((shifted << 1) | blankBefore) & (0xFFFFu >> done);
    return count + popcount16(starts);
#else
    (void)line;
    (void)continued;
    return countFieldsScalar(first, last);
#endif
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
