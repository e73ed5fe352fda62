#include "obj_fields.h"

#include "digit_words.h"
#include "number_text.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A backslash at `p` followed by a line end (or a carriage return and a line end).
bool isContinuation(const char* p, const char* last) {
    if (*p != '\\')
        return false;
    const char* next = p + 1;
    if (next != last && *next == '\r')
        ++next;
    return next != last && *next == '\n';
}

bool isBlankAt(const char* p, const char* last) {
    return isBlankByte(*p) || isContinuation(p, last);
}

const char* skipBlanks(const char* p, const char* last) {
    while (p != last && isBlankAt(p, last))
        ++p;
    return p;
}

const char* fieldEnd(const char* p, const char* last) {
    while (p != last && !isBlankAt(p, last))
        ++p;
    return p;
}

bool endsField(const char* p, const char* last) {
    return p == last || isBlankAt(p, last);
}

uint64_t countFieldsScalar(const char* p, const char* last) {
    uint64_t count = 0;
    for (;;) {
        p = skipBlanks(p, last);
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

// Plain digits (one to seven) at `p`, read from one word: sets `value` and moves `p` past them.
bool readShortDigits(const char*& p, const char* last, int32_t& value) {
    const uint64_t word = loadUpToEight(p, last);
    const int n = leadingDigitCount(word);
    if (n == 0 || n == 8)
        return false;
    value = static_cast<int32_t>(leadingDigitsValue(word, n));
    p += n;
    return true;
}

// The corner spellings nearly every file uses, parts of plain digits: "p", "p/t", "p//n",
// "p/t/n". False for anything else, which is then read slowly.
bool readCornerQuickly(const char*& p, const char* last, ObjCornerNumbers& corner) {
    const char* q = p;
    if (!readShortDigits(q, last, corner.position))
        return false;
    corner.hasTexcoord = corner.hasNormal = false;
    if (q != last && *q == '/') {
        ++q;
        if (q != last && *q != '/') {
            if (!readShortDigits(q, last, corner.texcoord))
                return false;
            corner.hasTexcoord = true;
        }
        if (q != last && *q == '/') {
            ++q;
            if (!readShortDigits(q, last, corner.normal))
                return false;
            corner.hasNormal = true;
        }
    }
    if (!endsField(q, last))
        return false;
    p = q;
    return true;
}

} // namespace

ObjLineKind classifyObjLine(const char* first, const char* last, const char*& fields) {
    const char* p = first;
    if (p != last && isBlankByte(*p))
        p = skipBlanks(p, last);
    fields = p + 1;
    if (p == last)
        return ObjLineKind::other;
    switch (*p) {
    case 'v':
        if (endsField(p + 1, last))
            return ObjLineKind::position;
        if (p + 1 != last && (p[1] == 't' || p[1] == 'n') && endsField(p + 2, last)) {
            fields = p + 2;
            return p[1] == 't' ? ObjLineKind::texcoord : ObjLineKind::normal;
        }
        return ObjLineKind::other;
    case 'f':
        return endsField(p + 1, last) ? ObjLineKind::face : ObjLineKind::other;
    case 'g':
        return endsField(p + 1, last) ? ObjLineKind::group : ObjLineKind::other;
    default:
        return ObjLineKind::other;
    }
}

uint64_t countObjFields(const char* first, const char* last, bool continued) {
#if defined(__SSE2__)
    if (continued)
        return countFieldsScalar(first, last);
    // Field starts are non-blank bytes after a blank one (the text starts after a blank: the
    // keyword's end). A comment anywhere sends the line to the scalar count, which stops there.
    uint64_t count = 0;
    bool blankBefore = true;
    const char* p = first;
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i comment = _mm_set1_epi8('#');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i formFeed = _mm_set1_epi8('\f');
    for (; last - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, comment)) != 0)
            return count + countFieldsScalar(blankBefore ? p : fieldEnd(p, last), last);
        // '\t' to '\r' (tab, line end, vertical tab, form feed, carriage return) and ' '.
        const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_sub_epi8(tab, _mm_set1_epi8(1))),
                                              _mm_cmplt_epi8(bytes, _mm_add_epi8(formFeed, _mm_set1_epi8(2))));
        const uint32_t blank =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, space), control)));
        const uint32_t starts = ~blank & ((blank << 1) | (blankBefore ? 1u : 0u)) & 0xFFFFu;
        count += static_cast<uint64_t>(std::popcount(starts));
        blankBefore = (blank >> 15) & 1u;
    }
    if (p == last)
        return count;
    return count + countFieldsScalar(blankBefore ? p : fieldEnd(p, last), last);
#else
    (void)continued;
    return countFieldsScalar(first, last);
#endif
}

size_t splitObjFields(const char* first, const char* last, Field* fields, size_t count) {
    const char* p = first;
    for (size_t i = 0; i < count; ++i) {
        p = skipBlanks(p, last);
        if (p == last || *p == '#')
            return i;
        const char* end = fieldEnd(p, last);
        fields[i] = Field{p, end};
        p = end;
    }
    return count;
}

bool readObjCorner(const char*& p, const char* last, ObjCornerNumbers& corner) {
    p = skipBlanks(p, last);
    if (p == last || *p == '#')
        return false;
    if (readCornerQuickly(p, last, corner))
        return true;
    const char* end = fieldEnd(p, last);
    readCornerSlowly(p, end, corner);
    p = end;
    return true;
}

uint32_t readObjGroupId(const char* first, const char* last) {
    for (const char* p = skipBlanks(first, last); p != last && *p != '#'; p = skipBlanks(p, last)) {
        const char* end = fieldEnd(p, last);
        const char* slash = static_cast<const char*>(std::memchr(p, '/', static_cast<size_t>(end - p)));
        if (slash != nullptr) {
            const char* id = skipBlanks(slash + 1, last);
            return static_cast<uint32_t>(readPartSlowly(id, fieldEnd(id, last)));
        }
        p = end;
    }
    return 0;
}
