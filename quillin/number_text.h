// Exact conversions of the importer's number fields.
//
// Each function reads the text [first, last) exactly as the C library reads a NUL-terminated
// string holding those characters: nothing at or beyond `last` is looked at.
#pragma once

#include <cstdint>

// The nearest float to strtod's result: (float)strtod(text, nullptr). Accepts everything
// strtod accepts (leading white space, sign, decimal and hexadecimal forms, exponents, "inf",
// "infinity", "nan", "nan(...)"); text without a number gives 0.
float parseFloatText(const char* first, const char* last);

// (int)strtol(text, nullptr, 10): leading white space, optional sign, decimal digits; values
// beyond the range of long clamp to it, then only the low 32 bits are kept. No digits give 0.
int32_t parseIntText(const char* first, const char* last);
