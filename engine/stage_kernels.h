// StageKernels: the engine's stage-by-stage processing, built once per path
// from the same source (stretch_stages.h over vector_stages.h). Every path
// computes each value with the same operations, precisions and order as one
// sample at a time, so all paths give the same bits; a wider path only does
// more lanes at once.
//
// The baseline path is four floats or two doubles wide: SSE2 on x86-64, which
// every x86-64 CPU has, and NEON on aarch64. On x86-64 the AVX-512 path
// (sixteen floats or eight doubles) or else the AVX2 path (eight floats or
// four doubles) is taken when the CPU and the operating system support it;
// neither ever fuses a multiply-add. The choice is made when an engine is
// created and kept in the engine.
#pragma once

#include <cstdint>

#include "damping_filter.h"
#include "reverb_engine.h"

// Longest stretch processed stage by stage; bounds the stack scratch.
constexpr int32_t MAX_STRETCH = 64;

// One engine's values over a stretch, rewritten by every stretch.
struct StretchScratch {
    alignas(32) float x[MAX_STRETCH];           // guarded input
    alignas(32) float y[MAX_STRETCH];           // damped input, then diffused
    alignas(32) float e[ENGINE_TAP_COUNT][MAX_STRETCH];  // weighted taps
    alignas(32) float d[ENGINE_FDN_COUNT][MAX_STRETCH];  // damped feedback outputs
    alignas(32) float f[ENGINE_FDN_COUNT][MAX_STRETCH];  // values pushed to the lines
    alignas(32) float sum[MAX_STRETCH];         // input of the output chains
};

// One engine's share of a stretch processed alongside another: its input
// and where its outputs go.
struct EngineStretch {
    ReverbEngine* engine;
    const float* input;
    float* left;
    float* right;
    StretchScratch scratch;
};

struct StageKernels {
    // One stretch of n samples on `engines` engines (1, or 2 side by side so
    // that their serial damper recursions overlap), stage by stage: each
    // engine's state and outputs become those of n calls of
    // reverb_engine_process. n is at most MAX_STRETCH and at most every
    // engine's longest safe stretch (reverb_engine_stages.cpp).
    void (*stretch)(EngineStretch* stretches, int engines, int32_t n);
};

// The paths, widest last. Only x86-64 has the AVX2 and AVX-512 paths.
enum class StagePath { baseline, avx2, avx512 };

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
