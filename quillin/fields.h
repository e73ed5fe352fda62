// Splitting a piece of text into fields by the rules of the scanf patterns the formats are
// defined with, on text that ends at `last` or at its first NUL byte, whichever comes first:
//   "%[^' ']"  takes one or more characters up to a space or an apostrophe (a tab, a carriage
//              return or a line end does not stop it);
//   " "        between two fields skips any run of white space, also none;
//   "%s"       (the last field) skips white space, then takes characters up to white space.
// A field that cannot take a single character ends the split, as a matching failure ends scanf.
// Fields are ranges into the text, so no field is ever cut or copied, however long.
#pragma once

#include <cstddef>
#include <cstdint>

struct Field {
    const char* first;
    const char* last;

    bool empty() const { return first == last; }
};

// "%[^' '] %[^' '] ... %s" with `count` conversions. Fills fields[0..n) and returns n, the
// number of fields taken.
size_t splitFields(const char* first, const char* last, Field* fields, size_t count);

// The same split of a piece known to begin with a keyword of `keywordLength` characters that a
// space follows ("v ", "vt ", "f "): the keyword is the first field, so the scan starts after it.
// `count` is at least 2.
size_t splitRecordFields(const char* first, const char* last, size_t keywordLength, Field* fields, size_t count);

// "%[^' '] %[^'/']/%s": the keyword, the name up to the first '/', and the id text after it.
// Returns true and the id text when the split reaches the id.
bool splitGroupId(const char* first, const char* last, Field& id);

// The parts of one face corner: "p", "p/t", "p/t/n" or "p//n". A part that the corner does not
// give (no '/', or nothing between two '/') is empty. `repeated`: the corner is "p/p/p", both
// other parts spelled exactly as the position part.
struct CornerParts {
    Field position;
    Field texcoord;
    Field normal;
    bool repeated;
};
CornerParts splitCorner(Field corner);

// The exporter's spelling of a face, "f a/a/a b/b/b c/c/c" with single spaces and each number
// plain digits: returns true and the three numbers, which are what splitting the piece and
// reading each corner's parts with parseIntText gives (every part of a corner being the same
// text). false for any other spelling; the caller then splits the piece in full.
bool readRepeatedFaceNumbers(const char* first, const char* last, int32_t numbers[3]);

// The float fields of a record split as splitRecordFields(first, last, keywordLength, fields,
// count + 1) splits it, each read with parseFloatText, in one scan: returns true and the
// `count` values when every one of those fields is a plain fixed-point number as
// parseFixedFloatPrefix reads it, and false for anything else (the caller then splits the
// record in full).
bool readFixedFloatFields(const char* first, const char* last, size_t keywordLength, float* values, size_t count);

// The number of times `c` occurs in the text, which ends at `last` or at its first NUL byte.
int strCount(const char* first, const char* last, char c);
