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
// 0xFF for each blank byte among the 16 at `p`; false when one of them is '#'.
bool blankBytes(const char* p, __m128i& blank) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('#'))) != 0)
        return false;
    // '\t' to '\r' (tab, line end, vertical tab, form feed, carriage return) and ' '.
    const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('\t' - 1)),
                                          _mm_cmplt_epi8(bytes, _mm_set1_epi8('\r' + 1)));
    blank = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), control);
    return true;
}

uint64_t sumOfLanes(__m128i counts) {
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    return static_cast<uint64_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
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
    if (continued || last - line < 16)
        return countFieldsScalar(first, last);
    // Field starts are non-blank bytes after a blank one (the text starts after a blank: the
    // keyword's end); each adds one to a byte counter of its lane. A comment anywhere sends the
    // rest of the line to the scalar count, which stops there.
    __m128i starts = _mm_setzero_si128();
    __m128i blankBefore = _mm_cvtsi32_si128(0xFF);
    const char* p = first;
    uint64_t scalar = 0;
    auto add = [&](__m128i blank) {
        const __m128i previous = _mm_or_si128(_mm_slli_si128(blank, 1), blankBefore);
        starts = _mm_sub_epi8(starts, _mm_andnot_si128(blank, previous));
        blankBefore = _mm_srli_si128(blank, 15);
    };
    uint64_t flushed = 0;
    for (int chunks = 0; last - p >= 16; p += 16) {
        // A lane counts at most one start per 16 bytes: its byte is emptied before it can wrap.
        if (++chunks == 255) {
            flushed += sumOfLanes(starts);
            starts = _mm_setzero_si128();
            chunks = 0;
        }
        __m128i blank;
        if (!blankBytes(p, blank)) {
            scalar = countFieldsScalar(_mm_cvtsi128_si32(blankBefore) != 0 ? p : fieldEnd(p, last), last);
            p = last;
            break;
        }
        add(blank);
    }
    if (p != last) {
        // The last bytes, in the 16 that end the line; the lanes of bytes counted already (at
        // least one) are left out, and each lane left has its byte's predecessor in the lane
        // before.
        const int done = 16 - static_cast<int>(last - p);
        __m128i blank;
        if (!blankBytes(last - 16, blank)) {
            scalar = countFieldsScalar(_mm_cvtsi128_si32(blankBefore) != 0 ? p : fieldEnd(p, last), last);
        } else {
            const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
            const __m128i keep = _mm_cmpgt_epi8(lanes, _mm_set1_epi8(static_cast<char>(done - 1)));
            starts = _mm_sub_epi8(starts, _mm_and_si128(_mm_andnot_si128(blank, _mm_slli_si128(blank, 1)), keep));
        }
    }
    return flushed + sumOfLanes(starts) + scalar;
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
