// StageKernels: the vector stages of the engine's stage-by-stage processing,
// in one table per path. Every path computes each value with the same
// operations, precisions and order as one sample at a time, so all paths
// give the same bits; a wider path only does more lanes at once.
//
// The baseline path is four floats or two doubles wide: SSE2 on x86-64, which
// every x86-64 CPU has, and NEON on aarch64. On x86-64 the AVX2 path (eight
// floats or four doubles, never fused multiply-adds) is taken when the CPU
// and the operating system support it. The choice is made when an engine is
// created and kept in the engine.
#pragma once

#include <cstdint>

#include "damping_filter.h"
#include "reverb_engine.h"

// Longest stretch processed stage by stage; bounds the stack scratch.
constexpr int32_t MAX_STRETCH = 64;

// One engine's five dampers over a stretch: the input damper takes x to y,
// the four feedback dampers take d (line by line) to their outputs, in place.
struct DamperStretch {
    DampingFilter* input;
    DampingFilter* const* feedback;  // ENGINE_FDN_COUNT of them
    const float* x;
    float* y;
    float (*d)[MAX_STRETCH];         // ENGINE_FDN_COUNT rows
};

struct StageKernels {
    // x[i] = input[i], or 0 where it is NaN or its magnitude exceeds limit.
    void (*guard_input)(const float* input, float limit, float* x, int32_t n);
    // to[i] = from[i] * gain.
    void (*scale)(const float* from, float gain, float* to, int32_t n);
    // A span of an allpass store without wrap-around (see
    // allpass_diffuser_run): n slots from `store`, inputs x, outputs out
    // (which may be x).
    void (*diffuse)(double c, double* store, const float* x, float* out, int32_t n);
    // sum[i] = ((P2 + P0) - P1 - P3) + E*x[i] in double, rounded once, with
    // P_k = E*e[k][i] + T*d[k][i] in single precision.
    void (*output_sum)(float E, float T, const float (*e)[MAX_STRETCH],
                       const float (*d)[MAX_STRETCH], const float* x, float* sum, int32_t n);
    // f[k][i] = the feedback matrix row k applied to d[.][i], plus e[k][i];
    // f[k] points anywhere (into a line's memory, for one).
    void (*feedback_mix)(const float (*d)[MAX_STRETCH], const float (*e)[MAX_STRETCH],
                         float* const* f, int32_t n);
    // The dampers of one or two engines (`engines`) over n samples, side by
    // side, so their serial recursions overlap.
    void (*damp)(const DamperStretch* stretches, int engines, int32_t n);
};

// The paths, widest last. Only x86-64 has an AVX2 path.
enum class StagePath { baseline, avx2 };

// True when this CPU (and its operating system) can take `path`.
bool stage_path_available(StagePath path);

// The kernels a new engine takes: the widest available path, or the one a
// test asked for with stage_path_force.
const StageKernels* stage_kernels_select();

// The kernels of one path; the caller has checked it is available.
const StageKernels* stage_kernels_for(StagePath path);

// Test hook, not exported from the plug-in library: engines created after
// this call take `path`. Returns false, changing nothing, when the CPU lacks
// it.
bool stage_path_force(StagePath path);
