#include "damping_filter.h"

#include <cstdlib>

DampingFilter* damping_filter_create(float coefficient)
{
    DampingFilter* filter = static_cast<DampingFilter*>(std::malloc(sizeof(DampingFilter)));
    if (!filter)
        return nullptr;
    damping_filter_init(filter, coefficient);
    return filter;
}

void damping_filter_init(DampingFilter* filter, float coefficient)
{
    filter->coefficient = coefficient;
    filter->state = 0.0f;
}

void damping_filter_clear(DampingFilter* filter)
{
    filter->state = 0.0f;
}

void damping_filter_destroy(DampingFilter* filter)
{
    std::free(filter);
}
