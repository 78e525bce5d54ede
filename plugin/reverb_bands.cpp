#include "reverb_bands.h"

#include "pending_stretch.h"
#include "prepare_block.h"
#include "reverb_run_loop.h"

namespace {

// What the band render writes: high = t * a and low = t * (scale * g) on
// each side, where the mixed output has t * (a + scale * g) + dry * in. On
// the idle path a and g are +0.0.
template <ReverbVariant VARIANT>
struct BandOutputs {
    float* high_l;
    float* high_r;
    float* low_l;
    float* low_r;

    // The mono plug-in adds the low band unscaled.
    static float band_scale(float scale)
    {
        return VARIANT == ReverbVariant::stereo ? scale : 1.0f;
    }

    void idle(uint32_t start, uint32_t n, float t, float, float scale) const
    {
        const float low = t * (band_scale(scale) * 0.0f);
        for (uint32_t j = start; j < start + n; ++j) {
            high_l[j] = t * 0.0f;
            low_l[j] = low;
            if (VARIANT == ReverbVariant::stereo) {
                high_r[j] = t * 0.0f;
                low_r[j] = low;
            }
        }
    }

    void write(const PendingStretch* s) const
    {
        const float scale = band_scale(s->scale);
        for (uint32_t j = 0; j < s->n; ++j) {
            high_l[s->start + j] = s->t * s->wet.a_left[j];
            low_l[s->start + j] = s->t * (scale * s->g[j][0]);
            if (VARIANT == ReverbVariant::stereo) {
                high_r[s->start + j] = s->t * s->wet.a_right[j];
                low_r[s->start + j] = s->t * (scale * s->g[j][1]);
            }
        }
    }
};

}  // namespace

void reverb_run_bands_mono(LV2_Handle instance, uint32_t sample_count, float* high, float* low)
{
    const BandOutputs<ReverbVariant::mono> output = {high, nullptr, low, nullptr};
    reverb_run_in_fp_mode<ReverbVariant::mono>(instance, sample_count, output);
}

void reverb_run_bands_stereo(LV2_Handle instance, uint32_t sample_count, float* high_left,
                             float* high_right, float* low_left, float* low_right)
{
    const BandOutputs<ReverbVariant::stereo> output = {high_left, high_right, low_left,
                                                       low_right};
    reverb_run_in_fp_mode<ReverbVariant::stereo>(instance, sample_count, output);
}
