// The engine's setters: retuning between samples.
#include <cmath>

#include "reverb_engine.h"
#include "reverb_engine_tuning.h"

namespace {

// The room size's lengths and tap positions, without any gain.
void set_room_lengths(ReverbEngine* engine, float size)
{
    if (!(size > 1.0f))
        size = 1.0f;  // also NaN
    engine->room_size = size;
    const float largest = float(engine->sample_rate) * (size * SECONDS_PER_METRE_F);
    engine->largest_delay = largest;

    engine->fdn_lengths[0] = round_to_nearest(largest);
#pragma GCC unroll 4
    for (int k = 1; k < ENGINE_FDN_COUNT; ++k)
        engine->fdn_lengths[k] = round_to_nearest(largest * FDN_RATIOS_F[k - 1]);
#pragma GCC unroll 4
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        engine->tap_positions[k] = round_to_nearest(largest * TAP_RATIOS_F[k]) + TAP_OFFSET;
    reverb_engine_keep_reads_inside(engine);
}

void set_tap_gains(ReverbEngine* engine, float g)
{
#pragma GCC unroll 4
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        engine->tap_gains[k] = powf(g, float(engine->tap_positions[k]));
}

}  // namespace

void reverb_engine_set_room_size(ReverbEngine* engine, float size)
{
    set_room_lengths(engine, size);
    const float g = float(engine->decay_factor);
    reverb_engine_compute_feedback_gains(engine, g);
    set_tap_gains(engine, g);
}

void reverb_engine_set_room_size_and_decay_time(ReverbEngine* engine, float size, float seconds)
{
    // The feedback gains the room size alone would work out are replaced at
    // once by the decay time's, so they are left out; the tap gains keep the
    // decay factor in force before the new decay time.
    set_room_lengths(engine, size);
    set_tap_gains(engine, float(engine->decay_factor));
    reverb_engine_set_decay_time(engine, seconds);
}

void reverb_engine_set_decay_time(ReverbEngine* engine, float seconds)
{
    engine->decay_time = seconds;
    const float samples = float(engine->sample_rate) * seconds;
    const float g = powf(SIXTY_DB_F, float(1.0 / double(samples)));
    engine->decay_factor = double(g);
    reverb_engine_compute_feedback_gains(engine, g);
}
