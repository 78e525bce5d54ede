// What the run loop reads from and writes to the host's buffers, a stretch
// at a time: the reverb input of a stretch, the output that is the dry term
// alone (the idle path), and the mix of a pending stretch whose output
// filters have run. Four samples to an SSE2 instruction, each lane what the
// one-sample expressions compute, bit for bit.
#pragma once

#include <cstdint>

#include "pending_stretch.h"
#include "reverb_run.h"
#include "sse2.h"

// x[j] = reverb_input_or_silence(fade * in[j]); `in_right`, when not null,
// is added first (in_right[j] + in[j], the stereo sum). Returns true when
// every x is zero (of either sign). The two forms are separate loops, so
// neither tests for the right input per group.
static inline bool reverb_stretch_input(const float* in, const float* in_right, float fade,
                                        float* x, uint32_t n)
{
    const __m128 f = _mm_set1_ps(fade);
    const __m128i exponent = _mm_set1_epi32(0x7f800000);
    const __m128i below_refused = _mm_set1_epi32(int32_t(REVERB_INPUT_REFUSED_EXPONENT - 1));
    const __m128 zero = _mm_setzero_ps();
    // One group of four sums v: scaled, refused values cleared, stored.
    int nonzero = 0;
    const auto group = [&](uint32_t j, __m128 v) {
        v = _mm_mul_ps(f, v);
        const __m128i refused =
            _mm_cmpgt_epi32(_mm_and_si128(_mm_castps_si128(v), exponent), below_refused);
        v = _mm_andnot_ps(_mm_castsi128_ps(refused), v);
        _mm_storeu_ps(x + j, v);
        nonzero |= _mm_movemask_ps(_mm_cmpneq_ps(v, zero));
    };
    uint32_t j = 0;
    if (in_right) {
        for (; j + 4 <= n; j += 4)
            group(j, _mm_add_ps(_mm_loadu_ps(in_right + j), _mm_loadu_ps(in + j)));
    } else {
        for (; j + 4 <= n; j += 4)
            group(j, _mm_loadu_ps(in + j));
    }
    for (; j < n; ++j) {
        const float sum = in_right ? in_right[j] + in[j] : in[j];
        x[j] = reverb_input_or_silence(fade * sum);
        nonzero |= x[j] != 0.0f;
    }
    return nonzero == 0;
}

// out[j] = t * 0 + dry * in[j]: the output when the wet signal is +0.0.
// in[j] is read before out[j] is written, so the two may share a buffer.
static inline void reverb_stretch_dry_only(const float* in, float t, float dry, float* out,
                                           uint32_t n)
{
    const __m128 wet = _mm_set1_ps(t * 0.0f);
    const __m128 d = _mm_set1_ps(dry);
    uint32_t j = 0;
    for (; j + 4 <= n; j += 4)
        _mm_storeu_ps(out + j, _mm_add_ps(wet, _mm_mul_ps(d, _mm_loadu_ps(in + j))));
    for (; j < n; ++j)
        out[j] = t * 0.0f + dry * in[j];
}

// The stereo form: both inputs of a group of samples are read before either
// output of it is written, so any output may share a buffer with any input.
static inline void reverb_stretch_dry_only_stereo(const float* in_l, const float* in_r, float t,
                                                  float dry, float* out_l, float* out_r,
                                                  uint32_t n)
{
    const __m128 wet = _mm_set1_ps(t * 0.0f);
    const __m128 d = _mm_set1_ps(dry);
    uint32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m128 left = _mm_loadu_ps(in_l + j);
        const __m128 right = _mm_loadu_ps(in_r + j);
        _mm_storeu_ps(out_l + j, _mm_add_ps(wet, _mm_mul_ps(d, left)));
        _mm_storeu_ps(out_r + j, _mm_add_ps(wet, _mm_mul_ps(d, right)));
    }
    for (; j < n; ++j) {
        const float left = in_l[j];
        const float right = in_r[j];
        out_l[j] = t * 0.0f + dry * left;
        out_r[j] = t * 0.0f + dry * right;
    }
}

// The output filters' results of four samples, split from their pairs.
struct FilterOutputs {
    __m128 left;   // the left side's, or the mono plug-in's
    __m128 right;
};

// Samples j..j+3 of a pending stretch; j is a multiple of 4, so both loads
// are aligned.
static inline FilterOutputs pending_filter_outputs(const PendingStretch* s, uint32_t j)
{
    const __m128 g01 = _mm_load_ps(s->g[j]);
    const __m128 g23 = _mm_load_ps(s->g[j + 2]);
    return {_mm_shuffle_ps(g01, g23, _MM_SHUFFLE(2, 0, 2, 0)),
            _mm_shuffle_ps(g01, g23, _MM_SHUFFLE(3, 1, 3, 1))};
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
        const FilterOutputs g = pending_filter_outputs(s, j);
        const __m128 left_in = _mm_loadu_ps(in_l + j);
        const __m128 right_in = _mm_loadu_ps(in_r + j);
        const __m128 u_left = _mm_add_ps(_mm_loadu_ps(wet->a_left + j), _mm_mul_ps(ss, g.left));
        const __m128 u_right = _mm_add_ps(_mm_loadu_ps(wet->a_right + j), _mm_mul_ps(ss, g.right));
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
        const __m128 g = pending_filter_outputs(s, j).left;
        const __m128 u = _mm_add_ps(_mm_loadu_ps(s->wet.a_left + j), g);
        const __m128 v = _mm_mul_ps(dd, _mm_loadu_ps(in + j));
        _mm_storeu_ps(out + j, _mm_add_ps(_mm_mul_ps(tt, u), v));
    }
    for (; j < n; ++j) {
        const float u = s->wet.a_left[j] + s->g[j][0];
        out[j] = s->t * u + s->dry * in[j];
    }
}
