#include "delay_line.h"

void delay_line_init(DelayLine* line, int32_t size, float* samples)
{
    line->size = size;
    line->index = 0;
    line->samples = samples;
    line->zero_pushes = size;
}

void delay_line_clear(DelayLine* line)
{
    for (int32_t i = 0; i < line->size; ++i)
        line->samples[i] = 0.0f;
    line->zero_pushes = line->size;
}
