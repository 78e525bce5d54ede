// The block stage: turns the twelve control values into the settings of one
// run call (filter designs, engine parameters, pre-delay target, wet and dry
// gain targets), and steps the gains inside the sample loop.
#pragma once

#include "reverb_instance.h"

enum class ReverbVariant { mono, stereo };

// Gains one run call asks for; lives for that call only.
struct BlockTargets {
    float wet_target;      // gain of the reverberated signal
    float dry_target;      // gain of the direct signal
    float low_band_scale;  // factor on engine_b's band; applied by the stereo run only
};

// Gain steps per step_gains call.
constexpr double MONO_GAIN_STEP = 0.02;
constexpr double STEREO_GAIN_STEP = 0.1;
// step_gains runs before every sample whose index in the call is a multiple of this.
constexpr uint32_t GAIN_STEP_INTERVAL = 64;

// Block rate, first thing in every run call (also with zero samples). Reads
// each control port once and never touches the audio ports. Controls outside
// their declared ranges are clamped into them (NaN takes the default) where
// the formulas would otherwise go unstable; room size, low cut and pre-delay
// are limited as always; a wet level at or below -90 dB, or NaN, silences
// the wet signal. Calls powf, sincosf and sinh; allocates nothing.
BlockTargets prepare_block(ReverbInstance* self, ReverbVariant variant);

// Called before sample 0, 64, 128, ... of a call: raises the fade by 0.01
// while it is below 1 and moves each gain toward its target by at most
// `step`, storing the result both in the instance and in `targets`.
void step_gains(ReverbInstance* self, BlockTargets* targets, double step);
