// Splitting a piece of the matrix side file into fields by the rules of the scanf patterns its
// format is defined with, on text that ends at `last` or at its first NUL byte, whichever comes
// first:
//   "%[^' ']"  takes one or more characters up to a space or an apostrophe (a tab, a carriage
//              return or a line end does not stop it);
//   " "        between two fields skips any run of white space, also none;
//   "%s"       (the last field) skips white space, then takes characters up to white space.
// A field that cannot take a single character ends the split, as a matching failure ends scanf.
// Fields are ranges into the text, so no field is ever cut or copied, however long. Also the
// one-scan readings of the OBJ records the exporter writes, and strCount.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillin {

struct Field {
    const char* first;
    const char* last;
};

// "%[^' '] %[^' '] ... %s" with `count` conversions. Fills fields[0..n) and returns n, the
// number of fields taken.
size_t splitFields(const char* first, const char* last, Field* fields, size_t count);

// The same split of a piece known to begin with a keyword of `keywordLength` characters that a
// space follows ("v ", "vt ", "f "): the keyword is the first field, so the scan starts after it.
// `count` is at least 2.
size_t splitRecordFields(const char* first, const char* last, size_t keywordLength, Field* fields,
                         size_t count);

// The exporter's spelling of a whole face line, "f a/a/a b/b/b c/c/c" with single spaces, each
// number plain digits, and nothing after the third corner but the line end (LF or CR LF):
// returns true and the three numbers, as parseIntText reads them. false for any other line;
// the caller then reads its corners in full.
bool readRepeatedFaceNumbers(const char* first, const char* last, int32_t numbers[3]);

// The float fields of a record (the text after its keyword) split at blanks, each read with
// parseFloatText, in one scan: returns true and the `count` values when every one of those fields
// is a plain fixed-point number as parseFixedFloatPrefix reads it, each but the last followed by a
// space, and false for anything else (the caller then splits the record in full).
bool readFixedFloatFields(const char* first, const char* last, float* values, size_t count);

// The number of times `c` occurs in the text, which ends at `last` or at its first NUL byte.
int strCount(const char* first, const char* last, char c);

} // namespace quillin
