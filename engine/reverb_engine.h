// ReverbEngine: a one-input, two-output feedback-delay-network reverberator.
// An input damper and diffuser feed a tap line (four early reflections) and
// four damped feedback delays mixed through an orthogonal matrix; two chains
// of three allpass diffusers give the left and right outputs.
//
// Every arithmetic step has a fixed precision and order, so the output of a
// given engine is the same to the bit on every build of this library.
#pragma once

#include <cstdint>
#include <cstring>

#include "allpass_diffuser.h"
#include "damping_filter.h"
#include "delay_line.h"

struct StageKernels;

constexpr int ENGINE_FDN_COUNT = 4;
constexpr int ENGINE_TAP_COUNT = 4;
constexpr int ENGINE_CHAIN_LENGTH = 3;

struct ReverbEngine {
    int32_t sample_rate;
    float input_bandwidth;  // input damper coefficient is 1 - this
    float tail_level;       // gain of the feedback outputs in the output sum
    float early_level;      // gain of the taps and the direct input
    DampingFilter* input_damper;
    float max_room_size;    // metres; fixes the feedback delay capacities
    float room_size;        // metres
    float decay_time;       // seconds to fall by 60 dB
    float max_delay;        // max_room_size in samples
    float largest_delay;    // room_size in samples; longest feedback delay
    DelayLine* fdn_delays[ENGINE_FDN_COUNT];
    float fdn_gains[ENGINE_FDN_COUNT];        // negative feedback gains
    int32_t fdn_lengths[ENGINE_FDN_COUNT];    // feedback delays in samples
    DampingFilter* fdn_dampers[ENGINE_FDN_COUNT];
    float damping;          // coefficient of the four feedback dampers
    AllpassDiffuser* input_diffuser;
    AllpassDiffuser* left_diffusers[ENGINE_CHAIN_LENGTH];
    AllpassDiffuser* right_diffusers[ENGINE_CHAIN_LENGTH];
    DelayLine* tap_delay;
    int32_t tap_positions[ENGINE_TAP_COUNT];  // tap distances in samples
    float tap_gains[ENGINE_TAP_COUNT];
    float fdn_outputs[ENGINE_FDN_COUNT];      // per-sample scratch
    float tap_outputs[ENGINE_TAP_COUNT];      // per-sample scratch
    float fdn_feedback[ENGINE_FDN_COUNT];     // per-sample scratch
    double decay_factor;    // per-sample factor reaching 0.001 after decay_time
    // The vector stages, of the widest path the CPU offered when the engine
    // was created (stage_kernels.h).
    const StageKernels* kernels;
    // The longest stretch stage-by-stage processing may take with the
    // current lengths (reverb_engine_stages.cpp); follows every room size.
    int32_t longest_stretch;
    // The part of that limit the diffusers' lengths set: they never change
    // after construction, so a new room size only compares its own lengths.
    int32_t diffuser_stretch;
};

// One processed sample: the outputs of the left and the right chain.
struct ReverbEngineOutput {
    float left;
    float right;
};

// Single-precision value to the nearest integer, ties to even, by adding
// 1.5 * 2^23 and reading the integer out of the sum's encoding. Exact for
// |v| < 2^22. Inline: a room size change rounds sixteen lengths.
static inline int32_t round_to_nearest(float v)
{
    const float shifted = v + 12582912.0f;  // 1.5 * 2^23
    int32_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    return bits - 0x4B400000;
}

// Builds an engine for `rate` Hz. Returns null, having released whatever it
// had built, when memory cannot be obtained or a size comes out non-positive
// (a rate that is not positive, for instance).
ReverbEngine* reverb_engine_create(int32_t rate, float max_room_size, float room_size,
                                   float decay_time, float damping, float spread,
                                   float input_bandwidth, float early_level,
                                   float tail_level);

// Clears all audio state: damper states, line and diffuser stores, scratch.
// Tuning and write positions stay.
void reverb_engine_flush(ReverbEngine* engine);

// Setters, called between samples. When both change at once, set the room
// size before the decay time: the room size reads the current decay factor.
void reverb_engine_set_room_size(ReverbEngine* engine, float size);
void reverb_engine_set_decay_time(ReverbEngine* engine, float seconds);
// The room size, then the decay time: the same tuning as the two setters in
// that order, with the work of the first that the second replaces left out.
void reverb_engine_set_room_size_and_decay_time(ReverbEngine* engine, float size,
                                                float seconds);

// The four setters that only store a value, inline, so a block stage that
// sets them costs no calls.
static inline void reverb_engine_set_damping(ReverbEngine* engine, float damping)
{
    engine->damping = damping;
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        engine->fdn_dampers[k]->coefficient = damping;
}

static inline void reverb_engine_set_input_bandwidth(ReverbEngine* engine, float bandwidth)
{
    engine->input_bandwidth = bandwidth;
    engine->input_damper->coefficient = 1.0f - bandwidth;
}

static inline void reverb_engine_set_early_level(ReverbEngine* engine, float level)
{
    engine->early_level = level;
}

static inline void reverb_engine_set_tail_level(ReverbEngine* engine, float level)
{
    engine->tail_level = level;
}

// One input sample to one left and one right output sample.
ReverbEngineOutput reverb_engine_process(ReverbEngine* engine, float x);

// `count` samples at once, with results identical to `count` calls of
// reverb_engine_process: the engine's state afterwards is the same, and
// left[i], right[i] are the outputs of sample i. Stretches of samples in
// which no read reaches a value written in the same stretch are processed
// stage by stage, a vector of samples to an operation; `left` and `right`
// may share a buffer with `input`, not with each other.
void reverb_engine_process_samples(ReverbEngine* engine, const float* input, float* left,
                                   float* right, int32_t count);

// Two engines over the same `count` samples, each exactly as
// reverb_engine_process_samples would run it, side by side so the serial
// damper recursions of both overlap. The engines must be distinct.
void reverb_engine_process_pair(ReverbEngine* first, const float* first_input, float* first_left,
                                float* first_right, ReverbEngine* second,
                                const float* second_input, float* second_left,
                                float* second_right, int32_t count);

// True when every line, diffuser store and damper state of the engine is
// zero: fed silence, it outputs +0.0 on both sides and stays silent.
bool reverb_engine_is_silent(const ReverbEngine* engine);

// Advances a silent engine by `count` samples of silent input without
// computing them, leaving exactly the state processing would: positions
// moved on, per-sample scratch at zero.
void reverb_engine_skip_silence(ReverbEngine* engine, int32_t count);

// Releases the engine and everything it owns. Null is ignored.
void reverb_engine_destroy(ReverbEngine* engine);
