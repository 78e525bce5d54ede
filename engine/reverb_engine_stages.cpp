// Stage-by-stage processing of the engine: the per-sample steps reordered
// stage by stage over a stretch of samples, with every value computed by the
// same operations, at the same precisions and in the same order as one
// sample at a time. The vector stages come from the engine's kernels
// (stage_kernels.h), whichever path they belong to.
//
// A stretch may be processed stage by stage when no feedback read inside it
// reaches a value written inside it: every feedback length is at least the
// stretch's length (so all those reads see samples pushed before the
// stretch), and every diffuser is at least as long (so each slot of a
// diffuser is read and rewritten at most once in the stretch). The tap line
// is fed from the input stage alone, so a short tap simply reads the
// stretch's own values. The serial parts, the five one-pole dampers, stay a
// sample at a time.
#include <cstring>

#include "feedback_matrix.h"
#include "reverb_engine.h"
#include "reverb_engine_tuning.h"
#include "stage_kernels.h"

namespace {

// Below this many samples per stretch the stage-by-stage work does not pay.
constexpr int32_t MIN_STRETCH = 8;

struct StretchScratch {
    alignas(32) float x[MAX_STRETCH];           // guarded input
    alignas(32) float y[MAX_STRETCH];           // damped input, then diffused
    alignas(32) float e[ENGINE_TAP_COUNT][MAX_STRETCH];  // weighted taps
    alignas(32) float d[ENGINE_FDN_COUNT][MAX_STRETCH];  // damped feedback outputs
    alignas(32) float f[ENGINE_FDN_COUNT][MAX_STRETCH];  // values pushed to the lines
    alignas(32) float sum[MAX_STRETCH];         // input of the output chains
};

// One engine's share of a stretch processed alongside others.
struct EngineStretch {
    ReverbEngine* engine;
    const float* input;
    float* left;
    float* right;
    StretchScratch scratch;
};

int32_t longest_safe_stretch(const ReverbEngine* engine)
{
    int32_t longest = MAX_STRETCH;
    auto limit = [&longest](int32_t v) {
        if (v < longest)
            longest = v;
    };
    limit(engine->input_diffuser->size);
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        limit(engine->left_diffusers[k]->size);
        limit(engine->right_diffusers[k]->size);
    }
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        limit(engine->fdn_lengths[k]);
    return longest;
}

void diffuse(const StageKernels* kernels, AllpassDiffuser* diffuser, const float* x, float* out,
             int32_t n)
{
    const double c = double(diffuser->coefficient);
    int32_t index = diffuser->index;
    int32_t done = 0;
    while (done < n) {
        int32_t span = diffuser->size - index;
        if (span > n - done)
            span = n - done;
        kernels->diffuse(c, diffuser->samples + index, x + done, out + done, span);
        done += span;
        index += span;
        if (index == diffuser->size)
            index = 0;
    }
    diffuser->index = index;

    // The zeros stored last, found from the end of what was stored (with
    // sound playing, the last value is nonzero and the search stops there).
    int32_t zeros = 0;
    int32_t slot = index;
    while (zeros < n) {
        slot = slot == 0 ? diffuser->size - 1 : slot - 1;
        if (diffuser->samples[slot] != 0.0)
            break;
        ++zeros;
    }
    if (zeros < n)
        diffuser->zero_stores = zeros;
    else
        diffuser->zero_stores = diffuser->size - diffuser->zero_stores <= n
                                    ? diffuser->size
                                    : diffuser->zero_stores + n;
}

// Reads the stretch's n values at `distance` behind the write position,
// each times `gain`. The distance must be at least n.
void read_weighted(const StageKernels* kernels, const DelayLine* line, int32_t distance,
                   float gain, float* out, int32_t n)
{
    int32_t position = line->index - distance;
    if (position < 0)
        position += line->size;
    int32_t done = 0;
    while (done < n) {
        int32_t span = line->size - position;
        if (span > n - done)
            span = n - done;
        kernels->scale(line->samples + position, gain, out + done, span);
        done += span;
        position += span;
        if (position == line->size)
            position = 0;
    }
}

// The tap line's reads for a stretch whose values `z` are about to be
// pushed: a tap shorter than the stretch reads its first `distance` values
// from the line and the rest from the stretch itself, as one sample at a
// time would find them once pushed.
void read_tap(const StageKernels* kernels, const DelayLine* line, int32_t distance, float gain,
              const float* z, float* out, int32_t n)
{
    const int32_t from_line = distance < n ? distance : n;
    read_weighted(kernels, line, distance, gain, out, from_line);
    for (int32_t i = from_line; i < n; ++i)
        out[i] = z[i - distance] * gain;
}

// Counts n values just pushed for the silence test: the zeros among the
// last of them, or, when all are zero, the zeros before them too.
void count_pushes(DelayLine* line, const float* values, int32_t n)
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

void push_stretch(DelayLine* line, const float* values, int32_t n)
{
    count_pushes(line, values, n);
    int32_t done = 0;
    while (done < n) {
        int32_t span = line->size - line->index;
        if (span > n - done)
            span = n - done;
        std::memcpy(line->samples + line->index, values + done, sizeof(float) * size_t(span));
        done += span;
        line->index += span;
        if (line->index == line->size)
            line->index = 0;
    }
}

// The feedback mix of a stretch, written straight into each line where the
// stretch does not wrap around it, and pushed from the scratch where it does.
void mix_into_lines(const StageKernels* kernels, ReverbEngine* engine, StretchScratch& s,
                    int32_t n)
{
    float* f[ENGINE_FDN_COUNT];
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        DelayLine* line = engine->fdn_delays[k];
        f[k] = line->index + n <= line->size ? line->samples + line->index : s.f[k];
    }
    kernels->feedback_mix(s.d, s.e, f, n);
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

// Everything before the dampers: guard the input, read the feedback lines.
void read_stretch(EngineStretch& stretch, int32_t n)
{
    ReverbEngine* engine = stretch.engine;
    const StageKernels* kernels = engine->kernels;
    StretchScratch& s = stretch.scratch;
    kernels->guard_input(stretch.input, ENGINE_INPUT_LIMIT, s.x, n);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        read_weighted(kernels, engine->fdn_delays[k], engine->fdn_lengths[k],
                      engine->fdn_gains[k], s.d[k], n);
}

DamperStretch dampers_of(EngineStretch& stretch)
{
    ReverbEngine* engine = stretch.engine;
    return {engine->input_damper, engine->fdn_dampers, stretch.scratch.x, stretch.scratch.y,
            stretch.scratch.d};
}

// Everything after the dampers: diffusion, taps, output sum, feedback
// writes and the two output chains.
void finish_stretch(EngineStretch& stretch, int32_t n)
{
    ReverbEngine* engine = stretch.engine;
    const StageKernels* kernels = engine->kernels;
    StretchScratch& s = stretch.scratch;
    diffuse(kernels, engine->input_diffuser, s.y, s.y, n);

    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        read_tap(kernels, engine->tap_delay, engine->tap_positions[k], engine->tap_gains[k], s.y,
                 s.e[k], n);
    push_stretch(engine->tap_delay, s.y, n);

    kernels->output_sum(engine->early_level, engine->tail_level, s.e, s.d, s.x, s.sum, n);
    mix_into_lines(kernels, engine, s, n);

    diffuse(kernels, engine->left_diffusers[0], s.sum, stretch.left, n);
    diffuse(kernels, engine->left_diffusers[1], stretch.left, stretch.left, n);
    diffuse(kernels, engine->left_diffusers[2], stretch.left, stretch.left, n);
    diffuse(kernels, engine->right_diffusers[0], s.sum, stretch.right, n);
    diffuse(kernels, engine->right_diffusers[1], stretch.right, stretch.right, n);
    diffuse(kernels, engine->right_diffusers[2], stretch.right, stretch.right, n);

    // The scratch of the last sample, as one sample at a time leaves it.
    const int32_t last = n - 1;
    const float d[ENGINE_FDN_COUNT] = {s.d[0][last], s.d[1][last], s.d[2][last], s.d[3][last]};
    feedback_matrix_mix(d, engine->fdn_feedback);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        engine->tap_outputs[k] = s.e[k][last];
        engine->fdn_outputs[k] = s.d[k][last];
    }
}

// One stretch of n samples on each of ENGINES engines (1 <= n <= every
// engine's longest safe stretch). The dampers of all engines go in one
// call, on the first engine's kernels.
template <int ENGINES>
void process_stretch(EngineStretch* stretches, int32_t n)
{
    DamperStretch dampers[ENGINES];
    for (int e = 0; e < ENGINES; ++e) {
        read_stretch(stretches[e], n);
        dampers[e] = dampers_of(stretches[e]);
    }
    stretches[0].engine->kernels->damp(dampers, ENGINES, n);
    for (int e = 0; e < ENGINES; ++e)
        finish_stretch(stretches[e], n);
}

// Runs `count` samples through ENGINES engines side by side, in stretches as
// long as every engine allows, or a sample at a time when some engine allows
// only very short stretches.
template <int ENGINES>
void process_stretches(EngineStretch* stretches, int32_t count)
{
    int32_t longest = MAX_STRETCH;
    for (int e = 0; e < ENGINES; ++e) {
        const int32_t limit = longest_safe_stretch(stretches[e].engine);
        if (limit < longest)
            longest = limit;
    }
    if (longest < MIN_STRETCH) {
        for (int e = 0; e < ENGINES; ++e) {
            EngineStretch& s = stretches[e];
            for (int32_t i = 0; i < count; ++i) {
                const ReverbEngineOutput out = reverb_engine_process(s.engine, s.input[i]);
                s.left[i] = out.left;
                s.right[i] = out.right;
            }
        }
        return;
    }
    for (int32_t done = 0; done < count;) {
        const int32_t n = count - done < longest ? count - done : longest;
        process_stretch<ENGINES>(stretches, n);
        for (int e = 0; e < ENGINES; ++e) {
            stretches[e].input += n;
            stretches[e].left += n;
            stretches[e].right += n;
        }
        done += n;
    }
}

}  // namespace

void reverb_engine_process_samples(ReverbEngine* engine, const float* input, float* left,
                                   float* right, int32_t count)
{
    EngineStretch stretch;
    stretch.engine = engine;
    stretch.input = input;
    stretch.left = left;
    stretch.right = right;
    process_stretches<1>(&stretch, count);
}

void reverb_engine_process_pair(ReverbEngine* first, const float* first_input, float* first_left,
                                float* first_right, ReverbEngine* second,
                                const float* second_input, float* second_left,
                                float* second_right, int32_t count)
{
    EngineStretch stretches[2];
    stretches[0].engine = first;
    stretches[0].input = first_input;
    stretches[0].left = first_left;
    stretches[0].right = first_right;
    stretches[1].engine = second;
    stretches[1].input = second_input;
    stretches[1].left = second_left;
    stretches[1].right = second_right;
    process_stretches<2>(stretches, count);
}
