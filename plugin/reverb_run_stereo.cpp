#include "reverb_run.h"

#include "control_ports.h"
#include "fp_mode.h"
#include "predelay_line.h"
#include "prepare_block.h"
#include "reverb_instance.h"

namespace {

// Samples of the input sum formed at a time. Each sample's sum depends only
// on that sample's inputs, so summing slice by slice gives the same values
// as one sum over the whole block, with a bounded stack.
constexpr uint32_t STEREO_SUM_SLICE = 256;

// The sample loop, kept out of line so no arithmetic of it can be moved
// across the floating-point mode switch around the call.
__attribute__((noinline)) void run_stereo(ReverbInstance* self, uint32_t sample_count)
{
    BlockTargets targets = prepare_block(self, ReverbVariant::stereo);

    const float* in_l = self->ports[PORT_IN_L];
    const float* in_r = self->ports[PORT_IN_R];
    float* out_l = self->ports[PORT_OUT_L];
    float* out_r = self->ports[PORT_OUT_R];
    float sum[STEREO_SUM_SLICE];

    // i counts over the whole call, so the gain cadence ignores slice borders.
    uint64_t i = 0;
    while (i < sample_count) {
        const uint64_t slice_end =
            sample_count - i < STEREO_SUM_SLICE ? sample_count : i + STEREO_SUM_SLICE;
        for (uint64_t j = i; j < slice_end; ++j)
            sum[j - i] = in_r[j] + in_l[j];

        for (const uint64_t slice_start = i; i < slice_end; ++i) {
            if (i % GAIN_STEP_INTERVAL == 0)
                step_gains(self, &targets, STEREO_GAIN_STEP);

            // Both inputs are read before out_l is written, so out_l may
            // share a buffer with in_r as well as with in_l.
            const float left_in = in_l[i];
            const float right_in = in_r[i];
            const float x = reverb_input_or_silence(self->fade_gain * sum[i - slice_start]);
            const float p = filter_section_process(&self->pre_filter, x);
            const float d = predelay_line_step(self, p);
            const float h = filter_section_process(&self->post_filter, d);
            const ReverbEngineOutput a = reverb_engine_process(self->engine_a, h);
            const ReverbEngineOutput b = reverb_engine_process(self->engine_b, d);
            const float g_left = filter_section_process(&self->out_filter_left, b.left);
            const float g_right = filter_section_process(&self->out_filter_right, b.right);

            const float t = targets.wet_target * self->fade_gain;
            const float q = targets.low_band_scale * g_left;
            const float u_left = a.left + q;
            const float v_left = targets.dry_target * left_in;
            out_l[i] = t * u_left + v_left;

            const float t_right = targets.wet_target * self->fade_gain;
            const float v_right = targets.dry_target * right_in;
            const float u_right = a.right + targets.low_band_scale * g_right;
            out_r[i] = t_right * u_right + v_right;
        }
    }
}

}  // namespace

void reverb_run_stereo(LV2_Handle instance, uint32_t sample_count)
{
    FpModeGuard mode;
    run_stereo(static_cast<ReverbInstance*>(instance), sample_count);
}
