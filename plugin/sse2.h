// The SSE2 intrinsics of the run loops, on every architecture: the
// processor's own on x86-64, and elsewhere SIMDe's translations (NEON on
// aarch64), which give the x86 results lane for lane.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#else
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/sse2.h>
#endif
