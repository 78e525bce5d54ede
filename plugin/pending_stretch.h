// PendingStretch: a live stretch between its engines and its output stage,
// and the stages of the run loops' live path around it. The middle of the
// chain (input filters, pre-delay line, both engines) runs for one stretch
// while the output stage (output filters, mix) of the stretch before runs
// beside its input filters: the two share no state, so the processor
// overlaps their recursions, and every section still sees its samples in
// order, so the output bits are those of sample-by-sample processing.
#pragma once

#include <cstdint>

#include "control_ports.h"
#include "filter_section.h"
#include "predelay_line.h"
#include "prepare_block.h"
#include "reverb_engine.h"
#include "reverb_instance.h"
#include "reverb_run.h"
#include "section_pair.h"
#include "sse2.h"

// What both engines give for a stretch.
struct StretchEngineOutputs {
    float a_left[RUN_STRETCH], a_right[RUN_STRETCH];  // engine_a (high band)
    float b_left[RUN_STRETCH], b_right[RUN_STRETCH];  // engine_b (low band)
};

// A stretch whose engines have run, waiting for its output stage: the
// engines' outputs, the output filters' results once they have run (left in
// [j][0], right in [j][1]) and the gains of that stretch.
struct PendingStretch {
    StretchEngineOutputs wet;
    alignas(16) float g[RUN_STRETCH][2];
    uint32_t start;  // first sample of the stretch in the block
    uint32_t n;
    float t;         // wet gain times fade
    float dry;
    float scale;     // low band scale (stereo)
};

// The output filters of a pending stretch, one sample per step: both stereo
// sections as one SectionPair, or the mono section alone.
struct StereoOutputFilters {
    PendingStretch* stretch;
    SectionPair low;

    void step(uint32_t j)
    {
        const __m128 y = section_pair_process(
            &low, section_pair_lanes(stretch->wet.b_left[j], stretch->wet.b_right[j]));
        _mm_storel_pi(reinterpret_cast<__m64*>(stretch->g[j]), y);
    }
};

struct MonoOutputFilter {
    PendingStretch* stretch;
    FilterSection low;

    void step(uint32_t j) { stretch->g[j][0] = filter_section_process(&low, stretch->wet.b_left[j]); }
};

// Nothing beside the front of the chain.
struct NoOutputFilters {
    void step(uint32_t) {}
};

// pre_filter and the pre-delay line over a stretch of reverb inputs x, then
// post_filter on what the line gives: `delayed` gets the line's outputs,
// `high` those through post_filter. With a read distance known for the
// stretch (SETTLED, `offset` from predelay_line_stretch_offset) the line
// steps without the glide's arithmetic.
//
// pre_filter and post_filter run as one SectionPair, post_filter a sample
// behind: in step j the pair takes x[j] and the line's output of sample
// j - 1, which exists by then, so the two recursions share their
// instructions. The first pre_filter sample and the last post_filter sample
// go alone. Beside them, `outputs` runs its first `output_count` steps (the
// output filters of the stretch before, which share no state with these):
// the recursions are independent, so the processor overlaps their latencies.
// Each section still sees its inputs in order, so every value is what
// sample-by-sample processing gives.
template <bool SETTLED, typename Outputs>
static inline void reverb_stretch_front(ReverbInstance* self, const float* x, uint32_t n,
                                        int32_t offset, float* delayed, float* high,
                                        Outputs& outputs, uint32_t output_count)
{
    const int32_t first = predelay_line_next_write(self);
    auto step = [self, offset, first](float p, uint32_t j) {
        return SETTLED ? predelay_line_step_settled(self, p, first + int32_t(j), offset)
                       : predelay_line_step(self, p);
    };
    FilterSection pre = self->pre_filter;
    FilterSection post = self->post_filter;
    delayed[0] = step(filter_section_process(&pre, x[0]), 0);
    SectionPair sections = section_pair_load(&pre, &post);
    auto front_step = [&](uint32_t j) {
        const __m128 y = section_pair_process(&sections, section_pair_lanes(x[j], delayed[j - 1]));
        delayed[j] = step(_mm_cvtss_f32(y), j);
        high[j - 1] = section_pair_second(y);
    };
    // Front step j beside output step j - 1 while both have steps left,
    // then whichever has. Two steps per pass let the histories trade
    // registers without copies.
    const uint32_t both = n < output_count + 1 ? n : output_count + 1;
    uint32_t j = 1;
#pragma GCC unroll 2
    for (; j < both; ++j) {
        front_step(j);
        outputs.step(j - 1);
    }
#pragma GCC unroll 2
    for (; j < n; ++j)
        front_step(j);
    for (uint32_t k = both - 1; k < output_count; ++k)
        outputs.step(k);
    if (SETTLED)
        predelay_line_end_stretch(self, n);
    section_pair_store(&sections, &pre, &post);
    high[n - 1] = filter_section_process(&post, delayed[n - 1]);
    self->pre_filter = pre;
    self->post_filter = post;
}

// The middle of the chain for a stretch of reverb inputs x: pre_filter and
// the pre-delay line per sample, post_filter on what the line gives for
// engine_a, the line's output unfiltered for engine_b, then both engines
// over the stretch, into `out`. `outputs` runs `output_count` output filter
// steps of the stretch before alongside (see reverb_stretch_front).
template <typename Outputs>
static inline void reverb_stretch_engines(ReverbInstance* self, const float* x, uint32_t n,
                                          StretchEngineOutputs* out, Outputs& outputs,
                                          uint32_t output_count)
{
    float delayed[RUN_STRETCH];  // d: read from the pre-delay line
    float high[RUN_STRETCH];     // h: d through post_filter, engine_a's input
    const int32_t offset = predelay_line_stretch_offset(self, n);
    if (offset != PREDELAY_NO_OFFSET)
        reverb_stretch_front<true>(self, x, n, offset, delayed, high, outputs, output_count);
    else
        reverb_stretch_front<false>(self, x, n, offset, delayed, high, outputs, output_count);
    reverb_engine_process_pair(self->engine_a, high, out->a_left, out->a_right, self->engine_b,
                               delayed, out->b_left, out->b_right, int32_t(n));
}

// out = t * (a + scale * g) + dry * in on each side of a pending stretch
// whose output filters have run, four samples to an instruction. Both inputs
// of a group of samples are read before either output of it is written, so
// any output may share a buffer with any input.
static inline void reverb_stretch_mix_stereo(const PendingStretch* s, const float* in_l,
                                             const float* in_r, float* out_l, float* out_r)
{
    const StretchEngineOutputs* wet = &s->wet;
    const __m128 tt = _mm_set1_ps(s->t);
    const __m128 ss = _mm_set1_ps(s->scale);
    const __m128 dd = _mm_set1_ps(s->dry);
    const uint32_t n = s->n;
    uint32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m128 g01 = _mm_load_ps(s->g[j]);
        const __m128 g23 = _mm_load_ps(s->g[j + 2]);
        const __m128 g_left = _mm_shuffle_ps(g01, g23, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 g_right = _mm_shuffle_ps(g01, g23, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 left_in = _mm_loadu_ps(in_l + j);
        const __m128 right_in = _mm_loadu_ps(in_r + j);
        const __m128 u_left = _mm_add_ps(_mm_loadu_ps(wet->a_left + j), _mm_mul_ps(ss, g_left));
        const __m128 u_right = _mm_add_ps(_mm_loadu_ps(wet->a_right + j), _mm_mul_ps(ss, g_right));
        _mm_storeu_ps(out_l + j, _mm_add_ps(_mm_mul_ps(tt, u_left), _mm_mul_ps(dd, left_in)));
        _mm_storeu_ps(out_r + j, _mm_add_ps(_mm_mul_ps(tt, u_right), _mm_mul_ps(dd, right_in)));
    }
    for (; j < n; ++j) {
        const float left_in = in_l[j];
        const float right_in = in_r[j];
        const float u_left = wet->a_left[j] + s->scale * s->g[j][0];
        const float u_right = wet->a_right[j] + s->scale * s->g[j][1];
        out_l[j] = s->t * u_left + s->dry * left_in;
        out_r[j] = s->t * u_right + s->dry * right_in;
    }
}

// out = t * (a + g) + dry * in for a pending mono stretch whose output
// filter has run, four samples to an instruction. Each group of inputs is
// read before its outputs are written, so `in` and `out` may share a buffer.
static inline void reverb_stretch_mix_mono(const PendingStretch* s, const float* in, float* out)
{
    const __m128 tt = _mm_set1_ps(s->t);
    const __m128 dd = _mm_set1_ps(s->dry);
    const uint32_t n = s->n;
    uint32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m128 g01 = _mm_load_ps(s->g[j]);
        const __m128 g23 = _mm_load_ps(s->g[j + 2]);
        const __m128 g = _mm_shuffle_ps(g01, g23, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 u = _mm_add_ps(_mm_loadu_ps(s->wet.a_left + j), g);
        const __m128 v = _mm_mul_ps(dd, _mm_loadu_ps(in + j));
        _mm_storeu_ps(out + j, _mm_add_ps(_mm_mul_ps(tt, u), v));
    }
    for (; j < n; ++j) {
        const float u = s->wet.a_left[j] + s->g[j][0];
        out[j] = s->t * u + s->dry * in[j];
    }
}

// The run loops' live stretch, pipelined: the middle of the chain for the
// stretch starting at `start` (reverb inputs x) into `current`, with the
// output filters of `pending` (the stretch before, or null) alongside, then
// that stretch's mix. VARIANT picks the output filters. Out of line, so the
// run loops' idle path stays a short loop of its own.
template <ReverbVariant VARIANT>
__attribute__((noinline)) static void reverb_stretch_live(ReverbInstance* self, const float* x,
                                                          PendingStretch* current,
                                                          PendingStretch* pending)
{
    const uint32_t n = current->n;
    if (!pending) {
        NoOutputFilters none;
        reverb_stretch_engines(self, x, n, &current->wet, none, 0);
        return;
    }
    if (VARIANT == ReverbVariant::stereo) {
        StereoOutputFilters filters = {
            pending, section_pair_load(&self->out_filter_left, &self->out_filter_right)};
        reverb_stretch_engines(self, x, n, &current->wet, filters, pending->n);
        section_pair_store(&filters.low, &self->out_filter_left, &self->out_filter_right);
        reverb_stretch_mix_stereo(pending, self->ports[PORT_IN_L] + pending->start,
                                  self->ports[PORT_IN_R] + pending->start,
                                  self->ports[PORT_OUT_L] + pending->start,
                                  self->ports[PORT_OUT_R] + pending->start);
    } else {
        MonoOutputFilter filter = {pending, self->out_filter_left};
        reverb_stretch_engines(self, x, n, &current->wet, filter, pending->n);
        self->out_filter_left = filter.low;
        reverb_stretch_mix_mono(pending, self->ports[PORT_IN] + pending->start,
                                self->ports[PORT_OUT] + pending->start);
    }
}

// The output stage of a pending stretch on its own: output filters, then
// the mix. Out of line, as reverb_stretch_live.
template <ReverbVariant VARIANT>
__attribute__((noinline)) static void reverb_stretch_finish(ReverbInstance* self,
                                                            PendingStretch* pending)
{
    if (VARIANT == ReverbVariant::stereo) {
        StereoOutputFilters filters = {
            pending, section_pair_load(&self->out_filter_left, &self->out_filter_right)};
#pragma GCC unroll 2
        for (uint32_t j = 0; j < pending->n; ++j)
            filters.step(j);
        section_pair_store(&filters.low, &self->out_filter_left, &self->out_filter_right);
        reverb_stretch_mix_stereo(pending, self->ports[PORT_IN_L] + pending->start,
                                  self->ports[PORT_IN_R] + pending->start,
                                  self->ports[PORT_OUT_L] + pending->start,
                                  self->ports[PORT_OUT_R] + pending->start);
    } else {
        MonoOutputFilter filter = {pending, self->out_filter_left};
        for (uint32_t j = 0; j < pending->n; ++j)
            filter.step(j);
        self->out_filter_left = filter.low;
        reverb_stretch_mix_mono(pending, self->ports[PORT_IN] + pending->start,
                                self->ports[PORT_OUT] + pending->start);
    }
}

// The run loops' step for a live stretch of n samples at `start` (reverb
// inputs x): records the block's gains at this stretch's fade in `current`,
// runs it with `pending` alongside, and returns it as the stretch that now
// waits for its output stage.
template <ReverbVariant VARIANT>
static inline PendingStretch* reverb_stretch_begin(ReverbInstance* self, const float* x,
                                                   PendingStretch* current,
                                                   PendingStretch* pending, uint32_t start,
                                                   uint32_t n, const BlockTargets* targets,
                                                   float fade)
{
    current->start = start;
    current->n = n;
    current->t = targets->wet_target * fade;
    current->dry = targets->dry_target;
    current->scale = targets->low_band_scale;
    reverb_stretch_live<VARIANT>(self, x, current, pending);
    return current;
}
