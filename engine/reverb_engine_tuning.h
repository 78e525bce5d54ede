// Tuning shared by the engine's construction and its setters: the constants
// that turn room sizes into delay lengths, and the two steps both repeat
// whenever lengths or the decay change.
#pragma once

#include <cstdint>

#include "reverb_engine.h"

// 1/340: seconds per metre at a speed of sound of 340 m/s (construction).
constexpr double SECONDS_PER_METRE = 0.0029411764705882353;
// The same in single precision, rounded to 0.00294 (the setters).
constexpr float SECONDS_PER_METRE_F = 0.00294f;
// Feedback length ratios of lines 1 to 3 against line 0.
constexpr double FDN_RATIOS[3] = {0.81649, 0.7071, 0.63245};
constexpr float FDN_RATIOS_F[3] = {0.81649f, 0.7071f, 0.63245f};
// Tap positions as shares of the longest feedback delay (the setters).
constexpr float TAP_RATIOS_F[ENGINE_TAP_COUNT] = {0.41f, 0.3f, 0.155f, 0.01f};
// Tap offset in samples, so no tap reads the sample being written.
constexpr int32_t TAP_OFFSET = 5;
// 0.001 (-60 dB) as a single-precision base.
constexpr float SIXTY_DB_F = 0.001f;
// Inputs above this magnitude are treated as silence.
constexpr float ENGINE_INPUT_LIMIT = 100000.0f;

// fdn_gains[k] = -g^fdn_lengths[k], in single precision.
void reverb_engine_compute_feedback_gains(ReverbEngine* engine, float g);

// Keeps every read distance inside its line, whatever room size a caller
// passes (the plug-in's room sizes never reach these bounds), and sets the
// longest stretch the new lengths allow: the longest in which no read
// reaches a value written in the same stretch, at most MAX_STRETCH (see
// stretch_stages.h), from diffuser_stretch and the feedback lengths.
void reverb_engine_keep_reads_inside(ReverbEngine* engine);

// The longest stretch the diffusers alone allow, their lengths fixed at
// construction (the engine's diffuser_stretch).
int32_t reverb_engine_diffuser_stretch(const ReverbEngine* engine);
