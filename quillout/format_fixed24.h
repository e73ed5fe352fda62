// Exact "%8.24f" text of a float, without stdio.
#pragma once

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

} // namespace quillout
