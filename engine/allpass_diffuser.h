// AllpassDiffuser: an allpass section (c + z^-N) / (1 + c z^-N). Every value
// it stores is a single-precision value, kept as such: the step widens it to
// double when it reads it back, so the arithmetic is that of a store of
// doubles, with half the memory.
#pragma once

#include <cstdint>
#include <cstring>

#include "delay_line.h"

struct AllpassDiffuser {
    DelayLine line;       // the delay z^-N: N = line.size, the stored values
    float coefficient;    // allpass coefficient c
};

// Sets up a diffuser in place over `samples`, a store of `size` zeros, size
// positive. The caller owns both: an engine keeps its diffusers and all its
// stores in one block, which it releases.
void allpass_diffuser_init(AllpassDiffuser* diffuser, int32_t size, float coefficient,
                           float* samples);

// Sets every stored value to 0.0; coefficient and position stay.
void allpass_diffuser_clear(AllpassDiffuser* diffuser);

// True when the single-precision exponent field of v is below 16: zero,
// subnormals and magnitudes under 2^-111. NaN and infinity are not tiny.
static inline bool allpass_diffuser_is_tiny(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return ((bits >> 23) & 0xffu) < 16u;
}

// One sample: w = x - c*old (double, rounded to single, tiny values cut to
// zero) is stored; old + c*w (double, rounded to single) is returned.
static inline float allpass_diffuser_run(AllpassDiffuser* diffuser, float x)
{
    const double c = double(diffuser->coefficient);
    const double old = double(delay_line_oldest(&diffuser->line));
    float w = float(double(x) - c * old);
    if (allpass_diffuser_is_tiny(w))
        w = 0.0f;
    delay_line_push(&diffuser->line, w);
    return float(old + c * double(w));
}
