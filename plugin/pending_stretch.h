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

    // The whole stretch with nothing beside it (the last stretch of a run
    // call, in short calls every stretch). Two lanes cannot fill a vector
    // with one step at a time, so what does not depend on the recursion,
    // ff2 * x2 + ff1 * x1 and ff0 * x of every step, is worked out first,
    // two steps to an instruction; the serial steps then add the feedback
    // products and those terms in the order section_pair_process adds them,
    // so every value is the same.
    void run_alone()
    {
        const uint32_t n = stretch->n;
        alignas(16) float lead[RUN_STRETCH][2];  // ff2 * x2 + ff1 * x1, left and right
        alignas(16) float fed[RUN_STRETCH][2];   // ff0 * x
        feed_forward(lead, fed);

        __m128 y1 = low.y1;
        __m128 y2 = low.y2;
#pragma GCC unroll 2
        for (uint32_t j = 0; j < n; ++j) {
            __m128 y = _mm_add_ps(load_pair(lead[j]), _mm_mul_ps(low.fb1, y1));
            y = _mm_add_ps(y, _mm_mul_ps(low.fb2, y2));
            y = section_pair_flush(_mm_add_ps(y, load_pair(fed[j])));
            y2 = y1;
            y1 = y;
            take(j, y);
        }
        low.y1 = y1;
        low.y2 = y2;
    }

private:
    static __m128 load_pair(const float* pair)
    {
        return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(pair)));
    }

    // lead[j] and fed[j] of every step, from the inputs as pairs of the two
    // sides: [left, right] of samples j and j + 1 in one vector, whose
    // x[j - 2] is then the vector of the two samples before and x[j - 1] a
    // shuffle of the two; the coefficients sit in lanes 0 and 1 and again in
    // 2 and 3. Leaves the section's input histories as the steps would.
    void feed_forward(float (*lead)[2], float (*fed)[2])
    {
        const uint32_t n = stretch->n;
        const float* left = stretch->wet.b_left;
        const float* right = stretch->wet.b_right;
        const __m128 zero = _mm_setzero_ps();
        const __m128 ff0 = _mm_movelh_ps(low.ff0, low.ff0);
        const __m128 ff1 = _mm_movelh_ps(low.ff1, low.ff1);
        const __m128 ff2 = _mm_movelh_ps(low.ff2, low.ff2);
        __m128 before = _mm_movelh_ps(low.x2, low.x1);  // the two samples before j
        uint32_t j = 0;
        for (; j + 4 <= n; j += 4) {
            const __m128 l = _mm_loadu_ps(left + j);
            const __m128 r = STEREO ? _mm_loadu_ps(right + j) : zero;
            const __m128 first = _mm_unpacklo_ps(l, r);   // samples j, j + 1
            const __m128 second = _mm_unpackhi_ps(l, r);  // samples j + 2, j + 3
            const __m128 first_back1 = _mm_shuffle_ps(before, first, _MM_SHUFFLE(1, 0, 3, 2));
            const __m128 second_back1 = _mm_shuffle_ps(first, second, _MM_SHUFFLE(1, 0, 3, 2));
            _mm_store_ps(lead[j], _mm_add_ps(_mm_mul_ps(ff2, before), _mm_mul_ps(ff1, first_back1)));
            _mm_store_ps(lead[j + 2],
                         _mm_add_ps(_mm_mul_ps(ff2, first), _mm_mul_ps(ff1, second_back1)));
            _mm_store_ps(fed[j], _mm_mul_ps(ff0, first));
            _mm_store_ps(fed[j + 2], _mm_mul_ps(ff0, second));
            before = second;
        }
        __m128 x1 = _mm_movehl_ps(zero, before);
        __m128 x2 = _mm_movelh_ps(before, zero);
        for (; j < n; ++j) {
            const __m128 x = lanes(j);
            const __m128 h = _mm_add_ps(_mm_mul_ps(low.ff2, x2), _mm_mul_ps(low.ff1, x1));
            _mm_storel_pi(reinterpret_cast<__m64*>(lead[j]), h);
            _mm_storel_pi(reinterpret_cast<__m64*>(fed[j]), _mm_mul_ps(low.ff0, x));
            x2 = x1;
            x1 = x;
        }
        low.x1 = x1;
        low.x2 = x2;
    }

public:

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
