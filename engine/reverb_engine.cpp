// Construction, flushing and destruction of the engine.
#include "reverb_engine.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "reverb_engine_tuning.h"
#include "stage_kernels.h"

namespace {

// Headroom of the feedback delay lines beyond the largest room.
constexpr int32_t FDN_HEADROOM = 1000;

// The diffuser chain is laid out in 1341 shares of the shortest feedback
// delay: 210 for the input diffuser and the rest for each output chain.
constexpr float SHARE_PER_SAMPLE = 0.000745712139f;  // 1/1341
constexpr int32_t TOTAL_SHARES = 1341;

// Tap line length: 44000 samples, or more when a room of max_room_size at
// this rate puts the first tap further back, so every tap fits.
int32_t tap_line_size(int32_t rate, float max_room_size, float max_delay,
                      float largest_delay)
{
    const float longest = float(rate) * (max_room_size * SECONDS_PER_METRE_F);
    int32_t size = ENGINE_MIN_TAP_LINE;
    const int32_t by_setter = round_to_nearest(longest * TAP_RATIOS_F[0]) + TAP_OFFSET;
    const int32_t by_max = int32_t(0.41 * double(max_delay) + 5.0);
    const int32_t by_room = int32_t(0.41 * double(largest_delay) + 5.0);
    if (by_setter > size)
        size = by_setter;
    if (by_max > size)
        size = by_max;
    if (by_room > size)
        size = by_room;
    return size;
}

bool create_diffusers(ReverbEngine* engine, float spread)
{
    const float F = float(engine->fdn_lengths[3]) * SHARE_PER_SAMPLE;
    const float spread3 = 3.0f * spread;
    const int32_t a = int32_t(0.125541f * spread);
    const int32_t b = int32_t(0.854046f * spread3);
    const int32_t c = int32_t(spread * -0.568366f);
    const int32_t d = int32_t(spread3 * -0.126815f);

    engine->input_diffuser = allpass_diffuser_create(int32_t(F * 210.0f), 0.75f);

    const int32_t left_shares[ENGINE_CHAIN_LENGTH] = {
        a + 159, (b + 931) - (a + 369), TOTAL_SHARES - (b + 931)};
    const int32_t right_shares[ENGINE_CHAIN_LENGTH] = {
        c + 159, (d + 931) - (c + 369), TOTAL_SHARES - (d + 931)};
    const float coefficients[ENGINE_CHAIN_LENGTH] = {0.78f, 0.625f, 0.635f};
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        engine->left_diffusers[k] =
            allpass_diffuser_create(int32_t(float(left_shares[k]) * F), coefficients[k]);
        engine->right_diffusers[k] =
            allpass_diffuser_create(int32_t(float(right_shares[k]) * F), coefficients[k]);
        if (!engine->left_diffusers[k] || !engine->right_diffusers[k])
            return false;
    }
    return engine->input_diffuser != nullptr;
}

}  // namespace

void reverb_engine_compute_feedback_gains(ReverbEngine* engine, float g)
{
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        engine->fdn_gains[k] = -powf(g, float(engine->fdn_lengths[k]));
}

void reverb_engine_keep_reads_inside(ReverbEngine* engine)
{
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        if (engine->fdn_lengths[k] > engine->fdn_delays[k]->size)
            engine->fdn_lengths[k] = engine->fdn_delays[k]->size;
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        if (engine->tap_positions[k] > engine->tap_delay->size)
            engine->tap_positions[k] = engine->tap_delay->size;
}

int32_t round_to_nearest(float v)
{
    const float shifted = v + 12582912.0f;  // 1.5 * 2^23
    int32_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    return bits - 0x4B400000;
}

ReverbEngine* reverb_engine_create(int32_t rate, float max_room_size, float room_size,
                                   float decay_time, float damping, float spread,
                                   float input_bandwidth, float early_level,
                                   float tail_level)
{
    if (rate <= 0)
        return nullptr;
    // Zero-filled, so a partly built engine can always be destroyed.
    ReverbEngine* engine = static_cast<ReverbEngine*>(std::calloc(1, sizeof(ReverbEngine)));
    if (!engine)
        return nullptr;
    engine->sample_rate = rate;
    engine->max_room_size = max_room_size;
    engine->room_size = room_size;
    engine->decay_time = decay_time;
    engine->damping = damping;
    engine->input_bandwidth = input_bandwidth;
    engine->early_level = early_level;
    engine->tail_level = tail_level;
    engine->kernels = stage_kernels_select();

    const float rate_f = float(rate);
    engine->max_delay = float(double(max_room_size * rate_f) * SECONDS_PER_METRE);
    engine->largest_delay = float(double(room_size * rate_f) * SECONDS_PER_METRE);

    engine->input_damper = damping_filter_create(1.0f - input_bandwidth);
    if (!engine->input_damper)
        goto fail;

    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        engine->fdn_delays[k] = delay_line_create(int32_t(engine->max_delay) + FDN_HEADROOM);
        engine->fdn_dampers[k] = damping_filter_create(damping);
        if (!engine->fdn_delays[k] || !engine->fdn_dampers[k])
            goto fail;
    }

    {
        const int32_t n = int32_t(rate_f * decay_time);
        engine->decay_factor = std::pow(double(SIXTY_DB_F), 1.0 / double(n));

        engine->fdn_lengths[0] = round_to_nearest(engine->largest_delay);
        for (int k = 1; k < ENGINE_FDN_COUNT; ++k)
            engine->fdn_lengths[k] =
                round_to_nearest(float(double(engine->largest_delay) * FDN_RATIOS[k - 1]));
        reverb_engine_compute_feedback_gains(engine, float(engine->decay_factor));
    }

    if (!create_diffusers(engine, spread))
        goto fail;

    engine->tap_delay = delay_line_create(
        tap_line_size(rate, max_room_size, engine->max_delay, engine->largest_delay));
    if (!engine->tap_delay)
        goto fail;

    engine->tap_positions[0] = int32_t(0.41 * double(engine->largest_delay) + 5.0);
    engine->tap_positions[1] = int32_t(0.3 * double(engine->largest_delay) + 5.0);
    engine->tap_positions[2] = int32_t(0.155 * double(engine->largest_delay) + 5.0);
    engine->tap_positions[3] = TAP_OFFSET;
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        engine->tap_gains[k] =
            float(std::pow(engine->decay_factor, double(engine->tap_positions[k])));

    reverb_engine_keep_reads_inside(engine);
    // The scratch arrays are zero from the zero-filled allocation.
    return engine;

fail:
    reverb_engine_destroy(engine);
    return nullptr;
}

void reverb_engine_flush(ReverbEngine* engine)
{
    damping_filter_clear(engine->input_damper);
    allpass_diffuser_clear(engine->input_diffuser);
    delay_line_clear(engine->tap_delay);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        delay_line_clear(engine->fdn_delays[k]);
        damping_filter_clear(engine->fdn_dampers[k]);
        engine->fdn_outputs[k] = 0.0f;
        engine->tap_outputs[k] = 0.0f;
        engine->fdn_feedback[k] = 0.0f;
    }
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        allpass_diffuser_clear(engine->left_diffusers[k]);
        allpass_diffuser_clear(engine->right_diffusers[k]);
    }
}

void reverb_engine_destroy(ReverbEngine* engine)
{
    if (!engine)
        return;
    damping_filter_destroy(engine->input_damper);
    allpass_diffuser_destroy(engine->input_diffuser);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        delay_line_destroy(engine->fdn_delays[k]);
        damping_filter_destroy(engine->fdn_dampers[k]);
    }
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        allpass_diffuser_destroy(engine->left_diffusers[k]);
        allpass_diffuser_destroy(engine->right_diffusers[k]);
    }
    delay_line_destroy(engine->tap_delay);
    std::free(engine);
}
