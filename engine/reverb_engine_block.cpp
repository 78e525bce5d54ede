// Block processing of the engine: the per-sample steps reordered stage by
// stage over a run of samples, with every value computed by the same
// operations, at the same precisions and in the same order as one sample at
// a time. SSE2 (the x86-64 baseline) does four floats or two doubles per
// instruction; each lane rounds exactly as the scalar instruction would.
//
// A run may be processed stage by stage when no feedback read inside it
// reaches a value written inside it: every feedback length is at least the
// run's length (so all those reads see samples pushed before the run), and
// every diffuser is at least as long (so each slot of a diffuser is read and
// rewritten at most once in the run). The tap line is fed from the input
// stage alone, so a short tap simply reads the run's own values. The serial
// parts, the five one-pole dampers, stay a sample at a time.
#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "feedback_matrix.h"
#include "reverb_engine.h"

namespace {

// Longest run processed stage by stage; bounds the stack scratch.
constexpr int32_t RUN_LENGTH = 64;
// Below this many samples per run the stage-by-stage work does not pay.
constexpr int32_t MIN_RUN_LENGTH = 8;
constexpr float INPUT_LIMIT = 100000.0f;

// Four values, one per feedback line, at one sample: the lines side by
// side, so the four damper recursions advance together in one vector.
struct alignas(16) LineQuad {
    float v[ENGINE_FDN_COUNT];
};

struct RunScratch {
    alignas(16) float x[RUN_LENGTH];           // guarded input
    alignas(16) float y[RUN_LENGTH];           // damped input, then diffused
    alignas(16) float e[ENGINE_TAP_COUNT][RUN_LENGTH];  // weighted taps
    alignas(16) float d[ENGINE_FDN_COUNT][RUN_LENGTH];  // damped feedback outputs
    alignas(16) float f[ENGINE_FDN_COUNT][RUN_LENGTH];  // values pushed to the lines
    alignas(16) float sum[RUN_LENGTH];         // input of the output chains
    LineQuad quads[RUN_LENGTH];                // feedback values, sample-major
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

// Two floats at p, widened to doubles.
inline __m128d load_two_floats(const float* p)
{
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// Four floats at p as two double vectors (low pair, high pair).
inline void widen(__m128 v, __m128d* low, __m128d* high)
{
    *low = _mm_cvtps_pd(v);
    *high = _mm_cvtps_pd(_mm_movehl_ps(v, v));
}

// Two double vectors rounded to four floats.
inline __m128 narrow(__m128d low, __m128d high)
{
    return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

void guard_input(const float* input, float* x, int32_t n)
{
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 limit = _mm_set1_ps(INPUT_LIMIT);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(input + i);
        const __m128 bad = _mm_or_ps(_mm_cmpunord_ps(v, v),
                                     _mm_cmpgt_ps(_mm_and_ps(v, magnitude), limit));
        _mm_store_ps(x + i, _mm_andnot_ps(bad, v));
    }
    for (; i < n; ++i) {
        const float v = input[i];
        x[i] = (std::isnan(v) || std::fabs(v) > INPUT_LIMIT) ? 0.0f : v;
    }
}

// s.d[k][i] (line-major) to quads[i] (sample-major) and back, four samples
// at a time; the tail of a run that is not a multiple of four goes singly.
void to_quads(const float d[ENGINE_FDN_COUNT][RUN_LENGTH], LineQuad* quads, int32_t n)
{
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 r0 = _mm_load_ps(d[0] + i), r1 = _mm_load_ps(d[1] + i);
        __m128 r2 = _mm_load_ps(d[2] + i), r3 = _mm_load_ps(d[3] + i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_store_ps(quads[i].v, r0);
        _mm_store_ps(quads[i + 1].v, r1);
        _mm_store_ps(quads[i + 2].v, r2);
        _mm_store_ps(quads[i + 3].v, r3);
    }
    for (; i < n; ++i)
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            quads[i].v[k] = d[k][i];
}

void from_quads(const LineQuad* quads, float d[ENGINE_FDN_COUNT][RUN_LENGTH], int32_t n)
{
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 r0 = _mm_load_ps(quads[i].v), r1 = _mm_load_ps(quads[i + 1].v);
        __m128 r2 = _mm_load_ps(quads[i + 2].v), r3 = _mm_load_ps(quads[i + 3].v);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_store_ps(d[0] + i, r0);
        _mm_store_ps(d[1] + i, r1);
        _mm_store_ps(d[2] + i, r2);
        _mm_store_ps(d[3] + i, r3);
    }
    for (; i < n; ++i)
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            d[k][i] = quads[i].v[k];
}

// The serial part of a run: the input damper (one lane) and the four
// feedback dampers (one vector lane per line) of every engine advance
// together, sample by sample, so their recursions overlap instead of
// following one another. Each lane computes x(1 - c) in double plus c * state
// in single, rounded once, as damping_filter_run does. The feedback dampers'
// inputs are reads from before the run, so they do not wait for the input
// stage.
template <int ENGINES>
void damp_all(EngineRun* runs, int32_t n)
{
    float in_c[ENGINES], in_state[ENGINES];
    double in_feed[ENGINES];
    __m128 fb_c[ENGINES], fb_state[ENGINES];
    __m128d fb_feed_low[ENGINES], fb_feed_high[ENGINES];
    for (int e = 0; e < ENGINES; ++e) {
        ReverbEngine* engine = runs[e].engine;
        in_c[e] = engine->input_damper->coefficient;
        in_feed[e] = 1.0 - double(in_c[e]);
        in_state[e] = engine->input_damper->state;
        alignas(16) float c[ENGINE_FDN_COUNT], state[ENGINE_FDN_COUNT];
        alignas(16) double feed[ENGINE_FDN_COUNT];
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
            c[k] = engine->fdn_dampers[k]->coefficient;
            feed[k] = 1.0 - double(c[k]);
            state[k] = engine->fdn_dampers[k]->state;
        }
        fb_c[e] = _mm_load_ps(c);
        fb_state[e] = _mm_load_ps(state);
        fb_feed_low[e] = _mm_load_pd(feed);
        fb_feed_high[e] = _mm_load_pd(feed + 2);
    }
    for (int32_t i = 0; i < n; ++i) {
        for (int e = 0; e < ENGINES; ++e) {
            RunScratch& s = runs[e].scratch;
            in_state[e] = float(double(s.x[i]) * in_feed[e] + double(in_c[e] * in_state[e]));
            s.y[i] = in_state[e];

            __m128d x_low, x_high, held_low, held_high;
            widen(_mm_load_ps(s.quads[i].v), &x_low, &x_high);
            widen(_mm_mul_ps(fb_c[e], fb_state[e]), &held_low, &held_high);
            fb_state[e] = narrow(_mm_add_pd(_mm_mul_pd(x_low, fb_feed_low[e]), held_low),
                                 _mm_add_pd(_mm_mul_pd(x_high, fb_feed_high[e]), held_high));
            _mm_store_ps(s.quads[i].v, fb_state[e]);
        }
    }
    for (int e = 0; e < ENGINES; ++e) {
        ReverbEngine* engine = runs[e].engine;
        engine->input_damper->state = in_state[e];
        alignas(16) float state[ENGINE_FDN_COUNT];
        _mm_store_ps(state, fb_state[e]);
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            engine->fdn_dampers[k]->state = state[k];
    }
}

// Allpass over a stretch of the store without wrap-around: n slots from
// `store`, inputs x, outputs out (which may be x). Returns the index of the
// last value other than zero it stored, or -1.
int32_t diffuse_stretch(double c, double* store, const float* x, float* out, int32_t n)
{
    int32_t last_nonzero = -1;
    const __m128 zero = _mm_setzero_ps();
    const __m128d cc = _mm_set1_pd(c);
    const __m128i exponent = _mm_set1_epi32(0x7f800000);
    const __m128i tiny_below = _mm_set1_epi32(16 << 23);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128d x_low, x_high;
        widen(_mm_loadu_ps(x + i), &x_low, &x_high);
        const __m128d old_low = _mm_loadu_pd(store + i);
        const __m128d old_high = _mm_loadu_pd(store + i + 2);
        __m128 w = narrow(_mm_sub_pd(x_low, _mm_mul_pd(cc, old_low)),
                          _mm_sub_pd(x_high, _mm_mul_pd(cc, old_high)));
        const __m128i tiny = _mm_cmplt_epi32(
            _mm_and_si128(_mm_castps_si128(w), exponent), tiny_below);
        w = _mm_andnot_ps(_mm_castsi128_ps(tiny), w);
        const int nonzero = _mm_movemask_ps(_mm_cmpneq_ps(w, zero));
        if (nonzero)
            last_nonzero = i + 31 - __builtin_clz(unsigned(nonzero));
        __m128d w_low, w_high;
        widen(w, &w_low, &w_high);
        _mm_storeu_pd(store + i, w_low);
        _mm_storeu_pd(store + i + 2, w_high);
        _mm_storeu_ps(out + i, narrow(_mm_add_pd(old_low, _mm_mul_pd(cc, w_low)),
                                      _mm_add_pd(old_high, _mm_mul_pd(cc, w_high))));
    }
    for (; i < n; ++i) {
        const double old = store[i];
        float w = float(double(x[i]) - c * old);
        if (allpass_diffuser_is_tiny(w))
            w = 0.0f;
        if (w != 0.0f)
            last_nonzero = i;
        store[i] = double(w);
        out[i] = float(old + c * double(w));
    }
    return last_nonzero;
}

void diffuse(AllpassDiffuser* diffuser, const float* x, float* out, int32_t n)
{
    const double c = double(diffuser->coefficient);
    int32_t index = diffuser->index;
    int32_t done = 0;
    int32_t last_nonzero = -1;
    while (done < n) {
        int32_t stretch = diffuser->size - index;
        if (stretch > n - done)
            stretch = n - done;
        const int32_t last = diffuse_stretch(c, diffuser->samples + index, x + done, out + done, stretch);
        if (last >= 0)
            last_nonzero = done + last;
        done += stretch;
        index += stretch;
        if (index == diffuser->size)
            index = 0;
    }
    diffuser->index = index;
    if (last_nonzero >= 0)
        diffuser->zero_stores = n - 1 - last_nonzero;  // n never exceeds the size
    else
        diffuser->zero_stores = diffuser->size - diffuser->zero_stores <= n
                                    ? diffuser->size
                                    : diffuser->zero_stores + n;
}

// Reads the run's n values at `distance` behind the write position, each
// times `gain`. The distance must be at least n.
void read_weighted(const DelayLine* line, int32_t distance, float gain, float* out, int32_t n)
{
    int32_t position = line->index - distance;
    if (position < 0)
        position += line->size;
    const __m128 g = _mm_set1_ps(gain);
    int32_t done = 0;
    while (done < n) {
        int32_t stretch = line->size - position;
        if (stretch > n - done)
            stretch = n - done;
        const float* from = line->samples + position;
        float* to = out + done;
        int32_t i = 0;
        for (; i + 4 <= stretch; i += 4)
            _mm_storeu_ps(to + i, _mm_mul_ps(_mm_loadu_ps(from + i), g));
        for (; i < stretch; ++i)
            to[i] = from[i] * gain;
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
void read_tap(const DelayLine* line, int32_t distance, float gain, const float* z, float* out,
              int32_t n)
{
    const int32_t from_line = distance < n ? distance : n;
    read_weighted(line, distance, gain, out, from_line);
    for (int32_t i = from_line; i < n; ++i)
        out[i] = z[i - distance] * gain;
}

void push_run(DelayLine* line, const float* values, int32_t n)
{
    int32_t last_nonzero = n - 1;
    while (last_nonzero >= 0 && values[last_nonzero] == 0.0f)
        --last_nonzero;
    if (last_nonzero >= 0)
        line->zero_pushes = n - 1 - last_nonzero;  // n never exceeds the size
    else
        line->zero_pushes =
            line->size - line->zero_pushes <= n ? line->size : line->zero_pushes + n;

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

// The output sum ((P2 + P0) - P1 - P3) + E*x, accumulated in double, with
// P_k = E*e_k + T*d_k in single precision.
void output_sum(float E, float T, const RunScratch& s, float* sum, int32_t n)
{
    const __m128 ee = _mm_set1_ps(E);
    const __m128 tt = _mm_set1_ps(T);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128d p_low[ENGINE_FDN_COUNT], p_high[ENGINE_FDN_COUNT];
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
            const __m128 p = _mm_add_ps(_mm_mul_ps(ee, _mm_load_ps(s.e[k] + i)),
                                        _mm_mul_ps(tt, _mm_load_ps(s.d[k] + i)));
            widen(p, &p_low[k], &p_high[k]);
        }
        __m128d direct_low, direct_high;
        widen(_mm_mul_ps(ee, _mm_load_ps(s.x + i)), &direct_low, &direct_high);
        __m128d low = _mm_add_pd(p_low[2], p_low[0]);
        __m128d high = _mm_add_pd(p_high[2], p_high[0]);
        low = _mm_sub_pd(low, p_low[1]);
        high = _mm_sub_pd(high, p_high[1]);
        low = _mm_sub_pd(low, p_low[3]);
        high = _mm_sub_pd(high, p_high[3]);
        low = _mm_add_pd(low, direct_low);
        high = _mm_add_pd(high, direct_high);
        _mm_store_ps(sum + i, narrow(low, high));
    }
    for (; i < n; ++i) {
        float P[ENGINE_FDN_COUNT];
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            P[k] = E * s.e[k][i] + T * s.d[k][i];
        double acc = double(P[2]) + double(P[0]);
        acc = acc - double(P[1]);
        acc = acc - double(P[3]);
        acc = acc + double(E * s.x[i]);
        sum[i] = float(acc);
    }
}

// The orthogonal feedback mix (feedback_matrix.h, here four samples to a
// vector) plus the tap outputs: the values pushed into the four feedback
// lines.
void feedback_mix(RunScratch& s, int32_t n)
{
    const __m128 half = _mm_set1_ps(0.5f);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 d0 = _mm_load_ps(s.d[0] + i);
        const __m128 d1 = _mm_load_ps(s.d[1] + i);
        const __m128 d2 = _mm_load_ps(s.d[2] + i);
        const __m128 d3 = _mm_load_ps(s.d[3] + i);
        const __m128 f0 = _mm_mul_ps(_mm_sub_ps(_mm_sub_ps(_mm_add_ps(d1, d0), d2), d3), half);
        const __m128 f1 = _mm_mul_ps(_mm_add_ps(_mm_sub_ps(_mm_sub_ps(d0, d1), d2), d3), half);
        const __m128 f2 = _mm_mul_ps(_mm_add_ps(_mm_sub_ps(_mm_sub_ps(d1, d0), d2), d3), half);
        const __m128 f3 = _mm_mul_ps(_mm_add_ps(_mm_add_ps(d3, d2), _mm_add_ps(d1, d0)), half);
        _mm_store_ps(s.f[0] + i, _mm_add_ps(f0, _mm_load_ps(s.e[0] + i)));
        _mm_store_ps(s.f[1] + i, _mm_add_ps(f1, _mm_load_ps(s.e[1] + i)));
        _mm_store_ps(s.f[2] + i, _mm_add_ps(f2, _mm_load_ps(s.e[2] + i)));
        _mm_store_ps(s.f[3] + i, _mm_add_ps(f3, _mm_load_ps(s.e[3] + i)));
    }
    for (; i < n; ++i) {
        const float d[ENGINE_FDN_COUNT] = {s.d[0][i], s.d[1][i], s.d[2][i], s.d[3][i]};
        float f[ENGINE_FDN_COUNT];
        feedback_matrix_mix(d, f);
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            s.f[k][i] = f[k] + s.e[k][i];
    }
}

// Everything before the dampers: guard the input, read the feedback lines.
void read_run(EngineRun& run, int32_t n)
{
    ReverbEngine* engine = run.engine;
    RunScratch& s = run.scratch;
    guard_input(run.input, s.x, n);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        read_weighted(engine->fdn_delays[k], engine->fdn_lengths[k], engine->fdn_gains[k],
                      s.d[k], n);
    to_quads(s.d, s.quads, n);
}

// Everything after the dampers: diffusion, taps, output sum, feedback
// writes and the two output chains.
void finish_run(EngineRun& run, int32_t n)
{
    ReverbEngine* engine = run.engine;
    RunScratch& s = run.scratch;
    from_quads(s.quads, s.d, n);
    diffuse(engine->input_diffuser, s.y, s.y, n);

    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        read_tap(engine->tap_delay, engine->tap_positions[k], engine->tap_gains[k], s.y, s.e[k], n);
    push_run(engine->tap_delay, s.y, n);

    output_sum(engine->early_level, engine->tail_level, s, s.sum, n);
    feedback_mix(s, n);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        push_run(engine->fdn_delays[k], s.f[k], n);

    diffuse(engine->left_diffusers[0], s.sum, run.left, n);
    diffuse(engine->left_diffusers[1], run.left, run.left, n);
    diffuse(engine->left_diffusers[2], run.left, run.left, n);
    diffuse(engine->right_diffusers[0], s.sum, run.right, n);
    diffuse(engine->right_diffusers[1], run.right, run.right, n);
    diffuse(engine->right_diffusers[2], run.right, run.right, n);

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
// longest safe run).
template <int ENGINES>
void process_runs(EngineRun* runs, int32_t n)
{
    for (int e = 0; e < ENGINES; ++e)
        read_run(runs[e], n);
    damp_all<ENGINES>(runs, n);
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
