// The vectors of the AVX-512 path: Avx512Lanes, sixteen floats or eight
// doubles, with the AVX2 path's four-lane steps (Avx2QuadLanes) for the
// dampers. Only AVX512F instructions: comparisons give mask registers, and
// the bitwise steps work on the integer view. AVX-512 has fused multiply-add
// instructions, but nothing here asks for one and the build never contracts
// (-ffp-contract=off), so every product and sum is rounded on its own.
//
// Internal to each file that includes it, as lanes_baseline.h.
#pragma once

#include <immintrin.h>

#include "lane_doubles.h"
#include "lanes_avx2.h"

namespace {

struct Avx512Lanes {
    static constexpr int WIDTH = 16;
    using F = __m512;
    using D = __m512d;
    using Doubles = LaneDoubles<2, 8>;
    using Mask = __mmask16;
    using Quad = Avx2QuadLanes;
    // A vector a pass, and a call per diffuser (see lanes_baseline.h).
    static constexpr int GROUPS_PER_PASS = 1;
    static constexpr bool DIFFUSERS_IN_ONE_LOOP = false;

    // The stretch scratch is aligned to 32 bytes, not 64: every load and
    // store is the unaligned form, as fast where the address is aligned.
    static F load(const float* p) { return _mm512_loadu_ps(p); }
    static F loadu(const float* p) { return _mm512_loadu_ps(p); }
    static void store(float* p, F v) { _mm512_storeu_ps(p, v); }
    static void storeu(float* p, F v) { _mm512_storeu_ps(p, v); }
    static F splat(float v) { return _mm512_set1_ps(v); }
    static D splat(double v) { return _mm512_set1_pd(v); }

    static Mask unordered(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_UNORD_Q); }
    static Mask greater(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static Mask less(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static Mask either(Mask a, Mask b) { return _mm512_kor(a, b); }
    static F zero_where(Mask mask, F v) { return _mm512_mask_mov_ps(v, mask, _mm512_setzero_ps()); }
    static F magnitude(F v)
    {
        return _mm512_castsi512_ps(
            _mm512_and_si512(_mm512_castps_si512(v), _mm512_set1_epi32(0x7fffffff)));
    }

    static Doubles widen(F v)
    {
        const __m256 high = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1));
        return {{_mm512_cvtps_pd(_mm512_castps512_ps256(v)), _mm512_cvtps_pd(high)}};
    }
    // Each half of base[i..] converted as it is read.
    static Doubles widen_loadu(const float* base, intptr_t i)
    {
        const float* p = base + i;
        return {{_mm512_cvtps_pd(_mm256_loadu_ps(p)), _mm512_cvtps_pd(_mm256_loadu_ps(p + 8))}};
    }
    static F narrow(Doubles v)
    {
        const __m256 low = _mm512_cvtpd_ps(v.part[0]);
        const __m256 high = _mm512_cvtpd_ps(v.part[1]);
        return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_castps_pd(low)),
                                                   _mm256_castps_pd(high), 1));
    }
};

}  // namespace
