#include "delay_line.h"

#include <cstdlib>

DelayLine* delay_line_create(int32_t size)
{
    if (size <= 0)
        return nullptr;
    DelayLine* line = static_cast<DelayLine*>(std::malloc(sizeof(DelayLine)));
    if (!line)
        return nullptr;
    float* samples = static_cast<float*>(std::calloc(size_t(size), sizeof(float)));
    if (!samples) {
        std::free(line);
        return nullptr;
    }
    delay_line_init(line, size, samples);
    return line;
}

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

void delay_line_destroy(DelayLine* line)
{
    if (!line)
        return;
    std::free(line->samples);
    std::free(line);
}
