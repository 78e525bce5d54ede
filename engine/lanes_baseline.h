// BaselineLanes: the vectors of the baseline path, four floats or two
// doubles: SSE2 on x86-64, NEON on aarch64. The operations are written with
// the SSE2 intrinsics, which SIMDe translates on other processors with the
// x86 results lane for lane; on aarch64 the conversions between floats and
// doubles name NEON's own instructions, two lanes to an instruction, where
// SIMDe's translation converts a lane at a time. Arithmetic is written with
// the operators, the same on every path.
//
// Internal to each file that includes it, so that a path built for a wider
// instruction set never lends its copy to another.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#else
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/sse2.h>
#endif
#if defined(__aarch64__)
#include <arm_neon.h>
#endif

#include <cstdint>

#include "lane_doubles.h"
#include "stage_vector_start.h"

namespace {

struct BaselineLanes {
    static constexpr int WIDTH = 4;
    using F = __m128;
    using D = __m128d;
    using Doubles = LaneDoubles<2, 2>;
    // The lanes of the four-line steps (one engine's lines side by side).
    using Quad = BaselineLanes;
    // On four lanes a kernel's loop and the calls of the diffusers are a
    // large share of the work: the kernels take four vectors a pass of their
    // loop, and the diffusers of a stretch run in one loop with their kernel
    // inlined. (The AVX-512 path ran slower with either, by about 2 % each,
    // with two vectors a pass.)
    static constexpr int GROUPS_PER_PASS = 4;
    static constexpr bool DIFFUSERS_IN_ONE_LOOP = true;

    static F load(const float* p) { return _mm_load_ps(p); }  // 16-byte aligned
    static F loadu(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, F v) { _mm_store_ps(p, v); }
    static void storeu(float* p, F v) { _mm_storeu_ps(p, v); }
    static F splat(float v) { return _mm_set1_ps(v); }
    static D splat(double v) { return _mm_set1_pd(v); }
    static Doubles load(const double* p) { return {{_mm_load_pd(p), _mm_load_pd(p + 2)}}; }
    static Doubles loadu(const double* p) { return {{_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}}; }
    static void storeu(double* p, Doubles v)
    {
        _mm_storeu_pd(p, v.part[0]);
        _mm_storeu_pd(p + 2, v.part[1]);
    }
    // [a, b].
    static D pair(double a, double b) { return _mm_set_pd(b, a); }

    // Lane masks, all bits set where the comparison holds, and their uses.
    static F unordered(F a, F b) { return _mm_cmpunord_ps(a, b); }
    static F greater(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static F less(F a, F b) { return _mm_cmplt_ps(a, b); }
    static F either(F a, F b) { return _mm_or_ps(a, b); }
    // v with the lanes of `mask` set to +0.0.
    static F zero_where(F mask, F v) { return _mm_andnot_ps(mask, v); }
    // v with its sign bits cleared.
    static F magnitude(F v) { return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }

#if defined(__aarch64__)
    static D widen_low(F v) { return vcvt_f64_f32(vget_low_f32(v)); }
    static F narrow_low(D v) { return vcombine_f32(vcvt_f32_f64(v), vdup_n_f32(0.0f)); }
    static Doubles widen(F v) { return {{vcvt_f64_f32(vget_low_f32(v)), vcvt_high_f64_f32(v)}}; }
    static F narrow(Doubles v) { return vcvt_high_f32_f64(vcvt_f32_f64(v.part[0]), v.part[1]); }
#else
    // Lanes 0 and 1 as doubles.
    static D widen_low(F v) { return _mm_cvtps_pd(v); }
    // Two doubles rounded to lanes 0 and 1; lanes 2 and 3 are zero.
    static F narrow_low(D v) { return _mm_cvtpd_ps(v); }
    static Doubles widen(F v) { return {{_mm_cvtps_pd(v), _mm_cvtps_pd(_mm_movehl_ps(v, v))}}; }
    static F narrow(Doubles v)
    {
        return _mm_movelh_ps(_mm_cvtpd_ps(v.part[0]), _mm_cvtpd_ps(v.part[1]));
    }
#endif
#if defined(__SSE2__) && !defined(__AVX__)
    // The four floats at base[at], widened two at a time as they are read:
    // SSE2's conversion reads its two floats from memory, and takes the
    // upper pair with no load and shuffle first. gcc 12 does not fold a
    // 64-bit load into the conversion, hence the one instruction written
    // out. The address goes in as base, the loop's index and the vector's
    // fixed offset, with the whole array at base named as what it reads
    // (which orders it after stores there), so that a loop keeps one index
    // for all its arrays instead of a pointer or an index per address read
    // this way.
    template <int OFFSET>
    static Doubles widen_loadu(const float* base, VectorStart<OFFSET> at)
    {
        return {{widen_pair<OFFSET>(base, at.index), widen_pair<OFFSET + 2>(base, at.index)}};
    }
    // What the conversion is said to read: an array as large as any the
    // engine keeps, so every store into it stays before the read (an array
    // of unknown bound says the same to gcc, but clang refuses it).
    using WholeArray = float[1 << 28];
    // The two floats at base[i + OFFSET], widened.
    template <int OFFSET>
    static D widen_pair(const float* base, intptr_t i)
    {
        D d;
        asm("cvtps2pd %c4(%1,%2,4), %0"
            : "=x"(d)
            : "r"(base), "r"(i), "m"(*reinterpret_cast<const WholeArray*>(base)),
              "i"(OFFSET * sizeof(float)));
        return d;
    }
#else
    // The four floats at base[i], widened (in a file built for AVX2, with
    // the VEX forms the compiler chooses).
    static Doubles widen_loadu(const float* base, intptr_t i) { return widen(loadu(base + i)); }
#endif
    // Doubles j of the widened lanes: 0 for lanes 0 and 1, 1 for 2 and 3.
    static D pair_of(Doubles v, int j) { return v.part[j]; }

    // Rows to columns.
    static void transpose(F& r0, F& r1, F& r2, F& r3) { _MM_TRANSPOSE4_PS(r0, r1, r2, r3); }
    // [a0, b0, a1, b1] and [a2, b2, a3, b3].
    static F interleave_low(F a, F b) { return _mm_unpacklo_ps(a, b); }
    static F interleave_high(F a, F b) { return _mm_unpackhi_ps(a, b); }
    // [a0, a1, b0, b1] and [a2, a3, b2, b3].
    static F low_halves(F a, F b) { return _mm_movelh_ps(a, b); }
    static F high_halves(F a, F b) { return _mm_movehl_ps(b, a); }
};

}  // namespace
