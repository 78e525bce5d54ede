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
// It works in stretches of GAIN_STEP_INTERVAL samples, each starting where
// step_gains runs, so the fade and the gains are constant inside a stretch.
// Within a stretch the chain runs stage by stage: the input filter and the
// pre-delay for every sample, then each engine over the stretch, then the
// output filter and the mix; a live stretch's output stage runs during the
// next stretch, beside its input filters (reverb_stretch_live). Every
// section, line and engine still sees its samples in order, so the output is
// that of running the chain sample by sample.
__attribute__((noinline)) void run_mono(ReverbInstance* self, uint32_t sample_count)
{
    BlockTargets targets = prepare_block(self, ReverbVariant::mono);

    const float* in = self->ports[PORT_IN];
    float* out = self->ports[PORT_OUT];
    float x[RUN_STRETCH];        // reverb input, as it enters pre_filter
    // A live stretch's output stage waits for the next stretch, to run
    // beside its input filters; two records take turns.
    PendingStretch stretches[2];
    PendingStretch* pending = nullptr;
    int turn = 0;

    for (uint32_t start = 0; start < sample_count; start += RUN_STRETCH) {
        const uint32_t n = sample_count - start < RUN_STRETCH ? sample_count - start : RUN_STRETCH;
        step_gains(self, &targets, MONO_GAIN_STEP);
        const float fade = self->fade_gain;

        // The reverb input of the stretch. Its sum is formed for the whole
        // stretch before any output of it is written.
        const bool silent = reverb_stretch_input(in + start, nullptr, fade, x, n);
        if (silent && pending) {
            // The idle test looks at the whole state, the output filters'
            // too, so the stretch before finishes first.
            reverb_stretch_finish<ReverbVariant::mono>(self, pending);
            pending = nullptr;
        }
        if (silent && reverb_instance_is_silent(self, ReverbVariant::mono)) {
            // Nothing on the reverb path holds a value: it computes +0.0 for
            // the whole stretch, so only the dry term is left of the output.
            reverb_instance_skip_silence(self, ReverbVariant::mono, x, n);
            const float t = targets.wet_target * fade;
            reverb_stretch_dry_only(in + start, t, targets.dry_target, out + start, n);
            continue;
        }

        // Both engines run their full step; the mono plug-in uses the left outputs.
        pending = reverb_stretch_begin<ReverbVariant::mono>(self, x, &stretches[turn], pending,
                                                            start, n, &targets, fade);
        turn ^= 1;
    }
    if (pending)
        reverb_stretch_finish<ReverbVariant::mono>(self, pending);
}

}  // namespace

void reverb_run_mono(LV2_Handle instance, uint32_t sample_count)
{
    FpModeGuard mode;
    run_mono(static_cast<ReverbInstance*>(instance), sample_count);
}
