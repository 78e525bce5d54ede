// BlockKernels: the vector stages of the engine's block processing, in one
// table per instruction-set path. Every path computes each value with the
// same operations, precisions and order as one sample at a time, so all
// paths give the same bits; a wider path only does more lanes at once.
//
// The baseline path uses SSE2, which every x86-64 CPU has. The AVX2 path
// (eight floats or four doubles per instruction, never fused multiply-adds)
// is taken when the CPU and the operating system support it. The choice is
// made when an engine is created and kept in the engine.
#pragma once

#include <cstdint>

#include "damping_filter.h"

// Longest run of samples processed stage by stage; bounds the stack scratch.
constexpr int32_t BLOCK_RUN_LENGTH = 64;
constexpr int BLOCK_LINES = 4;  // feedback lines per engine

// One engine's five dampers over a run: the input damper takes x to y, the
// four feedback dampers take d (line by line) to their outputs, in place.
struct DamperRun {
    DampingFilter* input;
    DampingFilter* const* feedback;  // BLOCK_LINES of them
    const float* x;
    float* y;
    float (*d)[BLOCK_RUN_LENGTH];    // BLOCK_LINES rows
};

struct BlockKernels {
    // x[i] = input[i], or 0 where it is NaN or its magnitude exceeds limit.
    void (*guard_input)(const float* input, float limit, float* x, int32_t n);
    // to[i] = from[i] * gain.
    void (*scale)(const float* from, float gain, float* to, int32_t n);
    // One stretch of an allpass store without wrap-around (see
    // allpass_diffuser_run): n slots from `store`, inputs x, outputs out
    // (which may be x).
    void (*diffuse)(double c, double* store, const float* x, float* out, int32_t n);
    // sum[i] = ((P2 + P0) - P1 - P3) + E*x[i] in double, rounded once, with
    // P_k = E*e[k][i] + T*d[k][i] in single precision.
    void (*output_sum)(float E, float T, const float (*e)[BLOCK_RUN_LENGTH],
                       const float (*d)[BLOCK_RUN_LENGTH], const float* x, float* sum,
                       int32_t n);
    // f[k][i] = the feedback matrix row k applied to d[.][i], plus e[k][i];
    // f[k] points anywhere (into a line's memory, for one).
    void (*feedback_mix)(const float (*d)[BLOCK_RUN_LENGTH], const float (*e)[BLOCK_RUN_LENGTH],
                         float* const* f, int32_t n);
    // The dampers of one or two engines (`engines`) over n samples, side by
    // side, so their serial recursions overlap.
    void (*damp)(const DamperRun* runs, int engines, int32_t n);
};

// The paths, widest last.
enum class BlockPath { sse2, avx2 };

// True when this CPU (and its operating system) can take `path`.
bool block_path_available(BlockPath path);

// The kernels a new engine takes: the widest available path, or the one a
// test asked for with block_path_force.
const BlockKernels* block_kernels_select();

// The kernels of one path; the caller has checked it is available.
const BlockKernels* block_kernels_for(BlockPath path);

// Test hook, not exported from the plug-in library: engines created after
// this call take `path`. Returns false, changing nothing, when the CPU lacks
// it.
bool block_path_force(BlockPath path);
