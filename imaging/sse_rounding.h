#pragma once
// Every float and double result must be rounded to its type at once, whatever
// precision the host set: x87 code keeps a fitted scale of 3.52 x 6.25 at
// 21.99999988 instead of 22, or turns 0.33333333 in at 600 dpi into 200 px at
// 24 bits, and 1000 px at 33.3% into 332. The 32-bit build does its floating
// point in SSE2; code whose sizes depend on rounding includes this.
#include <cfloat>

static_assert(FLT_EVAL_METHOD == 0, "build the plug-in with -msse2 -mfpmath=sse");
