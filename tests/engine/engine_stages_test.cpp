#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine_state.h"
#include "float_bits.h"
#include "fp_mode.h"
#include "reverb_engine.h"

namespace {

struct Random {
    uint64_t state;
    uint32_t next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state >> 33);
    }
    float uniform() { return float(next()) * 0x1p-31f; }  // [0, 1)
    float signal() { return 2.0f * uniform() - 1.0f; }
};

// Runs one engine a sample at a time and its twin in blocks of random
// length, retuning both between blocks, and compares every output bit.
void compare_block_with_samples(int32_t rate, float spread, float min_room, uint64_t seed,
                                int blocks, bool in_place)
{
    ReverbEngine* single = reverb_engine_create(rate, 240.0f, 50.0f, 7.0f, 0.5f, spread, 0.5f, 0.5f, 0.5f);
    ReverbEngine* block = reverb_engine_create(rate, 240.0f, 50.0f, 7.0f, 0.5f, spread, 0.5f, 0.5f, 0.5f);
    ASSERT_NE(single, nullptr);
    ASSERT_NE(block, nullptr);
    Random random{seed};
    std::vector<float> input, left, right;
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(), 200000.0f, 100000.0f,
                              -0.0f, 1e-40f, 1e-35f};
    for (int b = 0; b < blocks; ++b) {
        if (random.next() % 4 == 0) {
            const float room = min_room + random.uniform() * (240.0f - min_room);
            reverb_engine_set_room_size(single, room);
            reverb_engine_set_room_size(block, room);
        }
        const float decay = 0.1f + 10.0f * random.uniform();
        const float damping = 0.95f * random.uniform();
        const float bandwidth = 0.05f + 0.95f * random.uniform();
        const float tail = random.uniform();
        for (ReverbEngine* e : {single, block}) {
            reverb_engine_set_decay_time(e, decay);
            reverb_engine_set_damping(e, damping);
            reverb_engine_set_input_bandwidth(e, bandwidth);
            reverb_engine_set_tail_level(e, tail);
            reverb_engine_set_early_level(e, 1.0f - tail);
        }
        const uint32_t shape = random.next() % 8;
        const int32_t count = shape == 0 ? 0 : shape == 1 ? 1 : int32_t(random.next() % 300);
        const bool silent = random.next() % 5 == 0;
        input.resize(size_t(count));
        for (float& v : input) {
            v = silent ? 0.0f : random.signal();
            if (random.next() % 500 == 0)
                v = specials[random.next() % 7];
        }
        left.assign(size_t(count), 0.0f);
        right.assign(size_t(count), 0.0f);
        std::vector<float> expected_left(static_cast<size_t>(count));
        std::vector<float> expected_right(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            const ReverbEngineOutput out = reverb_engine_process(single, input[size_t(i)]);
            expected_left[size_t(i)] = out.left;
            expected_right[size_t(i)] = out.right;
        }
        if (in_place) {
            left = input;
            reverb_engine_process_samples(block, left.data(), left.data(), right.data(), count);
        } else {
            reverb_engine_process_samples(block, input.data(), left.data(), right.data(), count);
        }
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_EQ(float_bits(expected_left[size_t(i)]), float_bits(left[size_t(i)]))
                << "block " << b << " sample " << i;
            ASSERT_EQ(float_bits(expected_right[size_t(i)]), float_bits(right[size_t(i)]))
                << "block " << b << " sample " << i;
        }
    }
    expect_same_engine(single, block);
    reverb_engine_destroy(single);
    reverb_engine_destroy(block);
}

}  // namespace

TEST(EngineStages, MatchesOneSampleAtATimeAt48k)
{
    compare_block_with_samples(48000, 11.8f, 7.07f, 1, 600, false);
    compare_block_with_samples(48000, 5.2f, 10.0f, 2, 600, false);
}

TEST(EngineStages, MatchesOneSampleAtATimeInPlace)
{
    compare_block_with_samples(44100, 5.2f, 10.0f, 3, 400, true);
}

TEST(EngineStages, MatchesAtRatesWhereRunsAreShort)
{
    // At 1000 Hz the shortest diffusers and taps are a few samples long, so
    // runs shrink or fall back to one sample at a time.
    compare_block_with_samples(1000, 11.8f, 1.0f, 4, 400, false);
    compare_block_with_samples(8000, 5.2f, 1.0f, 5, 400, false);
    compare_block_with_samples(192000, 11.8f, 7.07f, 6, 200, false);
}

// Two engines side by side, as the plug-in runs them, against each one a
// sample at a time.
TEST(EngineStages, PairMatchesEachEngineOneSampleAtATime)
{
    for (int32_t rate : {1000, 44100, 48000}) {
        SCOPED_TRACE(rate);
        ReverbEngine* singles[2];
        ReverbEngine* pair[2];
        const float spreads[2] = {11.8f, 5.2f};
        for (int e = 0; e < 2; ++e) {
            singles[e] = reverb_engine_create(rate, 240.0f, 50.0f, 7.0f, 0.5f, spreads[e], 0.5f, 0.5f, 0.5f);
            pair[e] = reverb_engine_create(rate, 240.0f, 50.0f, 7.0f, 0.5f, spreads[e], 0.5f, 0.5f, 0.5f);
        }
        Random random{uint64_t(rate)};
        std::vector<float> in[2], left[2], right[2];
        for (int b = 0; b < 300; ++b) {
            if (random.next() % 8 == 0) {
                const float room = 10.0f + random.uniform() * 230.0f;
                const float rooms[2] = {float(double(room) * 0.707), room};
                for (int e = 0; e < 2; ++e) {
                    reverb_engine_set_room_size(singles[e], rooms[e]);
                    reverb_engine_set_room_size(pair[e], rooms[e]);
                }
            }
            // Each engine its own dampers' coefficients, so a lane of one
            // engine taking the other's shows.
            for (int e = 0; e < 2; ++e) {
                const float damping = 0.95f * random.uniform();
                const float bandwidth = 0.05f + 0.95f * random.uniform();
                for (ReverbEngine* engine : {singles[e], pair[e]}) {
                    reverb_engine_set_damping(engine, damping);
                    reverb_engine_set_input_bandwidth(engine, bandwidth);
                }
            }
            const int32_t count = int32_t(random.next() % 200);
            for (int e = 0; e < 2; ++e) {
                in[e].resize(size_t(count));
                left[e].assign(size_t(count), 0.0f);
                right[e].assign(size_t(count), 0.0f);
                for (float& v : in[e])
                    v = random.signal();
            }
            reverb_engine_process_pair(pair[0], in[0].data(), left[0].data(), right[0].data(),
                                       pair[1], in[1].data(), left[1].data(), right[1].data(), count);
            for (int e = 0; e < 2; ++e) {
                for (int32_t i = 0; i < count; ++i) {
                    const ReverbEngineOutput out = reverb_engine_process(singles[e], in[e][size_t(i)]);
                    ASSERT_EQ(float_bits(out.left), float_bits(left[e][size_t(i)]))
                        << "engine " << e << " block " << b << " sample " << i;
                    ASSERT_EQ(float_bits(out.right), float_bits(right[e][size_t(i)]));
                }
            }
        }
        for (int e = 0; e < 2; ++e) {
            expect_same_engine(singles[e], pair[e]);
            reverb_engine_destroy(singles[e]);
            reverb_engine_destroy(pair[e]);
        }
    }
}

namespace {

bool line_all_zero(const DelayLine* line)
{
    for (int32_t i = 0; i < line->size; ++i)
        if (line->samples[i] != 0.0f)
            return false;
    return true;
}

// Every store and damper of the engine, read out of memory.
bool engine_all_zero(const ReverbEngine* e)
{
    bool zero = e->input_damper->state == 0.0f && line_all_zero(e->tap_delay) &&
                line_all_zero(&e->input_diffuser->line);
    for (int k = 0; k < 4; ++k)
        zero = zero && e->fdn_dampers[k]->state == 0.0f && line_all_zero(e->fdn_delays[k]);
    for (int k = 0; k < 3; ++k)
        zero = zero && line_all_zero(&e->left_diffusers[k]->line) &&
               line_all_zero(&e->right_diffusers[k]->line);
    return zero;
}

}  // namespace

// The silence test agrees with the memory it summarises, through a burst
// and the whole decay of its tail, and skipping silence leaves the state
// that processing it would.
TEST(EngineSilence, DetectsTheTailReachingZeroAndSkipsExactly)
{
    ReverbEngine* engine = reverb_engine_create(48000, 240.0f, 50.0f, 7.0f, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f);
    ReverbEngine* twin = reverb_engine_create(48000, 240.0f, 50.0f, 7.0f, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f);
    for (ReverbEngine* e : {engine, twin}) {
        reverb_engine_set_room_size(e, 30.0f);
        reverb_engine_set_decay_time(e, 0.6f);
    }
    EXPECT_TRUE(reverb_engine_is_silent(engine));
    EXPECT_TRUE(engine_all_zero(engine));

    Random random{42};
    float in[64], left[64], right[64], twin_left[64], twin_right[64];
    int64_t samples = 0;
    int64_t silent_at = -1;
    const int64_t burst = 4800;
    // The run is done under flush-to-zero, as the plug-in runs it.
    const FpMode saved = fp_mode_get();
    fp_mode_set(saved | FP_MODE_FLUSH);
    for (int block = 0; block < 48000 * 60 / 64 && silent_at < 0; ++block) {
        for (float& v : in)
            v = samples < burst ? random.signal() : 0.0f;
        reverb_engine_process_samples(engine, in, left, right, 64);
        reverb_engine_process_samples(twin, in, twin_left, twin_right, 64);
        samples += 64;
        const bool silent = reverb_engine_is_silent(engine);
        if (silent || block % 97 == 0) {
            ASSERT_EQ(silent, engine_all_zero(engine)) << "at sample " << samples;
        }
        if (silent)
            silent_at = samples;
    }
    ASSERT_GT(silent_at, burst) << "the tail never reached zero";
    std::printf("0.6 s decay: silent %.2f s after the input stopped\n",
                double(silent_at - burst) / 48000.0);

    // From here, skipping equals processing zeros.
    for (float& v : in)
        v = 0.0f;
    for (int block = 0; block < 50; ++block) {
        const int32_t count = 1 + block * 7 % 64;
        reverb_engine_process_samples(engine, in, left, right, count);
        reverb_engine_skip_silence(twin, count);
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_EQ(0u, float_bits(left[i]));
            ASSERT_EQ(0u, float_bits(right[i]));
        }
    }
    fp_mode_set(saved);
    expect_same_engine(engine, twin);
    EXPECT_TRUE(reverb_engine_is_silent(twin));
    reverb_engine_destroy(engine);
    reverb_engine_destroy(twin);
}
