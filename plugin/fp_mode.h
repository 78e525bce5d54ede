// The SSE floating-point mode the signal chain runs under. Flush-to-zero and
// denormals-are-zero keep a decaying tail from slowing the processor down and
// make results independent of the thread the host calls from.
#pragma once

#include <xmmintrin.h>

// MXCSR bits: flush-to-zero (15) and denormals-are-zero (6).
constexpr unsigned FP_MODE_FTZ_DAZ = 0x8040u;
// The whole mode the run operations use: every exception masked (0x1f80),
// round to nearest, plus flush-to-zero and denormals-are-zero.
constexpr unsigned FP_MODE_RUN = 0x1f80u | FP_MODE_FTZ_DAZ;

// Sets FP_MODE_RUN for its lifetime and gives the caller back its own mode
// (status flags included) when it ends.
struct FpModeGuard {
    unsigned saved;
    FpModeGuard() : saved(_mm_getcsr()) { _mm_setcsr(FP_MODE_RUN); }
    ~FpModeGuard() { _mm_setcsr(saved); }
    FpModeGuard(const FpModeGuard&) = delete;
    FpModeGuard& operator=(const FpModeGuard&) = delete;
};
