// PendingStretch: a live stretch between its engines and its output stage,
// and the stages of the run loop's live path around it. The middle of the
// chain (stretch_engines.h) runs for one stretch while the output stage
// (output filters, then what the loop writes) of the stretch before runs
// beside its input filters.
#pragma once

#include <cstdint>

#include "filter_section.h"
#include "prepare_block.h"
#include "reverb_instance.h"
#include "reverb_run.h"
#include "section_pair.h"
#include "sse2.h"
#include "stretch_engines.h"

// A stretch whose engines have run, waiting for its output stage: the
// engines' outputs, the output filters' results once they have run (left in
// [j][0], right in [j][1]) and the gains of that stretch.
struct PendingStretch {
    StretchEngineOutputs wet;
    alignas(16) float g[RUN_STRETCH][2];
    uint32_t start;  // first sample of the stretch in the run call
    uint32_t n;
    float t;         // wet gain times fade
    float dry;
    float scale;     // low band scale (stereo)
};

// The output filters (low-pass on engine_b's outputs) of a pending stretch,
// loaded from the instance as a SectionPair `low`, one sample per step, then
// stored back: the only part of the live path where the variants differ.
// lanes(j) gives the inputs of step j in lanes 0 and 1, take(j, y) keeps its
// results from lanes 0 and 1, so the front of the next stretch can run the
// steps in lanes of its own (stretch_engines.h).
template <ReverbVariant VARIANT>
struct OutputFilters {
    static constexpr bool STEREO = VARIANT == ReverbVariant::stereo;
    PendingStretch* stretch;
    SectionPair low;  // both sections; mono: the left one, and a silent one beside it

    static OutputFilters load(ReverbInstance* self, PendingStretch* stretch)
    {
        const FilterSection silent = {};
        return {stretch, section_pair_load(&self->out_filter_left,
                                           STEREO ? &self->out_filter_right : &silent)};
    }

    __m128 lanes(uint32_t j) const
    {
        return section_pair_lanes(stretch->wet.b_left[j], STEREO ? stretch->wet.b_right[j] : 0.0f);
    }

    void take(uint32_t j, __m128 y)
    {
        if (STEREO)
            _mm_storel_pi(reinterpret_cast<__m64*>(stretch->g[j]), y);
        else
            stretch->g[j][0] = _mm_cvtss_f32(y);
    }

    void step(uint32_t j) { take(j, section_pair_process(&low, lanes(j))); }

    // The sections' inputs (the second one's read by the stereo plug-in
    // only) and where their results go, for running them apart from their
    // steps.
    const float* first_inputs() const { return stretch->wet.b_left; }
    const float* second_inputs() const { return stretch->wet.b_right; }
    float (*results() const)[2] { return stretch->g; }

    // The whole stretch with nothing beside it: the last stretch of a run
    // call, in short calls every stretch. (The mono plug-in's silent second
    // section writes its zeros to g[j][1], which nothing reads.)
    void run_alone()
    {
        section_pair_run_apart<STEREO>(&low, stretch->wet.b_left, stretch->wet.b_right,
                                       stretch->n, SectionPairStore{stretch->g});
    }

    void store(ReverbInstance* self) const
    {
        FilterSection unused;
        section_pair_store(&low, &self->out_filter_left,
                           STEREO ? &self->out_filter_right : &unused);
    }
};

// The run loop's live stretch, pipelined: the middle of the chain for the
// stretch `current` (reverb inputs x), with the output filters of `pending`
// (the stretch before, or null) alongside, then `output.write(pending)`.
// Out of line, so the run loop's idle path stays a short loop of its own.
template <ReverbVariant VARIANT, typename Output>
__attribute__((noinline)) static void reverb_stretch_live(ReverbInstance* self, const float* x,
                                                          PendingStretch* current,
                                                          PendingStretch* pending,
                                                          Output output)
{
    const uint32_t n = current->n;
    if (!pending) {
        NoOutputFilters none;
        reverb_stretch_engines(self, x, n, &current->wet, none, 0);
        return;
    }
    OutputFilters<VARIANT> filters = OutputFilters<VARIANT>::load(self, pending);
    reverb_stretch_engines(self, x, n, &current->wet, filters, pending->n);
    filters.store(self);
    output.write(pending);
}

// The output stage of a pending stretch on its own: output filters, then
// `output.write(pending)`. Out of line, as reverb_stretch_live.
template <ReverbVariant VARIANT, typename Output>
__attribute__((noinline)) static void reverb_stretch_finish(ReverbInstance* self,
                                                            PendingStretch* pending,
                                                            Output output)
{
    OutputFilters<VARIANT> filters = OutputFilters<VARIANT>::load(self, pending);
    filters.run_alone();
    filters.store(self);
    output.write(pending);
}

// The run loop's step for a live stretch of n samples at `start` (reverb
// inputs x): records the run call's gains at this stretch's fade in
// `current`, runs it with `pending` alongside, and returns it as the stretch
// that now waits for its output stage.
template <ReverbVariant VARIANT, typename Output>
static inline PendingStretch* reverb_stretch_begin(ReverbInstance* self, const float* x,
                                                   PendingStretch* current,
                                                   PendingStretch* pending, uint32_t start,
                                                   uint32_t n, const BlockTargets* targets,
                                                   float fade, Output output)
{
    current->start = start;
    current->n = n;
    current->t = targets->wet_target * fade;
    current->dry = targets->dry_target;
    current->scale = targets->low_band_scale;
    reverb_stretch_live<VARIANT>(self, x, current, pending, output);
    return current;
}
