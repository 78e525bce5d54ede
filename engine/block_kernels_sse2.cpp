// The baseline kernels of block processing: SSE2, four floats or two
// doubles per instruction, every lane rounding as the scalar instruction
// would, and the tails of a stretch a sample at a time.
#if defined(__SSE2__)
#include <emmintrin.h>
#else
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/sse2.h>
#endif

#include <cmath>

#include "block_kernel_tails.h"
#include "block_kernels.h"

namespace {

// Four values, one per feedback line, at one sample: the lines side by
// side, so the four damper recursions advance together in one vector.
struct alignas(16) LineQuad {
    float v[BLOCK_LINES];
};

// Four floats as two double vectors (low pair, high pair).
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

void guard_input(const float* input, float limit, float* x, int32_t n)
{
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 top = _mm_set1_ps(limit);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(input + i);
        const __m128 bad = _mm_or_ps(_mm_cmpunord_ps(v, v),
                                     _mm_cmpgt_ps(_mm_and_ps(v, magnitude), top));
        _mm_storeu_ps(x + i, _mm_andnot_ps(bad, v));
    }
    for (; i < n; ++i)
        x[i] = block_guard_one(input[i], limit);
}

void scale(const float* from, float gain, float* to, int32_t n)
{
    const __m128 g = _mm_set1_ps(gain);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(to + i, _mm_mul_ps(_mm_loadu_ps(from + i), g));
    for (; i < n; ++i)
        to[i] = from[i] * gain;
}

void diffuse(double c, double* store, const float* x, float* out, int32_t n)
{
    const __m128d cc = _mm_set1_pd(c);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 tiny_below = _mm_set1_ps(0x1p-111f);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128d x_low, x_high;
        widen(_mm_loadu_ps(x + i), &x_low, &x_high);
        const __m128d old_low = _mm_loadu_pd(store + i);
        const __m128d old_high = _mm_loadu_pd(store + i + 2);
        __m128 w = narrow(_mm_sub_pd(x_low, _mm_mul_pd(cc, old_low)),
                          _mm_sub_pd(x_high, _mm_mul_pd(cc, old_high)));
        // Magnitude below 2^-111 (exponent field below 16): tiny, cut to
        // zero. NaN compares false and stays.
        w = _mm_andnot_ps(_mm_cmplt_ps(_mm_and_ps(w, magnitude), tiny_below), w);
        __m128d w_low, w_high;
        widen(w, &w_low, &w_high);
        _mm_storeu_pd(store + i, w_low);
        _mm_storeu_pd(store + i + 2, w_high);
        _mm_storeu_ps(out + i, narrow(_mm_add_pd(old_low, _mm_mul_pd(cc, w_low)),
                                      _mm_add_pd(old_high, _mm_mul_pd(cc, w_high))));
    }
    for (; i < n; ++i)
        out[i] = block_diffuse_one(c, store + i, x[i]);
}

void output_sum(float E, float T, const float (*e)[BLOCK_RUN_LENGTH],
                const float (*d)[BLOCK_RUN_LENGTH], const float* x, float* sum, int32_t n)
{
    const __m128 ee = _mm_set1_ps(E);
    const __m128 tt = _mm_set1_ps(T);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128d p_low[BLOCK_LINES], p_high[BLOCK_LINES];
#pragma GCC unroll 4
        for (int k = 0; k < BLOCK_LINES; ++k) {
            const __m128 p = _mm_add_ps(_mm_mul_ps(ee, _mm_load_ps(e[k] + i)),
                                        _mm_mul_ps(tt, _mm_load_ps(d[k] + i)));
            widen(p, &p_low[k], &p_high[k]);
        }
        __m128d direct_low, direct_high;
        widen(_mm_mul_ps(ee, _mm_load_ps(x + i)), &direct_low, &direct_high);
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
    for (; i < n; ++i)
        sum[i] = block_output_sum_one(E, T, e, d, x[i], i);
}

void feedback_mix(const float (*d)[BLOCK_RUN_LENGTH], const float (*e)[BLOCK_RUN_LENGTH],
                  float* const* f, int32_t n)
{
    const __m128 half = _mm_set1_ps(0.5f);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 d0 = _mm_load_ps(d[0] + i);
        const __m128 d1 = _mm_load_ps(d[1] + i);
        const __m128 d2 = _mm_load_ps(d[2] + i);
        const __m128 d3 = _mm_load_ps(d[3] + i);
        const __m128 f0 = _mm_mul_ps(_mm_sub_ps(_mm_sub_ps(_mm_add_ps(d1, d0), d2), d3), half);
        const __m128 f1 = _mm_mul_ps(_mm_add_ps(_mm_sub_ps(_mm_sub_ps(d0, d1), d2), d3), half);
        const __m128 f2 = _mm_mul_ps(_mm_add_ps(_mm_sub_ps(_mm_sub_ps(d1, d0), d2), d3), half);
        const __m128 f3 = _mm_mul_ps(_mm_add_ps(_mm_add_ps(d3, d2), _mm_add_ps(d1, d0)), half);
        _mm_storeu_ps(f[0] + i, _mm_add_ps(f0, _mm_load_ps(e[0] + i)));
        _mm_storeu_ps(f[1] + i, _mm_add_ps(f1, _mm_load_ps(e[1] + i)));
        _mm_storeu_ps(f[2] + i, _mm_add_ps(f2, _mm_load_ps(e[2] + i)));
        _mm_storeu_ps(f[3] + i, _mm_add_ps(f3, _mm_load_ps(e[3] + i)));
    }
    for (; i < n; ++i)
        block_feedback_mix_one(d, e, f, i);
}

// d[k][i] (line-major) to quads[i] (sample-major) and back, four samples
// at a time; the tail of a run that is not a multiple of four goes singly.
void to_quads(const float (*d)[BLOCK_RUN_LENGTH], LineQuad* quads, int32_t n)
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
        for (int k = 0; k < BLOCK_LINES; ++k)
            quads[i].v[k] = d[k][i];
}

void from_quads(const LineQuad* quads, float (*d)[BLOCK_RUN_LENGTH], int32_t n)
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
        for (int k = 0; k < BLOCK_LINES; ++k)
            d[k][i] = quads[i].v[k];
}

// The input damper (one lane) and the four feedback dampers (one vector
// lane per line) of every engine advance together, sample by sample. Each
// lane computes x(1 - c) in double plus c * state in single, rounded once,
// as damping_filter_run does.
template <int ENGINES>
void damp_engines(const DamperRun* runs, int32_t n)
{
    LineQuad quads[ENGINES][BLOCK_RUN_LENGTH];
    float in_c[ENGINES], in_state[ENGINES];
    double in_feed[ENGINES];
    __m128 fb_c[ENGINES], fb_state[ENGINES];
    __m128d fb_feed_low[ENGINES], fb_feed_high[ENGINES];
    for (int e = 0; e < ENGINES; ++e) {
        const DamperRun& run = runs[e];
        to_quads(run.d, quads[e], n);
        in_c[e] = run.input->coefficient;
        in_feed[e] = 1.0 - double(in_c[e]);
        in_state[e] = run.input->state;
        alignas(16) float c[BLOCK_LINES], state[BLOCK_LINES];
        alignas(16) double feed[BLOCK_LINES];
        for (int k = 0; k < BLOCK_LINES; ++k) {
            c[k] = run.feedback[k]->coefficient;
            feed[k] = 1.0 - double(c[k]);
            state[k] = run.feedback[k]->state;
        }
        fb_c[e] = _mm_load_ps(c);
        fb_state[e] = _mm_load_ps(state);
        fb_feed_low[e] = _mm_load_pd(feed);
        fb_feed_high[e] = _mm_load_pd(feed + 2);
    }
    // The input and output pointers in locals: the stores through y could
    // otherwise alias the run records and force their reloads.
    const float* x[ENGINES];
    float* y[ENGINES];
    for (int e = 0; e < ENGINES; ++e) {
        x[e] = runs[e].x;
        y[e] = runs[e].y;
    }
    for (int32_t i = 0; i < n; ++i) {
#pragma GCC unroll 2
        for (int e = 0; e < ENGINES; ++e) {
            in_state[e] = float(double(x[e][i]) * in_feed[e] + double(in_c[e] * in_state[e]));
            y[e][i] = in_state[e];

            __m128d x_low, x_high, held_low, held_high;
            widen(_mm_load_ps(quads[e][i].v), &x_low, &x_high);
            widen(_mm_mul_ps(fb_c[e], fb_state[e]), &held_low, &held_high);
            fb_state[e] = narrow(_mm_add_pd(_mm_mul_pd(x_low, fb_feed_low[e]), held_low),
                                 _mm_add_pd(_mm_mul_pd(x_high, fb_feed_high[e]), held_high));
            _mm_store_ps(quads[e][i].v, fb_state[e]);
        }
    }
    for (int e = 0; e < ENGINES; ++e) {
        const DamperRun& run = runs[e];
        run.input->state = in_state[e];
        alignas(16) float state[BLOCK_LINES];
        _mm_store_ps(state, fb_state[e]);
        for (int k = 0; k < BLOCK_LINES; ++k)
            run.feedback[k]->state = state[k];
        from_quads(quads[e], run.d, n);
    }
}

// The state of both engines' dampers: each engine's four feedback dampers in
// one vector, the two input dampers in lanes 0 and 1 of another.
struct PairState {
    __m128 c_a, c_b, state_a, state_b;
    __m128 in_c, in_state;
};

// x(1 - c) of four lines, widened: the low and the high pair.
struct LineFeeds {
    __m128d low, high;
};

inline LineFeeds line_feeds(__m128 d, __m128d feed_low, __m128d feed_high)
{
    __m128d low, high;
    widen(d, &low, &high);
    return {_mm_mul_pd(low, feed_low), _mm_mul_pd(high, feed_high)};
}

// One sample of all ten dampers, each lane as damping_filter_run computes it.
inline void pair_step(PairState* p, LineFeeds a, LineFeeds b, __m128d in_fed)
{
    __m128d a_low, a_high, b_low, b_high;
    widen(_mm_mul_ps(p->c_a, p->state_a), &a_low, &a_high);
    widen(_mm_mul_ps(p->c_b, p->state_b), &b_low, &b_high);
    p->state_a = narrow(_mm_add_pd(a.low, a_low), _mm_add_pd(a.high, a_high));
    p->state_b = narrow(_mm_add_pd(b.low, b_low), _mm_add_pd(b.high, b_high));
    const __m128d in_held = _mm_cvtps_pd(_mm_mul_ps(p->in_c, p->in_state));
    p->in_state = _mm_cvtpd_ps(_mm_add_pd(in_fed, in_held));
}

// Both engines' ten dampers over a run, four samples per pass: the x(1 - c)
// terms of a pass (the feedback values turned sample by sample and
// widened), its four serial steps, and the outputs turned back line by line.
// Only the steps depend on one another, so the processor overlaps the rest
// with the recursion's latency.
void damp_pair(const DamperRun* runs, int32_t n)
{
    const DamperRun& a = runs[0];
    const DamperRun& b = runs[1];
    alignas(16) float c[2][BLOCK_LINES], state[2][BLOCK_LINES];
    alignas(16) double feed[2][BLOCK_LINES];
    alignas(16) float in_c[4] = {}, in_state[4] = {};
    for (int e = 0; e < 2; ++e) {
        for (int k = 0; k < BLOCK_LINES; ++k) {
            c[e][k] = runs[e].feedback[k]->coefficient;
            state[e][k] = runs[e].feedback[k]->state;
            feed[e][k] = 1.0 - double(runs[e].feedback[k]->coefficient);
        }
        in_c[e] = runs[e].input->coefficient;
        in_state[e] = runs[e].input->state;
    }
    const double in_feed_a = 1.0 - double(in_c[0]);
    const double in_feed_b = 1.0 - double(in_c[1]);
    const __m128d feed_a_low = _mm_load_pd(feed[0]), feed_a_high = _mm_load_pd(feed[0] + 2);
    const __m128d feed_b_low = _mm_load_pd(feed[1]), feed_b_high = _mm_load_pd(feed[1] + 2);
    const __m128d in_feed = _mm_set_pd(in_feed_b, in_feed_a);
    PairState p = {_mm_load_ps(c[0]),     _mm_load_ps(c[1]),  _mm_load_ps(state[0]),
                   _mm_load_ps(state[1]), _mm_load_ps(in_c), _mm_load_ps(in_state)};

    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 a0 = _mm_load_ps(a.d[0] + i), a1 = _mm_load_ps(a.d[1] + i);
        __m128 a2 = _mm_load_ps(a.d[2] + i), a3 = _mm_load_ps(a.d[3] + i);
        __m128 b0 = _mm_load_ps(b.d[0] + i), b1 = _mm_load_ps(b.d[1] + i);
        __m128 b2 = _mm_load_ps(b.d[2] + i), b3 = _mm_load_ps(b.d[3] + i);
        _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
        _MM_TRANSPOSE4_PS(b0, b1, b2, b3);
        const __m128 xa = _mm_loadu_ps(a.x + i), xb = _mm_loadu_ps(b.x + i);
        const __m128 x01 = _mm_unpacklo_ps(xa, xb), x23 = _mm_unpackhi_ps(xa, xb);
        const __m128d in0 = _mm_mul_pd(_mm_cvtps_pd(x01), in_feed);
        const __m128d in1 = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(x01, x01)), in_feed);
        const __m128d in2 = _mm_mul_pd(_mm_cvtps_pd(x23), in_feed);
        const __m128d in3 = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(x23, x23)), in_feed);

        pair_step(&p, line_feeds(a0, feed_a_low, feed_a_high),
                  line_feeds(b0, feed_b_low, feed_b_high), in0);
        a0 = p.state_a, b0 = p.state_b;
        const __m128 y0 = p.in_state;
        pair_step(&p, line_feeds(a1, feed_a_low, feed_a_high),
                  line_feeds(b1, feed_b_low, feed_b_high), in1);
        a1 = p.state_a, b1 = p.state_b;
        const __m128 y1 = p.in_state;
        pair_step(&p, line_feeds(a2, feed_a_low, feed_a_high),
                  line_feeds(b2, feed_b_low, feed_b_high), in2);
        a2 = p.state_a, b2 = p.state_b;
        const __m128 y2 = p.in_state;
        pair_step(&p, line_feeds(a3, feed_a_low, feed_a_high),
                  line_feeds(b3, feed_b_low, feed_b_high), in3);
        a3 = p.state_a, b3 = p.state_b;
        const __m128 y3 = p.in_state;

        _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
        _MM_TRANSPOSE4_PS(b0, b1, b2, b3);
        _mm_store_ps(a.d[0] + i, a0);
        _mm_store_ps(a.d[1] + i, a1);
        _mm_store_ps(a.d[2] + i, a2);
        _mm_store_ps(a.d[3] + i, a3);
        _mm_store_ps(b.d[0] + i, b0);
        _mm_store_ps(b.d[1] + i, b1);
        _mm_store_ps(b.d[2] + i, b2);
        _mm_store_ps(b.d[3] + i, b3);
        // y_j = [a_j, b_j, 0, 0]: unpacking pairs gives [a0, a1, b0, b1].
        const __m128 y01 = _mm_unpacklo_ps(y0, y1);
        const __m128 y23 = _mm_unpacklo_ps(y2, y3);
        _mm_storeu_ps(a.y + i, _mm_movelh_ps(y01, y23));
        _mm_storeu_ps(b.y + i, _mm_movehl_ps(y23, y01));
    }
    for (; i < n; ++i) {
        const __m128 da = _mm_setr_ps(a.d[0][i], a.d[1][i], a.d[2][i], a.d[3][i]);
        const __m128 db = _mm_setr_ps(b.d[0][i], b.d[1][i], b.d[2][i], b.d[3][i]);
        pair_step(&p, line_feeds(da, feed_a_low, feed_a_high),
                  line_feeds(db, feed_b_low, feed_b_high),
                  _mm_set_pd(double(b.x[i]) * in_feed_b, double(a.x[i]) * in_feed_a));
        _mm_store_ps(state[0], p.state_a);
        _mm_store_ps(state[1], p.state_b);
        _mm_store_ps(in_state, p.in_state);
        for (int k = 0; k < BLOCK_LINES; ++k) {
            a.d[k][i] = state[0][k];
            b.d[k][i] = state[1][k];
        }
        a.y[i] = in_state[0];
        b.y[i] = in_state[1];
    }

    _mm_store_ps(state[0], p.state_a);
    _mm_store_ps(state[1], p.state_b);
    _mm_store_ps(in_state, p.in_state);
    for (int e = 0; e < 2; ++e) {
        runs[e].input->state = in_state[e];
        for (int k = 0; k < BLOCK_LINES; ++k)
            runs[e].feedback[k]->state = state[e][k];
    }
}

void damp(const DamperRun* runs, int engines, int32_t n)
{
    if (engines == 2)
        damp_pair(runs, n);
    else
        damp_engines<1>(runs, n);
}

}  // namespace

extern const BlockKernels BLOCK_KERNELS_SSE2 = {guard_input, scale,        diffuse,
                                                output_sum,  feedback_mix, damp};
