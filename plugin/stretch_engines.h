// The middle of the signal chain over one stretch: the input filters, the
// pre-delay line and both engines. Beside it, the output filters of the
// stretch before may run (the Outputs parameter): the two share no state, so
// the processor overlaps their recursions, and every section still sees its
// samples in order, so the output bits are those of sample-by-sample
// processing. Both functions are forced inline: each caller (a live stretch
// of one variant and one output) is then one function the compiler
// schedules as a whole, with no call and no spilled histories per stretch.
#pragma once

#include <cstdint>
#include <type_traits>

#include "filter_section.h"
#include "predelay_line.h"
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

// Nothing beside the front of the chain (output_count is 0 with it).
struct NoOutputFilters {
    SectionPair low = {};
    __m128 lanes(uint32_t) const { return _mm_setzero_ps(); }
    void take(uint32_t, __m128) {}
    void step(uint32_t) {}
};

// How the pre-delay line steps over a stretch: with a read distance known
// for the whole stretch (the glide has settled), gliding without wrapping
// around the ring, or sample by sample with every test (the rare stretch
// in which the write position wraps while the delay glides).
enum class PredelayStepping { settled, gliding, stepwise };

// pre_filter and the pre-delay line over a stretch of reverb inputs x, then
// post_filter on what the line gives: `delayed` gets the line's outputs,
// `high` those through post_filter. A settled line (`offset` from
// predelay_line_stretch_offset) steps without the glide's arithmetic.
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
template <PredelayStepping STEPPING, typename Outputs>
__attribute__((always_inline)) static inline void reverb_stretch_front(
    ReverbInstance* self, const float* x, uint32_t n, int32_t offset, float* delayed, float* high,
    Outputs& outputs, uint32_t output_count)
{
    const int32_t first = predelay_line_next_write(self);
    PredelayGlide glide = predelay_line_glide_begin(self);
    auto step = [self, offset, first, &glide](float p, uint32_t j) {
        if constexpr (STEPPING == PredelayStepping::settled)
            return predelay_line_step_settled(self, p, first + int32_t(j), offset);
        else if constexpr (STEPPING == PredelayStepping::gliding)
            return predelay_line_step_gliding(self, &glide, p);
        else
            return predelay_line_step(self, p);
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
    // the four sections in the four lanes of one joined pair; then
    // whichever has steps left. Two steps per pass let the histories trade
    // registers without copies.
    const uint32_t both = n < output_count + 1 ? n : output_count + 1;
    uint32_t j = 1;
    if (both > 1) {
        SectionPair joined = section_pair_join(sections, outputs.low);
#pragma GCC unroll 2
        for (; j < both; ++j) {
            const __m128 in = _mm_movelh_ps(section_pair_lanes(x[j], delayed[j - 1]),
                                            outputs.lanes(j - 1));
            const __m128 y = section_pair_process(&joined, in);
            delayed[j] = step(_mm_cvtss_f32(y), j);
            high[j - 1] = section_pair_second(y);
            outputs.take(j - 1, _mm_movehl_ps(y, y));
        }
        section_pair_split(joined, &sections, &outputs.low);
    }
#pragma GCC unroll 2
    for (; j < n; ++j)
        front_step(j);
    for (uint32_t k = both - 1; k < output_count; ++k)
        outputs.step(k);
    if constexpr (STEPPING == PredelayStepping::gliding)
        self->predelay_smoothed = glide.smoothed;
    if constexpr (STEPPING != PredelayStepping::stepwise)
        predelay_line_end_stretch(self, n);
    section_pair_store(&sections, &pre, &post);
    high[n - 1] = filter_section_process(&post, delayed[n - 1]);
    self->pre_filter = pre;
    self->post_filter = post;
}

// pre_filter and post_filter over a stretch whose pre-delay delay holds
// still and whose reads are apart from its writes
// (predelay_line_reads_apart): the reads are made first, so post_filter's
// inputs are known before pre_filter's outputs reach the line, and the two
// sections run apart from the line, side by side
// (section_pair_run_apart), pre_filter's outputs going to the line's slots
// as they come. The values are those of reverb_stretch_front.
__attribute__((always_inline)) static inline void reverb_stretch_front_apart(
    ReverbInstance* self, const float* x, uint32_t n, int32_t offset, float* delayed, float* high)
{
    predelay_line_read_held(self, n, offset, delayed);
    SectionPair sections = section_pair_load(&self->pre_filter, &self->post_filter);
    float* slots = predelay_line_stretch_slots(self);
    // pre_filter's output to the line, post_filter's to engine_a's input.
    const auto take = [slots, high](uint32_t j, __m128 y) {
        _mm_store_ss(slots + j, y);
        high[j] = section_pair_second(y);
    };
    section_pair_run_apart<true>(&sections, x, delayed, n, take);
    section_pair_store(&sections, &self->pre_filter, &self->post_filter);
    predelay_line_end_stretch(self, n);
}

// The same beside the output filters of the stretch before (`outputs`,
// `output_count` steps, at least n): with the reads made, all four
// sections' inputs are known, so they run apart from the line in the four
// lanes of one joined pair (section_pair_run_joined_apart); output steps
// beyond the stretch's n run on in their own pair.
template <typename Outputs>
static inline void reverb_stretch_front_joined_apart(ReverbInstance* self, const float* x,
                                                     uint32_t n, int32_t offset, float* delayed,
                                                     float* high, Outputs& outputs,
                                                     uint32_t output_count)
{
    predelay_line_read_held(self, n, offset, delayed);
    SectionPair sections = section_pair_load(&self->pre_filter, &self->post_filter);
    SectionPair joined = section_pair_join(sections, outputs.low);
    const float* const inputs[4] = {x, delayed, outputs.first_inputs(), outputs.second_inputs()};
    float* slots = predelay_line_stretch_slots(self);
    float(*g)[2] = outputs.results();
    // Each step's outputs where they go: pre_filter's to the line, post_filter's
    // to engine_a's input, the output filters' to the stretch before.
    const auto take = [slots, high, g](uint32_t j, __m128 y) {
        _mm_store_ss(slots + j, y);
        high[j] = section_pair_second(y);
        _mm_storeh_pi(reinterpret_cast<__m64*>(g[j]), y);
    };
    section_pair_run_joined_apart<Outputs::STEREO>(&joined, inputs, n, take);
    section_pair_split(joined, &sections, &outputs.low);
    section_pair_store(&sections, &self->pre_filter, &self->post_filter);
    if (output_count > n)
        section_pair_run_apart<Outputs::STEREO>(&outputs.low, inputs[2] + n, inputs[3] + n,
                                                output_count - n, SectionPairStore{g + n});
    predelay_line_end_stretch(self, n);
}

// The middle of the chain for a stretch of reverb inputs x: pre_filter and
// the pre-delay line per sample, post_filter on what the line gives for
// engine_a, the line's output unfiltered for engine_b, then both engines
// over the stretch, into `out`. `outputs` runs `output_count` output filter
// steps of the stretch before alongside (see reverb_stretch_front).
template <typename Outputs>
__attribute__((always_inline)) static inline void reverb_stretch_engines(
    ReverbInstance* self, const float* x, uint32_t n, StretchEngineOutputs* out, Outputs& outputs,
    uint32_t output_count)
{
    float delayed[RUN_STRETCH];  // d: read from the pre-delay line
    float high[RUN_STRETCH];     // h: d through post_filter, engine_a's input
    const int32_t offset = predelay_line_stretch_offset(self, n);
    // When the pre-delay reads are apart from the writes, the sections run
    // apart from the line; otherwise they step with it.
    bool apart = predelay_line_reads_apart(n, offset);
    if constexpr (std::is_same_v<Outputs, NoOutputFilters>) {
        if (apart)
            reverb_stretch_front_apart(self, x, n, offset, delayed, high);
    } else {
        apart = apart && output_count >= n;
        if (apart)
            reverb_stretch_front_joined_apart(self, x, n, offset, delayed, high, outputs,
                                              output_count);
    }
    if (!apart) {
        if (offset != PREDELAY_NO_OFFSET)
            reverb_stretch_front<PredelayStepping::settled>(self, x, n, offset, delayed, high,
                                                            outputs, output_count);
        else if (predelay_line_stretch_fits(self, n))
            reverb_stretch_front<PredelayStepping::gliding>(self, x, n, offset, delayed, high,
                                                            outputs, output_count);
        else
            reverb_stretch_front<PredelayStepping::stepwise>(self, x, n, offset, delayed, high,
                                                             outputs, output_count);
    }
    reverb_engine_process_pair(self->engine_a, high, out->a_left, out->a_right, self->engine_b,
                               delayed, out->b_left, out->b_right, int32_t(n));
}
