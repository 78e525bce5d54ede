// The reverb's two bands apart; used by the GUI, which draws them. The
// plug-ins add engine_a's output (the high band: the input high-passed at
// high_band_freq) and engine_b's output low-passed at low_band_freq (the low
// band) before their wet gain. These run an instance through the run
// operations' own loop, reading its input ports as they do, but write each
// band's share of the wet output, wet gain and fade applied, instead of the
// mixed output; the output ports are left untouched. Same thread rules as
// the run operations.
#pragma once

#include <cstdint>

#include <lv2/core/lv2.h>

// A mono instance over `sample_count` samples: the high band to `high`, the
// low band (unscaled, as the mono plug-in adds it) to `low`.
void reverb_run_bands_mono(LV2_Handle instance, uint32_t sample_count, float* high, float* low);

// A stereo instance over `sample_count` samples: each band on each side, the
// low band times the low band scale, as the stereo plug-in adds it.
void reverb_run_bands_stereo(LV2_Handle instance, uint32_t sample_count, float* high_left,
                             float* high_right, float* low_left, float* low_right);
