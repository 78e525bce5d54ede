#include "reverb_run.h"

#include "control_ports.h"
#include "fp_mode.h"
#include "predelay_line.h"
#include "prepare_block.h"
#include "reverb_instance.h"

namespace {

// The sample loop, kept out of line so no arithmetic of it can be moved
// across the floating-point mode switch around the call.
__attribute__((noinline)) void run_mono(ReverbInstance* self, uint32_t sample_count)
{
    BlockTargets targets = prepare_block(self, ReverbVariant::mono);
    if (sample_count == 0)
        return;

    const float* in = self->ports[PORT_IN];
    float* out = self->ports[PORT_OUT];
    for (uint64_t i = 0; i < sample_count; ++i) {
        if (i % GAIN_STEP_INTERVAL == 0)
            step_gains(self, &targets, MONO_GAIN_STEP);

        // Read once: with `in` and `out` sharing a buffer, out[i] is written last.
        const float input = in[i];
        const float x = reverb_input_or_silence(self->fade_gain * input);
        const float p = filter_section_process(&self->pre_filter, x);
        const float d = predelay_line_step(self, p);
        const float h = filter_section_process(&self->post_filter, d);
        // Both engines run their full step; the mono plug-in uses the left outputs.
        const float a_left = reverb_engine_process(self->engine_a, h).left;
        const float b_left = reverb_engine_process(self->engine_b, d).left;
        const float g = filter_section_process(&self->out_filter_left, b_left);

        const float t = targets.wet_target * self->fade_gain;
        const float u = a_left + g;
        const float v = targets.dry_target * input;
        out[i] = t * u + v;
    }
}

}  // namespace

void reverb_run_mono(LV2_Handle instance, uint32_t sample_count)
{
    FpModeGuard mode;
    run_mono(static_cast<ReverbInstance*>(instance), sample_count);
}
