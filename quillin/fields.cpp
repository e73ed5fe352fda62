#include "fields.h"

#include "digit_words.h"
#include "number_text.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Marks (in the high bit of each byte) the zero bytes of `word`. The lowest mark is exact;
// marks above it may be spurious, so only the lowest is ever used.
uint64_t zeroBytes(uint64_t word) {
    return (word - kOnes) & ~word & kHighs;
}

// The bytes at most ' ' or equal to `extra`: every stop character of a field is one of them.
uint64_t candidateBytes(uint64_t word, uint64_t extra) {
    return (((word - kOnes * 0x21) & ~word) & kHighs) | zeroBytes(word ^ (kOnes * extra));
}

// The bytes that are '/', an apostrophe or NUL.
uint64_t slashBytes(uint64_t word) {
    return zeroBytes(word ^ (kOnes * '/')) | zeroBytes(word ^ (kOnes * '\'')) | zeroBytes(word);
}

// Scans eight bytes at a time to the next candidate, then decides on it byte by byte. A field
// of digits, as every number field is, passes in a few steps.
template <typename Marks, typename IsStop>
const char* scanUntil(const char* p, const char* last, Marks marksOf, IsStop isStop) {
    while (last - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if constexpr (std::endian::native == std::endian::little) {
            const uint64_t marks = marksOf(word);
            if (marks == 0) {
                p += 8;
                continue;
            }
            p += std::countr_zero(marks) / 8;
        }
        if (isStop(*p))
            return p;
        ++p;
    }
    while (p != last && !isStop(*p))
        ++p;
    return p;
}

// "%[^' ']": up to a space, an apostrophe, the end or a NUL.
const char* scanToSpace(const char* p, const char* last) {
    return scanUntil(
        p, last, [](uint64_t word) { return candidateBytes(word, '\''); },
        [](char c) { return c == ' ' || c == '\'' || c == '\0'; });
}

// "%[^'/']": up to a '/', an apostrophe, the end or a NUL.
const char* scanToSlash(const char* p, const char* last) {
    return scanUntil(
        p, last, [](uint64_t word) { return slashBytes(word); },
        [](char c) { return c == '/' || c == '\'' || c == '\0'; });
}

// "%s" after its white space: up to white space, the end or a NUL.
const char* scanWord(const char* p, const char* last) {
    return scanUntil(
        p, last, [](uint64_t word) { return candidateBytes(word, 0); },
        [](char c) { return isWhiteSpace(c) || c == '\0'; });
}

const char* skipWhiteSpace(const char* p, const char* last) {
    while (p != last && isWhiteSpace(*p))
        ++p;
    return p;
}

} // namespace

namespace {

size_t splitFieldsFrom(const char* first, const char* last, Field* fields, size_t count, bool skipFirst) {
    const char* p = first;
    for (size_t i = 0; i < count; ++i) {
        const bool lastField = i + 1 == count;
        if (i != 0 || lastField || skipFirst)
            p = skipWhiteSpace(p, last);
        const char* end = lastField ? scanWord(p, last) : scanToSpace(p, last);
        if (end == p)
            return i;
        fields[i].first = p;
        fields[i].last = end;
        p = end;
    }
    return count;
}

} // namespace

size_t splitFields(const char* first, const char* last, Field* fields, size_t count) {
    return splitFieldsFrom(first, last, fields, count, false);
}

size_t splitRecordFields(const char* first, const char* last, size_t keywordLength, Field* fields, size_t count) {
    fields[0] = Field{first, first + keywordLength};
    return 1 + splitFieldsFrom(first + keywordLength, last, fields + 1, count - 1, true);
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

namespace {

// The exporter's corner "p/p/p": the part after each '/' repeats the position part exactly and
// the corner ends there. The position part holds no '/', apostrophe or NUL, so neither copy can
// end sooner; it must hold no white space either, which would end the last part.
bool repeatsPosition(const char* first, const char* slash, const char* last) {
    const size_t n = static_cast<size_t>(slash - first);
    if (n == 0 || static_cast<size_t>(last - slash) != 2 * n + 2 || slash[n + 1] != '/')
        return false;
    const char* texcoord = slash + 1;
    const char* normal = slash + n + 2;
    for (size_t i = 0; i < n; ++i)
        if (texcoord[i] != first[i] || normal[i] != first[i] || static_cast<unsigned char>(first[i]) <= ' ')
            return false;
    return true;
}

} // namespace

CornerParts splitCorner(Field corner) {
    // Filled field by field: building the record from copies of `corner` makes the compiler
    // reload it through a wide load that stalls on the two narrow stores before it.
    const char* first = corner.first;
    const char* last = corner.last;
    CornerParts parts;
    parts.repeated = false;
    parts.position.first = first;
    const char* p = scanToSlash(first, last);
    parts.position.last = p;
    if (p == last || *p != '/') {
        parts.texcoord.first = parts.texcoord.last = parts.normal.first = parts.normal.last = last;
        return parts;
    }
    if (repeatsPosition(first, p, last)) {
        const size_t n = static_cast<size_t>(p - first);
        parts.texcoord.first = p + 1;
        parts.texcoord.last = p + 1 + n;
        parts.normal.first = p + n + 2;
        parts.normal.last = last;
        parts.repeated = true;
        return parts;
    }
    const char* texcoordEnd = scanToSlash(p + 1, last);
    parts.texcoord.first = p + 1;
    parts.texcoord.last = texcoordEnd;
    if (texcoordEnd == last || *texcoordEnd != '/') {
        parts.normal.first = parts.normal.last = last;
        return parts;
    }
    parts.normal.first = texcoordEnd + 1;
    parts.normal.last = scanWord(texcoordEnd + 1, last);
    return parts;
}

namespace {

// The corner "a/a/a" at p, `a` being plain digits: returns its end and sets `number` to what
// parseIntText reads from `a`; null for any other spelling. Numbers of up to seven digits, as
// nearly all are, are checked and read from whole words.
const char* readRepeatedCorner(const char* p, const char* last, int32_t& number) {
    // Bytes past `last` load as zeros, which match neither a digit nor a slash, so every byte
    // the comparisons below accept lies inside the piece.
    const uint64_t word = loadUpToEight(p, last);
    const int n = leadingDigitCount(word);
    if (n == 0)
        return nullptr;
    if (n < 8) {
        const uint64_t digitsAndSlash = ~uint64_t{0} >> (8 * (7 - n));
        const uint64_t digitsOnly = ~uint64_t{0} >> (8 * (8 - n));
        if (static_cast<char>(word >> (8 * n)) != '/' || ((loadUpToEight(p + n + 1, last) ^ word) & digitsAndSlash) != 0 ||
            ((loadUpToEight(p + 2 * n + 2, last) ^ word) & digitsOnly) != 0)
            return nullptr;
        number = static_cast<int32_t>(leadingDigitsValue(word, n));
        return p + 3 * n + 2;
    }
    size_t digits = 8;
    while (p + digits != last && static_cast<unsigned char>(p[digits] - '0') < 10)
        ++digits;
    if (static_cast<size_t>(last - p) < 3 * digits + 2 || p[digits] != '/' || p[2 * digits + 1] != '/' ||
        std::memcmp(p, p + digits + 1, digits) != 0 || std::memcmp(p, p + 2 * digits + 2, digits) != 0)
        return nullptr;
    number = parseIntText(p, p + digits);
    return p + 3 * digits + 2;
}

} // namespace

bool readRepeatedFaceNumbers(const char* first, const char* last, int32_t numbers[3]) {
    if (last - first < 2 || first[1] != ' ')
        return false;
    const char* p = first + 2;
    for (int c = 0; c < 3; ++c) {
        const char* end = readRepeatedCorner(p, last, numbers[c]);
        if (end == nullptr)
            return false;
        // A middle corner ends at a space; the last at white space, a NUL or the end.
        const bool ends = c < 2 ? end != last && *end == ' ' : end == last || *end == '\0' || isWhiteSpace(*end);
        if (!ends)
            return false;
        p = end + 1;
    }
    return true;
}

int strCount(const char* first, const char* last, char c) {
    int count = 0;
    for (const char* p = first; p != last && *p != '\0'; ++p)
        count += *p == c;
    return count;
}

bool readFixedFloatFields(const char* first, const char* last, size_t keywordLength, float* values, size_t count) {
    const char* p = first + keywordLength;
    for (size_t i = 0; i < count; ++i) {
        p = skipWhiteSpace(p, last);
        const char* end = nullptr;
        if (!parseFixedFloatPrefix(p, last, values[i], end))
            return false;
        // The number must be the whole field: a middle field ("%[^' ']") ends only at a space
        // (the number has none of its other stops), the last ("%s") at white space or a NUL.
        const bool middle = i + 1 < count;
        const bool wholeField = middle ? end != last && *end == ' '
                                       : end == last || *end == '\0' || isWhiteSpace(*end);
        if (!wholeField)
            return false;
        p = end;
    }
    return true;
}
