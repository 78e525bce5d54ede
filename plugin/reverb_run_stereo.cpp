#include "reverb_run.h"

#include "control_ports.h"
#include "fp_mode.h"
#include "idle_path.h"
#include "pending_stretch.h"
#include "prepare_block.h"
#include "reverb_instance.h"
#include "stretch_io.h"

namespace {

// The sample loop, kept out of line so no arithmetic of it can be moved
// across the floating-point mode switch around the call.
//
// As in the mono loop, the work goes in stretches of GAIN_STEP_INTERVAL
// samples and stage by stage within each. The input sum of a stretch is
// formed before anything of it is written; each sample's sum depends only
// on that sample's inputs, so this equals one sum over the whole block, with
// a bounded stack whatever the block length.
//
// A live stretch's output stage (output filters and mix) runs during the
// next stretch, beside its input filters (reverb_stretch_live): the two
// share no state, so every section still sees its samples in order.
__attribute__((noinline)) void run_stereo(ReverbInstance* self, uint32_t sample_count)
{
    BlockTargets targets = prepare_block(self, ReverbVariant::stereo);

    const float* in_l = self->ports[PORT_IN_L];
    const float* in_r = self->ports[PORT_IN_R];
    float* out_l = self->ports[PORT_OUT_L];
    float* out_r = self->ports[PORT_OUT_R];
    float x[RUN_STRETCH];        // reverb input, as it enters pre_filter
    // A live stretch's output stage waits for the next stretch, to run
    // beside its input filters; two records take turns.
    PendingStretch stretches[2];
    PendingStretch* pending = nullptr;
    int turn = 0;

    for (uint32_t start = 0; start < sample_count; start += RUN_STRETCH) {
        const uint32_t n = sample_count - start < RUN_STRETCH ? sample_count - start : RUN_STRETCH;
        step_gains(self, &targets, STEREO_GAIN_STEP);
        const float fade = self->fade_gain;

        // The reverb input of the stretch. Its sum is formed for the whole
        // stretch before any output of it is written.
        const bool silent =
            reverb_stretch_input(in_l + start, in_r + start, fade, x, n);
        if (silent && pending) {
            // The idle test looks at the whole state, the output filters'
            // too, so the stretch before finishes first.
            reverb_stretch_finish<ReverbVariant::stereo>(self, pending);
            pending = nullptr;
        }
        if (silent && reverb_instance_is_silent(self, ReverbVariant::stereo)) {
            // Nothing on the reverb path holds a value: it computes +0.0 for
            // the whole stretch, so only the dry term is left of the output.
            reverb_instance_skip_silence(self, ReverbVariant::stereo, x, n);
            const float t = targets.wet_target * fade;
            reverb_stretch_dry_only_stereo(in_l + start, in_r + start, t, targets.dry_target,
                                           out_l + start, out_r + start, n);
            continue;
        }

        pending = reverb_stretch_begin<ReverbVariant::stereo>(self, x, &stretches[turn], pending,
                                                              start, n, &targets, fade);
        turn ^= 1;
    }
    if (pending)
        reverb_stretch_finish<ReverbVariant::stereo>(self, pending);
}

}  // namespace

void reverb_run_stereo(LV2_Handle instance, uint32_t sample_count)
{
    FpModeGuard mode;
    run_stereo(static_cast<ReverbInstance*>(instance), sample_count);
}
