// Exact conversions of the importer's number fields.
//
// Each function reads the text [first, last) exactly as the C library reads a NUL-terminated
// string holding those characters: nothing at or beyond `last` is looked at.
#pragma once

#include <cstdint>

namespace quillin {

// The nearest float to strtod's result: (float)strtod(text, nullptr). Accepts everything
// strtod accepts (leading white space, sign, decimal and hexadecimal forms, exponents, "inf",
// "infinity", "nan", "nan(...)"); text without a number gives 0.
float parseFloatText(const char* first, const char* last);

// The fast path of parseFloatText, which also tells where the number ends: for text [first,
// last) that begins with a fixed-point number ("-12.5", "3", "0.123456791043281555175781": an
// optional minus, digits, optionally a point and up to 24 decimals) not followed by a digit, 'e'
// or 'E', sets `value` and `end` and returns true. Then parseFloatText(first, e) == value for
// every e from `end` to `last`. Returns false for any other text, and for the rare values
// that need the exact general conversion; `value` and `end` then mean nothing.
bool parseFixedFloatPrefix(const char* first, const char* last, float& value, const char*& end);

// (int)strtol(text, nullptr, 10): leading white space, optional sign, decimal digits; values
// beyond the range of long clamp to it, then only the low 32 bits are kept. No digits give 0.
int32_t parseIntText(const char* first, const char* last);

// A field that only the C library's conversion reads (hexadecimal, "inf", "nan(...)", no number)
// and that is 128 bytes or longer is copied through the allocation seam first. When that copy
// cannot be had, parseFloatText gives 0 and numberCopyFailed() turns true until
// clearNumberCopyFailure(): a reader clears it before a pass and fails for want of memory when
// it is set after.
bool numberCopyFailed();
void clearNumberCopyFailure();

} // namespace quillin
