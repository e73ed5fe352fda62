// Exact "%8.24f" text of a float, without stdio.
#pragma once

#include <cstdint>

namespace quillout {

// Longest text formatFixed24 writes: a sign, 39 integer digits (FLT_MAX), the point and 24
// decimals.
constexpr int kFixed24MaxLength = 1 + 39 + 1 + 24;

// Writes the float widened to double exactly as printf("%8.24f") prints it (fixed point, 24
// decimals, correctly rounded with ties to even, "-" for every negative value including -0)
// and returns the end. Infinities and NaNs come out as the C library prints them under the
// same format: "     inf", "    -inf", "     nan", "    -nan" (the width 8 takes effect only
// there). No terminating zero is written.
char* formatFixed24(float value, char* out);

// Writes the whole number m * 2^shift (m < 2^24, shift <= 104) as "%.0f" prints it and returns
// the end, with 64-bit arithmetic only: what formatFixed24 uses for floats of 2^23 and above
// where the compiler has no 128-bit integer type. May store up to seven bytes past that end.
char* writeWholePortably(uint64_t m, int shift, char* out);

} // namespace quillout
