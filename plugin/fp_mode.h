// The floating-point mode the signal chain runs under. Denormal inputs read
// as zero and denormal results flushed to zero keep a decaying tail from
// slowing the processor down and make results independent of the thread the
// host calls from. The one place that names a processor's mode register.
#pragma once

#if defined(__x86_64__)

#include <xmmintrin.h>

// The SSE control and status register, MXCSR.
using FpMode = unsigned;
// Flush-to-zero (bit 15) and denormals-are-zero (bit 6).
constexpr FpMode FP_MODE_FLUSH = 0x8040u;
// A new thread's mode: every exception masked (0x1f80), round to nearest,
// no flushing.
constexpr FpMode FP_MODE_DEFAULT = 0x1f80u;
// The control bits; the low six are status flags, which operations set.
constexpr FpMode FP_MODE_CONTROLS = 0xffc0u;

static inline FpMode fp_mode_get()
{
    return _mm_getcsr();
}

static inline void fp_mode_set(FpMode mode)
{
    _mm_setcsr(mode);
}

#elif defined(__aarch64__)

#include <cstdint>

// The floating-point control register, FPCR (the status flags live apart,
// in FPSR).
using FpMode = uint64_t;
// FZ (bit 24): denormal inputs and results are flushed to zero, which
// stands for x86-64's flush-to-zero and denormals-are-zero together.
constexpr FpMode FP_MODE_FLUSH = FpMode(1) << 24;
// A new thread's mode: round to nearest, no traps, no flushing.
constexpr FpMode FP_MODE_DEFAULT = 0;
// Every bit of FPCR is a control bit.
constexpr FpMode FP_MODE_CONTROLS = ~FpMode(0);

static inline FpMode fp_mode_get()
{
    return __builtin_aarch64_get_fpcr64();
}

static inline void fp_mode_set(FpMode mode)
{
    __builtin_aarch64_set_fpcr64(mode);
}

#else
#error "the floating-point mode is written for x86-64 and aarch64"
#endif

// The whole mode the run operations use: a new thread's, plus flushing.
constexpr FpMode FP_MODE_RUN = FP_MODE_DEFAULT | FP_MODE_FLUSH;

// Adds flushing to the calling thread's mode, keeping the rest of it (the
// library does this on the thread that loads it).
static inline void fp_mode_flush_this_thread()
{
    fp_mode_set(fp_mode_get() | FP_MODE_FLUSH);
}

// Sets FP_MODE_RUN for its lifetime and gives the caller back its own mode
// (on x86-64 its status flags too) when it ends.
struct FpModeGuard {
    FpMode saved;
    FpModeGuard() : saved(fp_mode_get()) { fp_mode_set(FP_MODE_RUN); }
    ~FpModeGuard() { fp_mode_set(saved); }
    FpModeGuard(const FpModeGuard&) = delete;
    FpModeGuard& operator=(const FpModeGuard&) = delete;
};
