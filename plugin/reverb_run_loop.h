// The run loop both plug-ins and the GUI's band render share: a template
// over the variant (mono or stereo) and over what it writes (the Output
// parameter: the mixed output ports, or the wet signal's bands).
//
// An Output has two operations:
//   void idle(uint32_t start, uint32_t n, float t, float dry, float scale) const
//     the n samples at `start` of a stretch whose reverb path computes +0.0
//     (t: wet gain times fade; dry: dry gain; scale: low band scale);
//   void write(const PendingStretch* stretch) const
//     a stretch whose output filters have run.
#pragma once

#include <cstdint>

#include <lv2/core/lv2.h>

#include "control_ports.h"
#include "fp_mode.h"
#include "idle_path.h"
#include "pending_stretch.h"
#include "prepare_block.h"
#include "reverb_instance.h"
#include "reverb_run.h"
#include "stretch_io.h"

// Gain steps per step_gains call of each variant.
template <ReverbVariant VARIANT>
constexpr double RUN_GAIN_STEP = VARIANT == ReverbVariant::stereo ? STEREO_GAIN_STEP
                                                                   : MONO_GAIN_STEP;

// The loop of one run call over `sample_count` samples of the instance's
// input ports (PORT_IN, or PORT_IN_L and PORT_IN_R; the mono input shares
// the left one's index). Kept out of line, so no arithmetic of it can be
// moved across the floating-point mode switch around the call.
//
// It works in stretches of GAIN_STEP_INTERVAL samples, each starting where
// step_gains runs, so the fade and the gains are constant inside a stretch.
// The reverb input of a stretch (the stereo sum included) is formed before
// anything of it is written; each sample's sum depends only on that sample's
// inputs, so this equals one sum over the whole run call, with a bounded
// stack whatever its length. Within a stretch the chain runs stage by stage:
// the input filters and the pre-delay for every sample, then each engine
// over the stretch, then the output filters and the output; a live
// stretch's output stage runs during the next stretch, beside its input
// filters (reverb_stretch_live). Every section, line and engine still sees
// its samples in order, so the output is that of running the chain sample
// by sample.
template <ReverbVariant VARIANT, typename Output>
__attribute__((noinline)) static void reverb_run_stretches(ReverbInstance* self,
                                                           uint32_t sample_count,
                                                           Output output)
{
    constexpr bool stereo = VARIANT == ReverbVariant::stereo;
    BlockTargets targets = prepare_block(self, VARIANT);

    const float* in_l = self->ports[PORT_IN_L];
    const float* in_r = stereo ? self->ports[PORT_IN_R] : nullptr;
    float x[RUN_STRETCH];        // reverb input, as it enters pre_filter
    // A live stretch's output stage waits for the next stretch, to run
    // beside its input filters; two records take turns.
    PendingStretch stretches[2];
    PendingStretch* pending = nullptr;
    int turn = 0;

    for (uint32_t start = 0; start < sample_count; start += RUN_STRETCH) {
        const uint32_t n = sample_count - start < RUN_STRETCH ? sample_count - start : RUN_STRETCH;
        step_gains(self, &targets, RUN_GAIN_STEP<VARIANT>);
        const float fade = self->fade_gain;

        const bool silent =
            reverb_stretch_input(in_l + start, stereo ? in_r + start : nullptr, fade, x, n);
        if (silent && pending) {
            // The idle test looks at the whole state, the output filters'
            // too, so the stretch before finishes first.
            reverb_stretch_finish<VARIANT>(self, pending, output);
            pending = nullptr;
        }
        if (silent && reverb_instance_is_silent(self, VARIANT)) {
            // Nothing on the reverb path holds a value: it computes +0.0 for
            // the whole stretch, so only the dry term is left of the output.
            reverb_instance_skip_silence(self, VARIANT, x, n);
            output.idle(start, n, targets.wet_target * fade, targets.dry_target,
                        targets.low_band_scale);
            continue;
        }

        // Both engines run their full step; the mono plug-in uses the left outputs.
        pending = reverb_stretch_begin<VARIANT>(self, x, &stretches[turn], pending, start, n,
                                                &targets, fade, output);
        turn ^= 1;
    }
    if (pending)
        reverb_stretch_finish<VARIANT>(self, pending, output);
}

// One run call under the run operations' floating-point mode, giving the
// caller its own mode back afterwards.
template <ReverbVariant VARIANT, typename Output>
static inline void reverb_run_in_fp_mode(LV2_Handle instance, uint32_t sample_count,
                                         Output output)
{
    FpModeGuard mode;
    reverb_run_stretches<VARIANT>(static_cast<ReverbInstance*>(instance), sample_count, output);
}
