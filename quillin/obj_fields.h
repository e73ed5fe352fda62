// The fields of an OBJ line: runs of characters between blanks. Blanks are spaces, tabs,
// carriage returns, vertical tabs, form feeds, line ends and a backslash that continues the line
// on the next. Leading blanks are allowed, and a field that begins with '#' starts a comment that
// runs to the end of the line. The first field is the record's keyword.
#pragma once

#include "quillin/digit_words.h"
#include "quillin/fields.h"
#include "quillin/vector_bytes.h"

#include <cstddef>
#include <cstdint>

namespace quillin {

enum class ObjLineKind { other, position, texcoord, normal, face, group };

// A backslash at `p` followed by a line end (or a carriage return and a line end).
inline bool isObjContinuation(const char* p, const char* last) {
    if (*p != '\\')
        return false;
    const char* next = p + 1;
    if (next != last && *next == '\r')
        ++next;
    return next != last && *next == '\n';
}

// Whether a field ends at `p`: the end of the line, a blank or a continuation.
inline bool endsObjField(const char* p, const char* last) {
    return p == last || isCSpace(*p) || isObjContinuation(p, last);
}

const char* skipObjBlanks(const char* p, const char* last);

// The kind of the line [first, last) by its keyword ("v", "vt", "vn", "f", "g"); sets `fields`
// to just after the keyword.
inline ObjLineKind classifyObjLine(const char* first, const char* last, const char*& fields) {
    // Nearly every record: a keyword of one or two letters at the start and a space after it.
    if (last - first >= 3) {
        if (first[1] == ' ') {
            fields = first + 1;
            switch (first[0]) {
            case 'v':
                return ObjLineKind::position;
            case 'f':
                return ObjLineKind::face;
            case 'g':
                return ObjLineKind::group;
            default:
                break;
            }
        } else if (first[0] == 'v' && first[2] == ' ' && (first[1] == 't' || first[1] == 'n')) {
            fields = first + 2;
            return first[1] == 't' ? ObjLineKind::texcoord : ObjLineKind::normal;
        }
    }
    const char* p = first;
    if (p != last && isCSpace(*p))
        p = skipObjBlanks(p, last);
    fields = p + 1;
    if (p == last)
        return ObjLineKind::other;
    switch (*p) {
    case 'v':
        if (endsObjField(p + 1, last))
            return ObjLineKind::position;
        if ((p[1] == 't' || p[1] == 'n') && endsObjField(p + 2, last)) {
            fields = p + 2;
            return p[1] == 't' ? ObjLineKind::texcoord : ObjLineKind::normal;
        }
        return ObjLineKind::other;
    case 'f':
        return endsObjField(p + 1, last) ? ObjLineKind::face : ObjLineKind::other;
    case 'g':
        return endsObjField(p + 1, last) ? ObjLineKind::group : ObjLineKind::other;
    default:
        return ObjLineKind::other;
    }
}

// The fields in [first, last) before a comment, byte by byte.
uint64_t countObjFieldsSlowly(const char* first, const char* last);

#if defined(QUILLIN_SSE2)
// 0xFF for each blank byte of `bytes`: '\t' to '\r' (tab, line end, vertical tab, form feed,
// carriage return) and ' '.
inline __m128i objBlankBytes(__m128i bytes) {
    const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('\t' - 1)),
                                          _mm_cmplt_epi8(bytes, _mm_set1_epi8('\r' + 1)));
    return _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), control);
}

inline uint64_t sumOfObjLanes(__m128i counts) {
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    return static_cast<uint64_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}
#elif defined(QUILLIN_NEON)
// 0xFF for each blank byte of `bytes`: ' ' and the five bytes '\t' to '\r' (tab, line end,
// vertical tab, form feed, carriage return), which lie less than 5 above '\t'.
inline uint8x16_t objBlankBytes(uint8x16_t bytes) {
    const uint8x16_t control = vcltq_u8(vsubq_u8(bytes, vdupq_n_u8('\t')), vdupq_n_u8(5));
    return vorrq_u8(vceqq_u8(bytes, vdupq_n_u8(' ')), control);
}
#endif

// The fields in [first, last) before a comment, `first` lying inside the line that starts at
// `line`. `continued`: the text may hold a backslash that continues the line (a line read with
// more than one line end).
inline uint64_t countObjFields(const char* line, const char* first, const char* last,
                               bool continued) {
#if defined(QUILLIN_SSE2)
    if (continued || last - line < 16)
        return countObjFieldsSlowly(first, last);
    // Field starts are non-blank bytes after a blank one (the text starts after a blank: the
    // keyword's end); each adds one to a byte counter of its lane. A '#' anywhere sends the line
    // to the byte-by-byte count, which knows comments.
    __m128i starts = _mm_setzero_si128();
    __m128i hashes = _mm_setzero_si128();
    __m128i blankBefore = _mm_cvtsi32_si128(0xFF);
    const __m128i hash = _mm_set1_epi8('#');
    uint64_t flushed = 0;
    const char* p = first;
    for (int chunks = 0; last - p >= 16; p += 16) {
        // A lane counts at most one start per 16 bytes: its byte is emptied before it can wrap.
        if (++chunks == 255) {
            flushed += sumOfObjLanes(starts);
            starts = _mm_setzero_si128();
            chunks = 0;
        }
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i blank = objBlankBytes(bytes);
        hashes = _mm_or_si128(hashes, _mm_cmpeq_epi8(bytes, hash));
        starts = _mm_sub_epi8(
            starts, _mm_andnot_si128(blank, _mm_or_si128(_mm_slli_si128(blank, 1), blankBefore)));
        blankBefore = _mm_srli_si128(blank, 15);
    }
    if (p != last) {
        // The last bytes, in the 16 that end the line; the lanes of bytes counted already (at
        // least one) are left out, and each lane left has its byte's predecessor in the lane
        // before.
        const int done = 16 - static_cast<int>(last - p);
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last - 16));
        const __m128i blank = objBlankBytes(bytes);
        hashes = _mm_or_si128(hashes, _mm_cmpeq_epi8(bytes, hash));
        const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m128i keep = _mm_cmpgt_epi8(lanes, _mm_set1_epi8(static_cast<char>(done - 1)));
        starts = _mm_sub_epi8(
            starts, _mm_and_si128(_mm_andnot_si128(blank, _mm_slli_si128(blank, 1)), keep));
    }
    if (_mm_movemask_epi8(hashes) != 0)
        return countObjFieldsSlowly(first, last);
    return flushed + sumOfObjLanes(starts);
#elif defined(QUILLIN_NEON)
    // The same count as the SSE2 form above: each byte's predecessor's blank mark comes from
    // vext of the previous 16 bytes' marks and the current ones.
    if (continued || last - line < 16)
        return countObjFieldsSlowly(first, last);
    const uint8x16_t none = vdupq_n_u8(0);
    uint8x16_t starts = none;
    uint8x16_t hashes = none;
    uint8x16_t blankBefore = vsetq_lane_u8(0xFF, none, 15); // the keyword's end
    const uint8x16_t hash = vdupq_n_u8('#');
    uint64_t flushed = 0;
    const char* p = first;
    for (int chunks = 0; last - p >= 16; p += 16) {
        if (++chunks == 255) {
            flushed += vaddlvq_u8(starts);
            starts = none;
            chunks = 0;
        }
        const uint8x16_t bytes = vld1q_u8(reinterpret_cast<const uint8_t*>(p));
        const uint8x16_t blank = objBlankBytes(bytes);
        hashes = vorrq_u8(hashes, vceqq_u8(bytes, hash));
        starts = vsubq_u8(starts, vbicq_u8(vextq_u8(blankBefore, blank, 15), blank));
        blankBefore = blank;
    }
    if (p != last) {
        const int done = 16 - static_cast<int>(last - p);
        const uint8x16_t bytes = vld1q_u8(reinterpret_cast<const uint8_t*>(last - 16));
        const uint8x16_t blank = objBlankBytes(bytes);
        hashes = vorrq_u8(hashes, vceqq_u8(bytes, hash));
        static constexpr uint8_t kLanes[16] = {0, 1, 2,  3,  4,  5,  6,  7,
                                               8, 9, 10, 11, 12, 13, 14, 15};
        const uint8x16_t keep = vcgeq_u8(vld1q_u8(kLanes), vdupq_n_u8(static_cast<uint8_t>(done)));
        starts = vsubq_u8(starts, vandq_u8(vbicq_u8(vextq_u8(none, blank, 15), blank), keep));
    }
    if (vmaxvq_u8(hashes) != 0)
        return countObjFieldsSlowly(first, last);
    return flushed + vaddlvq_u8(starts);
#else
    (void)line;
    (void)continued;
    return countObjFieldsSlowly(first, last);
#endif
}

// Up to `count` fields of [first, last) before a comment; returns how many were taken.
size_t splitObjFields(const char* first, const char* last, Field* fields, size_t count);

// One face corner: "p", "p/t", "p/t/n" or "p//n". Each part is read as strtol reads it; a
// texture-coordinate or normal part that is absent or empty is not given.
struct ObjCornerNumbers {
    int32_t position;
    int32_t texcoord;
    int32_t normal;
    bool hasTexcoord;
    bool hasNormal;
};

// Plain digits (one to seven) at `p`, read from one word: sets `value` and moves `p` past them.
inline bool readShortObjDigits(const char*& p, const char* last, int32_t& value, uint64_t& word,
                               int& count) {
    word = loadUpToEight(p, last);
    count = leadingDigitCount(word);
    if (count == 0 || count == 8)
        return false;
    value = static_cast<int32_t>(leadingDigitsValue(word, count));
    p += count;
    return true;
}

// The corner spellings nearly every file uses, parts of plain digits: "p", "p/t", "p//n",
// "p/t/n", and "p/p/p" checked word against word. False for anything else.
inline bool readObjCornerQuickly(const char*& p, const char* last, ObjCornerNumbers& corner) {
    const char* q = p;
    uint64_t word;
    int n;
    if (!readShortObjDigits(q, last, corner.position, word, n))
        return false;
    corner.hasTexcoord = corner.hasNormal = false;
    if (q != last && *q == '/') {
        // "p/p/p": the digits and '/' again, then the digits again.
        if (last - q > 2 * n + 1 && repeatsAfterSlash(q, last, word, n) &&
            endsObjField(q + 2 * n + 2, last)) {
            corner.texcoord = corner.normal = corner.position;
            corner.hasTexcoord = corner.hasNormal = true;
            p = q + 2 * n + 2;
            return true;
        }
        ++q;
        if (q != last && *q != '/') {
            if (!readShortObjDigits(q, last, corner.texcoord, word, n))
                return false;
            corner.hasTexcoord = true;
        }
        if (q != last && *q == '/') {
            ++q;
            if (!readShortObjDigits(q, last, corner.normal, word, n))
                return false;
            corner.hasNormal = true;
        }
    }
    if (!endsObjField(q, last))
        return false;
    p = q;
    return true;
}

// readObjCorner for what the quick reading leaves: blanks other than single spaces, comments,
// signs and other spellings.
bool readObjCornerSlowly(const char*& p, const char* last, ObjCornerNumbers& corner);

// Reads the next corner of a face from `p` (at or before its field): returns false when the
// fields end (the end of the line or a comment); otherwise fills `corner` and moves `p` past it.
inline bool readObjCorner(const char*& p, const char* last, ObjCornerNumbers& corner) {
    if (p != last && *p == ' ')
        ++p;
    // A line end here is the line's last byte: a continued line's stands after a backslash.
    if (p == last || *p == '\n')
        return false;
    return readObjCornerQuickly(p, last, corner) || readObjCornerSlowly(p, last, corner);
}

// The group id of a "g" line's fields [first, last): the number after the first '/' (white space
// after the '/' is skipped), 0 when there is no '/' before the end or a comment.
uint32_t readObjGroupId(const char* first, const char* last);

} // namespace quillin
