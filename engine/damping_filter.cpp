#include "damping_filter.h"

void damping_filter_init(DampingFilter* filter, float coefficient)
{
    filter->coefficient = coefficient;
    filter->state = 0.0f;
}

void damping_filter_clear(DampingFilter* filter)
{
    filter->state = 0.0f;
}
