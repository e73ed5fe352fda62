// The fields of an OBJ line: runs of characters between blanks. Blanks are spaces, tabs,
// carriage returns, vertical tabs, form feeds, line ends and a backslash that continues the line
// on the next. Leading blanks are allowed, and a field that begins with '#' starts a comment that
// runs to the end of the line. The first field is the record's keyword.
#pragma once

#include "digit_words.h"
#include "fields.h"

#include <cstddef>
#include <cstdint>

enum class ObjLineKind { other, position, texcoord, normal, face, group };

// Space, tab, line end, vertical tab, form feed, carriage return: one bit each.
inline constexpr uint64_t kObjBlankBits =
    (uint64_t{1} << ' ') | (uint64_t{1} << '\t') | (uint64_t{1} << '\n') | (uint64_t{1} << '\v') |
    (uint64_t{1} << '\f') | (uint64_t{1} << '\r');

inline bool isObjBlank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' && ((kObjBlankBits >> byte) & 1u) != 0;
}

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
    return p == last || isObjBlank(*p) || isObjContinuation(p, last);
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
    if (p != last && isObjBlank(*p))
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

// The fields in [first, last) before a comment, `first` lying inside the line that starts at
// `line`. `continued`: the text may hold a backslash that continues the line (a line read with
// more than one line end).
uint64_t countObjFields(const char* line, const char* first, const char* last, bool continued);

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
inline bool readShortObjDigits(const char*& p, const char* last, int32_t& value, uint64_t& word, int& count) {
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
        const uint64_t digitsAndSlash = ~uint64_t{0} >> (8 * (7 - n));
        const uint64_t digitsOnly = ~uint64_t{0} >> (8 * (8 - n));
        if (last - q > 2 * n + 1 && ((loadUpToEight(q + 1, last) ^ word) & digitsAndSlash) == 0 &&
            ((loadUpToEight(q + n + 2, last) ^ word) & digitsOnly) == 0 && endsObjField(q + 2 * n + 2, last)) {
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
