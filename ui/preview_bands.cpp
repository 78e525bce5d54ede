#include "preview_bands.h"

#include "fp_mode.h"
#include "pending_stretch.h"
#include "stretch_io.h"

namespace {

// Kept out of line, as the plug-in's loops are, so no arithmetic of it moves
// across the floating-point mode switch around the call.
__attribute__((noinline)) void run_bands(ReverbInstance* self, ReverbVariant variant,
                                         const float* in_left, const float* in_right,
                                         uint32_t count, float* high_left, float* high_right,
                                         float* low_left, float* low_right)
{
    const bool stereo = variant == ReverbVariant::stereo;
    BlockTargets targets = prepare_block(self, variant);
    for (uint32_t start = 0; start < count; start += RUN_STRETCH) {
        const uint32_t n = count - start < RUN_STRETCH ? count - start : RUN_STRETCH;
        step_gains(self, &targets, stereo ? STEREO_GAIN_STEP : MONO_GAIN_STEP);
        const float fade = self->fade_gain;
        float x[RUN_STRETCH];
        reverb_stretch_input(in_left + start, stereo ? in_right + start : nullptr, fade, x, n);
        StretchEngineOutputs wet;
        NoOutputFilters none;  // no stretch waits for its output filters here
        reverb_stretch_engines(self, x, n, &wet, none, 0);

        const float t = targets.wet_target * fade;
        // The mono plug-in adds the low band unscaled.
        const float scale = stereo ? targets.low_band_scale : 1.0f;
        for (uint32_t j = 0; j < n; ++j) {
            high_left[start + j] = t * wet.a_left[j];
            low_left[start + j] = t * (scale * filter_section_process(&self->out_filter_left,
                                                                      wet.b_left[j]));
            if (stereo) {
                high_right[start + j] = t * wet.a_right[j];
                low_right[start + j] =
                    t * (scale * filter_section_process(&self->out_filter_right, wet.b_right[j]));
            }
        }
    }
}

}  // namespace

void preview_run_bands(ReverbInstance* self, ReverbVariant variant, const float* in_left,
                       const float* in_right, uint32_t count, float* high_left,
                       float* high_right, float* low_left, float* low_right)
{
    FpModeGuard mode;
    run_bands(self, variant, in_left, in_right, count, high_left, high_right, low_left,
              low_right);
}
