// The vectors of the AVX2 path: Avx2Lanes, eight floats or four doubles,
// and Avx2QuadLanes for the four-line steps, four floats as on the baseline
// path with their doubles in one vector. AVX2 has no fused multiply-add, and
// FMA is not enabled with it, so every product and sum is rounded on its own.
//
// Internal to each file that includes it, as lanes_baseline.h.
#pragma once

#include <immintrin.h>

#include "lane_doubles.h"
#include "lanes_baseline.h"

namespace {

struct Avx2QuadLanes : BaselineLanes {
    using D = __m256d;
    using Doubles = LaneDoubles<1, 4>;
    using Quad = Avx2QuadLanes;

    using BaselineLanes::load;
    using BaselineLanes::loadu;
    using BaselineLanes::splat;
    using BaselineLanes::storeu;
    static D splat(double v) { return _mm256_set1_pd(v); }
    static Doubles load(const double* p) { return {{_mm256_load_pd(p)}}; }  // 32-byte aligned
    static Doubles loadu(const double* p) { return {{_mm256_loadu_pd(p)}}; }
    static void storeu(double* p, Doubles v) { _mm256_storeu_pd(p, v.part[0]); }

    static Doubles widen(F v) { return {{_mm256_cvtps_pd(v)}}; }
    static Doubles widen_loadu(const float* base, intptr_t i) { return widen(loadu(base + i)); }
    static F narrow(Doubles v) { return _mm256_cvtpd_ps(v.part[0]); }
    static BaselineLanes::D pair_of(Doubles v, int j)
    {
        return j == 0 ? _mm256_castpd256_pd128(v.part[0]) : _mm256_extractf128_pd(v.part[0], 1);
    }
};

struct Avx2Lanes {
    static constexpr int WIDTH = 8;
    using F = __m256;
    using D = __m256d;
    using Doubles = LaneDoubles<2, 4>;
    using Quad = Avx2QuadLanes;
    // A vector a pass, and a call per diffuser (see lanes_baseline.h).
    static constexpr int GROUPS_PER_PASS = 1;
    static constexpr bool DIFFUSERS_IN_ONE_LOOP = false;

    static F load(const float* p) { return _mm256_load_ps(p); }  // 32-byte aligned
    static F loadu(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, F v) { _mm256_store_ps(p, v); }
    static void storeu(float* p, F v) { _mm256_storeu_ps(p, v); }
    static F splat(float v) { return _mm256_set1_ps(v); }
    static D splat(double v) { return _mm256_set1_pd(v); }
    static Doubles loadu(const double* p) { return {{_mm256_loadu_pd(p), _mm256_loadu_pd(p + 4)}}; }
    static void storeu(double* p, Doubles v)
    {
        _mm256_storeu_pd(p, v.part[0]);
        _mm256_storeu_pd(p + 4, v.part[1]);
    }

    static F unordered(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_UNORD_Q); }
    static F greater(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static F less(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static F either(F a, F b) { return _mm256_or_ps(a, b); }
    static F zero_where(F mask, F v) { return _mm256_andnot_ps(mask, v); }
    static F magnitude(F v)
    {
        return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    }

    static Doubles widen(F v)
    {
        return {{_mm256_cvtps_pd(_mm256_castps256_ps128(v)),
                 _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1))}};
    }
    static F narrow(Doubles v)
    {
        return _mm256_set_m128(_mm256_cvtpd_ps(v.part[1]), _mm256_cvtpd_ps(v.part[0]));
    }
    // Each half of base[i..] converted as it is read, with no extraction
    // of the upper one.
    static Doubles widen_loadu(const float* base, intptr_t i)
    {
        const float* p = base + i;
        return {{_mm256_cvtps_pd(_mm_loadu_ps(p)), _mm256_cvtps_pd(_mm_loadu_ps(p + 4))}};
    }
};

}  // namespace
