// The AVX2 kernels of block processing: eight floats or four doubles per
// instruction. Every lane computes what the baseline kernels compute, with
// the same operations in the same order and each product and sum rounded on
// its own: AVX2 has no fused multiply-add, and fused instructions (FMA) are
// not enabled here. Stretches shorter than eight go four at a time, then
// singly.
//
// Only the functions of this file are compiled for AVX2: the headers come
// first, so their inline functions keep the baseline instruction set
// wherever they are emitted, and everything here is internal.
#include <immintrin.h>

#include <cmath>

#include "block_kernel_tails.h"
#include "block_kernels.h"

extern const BlockKernels BLOCK_KERNELS_SSE2;

// Every function from here to the matching pop is compiled for AVX2, with
// gcc's pragma or clang's equivalent (the fuzzing build uses clang).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

// Eight floats as two vectors of four doubles (low half, high half).
inline void widen(__m256 v, __m256d* low, __m256d* high)
{
    *low = _mm256_cvtps_pd(_mm256_castps256_ps128(v));
    *high = _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
}

// Two vectors of four doubles rounded to eight floats.
inline __m256 narrow(__m256d low, __m256d high)
{
    return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
}

// Four floats as two double vectors, and back (the four-lane steps).
inline void widen4(__m128 v, __m128d* low, __m128d* high)
{
    *low = _mm_cvtps_pd(v);
    *high = _mm_cvtps_pd(_mm_movehl_ps(v, v));
}

inline __m128 narrow4(__m128d low, __m128d high)
{
    return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

void guard_input(const float* input, float limit, float* x, int32_t n)
{
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const __m256 top = _mm256_set1_ps(limit);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 v = _mm256_loadu_ps(input + i);
        const __m256 bad = _mm256_or_ps(_mm256_cmp_ps(v, v, _CMP_UNORD_Q),
                                        _mm256_cmp_ps(_mm256_and_ps(v, magnitude), top, _CMP_GT_OQ));
        _mm256_storeu_ps(x + i, _mm256_andnot_ps(bad, v));
    }
    for (; i < n; ++i)
        x[i] = block_guard_one(input[i], limit);
}

void scale(const float* from, float gain, float* to, int32_t n)
{
    const __m256 g = _mm256_set1_ps(gain);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps(to + i, _mm256_mul_ps(_mm256_loadu_ps(from + i), g));
    if (i + 4 <= n) {
        _mm_storeu_ps(to + i, _mm_mul_ps(_mm_loadu_ps(from + i), _mm256_castps256_ps128(g)));
        i += 4;
    }
    for (; i < n; ++i)
        to[i] = from[i] * gain;
}

void diffuse(double c, double* store, const float* x, float* out, int32_t n)
{
    const __m256d cc = _mm256_set1_pd(c);
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const __m256 tiny_below = _mm256_set1_ps(0x1p-111f);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256d x_low, x_high;
        widen(_mm256_loadu_ps(x + i), &x_low, &x_high);
        const __m256d old_low = _mm256_loadu_pd(store + i);
        const __m256d old_high = _mm256_loadu_pd(store + i + 4);
        __m256 w = narrow(_mm256_sub_pd(x_low, _mm256_mul_pd(cc, old_low)),
                          _mm256_sub_pd(x_high, _mm256_mul_pd(cc, old_high)));
        // Magnitude below 2^-111 (exponent field below 16): tiny, cut to
        // zero. NaN compares false and stays.
        const __m256 tiny = _mm256_cmp_ps(_mm256_and_ps(w, magnitude), tiny_below, _CMP_LT_OQ);
        w = _mm256_andnot_ps(tiny, w);
        __m256d w_low, w_high;
        widen(w, &w_low, &w_high);
        _mm256_storeu_pd(store + i, w_low);
        _mm256_storeu_pd(store + i + 4, w_high);
        _mm256_storeu_ps(out + i, narrow(_mm256_add_pd(old_low, _mm256_mul_pd(cc, w_low)),
                                         _mm256_add_pd(old_high, _mm256_mul_pd(cc, w_high))));
    }
    if (i + 4 <= n) {
        const __m256d x4 = _mm256_cvtps_pd(_mm_loadu_ps(x + i));
        const __m256d old = _mm256_loadu_pd(store + i);
        __m128 w = _mm256_cvtpd_ps(_mm256_sub_pd(x4, _mm256_mul_pd(cc, old)));
        const __m128 tiny = _mm_cmplt_ps(_mm_and_ps(w, _mm256_castps256_ps128(magnitude)),
                                         _mm256_castps256_ps128(tiny_below));
        w = _mm_andnot_ps(tiny, w);
        const __m256d w4 = _mm256_cvtps_pd(w);
        _mm256_storeu_pd(store + i, w4);
        _mm_storeu_ps(out + i, _mm256_cvtpd_ps(_mm256_add_pd(old, _mm256_mul_pd(cc, w4))));
        i += 4;
    }
    for (; i < n; ++i)
        out[i] = block_diffuse_one(c, store + i, x[i]);
}

void output_sum(float E, float T, const float (*e)[BLOCK_RUN_LENGTH],
                const float (*d)[BLOCK_RUN_LENGTH], const float* x, float* sum, int32_t n)
{
    const __m256 ee = _mm256_set1_ps(E);
    const __m256 tt = _mm256_set1_ps(T);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256d p_low[BLOCK_LINES], p_high[BLOCK_LINES];
#pragma GCC unroll 4
        for (int k = 0; k < BLOCK_LINES; ++k) {
            const __m256 p = _mm256_add_ps(_mm256_mul_ps(ee, _mm256_load_ps(e[k] + i)),
                                           _mm256_mul_ps(tt, _mm256_load_ps(d[k] + i)));
            widen(p, &p_low[k], &p_high[k]);
        }
        __m256d direct_low, direct_high;
        widen(_mm256_mul_ps(ee, _mm256_load_ps(x + i)), &direct_low, &direct_high);
        __m256d low = _mm256_add_pd(p_low[2], p_low[0]);
        __m256d high = _mm256_add_pd(p_high[2], p_high[0]);
        low = _mm256_sub_pd(low, p_low[1]);
        high = _mm256_sub_pd(high, p_high[1]);
        low = _mm256_sub_pd(low, p_low[3]);
        high = _mm256_sub_pd(high, p_high[3]);
        low = _mm256_add_pd(low, direct_low);
        high = _mm256_add_pd(high, direct_high);
        _mm256_store_ps(sum + i, narrow(low, high));
    }
    for (; i < n; ++i)
        sum[i] = block_output_sum_one(E, T, e, d, x[i], i);
}

void feedback_mix(const float (*d)[BLOCK_RUN_LENGTH], const float (*e)[BLOCK_RUN_LENGTH],
                  float* const* f, int32_t n)
{
    const __m256 half = _mm256_set1_ps(0.5f);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 d0 = _mm256_load_ps(d[0] + i);
        const __m256 d1 = _mm256_load_ps(d[1] + i);
        const __m256 d2 = _mm256_load_ps(d[2] + i);
        const __m256 d3 = _mm256_load_ps(d[3] + i);
        const __m256 f0 =
            _mm256_mul_ps(_mm256_sub_ps(_mm256_sub_ps(_mm256_add_ps(d1, d0), d2), d3), half);
        const __m256 f1 =
            _mm256_mul_ps(_mm256_add_ps(_mm256_sub_ps(_mm256_sub_ps(d0, d1), d2), d3), half);
        const __m256 f2 =
            _mm256_mul_ps(_mm256_add_ps(_mm256_sub_ps(_mm256_sub_ps(d1, d0), d2), d3), half);
        const __m256 f3 =
            _mm256_mul_ps(_mm256_add_ps(_mm256_add_ps(d3, d2), _mm256_add_ps(d1, d0)), half);
        _mm256_storeu_ps(f[0] + i, _mm256_add_ps(f0, _mm256_load_ps(e[0] + i)));
        _mm256_storeu_ps(f[1] + i, _mm256_add_ps(f1, _mm256_load_ps(e[1] + i)));
        _mm256_storeu_ps(f[2] + i, _mm256_add_ps(f2, _mm256_load_ps(e[2] + i)));
        _mm256_storeu_ps(f[3] + i, _mm256_add_ps(f3, _mm256_load_ps(e[3] + i)));
    }
    for (; i < n; ++i)
        block_feedback_mix_one(d, e, f, i);
}

// The state of both engines' dampers: the eight feedback dampers in one
// vector (the first engine's four lines, then the second's) and the two
// input dampers in lanes 0 and 1 of another.
struct PairState {
    __m256 c, state;
    __m128 in_c, in_state;
};

// One sample of all ten dampers: each lane computes y = x(1 - c) in double
// plus c * state in single, rounded once, as damping_filter_run does. `fed`
// holds x(1 - c) of the two engines' lines, `in_fed` that of the two input
// dampers; the new states are the outputs.
inline void pair_step(PairState* p, __m256d fed_a, __m256d fed_b, __m128d in_fed)
{
    __m256d held_low, held_high;
    widen(_mm256_mul_ps(p->c, p->state), &held_low, &held_high);
    p->state = narrow(_mm256_add_pd(fed_a, held_low), _mm256_add_pd(fed_b, held_high));
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
    alignas(32) float c[2 * BLOCK_LINES], state[2 * BLOCK_LINES];
    alignas(32) double feed[2][BLOCK_LINES];
    alignas(16) float in_c[4] = {}, in_state[4] = {};
    for (int e = 0; e < 2; ++e) {
        for (int k = 0; k < BLOCK_LINES; ++k) {
            c[BLOCK_LINES * e + k] = runs[e].feedback[k]->coefficient;
            state[BLOCK_LINES * e + k] = runs[e].feedback[k]->state;
            feed[e][k] = 1.0 - double(runs[e].feedback[k]->coefficient);
        }
        in_c[e] = runs[e].input->coefficient;
        in_state[e] = runs[e].input->state;
    }
    const double in_feed_a = 1.0 - double(in_c[0]);
    const double in_feed_b = 1.0 - double(in_c[1]);
    const __m256d feed_a = _mm256_load_pd(feed[0]);
    const __m256d feed_b = _mm256_load_pd(feed[1]);
    const __m256d in_feed = _mm256_set_pd(in_feed_b, in_feed_a, in_feed_b, in_feed_a);
    PairState p = {_mm256_load_ps(c), _mm256_load_ps(state), _mm_load_ps(in_c),
                   _mm_load_ps(in_state)};

    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 a0 = _mm_load_ps(a.d[0] + i), a1 = _mm_load_ps(a.d[1] + i);
        __m128 a2 = _mm_load_ps(a.d[2] + i), a3 = _mm_load_ps(a.d[3] + i);
        __m128 b0 = _mm_load_ps(b.d[0] + i), b1 = _mm_load_ps(b.d[1] + i);
        __m128 b2 = _mm_load_ps(b.d[2] + i), b3 = _mm_load_ps(b.d[3] + i);
        _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
        _MM_TRANSPOSE4_PS(b0, b1, b2, b3);
        const __m128 xa = _mm_loadu_ps(a.x + i), xb = _mm_loadu_ps(b.x + i);
        const __m256d in01 = _mm256_mul_pd(_mm256_cvtps_pd(_mm_unpacklo_ps(xa, xb)), in_feed);
        const __m256d in23 = _mm256_mul_pd(_mm256_cvtps_pd(_mm_unpackhi_ps(xa, xb)), in_feed);

        pair_step(&p, _mm256_mul_pd(_mm256_cvtps_pd(a0), feed_a),
                  _mm256_mul_pd(_mm256_cvtps_pd(b0), feed_b), _mm256_castpd256_pd128(in01));
        const __m256 out0 = p.state;
        const __m128 in0 = p.in_state;
        pair_step(&p, _mm256_mul_pd(_mm256_cvtps_pd(a1), feed_a),
                  _mm256_mul_pd(_mm256_cvtps_pd(b1), feed_b), _mm256_extractf128_pd(in01, 1));
        const __m256 out1 = p.state;
        const __m128 in1 = p.in_state;
        pair_step(&p, _mm256_mul_pd(_mm256_cvtps_pd(a2), feed_a),
                  _mm256_mul_pd(_mm256_cvtps_pd(b2), feed_b), _mm256_castpd256_pd128(in23));
        const __m256 out2 = p.state;
        const __m128 in2 = p.in_state;
        pair_step(&p, _mm256_mul_pd(_mm256_cvtps_pd(a3), feed_a),
                  _mm256_mul_pd(_mm256_cvtps_pd(b3), feed_b), _mm256_extractf128_pd(in23, 1));
        const __m256 out3 = p.state;
        const __m128 in3 = p.in_state;

        a0 = _mm256_castps256_ps128(out0), a1 = _mm256_castps256_ps128(out1);
        a2 = _mm256_castps256_ps128(out2), a3 = _mm256_castps256_ps128(out3);
        b0 = _mm256_extractf128_ps(out0, 1), b1 = _mm256_extractf128_ps(out1, 1);
        b2 = _mm256_extractf128_ps(out2, 1), b3 = _mm256_extractf128_ps(out3, 1);
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
        // in_j = [a_j, b_j, 0, 0]: unpacking pairs gives [a0, a1, b0, b1].
        const __m128 in01_out = _mm_unpacklo_ps(in0, in1);
        const __m128 in23_out = _mm_unpacklo_ps(in2, in3);
        _mm_storeu_ps(a.y + i, _mm_movelh_ps(in01_out, in23_out));
        _mm_storeu_ps(b.y + i, _mm_movehl_ps(in23_out, in01_out));
    }
    for (; i < n; ++i) {
        alignas(32) double fed[2][BLOCK_LINES];
        for (int k = 0; k < BLOCK_LINES; ++k) {
            fed[0][k] = double(a.d[k][i]) * feed[0][k];
            fed[1][k] = double(b.d[k][i]) * feed[1][k];
        }
        pair_step(&p, _mm256_load_pd(fed[0]), _mm256_load_pd(fed[1]),
                  _mm_set_pd(double(b.x[i]) * in_feed_b, double(a.x[i]) * in_feed_a));
        _mm256_store_ps(state, p.state);
        _mm_store_ps(in_state, p.in_state);
        for (int k = 0; k < BLOCK_LINES; ++k) {
            a.d[k][i] = state[k];
            b.d[k][i] = state[BLOCK_LINES + k];
        }
        a.y[i] = in_state[0];
        b.y[i] = in_state[1];
    }

    _mm256_store_ps(state, p.state);
    _mm_store_ps(in_state, p.in_state);
    for (int e = 0; e < 2; ++e) {
        runs[e].input->state = in_state[e];
        for (int k = 0; k < BLOCK_LINES; ++k)
            runs[e].feedback[k]->state = state[BLOCK_LINES * e + k];
    }
}

void damp(const DamperRun* runs, int engines, int32_t n)
{
    if (engines == 2)
        damp_pair(runs, n);
    else
        BLOCK_KERNELS_SSE2.damp(runs, engines, n);
}

}  // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

extern const BlockKernels BLOCK_KERNELS_AVX2 = {guard_input, scale,        diffuse,
                                                output_sum,  feedback_mix, damp};
