#include "reverb_engine.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "block_kernels.h"
#include "feedback_matrix.h"

namespace {

// 1/340: seconds per metre at a speed of sound of 340 m/s (construction).
constexpr double SECONDS_PER_METRE = 0.0029411764705882353;
// The same in single precision, rounded to 0.00294 (the setters).
constexpr float SECONDS_PER_METRE_F = 0.00294f;
// Headroom of the feedback delay lines beyond the largest room.
constexpr int32_t FDN_HEADROOM = 1000;
// Feedback length ratios of lines 1 to 3 against line 0.
constexpr double FDN_RATIOS[3] = {0.81649, 0.7071, 0.63245};
constexpr float FDN_RATIOS_F[3] = {0.81649f, 0.7071f, 0.63245f};
// Tap positions as shares of the longest feedback delay (the setters).
constexpr float TAP_RATIOS_F[ENGINE_TAP_COUNT] = {0.41f, 0.3f, 0.155f, 0.01f};
// Tap offset in samples, so no tap reads the sample being written.
constexpr int32_t TAP_OFFSET = 5;
// 0.001 (-60 dB) as a single-precision base.
constexpr float SIXTY_DB_F = 0.001f;
// Inputs above this magnitude are treated as silence.
constexpr float INPUT_LIMIT = 100000.0f;

// The diffuser chain is laid out in 1341 shares of the shortest feedback
// delay: 210 for the input diffuser and the rest for each output chain.
constexpr float SHARE_PER_SAMPLE = 0.000745712139f;  // 1/1341
constexpr int32_t TOTAL_SHARES = 1341;

void compute_feedback_gains(ReverbEngine* engine, float g)
{
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        engine->fdn_gains[k] = -powf(g, float(engine->fdn_lengths[k]));
}

// Keeps every read distance inside its line, whatever room size a caller
// passes; the plug-in's room sizes never reach these bounds.
void keep_reads_inside(ReverbEngine* engine)
{
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        if (engine->fdn_lengths[k] > engine->fdn_delays[k]->size)
            engine->fdn_lengths[k] = engine->fdn_delays[k]->size;
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        if (engine->tap_positions[k] > engine->tap_delay->size)
            engine->tap_positions[k] = engine->tap_delay->size;
}

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
    engine->kernels = block_kernels_select();

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
        compute_feedback_gains(engine, float(engine->decay_factor));
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

    keep_reads_inside(engine);
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

void reverb_engine_set_room_size(ReverbEngine* engine, float size)
{
    if (!(size > 1.0f))
        size = 1.0f;  // also NaN
    engine->room_size = size;
    const float largest = float(engine->sample_rate) * (size * SECONDS_PER_METRE_F);
    engine->largest_delay = largest;

    engine->fdn_lengths[0] = round_to_nearest(largest);
    for (int k = 1; k < ENGINE_FDN_COUNT; ++k)
        engine->fdn_lengths[k] = round_to_nearest(largest * FDN_RATIOS_F[k - 1]);
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        engine->tap_positions[k] = round_to_nearest(largest * TAP_RATIOS_F[k]) + TAP_OFFSET;
    keep_reads_inside(engine);

    const float g = float(engine->decay_factor);
    compute_feedback_gains(engine, g);
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        engine->tap_gains[k] = powf(g, float(engine->tap_positions[k]));
}

void reverb_engine_set_decay_time(ReverbEngine* engine, float seconds)
{
    engine->decay_time = seconds;
    const float samples = float(engine->sample_rate) * seconds;
    const float g = powf(SIXTY_DB_F, float(1.0 / double(samples)));
    engine->decay_factor = double(g);
    compute_feedback_gains(engine, g);
}

void reverb_engine_set_damping(ReverbEngine* engine, float damping)
{
    engine->damping = damping;
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        engine->fdn_dampers[k]->coefficient = damping;
}

void reverb_engine_set_input_bandwidth(ReverbEngine* engine, float bandwidth)
{
    engine->input_bandwidth = bandwidth;
    engine->input_damper->coefficient = 1.0f - bandwidth;
}

void reverb_engine_set_early_level(ReverbEngine* engine, float level)
{
    engine->early_level = level;
}

void reverb_engine_set_tail_level(ReverbEngine* engine, float level)
{
    engine->tail_level = level;
}

ReverbEngineOutput reverb_engine_process(ReverbEngine* engine, float x)
{
    // Input guard: NaN and magnitudes above the limit act as silence.
    if (std::isnan(x) || std::fabs(x) > INPUT_LIMIT)
        x = 0.0f;

    const float y = damping_filter_run(engine->input_damper, x);
    const float z = allpass_diffuser_run(engine->input_diffuser, y);

    float* const e = engine->tap_outputs;
    DelayLine* const taps = engine->tap_delay;
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        e[k] = delay_line_tap(taps, engine->tap_positions[k]) * engine->tap_gains[k];
    delay_line_push(taps, z);

    float* const d = engine->fdn_outputs;
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        const float fed =
            delay_line_tap(engine->fdn_delays[k], engine->fdn_lengths[k]) * engine->fdn_gains[k];
        d[k] = damping_filter_run(engine->fdn_dampers[k], fed);
    }

    const float E = engine->early_level;
    const float T = engine->tail_level;
    float P[ENGINE_FDN_COUNT];
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        P[k] = E * e[k] + T * d[k];
    double acc = double(P[2]) + double(P[0]);
    acc = acc - double(P[1]);
    acc = acc - double(P[3]);
    acc = acc + double(E * x);
    const float sum = float(acc);

    float* const f = engine->fdn_feedback;
    feedback_matrix_mix(d, f);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        delay_line_push(engine->fdn_delays[k], f[k] + e[k]);

    float left = sum;
    float right = sum;
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        left = allpass_diffuser_run(engine->left_diffusers[k], left);
        right = allpass_diffuser_run(engine->right_diffusers[k], right);
    }
    return {left, right};
}

bool reverb_engine_is_silent(const ReverbEngine* engine)
{
    if (engine->input_damper->state != 0.0f || !delay_line_is_silent(engine->tap_delay) ||
        !allpass_diffuser_is_silent(engine->input_diffuser))
        return false;
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        if (engine->fdn_dampers[k]->state != 0.0f || !delay_line_is_silent(engine->fdn_delays[k]))
            return false;
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k)
        if (!allpass_diffuser_is_silent(engine->left_diffusers[k]) ||
            !allpass_diffuser_is_silent(engine->right_diffusers[k]))
            return false;
    return true;
}

namespace {

// index + count, wrapped into [0, size); count is a stretch of a block, so
// this usually takes one compare and no division.
int32_t advanced(int32_t index, int32_t size, int32_t count)
{
    int64_t moved = int64_t(index) + count;
    while (moved >= size)
        moved -= size;
    return int32_t(moved);
}

void skip_line(DelayLine* line, int32_t count)
{
    line->index = advanced(line->index, line->size, count);
}

void skip_diffuser(AllpassDiffuser* diffuser, int32_t count)
{
    diffuser->index = advanced(diffuser->index, diffuser->size, count);
}

}  // namespace

void reverb_engine_skip_silence(ReverbEngine* engine, int32_t count)
{
    // Silence in a silent engine computes +0.0 everywhere: the dampers keep
    // their zero state, every store takes zeros, and only the positions move.
    skip_line(engine->tap_delay, count);
    skip_diffuser(engine->input_diffuser, count);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        skip_line(engine->fdn_delays[k], count);
        engine->fdn_outputs[k] = 0.0f;
        engine->tap_outputs[k] = 0.0f;
        engine->fdn_feedback[k] = 0.0f;
    }
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        skip_diffuser(engine->left_diffusers[k], count);
        skip_diffuser(engine->right_diffusers[k], count);
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
