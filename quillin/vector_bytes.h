// Which 16-byte vector instructions the byte scans use: SSE2 on x86-64, NEON on (little-endian)
// AArch64, none elsewhere. Each scan also has a portable loop, which other hosts build and which
// tests compare with the vector form.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QUILLIN_SSE2 1
#elif defined(__aarch64__) && defined(__ARM_NEON) && !defined(__ARM_BIG_ENDIAN)
#include <arm_neon.h>
#define QUILLIN_NEON 1
#endif
