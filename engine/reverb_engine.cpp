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

// Tap line length: as long as the farthest tap reaches, so every tap fits
// and none of the line is kept for nothing. That tap is the first, as the
// room-size setter places it for the largest room (max_room_size), or as
// construction places it for the room it is built with.
int32_t tap_line_size(int32_t rate, float max_room_size, float largest_delay)
{
    const float longest = float(rate) * (max_room_size * SECONDS_PER_METRE_F);
    const int32_t by_setter = round_to_nearest(longest * TAP_RATIOS_F[0]) + TAP_OFFSET;
    const int32_t by_room = int32_t(0.41 * double(largest_delay) + 5.0);
    return by_room > by_setter ? by_room : by_setter;
}

// The diffuser lengths of a spread for a shortest feedback length of
// `shortest`: the input diffuser, then the left chain, then the right one.
constexpr int DIFFUSER_COUNT = 1 + 2 * ENGINE_CHAIN_LENGTH;

void diffuser_sizes(int32_t shortest, float spread, int32_t sizes[DIFFUSER_COUNT])
{
    const float F = float(shortest) * SHARE_PER_SAMPLE;
    const float spread3 = 3.0f * spread;
    const int32_t a = int32_t(0.125541f * spread);
    const int32_t b = int32_t(0.854046f * spread3);
    const int32_t c = int32_t(spread * -0.568366f);
    const int32_t d = int32_t(spread3 * -0.126815f);
    const int32_t left_shares[ENGINE_CHAIN_LENGTH] = {
        a + 159, (b + 931) - (a + 369), TOTAL_SHARES - (b + 931)};
    const int32_t right_shares[ENGINE_CHAIN_LENGTH] = {
        c + 159, (d + 931) - (c + 369), TOTAL_SHARES - (d + 931)};
    sizes[0] = int32_t(F * 210.0f);
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        sizes[1 + k] = int32_t(float(left_shares[k]) * F);
        sizes[1 + ENGINE_CHAIN_LENGTH + k] = int32_t(float(right_shares[k]) * F);
    }
}

constexpr float DIFFUSER_COEFFICIENTS[ENGINE_CHAIN_LENGTH] = {0.78f, 0.625f, 0.635f};
constexpr float INPUT_DIFFUSER_COEFFICIENT = 0.75f;

// An engine is one block of memory: this record, with its primitives'
// records after the engine's, then every sample store, each starting on a
// cache line of its own. One block keeps the engine's memory together and
// makes creating and destroying it one allocation and one release.
struct EngineBlock {
    ReverbEngine engine;  // first, so the block is released through it
    DampingFilter dampers[1 + ENGINE_FDN_COUNT];
    DelayLine lines[1 + ENGINE_FDN_COUNT];
    AllpassDiffuser diffusers[DIFFUSER_COUNT];
};

constexpr size_t CACHE_LINE = 64;

size_t whole_cache_lines(size_t bytes)
{
    return (bytes + CACHE_LINE - 1) / CACHE_LINE * CACHE_LINE;
}

}  // namespace

void reverb_engine_compute_feedback_gains(ReverbEngine* engine, float g)
{
#pragma GCC unroll 4
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        engine->fdn_gains[k] = -powf(g, float(engine->fdn_lengths[k]));
}

void reverb_engine_keep_reads_inside(ReverbEngine* engine)
{
    // Unrolled, and the capacities read once before any length is written
    // (lengths and capacities share a type, so the compiler would otherwise
    // read them again after every store): a room size change runs this.
    int32_t longest = engine->diffuser_stretch;
    const int32_t fdn_size = engine->fdn_delays[0]->size;
    const int32_t tap_size = engine->tap_delay->size;
#pragma GCC unroll 4
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        // Every feedback line has the same capacity (construction).
        const int32_t length =
            engine->fdn_lengths[k] < fdn_size ? engine->fdn_lengths[k] : fdn_size;
        engine->fdn_lengths[k] = length;
        longest = length < longest ? length : longest;
    }
#pragma GCC unroll 4
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        if (engine->tap_positions[k] > tap_size)
            engine->tap_positions[k] = tap_size;
    engine->longest_stretch = longest;
}

ReverbEngine* reverb_engine_create(int32_t rate, float max_room_size, float room_size,
                                   float decay_time, float damping, float spread,
                                   float input_bandwidth, float early_level,
                                   float tail_level)
{
    if (rate <= 0)
        return nullptr;
    // The tuning first, in a record of its own, since the store sizes
    // depend on it; the scratch arrays start at zero.
    ReverbEngine t = {};
    t.sample_rate = rate;
    t.max_room_size = max_room_size;
    t.room_size = room_size;
    t.decay_time = decay_time;
    t.damping = damping;
    t.input_bandwidth = input_bandwidth;
    t.early_level = early_level;
    t.tail_level = tail_level;
    t.kernels = stage_kernels_select();

    const float rate_f = float(rate);
    t.max_delay = float(double(max_room_size * rate_f) * SECONDS_PER_METRE);
    t.largest_delay = float(double(room_size * rate_f) * SECONDS_PER_METRE);

    const int32_t n = int32_t(rate_f * decay_time);
    t.decay_factor = std::pow(double(SIXTY_DB_F), 1.0 / double(n));
    t.fdn_lengths[0] = round_to_nearest(t.largest_delay);
    for (int k = 1; k < ENGINE_FDN_COUNT; ++k)
        t.fdn_lengths[k] = round_to_nearest(float(double(t.largest_delay) * FDN_RATIOS[k - 1]));
    reverb_engine_compute_feedback_gains(&t, float(t.decay_factor));

    t.tap_positions[0] = int32_t(0.41 * double(t.largest_delay) + 5.0);
    t.tap_positions[1] = int32_t(0.3 * double(t.largest_delay) + 5.0);
    t.tap_positions[2] = int32_t(0.155 * double(t.largest_delay) + 5.0);
    t.tap_positions[3] = TAP_OFFSET;
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        t.tap_gains[k] = float(std::pow(t.decay_factor, double(t.tap_positions[k])));

    // The sizes of the stores, every one positive.
    const int32_t fdn_size = int32_t(t.max_delay) + FDN_HEADROOM;
    const int32_t tap_size = tap_line_size(rate, max_room_size, t.largest_delay);
    int32_t diffusers[DIFFUSER_COUNT];
    diffuser_sizes(t.fdn_lengths[3], spread, diffusers);
    bool positive = fdn_size > 0 && tap_size > 0;
    for (int32_t size : diffusers)
        positive = positive && size > 0;
    if (!positive)
        return nullptr;

    // One zero-filled block: the records, then the stores, each on whole
    // cache lines from a cache-line boundary (hence the spare line).
    size_t bytes = sizeof(EngineBlock) + CACHE_LINE;
    for (int32_t size : diffusers)
        bytes += whole_cache_lines(sizeof(float) * size_t(size));
    bytes += whole_cache_lines(sizeof(float) * size_t(tap_size));
    bytes += ENGINE_FDN_COUNT * whole_cache_lines(sizeof(float) * size_t(fdn_size));
    auto* block = static_cast<EngineBlock*>(std::calloc(1, bytes));
    if (!block)
        return nullptr;
    uintptr_t next = uintptr_t(block + 1);
    next = (next + CACHE_LINE - 1) / CACHE_LINE * CACHE_LINE;
    const auto take = [&next](size_t store_bytes) {
        void* store = reinterpret_cast<void*>(next);
        next += whole_cache_lines(store_bytes);
        return store;
    };

    ReverbEngine* engine = &block->engine;
    *engine = t;
    engine->input_damper = &block->dampers[0];
    damping_filter_init(engine->input_damper, 1.0f - input_bandwidth);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        engine->fdn_dampers[k] = &block->dampers[1 + k];
        damping_filter_init(engine->fdn_dampers[k], damping);
    }
    for (int k = 0; k < DIFFUSER_COUNT; ++k) {
        AllpassDiffuser* diffuser = &block->diffusers[k];
        const float c = k == 0 ? INPUT_DIFFUSER_COEFFICIENT
                               : DIFFUSER_COEFFICIENTS[(k - 1) % ENGINE_CHAIN_LENGTH];
        allpass_diffuser_init(diffuser, diffusers[k], c,
                              static_cast<float*>(take(sizeof(float) * size_t(diffusers[k]))));
    }
    engine->input_diffuser = &block->diffusers[0];
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        engine->left_diffusers[k] = &block->diffusers[1 + k];
        engine->right_diffusers[k] = &block->diffusers[1 + ENGINE_CHAIN_LENGTH + k];
    }
    engine->tap_delay = &block->lines[0];
    delay_line_init(engine->tap_delay, tap_size,
                    static_cast<float*>(take(sizeof(float) * size_t(tap_size))));
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        engine->fdn_delays[k] = &block->lines[1 + k];
        delay_line_init(engine->fdn_delays[k], fdn_size,
                        static_cast<float*>(take(sizeof(float) * size_t(fdn_size))));
    }

    engine->diffuser_stretch = reverb_engine_diffuser_stretch(engine);
    reverb_engine_keep_reads_inside(engine);
    return engine;
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
    // The engine's record opens its one block (EngineBlock).
    std::free(engine);
}
