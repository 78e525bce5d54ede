#include "predelay_line.h"

namespace {

constexpr double SECONDS_PER_MS = 0.001;

}  // namespace

void predelay_line_set_target(ReverbInstance* self, float predelay_ms)
{
    // Larger of 0 and v first (NaN stays NaN), then the smaller of that and
    // the control's top, 150 (NaN becomes 150).
    const float top = CONTROL_RANGES[PORT_PREDELAY].max;
    float v = predelay_ms < 0.0f ? 0.0f : predelay_ms;
    v = v < top ? v : top;
    const float seconds = float(double(v) * SECONDS_PER_MS);
    const float samples = seconds * float(self->sample_rate);
    int32_t n = int32_t(samples);
    if (n > PREDELAY_CAPACITY)
        n = PREDELAY_CAPACITY;
    self->predelay_target = double(n);
}
