// SectionPair: two filter sections side by side in the lanes of SSE2
// vectors (lane 0 the first, lane 1 the second; lanes 2 and 3 stay zero),
// so two independent recursions cost one set of instructions; two pairs
// joined fill all four lanes. Each lane
// computes exactly what filter_section_process computes: the same products,
// added in the same order, and the same cut of tiny outputs to +0.0.
#pragma once

#include <cstdint>

#include "filter_section.h"
#include "sse2.h"

struct SectionPair {
    __m128 fb1, fb2, ff0, ff1, ff2;  // coefficients
    __m128 x1, x2, y1, y2;           // histories
};

// Two floats in lanes 0 and 1, zeros above.
static inline __m128 section_pair_lanes(float first, float second)
{
    return _mm_unpacklo_ps(_mm_set_ss(first), _mm_set_ss(second));
}

static inline SectionPair section_pair_load(const FilterSection* first,
                                            const FilterSection* second)
{
    return {section_pair_lanes(first->fb1, second->fb1),
            section_pair_lanes(first->fb2, second->fb2),
            section_pair_lanes(first->ff0, second->ff0),
            section_pair_lanes(first->ff1, second->ff1),
            section_pair_lanes(first->ff2, second->ff2),
            section_pair_lanes(first->x1, second->x1),
            section_pair_lanes(first->x2, second->x2),
            section_pair_lanes(first->y1, second->y1),
            section_pair_lanes(first->y2, second->y2)};
}

// Writes the histories back; the coefficients were only read.
static inline void section_pair_store(const SectionPair* pair, FilterSection* first,
                                      FilterSection* second)
{
    alignas(16) float v[4][4];
    _mm_store_ps(v[0], pair->x1);
    _mm_store_ps(v[1], pair->x2);
    _mm_store_ps(v[2], pair->y1);
    _mm_store_ps(v[3], pair->y2);
    FilterSection* sections[2] = {first, second};
    for (int k = 0; k < 2; ++k) {
        sections[k]->x1 = v[0][k];
        sections[k]->x2 = v[1][k];
        sections[k]->y1 = v[2][k];
        sections[k]->y2 = v[3][k];
    }
}

// Each lane of y whose exponent field is 15 or less, that is a magnitude
// below 2^-111, as +0.0 (NaN compares false and stays).
static inline __m128 section_pair_flush(__m128 y)
{
    const __m128 magnitude = _mm_and_ps(y, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    return _mm_andnot_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(0x1p-111f)), y);
}

// One sample in each lane of x; returns both outputs.
static inline __m128 section_pair_process(SectionPair* pair, __m128 x)
{
    __m128 y = _mm_add_ps(_mm_mul_ps(pair->ff2, pair->x2), _mm_mul_ps(pair->ff1, pair->x1));
    y = _mm_add_ps(y, _mm_mul_ps(pair->fb1, pair->y1));
    y = _mm_add_ps(y, _mm_mul_ps(pair->fb2, pair->y2));
    y = _mm_add_ps(y, _mm_mul_ps(pair->ff0, x));
    y = section_pair_flush(y);
    pair->x2 = pair->x1;
    pair->x1 = x;
    pair->y2 = pair->y1;
    pair->y1 = y;
    return y;
}

// Two pairs in the four lanes of one: `first` in lanes 0 and 1, `second`
// in lanes 2 and 3, so four recursions cost one set of instructions.
static inline SectionPair section_pair_join(const SectionPair& first, const SectionPair& second)
{
    return {_mm_movelh_ps(first.fb1, second.fb1), _mm_movelh_ps(first.fb2, second.fb2),
            _mm_movelh_ps(first.ff0, second.ff0), _mm_movelh_ps(first.ff1, second.ff1),
            _mm_movelh_ps(first.ff2, second.ff2), _mm_movelh_ps(first.x1, second.x1),
            _mm_movelh_ps(first.x2, second.x2),   _mm_movelh_ps(first.y1, second.y1),
            _mm_movelh_ps(first.y2, second.y2)};
}

// The histories of a joined pair back into the two pairs it was joined from
// (their coefficients never changed), lanes 2 and 3 zero again.
static inline void section_pair_split(const SectionPair& joined, SectionPair* first,
                                      SectionPair* second)
{
    const __m128 zero = _mm_setzero_ps();
    first->x1 = _mm_movelh_ps(joined.x1, zero);
    first->x2 = _mm_movelh_ps(joined.x2, zero);
    first->y1 = _mm_movelh_ps(joined.y1, zero);
    first->y2 = _mm_movelh_ps(joined.y2, zero);
    second->x1 = _mm_movehl_ps(zero, joined.x1);
    second->x2 = _mm_movehl_ps(zero, joined.x2);
    second->y1 = _mm_movehl_ps(zero, joined.y1);
    second->y2 = _mm_movehl_ps(zero, joined.y2);
}

// Lane 1 of v.
static inline float section_pair_second(__m128 v)
{
    return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
}

// A pair (or two joined, section_pair_join) over n steps whose inputs are
// all known beforehand: inputs[k][j] in lane k for the first LIVE lanes,
// 0.0 in the others (whose inputs are not read); take(j, y) receives the
// outputs of step j. The steps are section_pair_process's; what running
// apart saves is building each step's lanes: four samples of every input
// become the lanes of four steps with a load per input and a few shuffles.
template <int LIVE, typename Take>
__attribute__((always_inline)) static inline void section_pair_run_lanes(
    SectionPair* pair, const float* const inputs[4], uint32_t n, Take take)
{
    SectionPair p = *pair;
    const auto step = [&p, &take](uint32_t j, __m128 x) { take(j, section_pair_process(&p, x)); };
    const auto load = [inputs](int k, uint32_t j) {
        return k < LIVE ? _mm_loadu_ps(inputs[k] + j) : _mm_setzero_ps();
    };
    const auto at = [inputs](int k, uint32_t j) { return k < LIVE ? inputs[k][j] : 0.0f; };
    uint32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m128 a = load(0, j), b = load(1, j), c = load(2, j), d = load(3, j);
        const __m128 ab_low = _mm_unpacklo_ps(a, b);   // a0 b0 a1 b1
        const __m128 ab_high = _mm_unpackhi_ps(a, b);  // a2 b2 a3 b3
        const __m128 cd_low = _mm_unpacklo_ps(c, d);
        const __m128 cd_high = _mm_unpackhi_ps(c, d);
        step(j, _mm_movelh_ps(ab_low, cd_low));
        step(j + 1, _mm_movehl_ps(cd_low, ab_low));
        step(j + 2, _mm_movelh_ps(ab_high, cd_high));
        step(j + 3, _mm_movehl_ps(cd_high, ab_high));
    }
    for (; j < n; ++j)
        step(j, _mm_setr_ps(at(0, j), at(1, j), at(2, j), at(3, j)));
    *pair = p;
}

// One pair: first[j] in lane 0, second[j] in lane 1 (0.0 without SECOND,
// and `second` is not read).
template <bool SECOND, typename Take>
__attribute__((always_inline)) static inline void section_pair_run_apart(
    SectionPair* pair, const float* first, const float* second, uint32_t n, Take take)
{
    const float* const inputs[4] = {first, second, nullptr, nullptr};
    section_pair_run_lanes<SECOND ? 2 : 1>(pair, inputs, n, take);
}

// Both outputs of a step of a pair, to out[j][0] and out[j][1].
struct SectionPairStore {
    float (*out)[2];
    void operator()(uint32_t j, __m128 y) const
    {
        _mm_storel_pi(reinterpret_cast<__m64*>(out[j]), y);
    }
};

// Two pairs joined, all four sections' inputs known beforehand: lane 3
// holds 0.0 without FOURTH (and inputs[3] is not read).
template <bool FOURTH, typename Take>
__attribute__((always_inline)) static inline void section_pair_run_joined_apart(
    SectionPair* joined, const float* const inputs[4], uint32_t n, Take take)
{
    section_pair_run_lanes<FOURTH ? 4 : 3>(joined, inputs, n, take);
}
