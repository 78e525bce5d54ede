// One sample of each vector stage, as the scalar instructions compute it:
// the samples at the end of a stretch that no whole vector covers, on every
// path. Kept in one place so that every path's tail is the same code.
#pragma once

#include <cstdint>

#include "allpass_diffuser.h"
#include "feedback_matrix.h"
#include "stage_kernels.h"

// x = v, or 0 where v is NaN or its magnitude exceeds limit. The compiler's
// builtins rather than std::isnan and std::fabs: those are inline functions
// that an unoptimised build emits as shared copies, and the AVX2 path's
// copy must not serve the other paths.
static inline float stage_guard_one(float v, float limit)
{
    return (__builtin_isnan(v) || __builtin_fabsf(v) > limit) ? 0.0f : v;
}

// One allpass slot: w = x - c * old in double, rounded once and cut to zero
// when tiny, is stored; old + c * w in double, rounded once, is the output.
static inline float stage_diffuse_one(double c, float* slot, float x)
{
    const double old = double(*slot);
    float w = float(double(x) - c * old);
    if (allpass_diffuser_is_tiny(w))
        w = 0.0f;
    *slot = w;
    return float(old + c * double(w));
}

// The output sum at sample i: ((P2 + P0) - P1 - P3) + E*x in double, with
// P_k = E*e[k][i] + T*d[k][i] in single precision, rounded once.
static inline float stage_output_sum_one(float E, float T, const float (*e)[MAX_STRETCH],
                                         const float (*d)[MAX_STRETCH], float x, int32_t i)
{
    float P[ENGINE_FDN_COUNT];
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        P[k] = E * e[k][i] + T * d[k][i];
    double acc = double(P[2]) + double(P[0]);
    acc = acc - double(P[1]);
    acc = acc - double(P[3]);
    acc = acc + double(E * x);
    return float(acc);
}

// The feedback mix at sample i: the matrix applied to d[.][i], plus e[k][i].
static inline void stage_feedback_mix_one(const float (*d)[MAX_STRETCH],
                                          const float (*e)[MAX_STRETCH], float* const* f,
                                          int32_t i)
{
    const float dd[ENGINE_FDN_COUNT] = {d[0][i], d[1][i], d[2][i], d[3][i]};
    float ff[ENGINE_FDN_COUNT];
    feedback_matrix_mix(dd, ff);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        f[k][i] = ff[k] + e[k][i];
}
