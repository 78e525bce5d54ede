// Block processing of the engine: the per-sample steps reordered stage by
// stage over a run of samples, with every value computed by the same
// operations, at the same precisions and in the same order as one sample at
// a time. The vector stages come from the engine's kernels
// (block_kernels.h), whichever instruction-set path they use.
//
// A run may be processed stage by stage when no feedback read inside it
// reaches a value written inside it: every feedback length is at least the
// run's length (so all those reads see samples pushed before the run), and
// every diffuser is at least as long (so each slot of a diffuser is read and
// rewritten at most once in the run). The tap line is fed from the input
// stage alone, so a short tap simply reads the run's own values. The serial
// parts, the five one-pole dampers, stay a sample at a time.
#include <cstring>

#include "block_kernels.h"
#include "feedback_matrix.h"
#include "reverb_engine.h"
#include "reverb_engine_tuning.h"

namespace {

constexpr int32_t RUN_LENGTH = BLOCK_RUN_LENGTH;
// Below this many samples per run the stage-by-stage work does not pay.
constexpr int32_t MIN_RUN_LENGTH = 8;

struct RunScratch {
    alignas(32) float x[RUN_LENGTH];           // guarded input
    alignas(32) float y[RUN_LENGTH];           // damped input, then diffused
    alignas(32) float e[ENGINE_TAP_COUNT][RUN_LENGTH];  // weighted taps
    alignas(32) float d[ENGINE_FDN_COUNT][RUN_LENGTH];  // damped feedback outputs
    alignas(32) float f[ENGINE_FDN_COUNT][RUN_LENGTH];  // values pushed to the lines
    alignas(32) float sum[RUN_LENGTH];         // input of the output chains
};

// One engine's share of a run processed alongside others.
struct EngineRun {
    ReverbEngine* engine;
    const float* input;
    float* left;
    float* right;
    RunScratch scratch;
};

int32_t longest_safe_run(const ReverbEngine* engine)
{
    int32_t run = RUN_LENGTH;
    auto limit = [&run](int32_t v) {
        if (v < run)
            run = v;
    };
    limit(engine->input_diffuser->size);
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        limit(engine->left_diffusers[k]->size);
        limit(engine->right_diffusers[k]->size);
    }
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        limit(engine->fdn_lengths[k]);
    return run;
}

void diffuse(const BlockKernels* kernels, AllpassDiffuser* diffuser, const float* x, float* out,
             int32_t n)
{
    const double c = double(diffuser->coefficient);
    int32_t index = diffuser->index;
    int32_t done = 0;
    while (done < n) {
        int32_t stretch = diffuser->size - index;
        if (stretch > n - done)
            stretch = n - done;
        kernels->diffuse(c, diffuser->samples + index, x + done, out + done, stretch);
        done += stretch;
        index += stretch;
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

// Reads the run's n values at `distance` behind the write position, each
// times `gain`. The distance must be at least n.
void read_weighted(const BlockKernels* kernels, const DelayLine* line, int32_t distance,
                   float gain, float* out, int32_t n)
{
    int32_t position = line->index - distance;
    if (position < 0)
        position += line->size;
    int32_t done = 0;
    while (done < n) {
        int32_t stretch = line->size - position;
        if (stretch > n - done)
            stretch = n - done;
        kernels->scale(line->samples + position, gain, out + done, stretch);
        done += stretch;
        position += stretch;
        if (position == line->size)
            position = 0;
    }
}

// The tap line's reads for a run whose values `z` are about to be pushed:
// a tap shorter than the run reads its first `distance` values from the
// line and the rest from the run itself, as one sample at a time would find
// them once pushed.
void read_tap(const BlockKernels* kernels, const DelayLine* line, int32_t distance, float gain,
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

void push_run(DelayLine* line, const float* values, int32_t n)
{
    count_pushes(line, values, n);
    int32_t done = 0;
    while (done < n) {
        int32_t stretch = line->size - line->index;
        if (stretch > n - done)
            stretch = n - done;
        std::memcpy(line->samples + line->index, values + done, sizeof(float) * size_t(stretch));
        done += stretch;
        line->index += stretch;
        if (line->index == line->size)
            line->index = 0;
    }
}

// The feedback mix of a run, written straight into each line where the run
// does not wrap around it, and pushed from the scratch where it does.
void mix_into_lines(const BlockKernels* kernels, ReverbEngine* engine, RunScratch& s, int32_t n)
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
            push_run(line, s.f[k], n);
        } else {
            count_pushes(line, f[k], n);
            line->index += n;
            if (line->index == line->size)
                line->index = 0;
        }
    }
}

// Everything before the dampers: guard the input, read the feedback lines.
void read_run(EngineRun& run, int32_t n)
{
    ReverbEngine* engine = run.engine;
    const BlockKernels* kernels = engine->kernels;
    RunScratch& s = run.scratch;
    kernels->guard_input(run.input, ENGINE_INPUT_LIMIT, s.x, n);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        read_weighted(kernels, engine->fdn_delays[k], engine->fdn_lengths[k],
                      engine->fdn_gains[k], s.d[k], n);
}

DamperRun dampers_of(EngineRun& run)
{
    ReverbEngine* engine = run.engine;
    return {engine->input_damper, engine->fdn_dampers, run.scratch.x, run.scratch.y,
            run.scratch.d};
}

// Everything after the dampers: diffusion, taps, output sum, feedback
// writes and the two output chains.
void finish_run(EngineRun& run, int32_t n)
{
    ReverbEngine* engine = run.engine;
    const BlockKernels* kernels = engine->kernels;
    RunScratch& s = run.scratch;
    diffuse(kernels, engine->input_diffuser, s.y, s.y, n);

    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        read_tap(kernels, engine->tap_delay, engine->tap_positions[k], engine->tap_gains[k], s.y,
                 s.e[k], n);
    push_run(engine->tap_delay, s.y, n);

    kernels->output_sum(engine->early_level, engine->tail_level, s.e, s.d, s.x, s.sum, n);
    mix_into_lines(kernels, engine, s, n);

    diffuse(kernels, engine->left_diffusers[0], s.sum, run.left, n);
    diffuse(kernels, engine->left_diffusers[1], run.left, run.left, n);
    diffuse(kernels, engine->left_diffusers[2], run.left, run.left, n);
    diffuse(kernels, engine->right_diffusers[0], s.sum, run.right, n);
    diffuse(kernels, engine->right_diffusers[1], run.right, run.right, n);
    diffuse(kernels, engine->right_diffusers[2], run.right, run.right, n);

    // The scratch of the last sample, as one sample at a time leaves it.
    const int32_t last = n - 1;
    const float d[ENGINE_FDN_COUNT] = {s.d[0][last], s.d[1][last], s.d[2][last], s.d[3][last]};
    feedback_matrix_mix(d, engine->fdn_feedback);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        engine->tap_outputs[k] = s.e[k][last];
        engine->fdn_outputs[k] = s.d[k][last];
    }
}

// One run of n samples on each of ENGINES engines (1 <= n <= every engine's
// longest safe run). The dampers of all engines go in one call, on the
// first engine's kernels.
template <int ENGINES>
void process_runs(EngineRun* runs, int32_t n)
{
    DamperRun dampers[ENGINES];
    for (int e = 0; e < ENGINES; ++e) {
        read_run(runs[e], n);
        dampers[e] = dampers_of(runs[e]);
    }
    runs[0].engine->kernels->damp(dampers, ENGINES, n);
    for (int e = 0; e < ENGINES; ++e)
        finish_run(runs[e], n);
}

// Runs `count` samples through ENGINES engines side by side, in runs as long
// as every engine allows, or a sample at a time when some engine allows
// only very short runs.
template <int ENGINES>
void process_blocks(EngineRun* runs, int32_t count)
{
    int32_t run = RUN_LENGTH;
    for (int e = 0; e < ENGINES; ++e) {
        const int32_t limit = longest_safe_run(runs[e].engine);
        if (limit < run)
            run = limit;
    }
    if (run < MIN_RUN_LENGTH) {
        for (int e = 0; e < ENGINES; ++e) {
            for (int32_t i = 0; i < count; ++i) {
                const ReverbEngineOutput out = reverb_engine_process(runs[e].engine, runs[e].input[i]);
                runs[e].left[i] = out.left;
                runs[e].right[i] = out.right;
            }
        }
        return;
    }
    for (int32_t done = 0; done < count;) {
        const int32_t n = count - done < run ? count - done : run;
        process_runs<ENGINES>(runs, n);
        for (int e = 0; e < ENGINES; ++e) {
            runs[e].input += n;
            runs[e].left += n;
            runs[e].right += n;
        }
        done += n;
    }
}

}  // namespace

void reverb_engine_process_block(ReverbEngine* engine, const float* input, float* left,
                                 float* right, int32_t count)
{
    EngineRun run;
    run.engine = engine;
    run.input = input;
    run.left = left;
    run.right = right;
    process_blocks<1>(&run, count);
}

void reverb_engine_process_pair(ReverbEngine* first, const float* first_input, float* first_left,
                                float* first_right, ReverbEngine* second,
                                const float* second_input, float* second_left,
                                float* second_right, int32_t count)
{
    EngineRun runs[2];
    runs[0].engine = first;
    runs[0].input = first_input;
    runs[0].left = first_left;
    runs[0].right = first_right;
    runs[1].engine = second;
    runs[1].input = second_input;
    runs[1].left = second_left;
    runs[1].right = second_right;
    process_blocks<2>(runs, count);
}
