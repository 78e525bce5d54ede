// The two bands of the reverb, apart. The plug-in adds engine_a's output
// (the high band: the input high-passed at high_band_freq) and engine_b's
// output low-passed at low_band_freq (the low band) before its wet gain.
// This runs an instance as its run operation does, from the same block
// stage, stretch stages and filters, but gives each band's share of the wet
// output, wet gain and fade applied, instead of the mixed output.
#pragma once

#include <cstdint>

#include "prepare_block.h"
#include "reverb_instance.h"

// `count` frames from `in_left` (and `in_right` for the stereo variant; null
// for mono) through `self`. Writes the high band to high_left/high_right and
// the low band to low_left/low_right (the right ones only for stereo).
void preview_run_bands(ReverbInstance* self, ReverbVariant variant, const float* in_left,
                       const float* in_right, uint32_t count, float* high_left,
                       float* high_right, float* low_left, float* low_right);
