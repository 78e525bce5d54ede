// DampingFilter: a one-pole low-pass, y = x(1 - c) + c * state, with unity
// gain at DC. A coefficient of 0 passes the input; towards 1 it damps more.
#pragma once

struct DampingFilter {
    float coefficient;  // feedback coefficient c
    float state;        // last output
};

// Sets up a filter in place, with state 0.0. The caller owns it: an engine
// keeps its filters in its one block.
void damping_filter_init(DampingFilter* filter, float coefficient);

// Sets the state to 0.0; the coefficient stays.
void damping_filter_clear(DampingFilter* filter);

// One sample. c * state is a single product; x(1 - c) is formed in double
// and the two terms are added in double and rounded once.
static inline float damping_filter_run(DampingFilter* filter, float x)
{
    const float c = filter->coefficient;
    const float held = c * filter->state;
    const double fed = double(x) * (1.0 - double(c));
    const float y = float(fed + double(held));
    filter->state = y;
    return y;
}
