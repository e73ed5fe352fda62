#include "quillin/fields.h"

#include "quillin/digit_words.h"
#include "quillin/number_text.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace quillin {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Marks (in the high bit of each byte) the zero bytes of `word`. The lowest mark is exact;
// marks above it may be spurious, so only the lowest is ever used.
uint64_t zeroBytes(uint64_t word) { return (word - kOnes) & ~word & kHighs; }

// The bytes at most ' ' or equal to `extra`: every stop character of a field is one of them.
uint64_t candidateBytes(uint64_t word, uint64_t extra) {
    return (((word - kOnes * 0x21) & ~word) & kHighs) | zeroBytes(word ^ (kOnes * extra));
}

// Scans eight bytes at a time to the next candidate, then decides on it byte by byte. A field
// of digits, as every number field is, passes in a few steps.
template <typename Marks, typename IsStop>
const char* scanUntil(const char* p, const char* last, Marks marksOf, IsStop isStop) {
    while (last - p >= 8) {
        const uint64_t marks = marksOf(loadEight(p));
        if (marks == 0) {
            p += 8;
            continue;
        }
        p += std::countr_zero(marks) / 8;
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

// "%s" after its white space: up to white space, the end or a NUL.
const char* scanWord(const char* p, const char* last) {
    return scanUntil(
        p, last, [](uint64_t word) { return candidateBytes(word, 0); },
        [](char c) { return isCSpace(c) || c == '\0'; });
}

const char* skipWhiteSpace(const char* p, const char* last) {
    while (p != last && isCSpace(*p))
        ++p;
    return p;
}

} // namespace

namespace {

size_t splitFieldsFrom(const char* first, const char* last, Field* fields, size_t count,
                       bool skipFirst) {
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

size_t splitRecordFields(const char* first, const char* last, size_t keywordLength, Field* fields,
                         size_t count) {
    fields[0] = Field{first, first + keywordLength};
    return 1 + splitFieldsFrom(first + keywordLength, last, fields + 1, count - 1, true);
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
        if (static_cast<char>(word >> (8 * n)) != '/' || !repeatsAfterSlash(p + n, last, word, n))
            return nullptr;
        number = static_cast<int32_t>(leadingDigitsValue(word, n));
        return p + 3 * n + 2;
    }
    size_t digits = 8;
    while (p + digits != last && static_cast<unsigned char>(p[digits] - '0') < 10)
        ++digits;
    if (static_cast<size_t>(last - p) < 3 * digits + 2 || p[digits] != '/' ||
        p[2 * digits + 1] != '/' || std::memcmp(p, p + digits + 1, digits) != 0 ||
        std::memcmp(p, p + 2 * digits + 2, digits) != 0)
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
        // A middle corner ends at a space; the last at the line end or the end of the text.
        if (c < 2) {
            if (end == last || *end != ' ')
                return false;
            p = end + 1;
            continue;
        }
        const size_t rest = static_cast<size_t>(last - end);
        return rest == 0 || (rest == 1 && end[0] == '\n') ||
               (rest == 2 && end[0] == '\r' && end[1] == '\n');
    }
    return false;
}

int strCount(const char* first, const char* last, char c) {
    int count = 0;
    for (const char* p = first; p != last && *p != '\0'; ++p)
        count += *p == c;
    return count;
}

bool readFixedFloatFields(const char* first, const char* last, float* values, size_t count) {
    const char* p = first;
    for (size_t i = 0; i < count; ++i) {
        p = skipWhiteSpace(p, last);
        const char* end = nullptr;
        if (!parseFixedFloatPrefix(p, last, values[i], end))
            return false;
        // The number must be the whole field: a middle field ("%[^' ']") ends only at a space
        // (the number has none of its other stops), the last ("%s") at white space or a NUL.
        const bool middle = i + 1 < count;
        const bool wholeField =
            middle ? end != last && *end == ' ' : end == last || *end == '\0' || isCSpace(*end);
        if (!wholeField)
            return false;
        p = end;
    }
    return true;
}

} // namespace quillin
