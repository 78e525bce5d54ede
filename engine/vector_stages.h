// The engine's vector stages, written once for every path: each kernel is a
// template over a path's lanes (lanes_baseline.h, lanes_avx2.h), which
// differ in width only. Every lane computes what the one-sample code
// computes, with the same operations in the same order and each product and
// sum rounded on its own. The samples of a stretch that no whole vector
// covers go four at a time on a path wider than four lanes, then singly
// (stage_tails.h).
//
// stretch_stages.h puts them together; each path's file includes both and
// makes the table of its own lanes. Everything here is internal to that
// file.
#pragma once

#include <cstdint>
#include <utility>

#include "lanes_baseline.h"
#include "stage_kernels.h"
#include "stage_tails.h"
#include "stage_vector_start.h"

static_assert(ENGINE_FDN_COUNT == 4 && ENGINE_TAP_COUNT == 4,
              "the stages hold one engine's four lines, or four taps, in four lanes");

namespace {

// One engine's five dampers over a stretch: the input damper takes x to y;
// the four feedback dampers take the lines' values (from[k], the stretch's
// values read from line k) times the feedback gains to d, line by line.
struct DamperStretch {
    DampingFilter* input;
    DampingFilter* const* feedback;  // ENGINE_FDN_COUNT of them
    const float* x;
    float* y;
    const float* from[ENGINE_FDN_COUNT];
    const float* gains;              // ENGINE_FDN_COUNT of them
    float (*d)[MAX_STRETCH];         // ENGINE_FDN_COUNT rows
};

// One pass of a kernel's loop on lanes that take several vectors a pass:
// group K starts at i + K vectors.
template <class L, class Group, int... K>
[[gnu::always_inline]] inline void vector_pass(Group& group, int32_t i,
                                               std::integer_sequence<int, K...>)
{
    (group(L(), VectorStart<K * L::WIDTH>{i}), ...);
}

// Calls group(lanes, i) for the whole vectors of L in n samples, then, on a
// path wider than four lanes, once for four lanes if four samples are left.
// Returns the first sample left for single steps. Each kernel's group is
// inlined (always_inline on its lambda), so that the kernel compiles to one
// loop, as if written out. On lanes that ask for it (GROUPS_PER_PASS above
// one), the loop takes that many vectors a pass, then single ones. A
// group's i is a VectorStart, which reads as the sample number.
template <class L, class Group>
[[gnu::always_inline]] inline int32_t vector_groups(int32_t n, Group group)
{
    constexpr int PASS = L::GROUPS_PER_PASS;
    int32_t i = 0;
    if constexpr (PASS > 1) {
        for (; i + PASS * L::WIDTH <= n; i += PASS * L::WIDTH)
            vector_pass<L>(group, i, std::make_integer_sequence<int, PASS>());
    }
    for (; i + L::WIDTH <= n; i += L::WIDTH)
        group(L(), VectorStart<0>{i});
    if constexpr (L::WIDTH > L::Quad::WIDTH) {
        if (i + L::Quad::WIDTH <= n) {
            group(typename L::Quad(), VectorStart<0>{i});
            i += L::Quad::WIDTH;
        }
    }
    return i;
}

template <class L>
void guard_input(const float* input, float limit, float* x, int32_t n)
{
    int32_t i = vector_groups<L>(n, [&](auto lanes, int32_t j) __attribute__((always_inline)) {
        using V = decltype(lanes);
        const typename V::F v = V::loadu(input + j);
        // A vector of lanes, or a mask register on a path that has them.
        const auto bad =
            V::either(V::unordered(v, v), V::greater(V::magnitude(v), V::splat(limit)));
        V::storeu(x + j, V::zero_where(bad, v));
    });
    for (; i < n; ++i)
        x[i] = stage_guard_one(input[i], limit);
}

template <class L>
void scale(const float* from, float gain, float* to, int32_t n)
{
    int32_t i = vector_groups<L>(n, [&](auto lanes, int32_t j) __attribute__((always_inline)) {
        using V = decltype(lanes);
        V::storeu(to + j, V::loadu(from + j) * V::splat(gain));
    });
    for (; i < n; ++i)
        to[i] = from[i] * gain;
}

template <class L>
[[gnu::always_inline]] inline void diffuse(double c, float* store, const float* x, float* out,
                                           int32_t n)
{
    int32_t i = vector_groups<L>(n, [&](auto lanes, auto j) __attribute__((always_inline)) {
        using V = decltype(lanes);
        const typename V::D cc = V::splat(c);
        const typename V::Doubles old = V::widen_loadu(store, j);
        typename V::F w = V::narrow(V::widen_loadu(x, j) - cc * old);
        // Magnitude below 2^-111 (exponent field below 16): tiny, cut to
        // zero. NaN compares false and stays.
        w = V::zero_where(V::less(V::magnitude(w), V::splat(0x1p-111f)), w);
        V::storeu(store + j, w);
        V::storeu(out + j, V::narrow(old + cc * V::widen(w)));
    });
    for (; i < n; ++i)
        out[i] = stage_diffuse_one(c, store + i, x[i]);
}

template <class L>
void output_sum(float E, float T, const float (*e)[MAX_STRETCH], const float (*d)[MAX_STRETCH],
                const float* x, float* sum, int32_t n)
{
    int32_t i = vector_groups<L>(n, [&](auto lanes, int32_t j) __attribute__((always_inline)) {
        using V = decltype(lanes);
        const typename V::F ee = V::splat(E);
        const typename V::F tt = V::splat(T);
        typename V::Doubles P[ENGINE_FDN_COUNT];
#pragma GCC unroll 4
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            P[k] = V::widen(ee * V::load(e[k] + j) + tt * V::load(d[k] + j));
        typename V::Doubles acc = P[2] + P[0];
        acc = acc - P[1];
        acc = acc - P[3];
        acc = acc + V::widen(ee * V::load(x + j));
        V::store(sum + j, V::narrow(acc));
    });
    for (; i < n; ++i)
        sum[i] = stage_output_sum_one(E, T, e, d, x[i], i);
}

// The feedback matrix of feedback_matrix.h, lane by lane.
template <class L>
void feedback_mix(const float (*d)[MAX_STRETCH], const float (*e)[MAX_STRETCH], float* const* f,
                  int32_t n)
{
    int32_t i = vector_groups<L>(n, [&](auto lanes, int32_t j) __attribute__((always_inline)) {
        using V = decltype(lanes);
        const typename V::F half = V::splat(0.5f);
        const typename V::F d0 = V::load(d[0] + j);
        const typename V::F d1 = V::load(d[1] + j);
        const typename V::F d2 = V::load(d[2] + j);
        const typename V::F d3 = V::load(d[3] + j);
        V::storeu(f[0] + j, (((d1 + d0) - d2) - d3) * half + V::load(e[0] + j));
        V::storeu(f[1] + j, (((d0 - d1) - d2) + d3) * half + V::load(e[1] + j));
        V::storeu(f[2] + j, (((d1 - d0) - d2) + d3) * half + V::load(e[2] + j));
        V::storeu(f[3] + j, ((d3 + d2) + (d1 + d0)) * half + V::load(e[3] + j));
    });
    for (; i < n; ++i)
        stage_feedback_mix_one(d, e, f, i);
}

// The dampers work on quads: one engine's four feedback lines side by side
// in the four lanes of Q (the path's four-lane steps), so that the four
// recursions advance together. Each lane computes x(1 - c) in double plus
// c * state in single, rounded once, as damping_filter_run does.

// The four lines' values at samples i to i + 3 (from[k][i + j]) times
// their gains, a single product each, as one quad per sample (q[j], lane
// k), and back to the rows of d.
template <class Q>
inline void load_columns(const DamperStretch& stretch, typename Q::F gains, int32_t i,
                         typename Q::F q[4])
{
#pragma GCC unroll 4
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        q[k] = Q::loadu(stretch.from[k] + i);
    Q::transpose(q[0], q[1], q[2], q[3]);
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j)
        q[j] = q[j] * gains;
}

// Line k's gained value at sample i, for the samples past the last quad.
inline float gained(const DamperStretch& stretch, int k, int32_t i)
{
    return stretch.from[k][i] * stretch.gains[k];
}

template <class Q>
inline void store_columns(typename Q::F q[4], float (*d)[MAX_STRETCH], int32_t i)
{
    Q::transpose(q[0], q[1], q[2], q[3]);
#pragma GCC unroll 4
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        Q::store(d[k] + i, q[k]);
}

// One engine: the input damper (a scalar) and the feedback dampers (a quad)
// advance together, sample by sample.
template <class Q>
void damp_one(const DamperStretch& stretch, int32_t n)
{
    // The lines' gained values sample by sample: quads[i][k] is line k's.
    alignas(16) float quads[MAX_STRETCH][ENGINE_FDN_COUNT];
    const typename Q::F gains = Q::loadu(stretch.gains);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        typename Q::F q[4];
        load_columns<Q>(stretch, gains, i, q);
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j)
            Q::store(quads[i + j], q[j]);
    }
    for (; i < n; ++i)
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            quads[i][k] = gained(stretch, k, i);

    const float in_c = stretch.input->coefficient;
    const double in_feed = 1.0 - double(in_c);
    float in_state = stretch.input->state;
    alignas(16) float c[ENGINE_FDN_COUNT], state[ENGINE_FDN_COUNT];
    alignas(32) double feed[ENGINE_FDN_COUNT];
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        c[k] = stretch.feedback[k]->coefficient;
        feed[k] = 1.0 - double(c[k]);
        state[k] = stretch.feedback[k]->state;
    }
    const typename Q::F fb_c = Q::load(c);
    typename Q::F fb_state = Q::load(state);
    const typename Q::Doubles fb_feed = Q::load(feed);
    // The input and output pointers in locals: the stores through y could
    // otherwise alias the stretch record and force its reloads.
    const float* x = stretch.x;
    float* y = stretch.y;
    for (i = 0; i < n; ++i) {
        in_state = float(double(x[i]) * in_feed + double(in_c * in_state));
        y[i] = in_state;
        fb_state = Q::narrow(Q::widen(Q::load(quads[i])) * fb_feed + Q::widen(fb_c * fb_state));
        Q::store(quads[i], fb_state);
    }
    stretch.input->state = in_state;
    Q::store(state, fb_state);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        stretch.feedback[k]->state = state[k];

    for (i = 0; i + 4 <= n; i += 4) {
        typename Q::F q[4];
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j)
            q[j] = Q::load(quads[i + j]);
        store_columns<Q>(q, stretch.d, i);
    }
    for (; i < n; ++i)
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            stretch.d[k][i] = quads[i][k];
}

// Both engines' dampers: each engine's feedback quad, and the two input
// dampers in lanes 0 and 1 of a third vector.
template <class Q>
struct PairDampers {
    typename Q::F c_a, c_b, state_a, state_b;
    typename Q::F in_c, in_state;
};

// One sample of all ten dampers: fed_a and fed_b are x(1 - c) of the two
// engines' lines, in_fed that of the two input dampers; the new states are
// the outputs.
template <class Q>
inline void pair_step(PairDampers<Q>* p, typename Q::Doubles fed_a, typename Q::Doubles fed_b,
                      BaselineLanes::D in_fed)
{
    p->state_a = Q::narrow(fed_a + Q::widen(p->c_a * p->state_a));
    p->state_b = Q::narrow(fed_b + Q::widen(p->c_b * p->state_b));
    p->in_state = Q::narrow_low(in_fed + Q::widen_low(p->in_c * p->in_state));
}

// Both engines' ten dampers over a stretch, four samples per pass: the
// x(1 - c) terms of a pass (the feedback values turned sample by sample and
// widened), its four serial steps, and the outputs turned back line by line.
// Only the steps depend on one another, so the processor overlaps the rest
// with the recursion's latency.
template <class Q>
void damp_pair(const DamperStretch* stretches, int32_t n)
{
    using F = typename Q::F;
    using Doubles = typename Q::Doubles;
    const DamperStretch& a = stretches[0];
    const DamperStretch& b = stretches[1];
    alignas(16) float c[2][ENGINE_FDN_COUNT], state[2][ENGINE_FDN_COUNT];
    alignas(32) double feed[2][ENGINE_FDN_COUNT];
    alignas(16) float in_c[4] = {}, in_state[4] = {};
    for (int e = 0; e < 2; ++e) {
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
            c[e][k] = stretches[e].feedback[k]->coefficient;
            state[e][k] = stretches[e].feedback[k]->state;
            feed[e][k] = 1.0 - double(stretches[e].feedback[k]->coefficient);
        }
        in_c[e] = stretches[e].input->coefficient;
        in_state[e] = stretches[e].input->state;
    }
    const double in_feed_a = 1.0 - double(in_c[0]);
    const double in_feed_b = 1.0 - double(in_c[1]);
    const Doubles feed_a = Q::load(feed[0]);
    const Doubles feed_b = Q::load(feed[1]);
    alignas(32) const double in_feeds[4] = {in_feed_a, in_feed_b, in_feed_a, in_feed_b};
    const Doubles in_feed = Q::load(in_feeds);
    PairDampers<Q> p = {Q::load(c[0]),    Q::load(c[1]),  Q::load(state[0]),
                        Q::load(state[1]), Q::load(in_c), Q::load(in_state)};

    const F gains_a = Q::loadu(a.gains), gains_b = Q::loadu(b.gains);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        F qa[4], qb[4];  // the engines' gained line values, one quad per sample
        load_columns<Q>(a, gains_a, i, qa);
        load_columns<Q>(b, gains_b, i, qb);
        // The input dampers' x(1 - c), samples 0 and 1 and then 2 and 3,
        // each as [first engine, second engine].
        const F xa = Q::loadu(a.x + i), xb = Q::loadu(b.x + i);
        const Doubles in_fed[2] = {Q::widen(Q::interleave_low(xa, xb)) * in_feed,
                                   Q::widen(Q::interleave_high(xa, xb)) * in_feed};
        F y[4];  // [first engine, second engine, 0, 0] per sample
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            pair_step<Q>(&p, Q::widen(qa[j]) * feed_a, Q::widen(qb[j]) * feed_b,
                         Q::pair_of(in_fed[j / 2], j % 2));
            qa[j] = p.state_a;
            qb[j] = p.state_b;
            y[j] = p.in_state;
        }
        store_columns<Q>(qa, a.d, i);
        store_columns<Q>(qb, b.d, i);
        // Interleaving pairs gives [a0, a1, b0, b1] and [a2, a3, b2, b3].
        const F y01 = Q::interleave_low(y[0], y[1]);
        const F y23 = Q::interleave_low(y[2], y[3]);
        Q::storeu(a.y + i, Q::low_halves(y01, y23));
        Q::storeu(b.y + i, Q::high_halves(y01, y23));
    }
    for (; i < n; ++i) {
        alignas(16) const float da[4] = {gained(a, 0, i), gained(a, 1, i), gained(a, 2, i),
                                         gained(a, 3, i)};
        alignas(16) const float db[4] = {gained(b, 0, i), gained(b, 1, i), gained(b, 2, i),
                                         gained(b, 3, i)};
        pair_step<Q>(&p, Q::widen(Q::load(da)) * feed_a, Q::widen(Q::load(db)) * feed_b,
                     Q::pair(double(a.x[i]) * in_feed_a, double(b.x[i]) * in_feed_b));
        Q::store(state[0], p.state_a);
        Q::store(state[1], p.state_b);
        Q::store(in_state, p.in_state);
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
            a.d[k][i] = state[0][k];
            b.d[k][i] = state[1][k];
        }
        a.y[i] = in_state[0];
        b.y[i] = in_state[1];
    }

    Q::store(state[0], p.state_a);
    Q::store(state[1], p.state_b);
    Q::store(in_state, p.in_state);
    for (int e = 0; e < 2; ++e) {
        stretches[e].input->state = in_state[e];
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
            stretches[e].feedback[k]->state = state[e][k];
    }
}


}  // namespace
