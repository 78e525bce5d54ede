// AllpassDiffuser: an allpass section (c + z^-N) / (1 + c z^-N). Every value
// it stores is a single-precision value, kept as such: the step widens it to
// double when it reads it back, so the arithmetic is that of a store of
// doubles, with half the memory.
#pragma once

#include <cstdint>
#include <cstring>

struct AllpassDiffuser {
    int32_t size;         // allpass delay N in samples, positive
    float coefficient;    // allpass coefficient c
    int32_t index;        // current slot, in [0, size)
    float* samples;       // owned store of `size` values
    // Values stored since the last one other than zero, at most `size`: the
    // store holds only zeros when this equals `size`.
    int32_t zero_stores;
};

// Makes a diffuser with a silent store. Returns null when size is not
// positive or memory cannot be obtained.
AllpassDiffuser* allpass_diffuser_create(int32_t size, float coefficient);

// Sets up a diffuser in place over `samples`, a store of `size` zeros that
// the caller owns (an engine keeps all its stores in one block).
void allpass_diffuser_init(AllpassDiffuser* diffuser, int32_t size, float coefficient,
                           float* samples);

// Sets every stored value to 0.0; coefficient and index stay.
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
    const double old = double(diffuser->samples[diffuser->index]);
    float w = float(double(x) - c * old);
    if (allpass_diffuser_is_tiny(w))
        w = 0.0f;
    if (w != 0.0f)
        diffuser->zero_stores = 0;
    else if (diffuser->zero_stores < diffuser->size)
        ++diffuser->zero_stores;
    diffuser->samples[diffuser->index] = w;
    const float out = float(old + c * double(w));
    if (++diffuser->index == diffuser->size)
        diffuser->index = 0;
    return out;
}

// True when every stored value is zero.
static inline bool allpass_diffuser_is_silent(const AllpassDiffuser* diffuser)
{
    return diffuser->zero_stores == diffuser->size;
}

void allpass_diffuser_destroy(AllpassDiffuser* diffuser);
