// The GUI's clock: monotonic seconds, for debouncing, double-clicks, hover
// delays and the preview's time budget.
#pragma once

#include <ctime>

static inline double ui_now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
