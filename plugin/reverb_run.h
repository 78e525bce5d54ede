// The run operations of the two plug-ins, and the small per-sample helper
// of their run loop (reverb_run_loop.h).
#pragma once

#include <cstdint>
#include <cstring>

#include <lv2/core/lv2.h>

#include "prepare_block.h"

// Samples the run loop processes stage by stage at a time (a stretch): one
// gain step apart, so the fade and the gains hold still inside a stretch.
constexpr uint32_t RUN_STRETCH = GAIN_STEP_INTERVAL;

// Processes `sample_count` samples from `in` to `out` (ports 12 and 13);
// `in` and `out` may share a buffer. Audio thread: allocates nothing, takes
// no lock, and runs under its own floating-point mode, restoring the caller's
// before it returns.
void reverb_run_mono(LV2_Handle instance, uint32_t sample_count);

// Processes `sample_count` samples from `in_l`/`in_r` to `out_l`/`out_r`
// (ports 12 to 15). Both inputs of a sample are read before either output
// is written, so any output may share a buffer with any input at the same
// index. Blocks of any length; the input sum is formed a stretch at a time.
// Same thread rules as reverb_run_mono.
void reverb_run_stereo(LV2_Handle instance, uint32_t sample_count);

// Smallest exponent field the reverb input refuses: magnitudes of 2^100
// (about 1.3e30) and more, infinities and NaN. Below it the input filter's
// sums keep a margin of 2^27 below the float range, so they cannot overflow.
constexpr uint32_t REVERB_INPUT_REFUSED_EXPONENT = (127u + 100u) << 23;

// The reverb input of one sample: a value that is infinite or NaN, or so
// large that the input filter would overflow on it, becomes 0, so one bad
// sample cannot lodge in the input filter and silence the reverb until the
// next activate. One exponent test, no branch on the common path beyond it.
static inline float reverb_input_or_silence(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & 0x7f800000u) >= REVERB_INPUT_REFUSED_EXPONENT ? 0.0f : x;
}
