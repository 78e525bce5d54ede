// FilterSection: a second-order section in direct form, designed as the
// cookbook high-pass or low-pass in its bandwidth form. Five coefficients
// normalised by a0 (feedback weights stored with their sign turned, so
// processing only adds products), then four history values.
#pragma once

#include <cstdint>
#include <cstring>

struct FilterSection {
    float fb1;  // -a1/a0
    float fb2;  // -a2/a0
    float ff0;  // b0/a0
    float ff1;  // b1/a0
    float ff2;  // b2/a0
    float x1;   // previous input
    float x2;   // input two samples back
    float y1;   // previous output
    float y2;   // output two samples back
};

// Bandwidth factors: bandwidth in octaves times ln 2 / 2.
constexpr double LOW_CUT_BANDWIDTH = 0.20794416243094188;  // 0.6 octaves (f32)
constexpr double BAND_BANDWIDTH = 0.69314718055994529;     // 2 octaves (ln 2)

// Block-rate designs: overwrite the five coefficients, leave the history.
// Sound for frequencies strictly between 0 and half the sample rate.
void filter_section_highpass(FilterSection* section, float frequency, float sample_rate,
                             double bandwidth_factor);
void filter_section_lowpass(FilterSection* section, float frequency, float sample_rate,
                            double bandwidth_factor);

// Sets the four history values to 0.0.
static inline void filter_section_clear(FilterSection* section)
{
    section->x1 = section->x2 = section->y1 = section->y2 = 0.0f;
}

// One sample, in single precision with the additions in a fixed order.
// Outputs whose exponent field is 15 or less (magnitude below 2^-111,
// denormals, zero) become +0.0, so a decaying section settles at exactly 0.
static inline float filter_section_process(FilterSection* section, float x)
{
    float y = section->ff2 * section->x2 + section->ff1 * section->x1;
    y = y + section->fb1 * section->y1;
    y = y + section->fb2 * section->y2;
    y = y + section->ff0 * x;
    uint32_t bits;
    std::memcpy(&bits, &y, sizeof bits);
    if (((bits >> 23) & 0xffu) <= 15u)
        y = 0.0f;
    section->x2 = section->x1;
    section->x1 = x;
    section->y2 = section->y1;
    section->y1 = y;
    return y;
}
