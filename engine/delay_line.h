// DelayLine: a ring buffer of single-precision samples with one write
// position, read at fixed distances behind it.
#pragma once

#include <cstdint>

struct DelayLine {
    int32_t size;    // capacity in samples, positive
    int32_t index;   // slot the next push writes, in [0, size)
    float* samples;  // store of `size` values, the owner's
    // Pushes since the last value other than zero, at most `size`: the line
    // holds only zeros when this equals `size`.
    int32_t zero_pushes;
};

// Sets up a line in place over `samples`, a store of `size` zeros, size
// positive. The caller owns both: an engine keeps its lines and all its
// stores in one block, which it releases.
void delay_line_init(DelayLine* line, int32_t size, float* samples);

// Sets every stored sample to 0.0; the write position stays.
void delay_line_clear(DelayLine* line);

// The value pushed `distance` pushes ago. Callers keep distance in
// [1, size]; a distance of size reads the slot the next push overwrites.
// Compare-and-wrap instead of a remainder: identical for that range.
static inline float delay_line_tap(const DelayLine* line, int32_t distance)
{
    int32_t position = line->index - distance;
    if (position < 0)
        position += line->size;
    return line->samples[position];
}

// The value the next push overwrites: the one pushed `size` pushes ago.
static inline float delay_line_oldest(const DelayLine* line)
{
    return line->samples[line->index];
}

// Counts one more pushed value for the silence test.
static inline void delay_line_count_push(DelayLine* line, float v)
{
    if (v != 0.0f)
        line->zero_pushes = 0;
    else if (line->zero_pushes < line->size)
        ++line->zero_pushes;
}

// True when every stored sample is zero.
static inline bool delay_line_is_silent(const DelayLine* line)
{
    return line->zero_pushes == line->size;
}

// Stores v at the write position and advances it.
static inline void delay_line_push(DelayLine* line, float v)
{
    delay_line_count_push(line, v);
    line->samples[line->index] = v;
    if (++line->index == line->size)
        line->index = 0;
}
