// One stretch of the engine stage by stage, over the vector stages of
// vector_stages.h, written once for every path: each path's file includes
// this header and makes its StageKernels from stage_kernels<L>(). The stages
// are called directly, not through a table, so that the compiler sees a
// whole stretch of one path at once.
//
// A stretch may be processed stage by stage when no feedback read inside it
// reaches a value written inside it: every feedback length is at least the
// stretch's length (so all those reads see samples pushed before the
// stretch), and every diffuser is at least as long (so each slot of a
// diffuser is read and rewritten at most once in the stretch). The tap line
// is fed from the input stage alone, so a short tap simply reads the
// stretch's own values. The serial parts, the five one-pole dampers, stay a
// sample at a time.
//
// Internal to each file that includes it, as vector_stages.h.
#pragma once

#include <cstdint>
#include <cstring>

#include "feedback_matrix.h"
#include "reverb_engine.h"
#include "reverb_engine_tuning.h"
#include "stage_kernels.h"
#include "vector_stages.h"

namespace {

// Calls span(slot, at, count) for the n slots of a ring of `size` slots
// from `start` on, in at most two spans, since n never exceeds the ring's
// size: slot is where a span starts in the ring, at where it starts in the
// stretch. Returns the slot after the last, wrapped around the ring.
template <class Span>
[[gnu::always_inline]] inline int32_t ring_spans(int32_t size, int32_t start, int32_t n, Span span)
{
    const int32_t before_end = size - start;
    if (before_end > n) {
        span(start, 0, n);
        return start + n;
    }
    span(start, 0, before_end);
    span(0, before_end, n - before_end);
    return n - before_end;
}

// The diffuser kernel as a function of its own.
template <class L>
[[gnu::noinline]] void diffuse_apart(double c, float* store, const float* x, float* out,
                                     int32_t n)
{
    diffuse<L>(c, store, x, out, n);
}

// Counts the zeros a diffuser stored last, its write position now at
// `index`, after a stretch of n values ending in zero: the search runs back
// from the end of what was stored.
[[gnu::noinline]] inline void count_diffused_zeros(DelayLine* line, int32_t index, int32_t n)
{
    int32_t zeros = 0;
    int32_t slot = index;
    while (zeros < n) {
        slot = slot == 0 ? line->size - 1 : slot - 1;
        if (line->samples[slot] != 0.0f)
            break;
        ++zeros;
    }
    if (zeros < n)
        line->zero_pushes = zeros;
    else
        line->zero_pushes =
            line->size - line->zero_pushes <= n ? line->size : line->zero_pushes + n;
}

// The stretch's n values through a diffuser, in at most two spans: n never
// exceeds the diffuser's size, so a stretch wraps around its store at most
// once. Then the count of the zeros it stored last; with sound playing the
// last value stored is nonzero, and that one test settles it.
template <class L>
[[gnu::always_inline]] inline void diffuse_stretch(AllpassDiffuser* diffuser, const float* x,
                                                   float* out, int32_t n)
{
    const double c = double(diffuser->coefficient);
    DelayLine* line = &diffuser->line;
    float* samples = line->samples;
    const auto span = [c, samples, x, out](int32_t slot, int32_t at, int32_t count)
                          __attribute__((always_inline)) {
        if constexpr (L::DIFFUSERS_IN_ONE_LOOP)
            diffuse<L>(c, samples + slot, x + at, out + at, count);
        else
            diffuse_apart<L>(c, samples + slot, x + at, out + at, count);
    };
    const int32_t next = ring_spans(line->size, line->index, n, span);
    line->index = next;
    const int32_t last = (next == 0 ? line->size : next) - 1;
    if (samples[last] != 0.0f)
        line->zero_pushes = 0;
    else
        count_diffused_zeros(line, next, n);
}

// One diffuser over a stretch as a function of its own.
template <class L>
[[gnu::noinline]] void diffuse_stretch_apart(AllpassDiffuser* diffuser, const float* x,
                                             float* out, int32_t n)
{
    diffuse_stretch<L>(diffuser, x, out, n);
}

// One diffuser's pass over a stretch, from x to out (which may be x).
struct DiffuserPass {
    AllpassDiffuser* diffuser;
    const float* x;
    float* out;
};

// Passes one after another, each over the whole stretch, in one loop with
// the kernel inlined.
template <class L>
void diffuse_loop(const DiffuserPass* passes, int count, int32_t n)
{
    for (int p = 0; p < count; ++p)
        diffuse_stretch<L>(passes[p].diffuser, passes[p].x, passes[p].out, n);
}

// The passes one after another, each over the whole stretch: in one loop
// where the lanes ask for it (DIFFUSERS_IN_ONE_LOOP), so that they share one
// call and the setting up of the kernel's constants; else a call for each
// pass, and for its kernel.
template <class L, int COUNT>
[[gnu::always_inline]] inline void diffuse_passes(const DiffuserPass (&passes)[COUNT], int32_t n)
{
    if constexpr (L::DIFFUSERS_IN_ONE_LOOP) {
        diffuse_loop<L>(passes, COUNT, n);
    } else {
#pragma GCC unroll 8
        for (int p = 0; p < COUNT; ++p)
            diffuse_stretch_apart<L>(passes[p].diffuser, passes[p].x, passes[p].out, n);
    }
}

// Reads the stretch's n values at `distance` behind the write position,
// each times `gain`, in at most two spans (n never exceeds the line's
// size). The distance must be at least n.
template <class L>
void read_weighted(const DelayLine* line, int32_t distance, float gain, float* out, int32_t n)
{
    int32_t position = line->index - distance;
    if (position < 0)
        position += line->size;
    ring_spans(line->size, position, n, [line, gain, out](int32_t slot, int32_t at, int32_t count) {
        scale<L>(line->samples + slot, gain, out + at, count);
    });
}

// The tap line's reads for a stretch whose values `z` are about to be
// pushed: a tap shorter than the stretch reads its first `distance` values
// from the line and the rest from the stretch itself, as one sample at a
// time would find them once pushed.
template <class L>
void read_tap(const DelayLine* line, int32_t distance, float gain, const float* z, float* out,
              int32_t n)
{
    const int32_t from_line = distance < n ? distance : n;
    read_weighted<L>(line, distance, gain, out, from_line);
    for (int32_t i = from_line; i < n; ++i)
        out[i] = z[i - distance] * gain;
}

// Counts n values just pushed for the silence test: the zeros among the
// last of them, or, when all are zero, the zeros before them too.
inline void count_pushes(DelayLine* line, const float* values, int32_t n)
{
    int32_t last_nonzero = n - 1;
    while (last_nonzero >= 0 && values[last_nonzero] == 0.0f)
        --last_nonzero;
    if (last_nonzero >= 0)
        line->zero_pushes = n - 1 - last_nonzero;  // n never exceeds the size
    else
        line->zero_pushes =
            line->size - line->zero_pushes <= n ? line->size : line->zero_pushes + n;
}

// Pushes n values, in at most two spans (n never exceeds the line's size).
inline void push_stretch(DelayLine* line, const float* values, int32_t n)
{
    count_pushes(line, values, n);
    line->index = ring_spans(line->size, line->index, n, [line, values](int32_t slot, int32_t at,
                                                                         int32_t count) {
        std::memcpy(line->samples + slot, values + at, sizeof(float) * size_t(count));
    });
}

// The feedback mix of a stretch, written straight into each line where the
// stretch does not wrap around it, and pushed from the scratch where it does.
template <class L>
void mix_into_lines(ReverbEngine* engine, StretchScratch& s, int32_t n)
{
    float* f[ENGINE_FDN_COUNT];
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        DelayLine* line = engine->fdn_delays[k];
        f[k] = line->index + n <= line->size ? line->samples + line->index : s.f[k];
    }
    feedback_mix<L>(s.d, s.e, f, n);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        DelayLine* line = engine->fdn_delays[k];
        if (f[k] == s.f[k]) {
            push_stretch(line, s.f[k], n);
        } else {
            count_pushes(line, f[k], n);
            line->index += n;
            if (line->index == line->size)
                line->index = 0;
        }
    }
}

// Everything before the dampers: guards the input, and finds the feedback
// lines' values for the stretch, which the dampers read straight from each
// line (times its gain) unless the stretch wraps around it; then they are
// copied into d first, in order.
template <class L>
DamperStretch read_stretch(EngineStretch& stretch, int32_t n)
{
    ReverbEngine* engine = stretch.engine;
    StretchScratch& s = stretch.scratch;
    guard_input<L>(stretch.input, ENGINE_INPUT_LIMIT, s.x, n);
    DamperStretch dampers = {engine->input_damper, engine->fdn_dampers, s.x, s.y, {},
                             engine->fdn_gains, s.d};
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        const DelayLine* line = engine->fdn_delays[k];
        int32_t position = line->index - engine->fdn_lengths[k];
        if (position < 0)
            position += line->size;
        const int32_t before_end = line->size - position;
        if (before_end >= n) {
            dampers.from[k] = line->samples + position;
        } else {
            std::memcpy(s.d[k], line->samples + position, sizeof(float) * size_t(before_end));
            std::memcpy(s.d[k] + before_end, line->samples, sizeof(float) * size_t(n - before_end));
            dampers.from[k] = s.d[k];
        }
    }
    return dampers;
}

// Everything after the dampers: diffusion, taps, output sum, feedback
// writes and the two output chains.
template <class L>
void finish_stretch(EngineStretch& stretch, int32_t n)
{
    ReverbEngine* engine = stretch.engine;
    StretchScratch& s = stretch.scratch;
    const DiffuserPass input[1] = {{engine->input_diffuser, s.y, s.y}};
    diffuse_passes<L>(input, n);

    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        read_tap<L>(engine->tap_delay, engine->tap_positions[k], engine->tap_gains[k], s.y,
                    s.e[k], n);
    push_stretch(engine->tap_delay, s.y, n);

    output_sum<L>(engine->early_level, engine->tail_level, s.e, s.d, s.x, s.sum, n);
    mix_into_lines<L>(engine, s, n);

    const DiffuserPass chains[2 * ENGINE_CHAIN_LENGTH] = {
        {engine->left_diffusers[0], s.sum, stretch.left},
        {engine->left_diffusers[1], stretch.left, stretch.left},
        {engine->left_diffusers[2], stretch.left, stretch.left},
        {engine->right_diffusers[0], s.sum, stretch.right},
        {engine->right_diffusers[1], stretch.right, stretch.right},
        {engine->right_diffusers[2], stretch.right, stretch.right}};
    diffuse_passes<L>(chains, n);

    // The scratch of the last sample, as one sample at a time leaves it.
    const int32_t last = n - 1;
    const float d[ENGINE_FDN_COUNT] = {s.d[0][last], s.d[1][last], s.d[2][last], s.d[3][last]};
    feedback_matrix_mix(d, engine->fdn_feedback);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        engine->tap_outputs[k] = s.e[k][last];
        engine->fdn_outputs[k] = s.d[k][last];
    }
}

// One stretch on ENGINES engines (1 or 2); the dampers of both go together.
template <class L, int ENGINES>
void process_engines(EngineStretch* stretches, int32_t n)
{
    DamperStretch dampers[ENGINES];
    for (int e = 0; e < ENGINES; ++e)
        dampers[e] = read_stretch<L>(stretches[e], n);
    if constexpr (ENGINES == 2)
        damp_pair<typename L::Quad>(dampers, n);
    else
        damp_one<typename L::Quad>(dampers[0], n);
    for (int e = 0; e < ENGINES; ++e)
        finish_stretch<L>(stretches[e], n);
}

template <class L>
void process_stretch(EngineStretch* stretches, int engines, int32_t n)
{
    if (engines == 2)
        process_engines<L, 2>(stretches, n);
    else
        process_engines<L, 1>(stretches, n);
}

// The table of the stages on lanes L.
template <class L>
constexpr StageKernels stage_kernels()
{
    return {process_stretch<L>};
}

}  // namespace
