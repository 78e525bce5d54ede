#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>

#include "float_bits.h"
#include "reverb_engine.h"

namespace {

ReverbEngine* make_engine(float spread, int32_t rate = 48000)
{
    return reverb_engine_create(rate, 240.0f, 50.0f, 7.0f, 0.5f, spread, 0.5f, 0.5f, 0.5f);
}

// A deterministic test signal: a linear congruential generator scaled to
// [-1, 1), decaying, so it exercises the whole network.
struct Noise {
    uint32_t state = 12345u;
    float next()
    {
        state = state * 1664525u + 1013904223u;
        return float(int32_t(state)) * 0x1p-31f;
    }
};

// FNV-1a over the bits of both outputs.
struct OutputHash {
    uint64_t value = 1469598103934665603ull;
    void add(float v)
    {
        uint32_t bits = float_bits(v);
        for (int i = 0; i < 4; ++i) {
            value ^= (bits >> (8 * i)) & 0xffu;
            value *= 1099511628211ull;
        }
    }
};

}  // namespace

TEST(EngineProcess, FirstSampleOfAnImpulseIsTheDiffusedDirectTerm)
{
    for (float spread : {11.8f, 5.2f}) {
        ReverbEngine* engine = make_engine(spread);
        reverb_engine_flush(engine);
        const ReverbEngineOutput out = reverb_engine_process(engine, 1.0f);
        const float E = 0.5f;
        const float expected = float(0.635 * double(float(0.625 * double(float(0.78 * double(E))))));
        EXPECT_SAME_FLOAT(expected, out.left);
        EXPECT_SAME_FLOAT(expected, out.right);
        EXPECT_SAME_FLOAT(0x1.3cfdf2p-3f, out.left);  // about 0.154781
        reverb_engine_destroy(engine);
    }
}

TEST(EngineProcess, GuardTreatsNaNInfinitiesAndHugeInputsAsSilence)
{
    const float bad_inputs[] = {std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(), 200000.0f,
                                -100000.01f};
    for (float bad : bad_inputs) {
        SCOPED_TRACE(bad);
        ReverbEngine* guarded = make_engine(11.8f);
        ReverbEngine* reference = make_engine(11.8f);
        Noise noise;
        for (int i = 0; i < 3000; ++i) {
            const float v = noise.next();
            reverb_engine_process(guarded, v);
            reverb_engine_process(reference, v);
        }
        const ReverbEngineOutput a = reverb_engine_process(guarded, bad);
        const ReverbEngineOutput b = reverb_engine_process(reference, 0.0f);
        EXPECT_SAME_FLOAT(b.left, a.left);
        EXPECT_SAME_FLOAT(b.right, a.right);
        // Same state afterwards: the following outputs agree too.
        for (int i = 0; i < 20000; ++i) {
            const ReverbEngineOutput c = reverb_engine_process(guarded, 0.0f);
            const ReverbEngineOutput d = reverb_engine_process(reference, 0.0f);
            ASSERT_EQ(float_bits(d.left), float_bits(c.left)) << i;
            ASSERT_EQ(float_bits(d.right), float_bits(c.right)) << i;
        }
        reverb_engine_destroy(guarded);
        reverb_engine_destroy(reference);
    }
}

TEST(EngineProcess, InputOfExactlyTheLimitPasses)
{
    ReverbEngine* engine = make_engine(5.2f);
    const ReverbEngineOutput out = reverb_engine_process(engine, 100000.0f);
    // Only the direct term reaches the chains at the first sample.
    const float sum = 0.5f * 100000.0f;
    const float expected = float(0.635 * double(float(0.625 * double(float(0.78 * double(sum))))));
    EXPECT_SAME_FLOAT(expected, out.left);
    reverb_engine_destroy(engine);
}

TEST(EngineProcess, FlushThenSilenceGivesExactZerosForEver)
{
    ReverbEngine* engine = make_engine(11.8f);
    Noise noise;
    for (int i = 0; i < 48000; ++i)
        reverb_engine_process(engine, noise.next());
    reverb_engine_flush(engine);
    for (int i = 0; i < 200000; ++i) {
        const ReverbEngineOutput out = reverb_engine_process(engine, 0.0f);
        ASSERT_EQ(0u, float_bits(out.left)) << i;
        ASSERT_EQ(0u, float_bits(out.right)) << i;
    }
    reverb_engine_destroy(engine);
}

TEST(EngineProcess, FlushKeepsTuningAndPositions)
{
    ReverbEngine* engine = make_engine(5.2f);
    reverb_engine_set_room_size(engine, 80.0f);
    reverb_engine_set_decay_time(engine, 3.0f);
    Noise noise;
    for (int i = 0; i < 777; ++i)
        reverb_engine_process(engine, noise.next());
    const ReverbEngine before = *engine;
    const int32_t tap_index = engine->tap_delay->index;
    const int32_t diffuser_index = engine->left_diffusers[1]->line.index;
    reverb_engine_flush(engine);
    EXPECT_SAME_DOUBLE(before.decay_factor, engine->decay_factor);
    EXPECT_EQ(tap_index, engine->tap_delay->index);
    EXPECT_EQ(diffuser_index, engine->left_diffusers[1]->line.index);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(before.fdn_lengths[k], engine->fdn_lengths[k]);
        EXPECT_SAME_FLOAT(before.fdn_gains[k], engine->fdn_gains[k]);
        EXPECT_EQ(0.0f, engine->fdn_dampers[k]->state);
        EXPECT_EQ(0.0f, engine->fdn_outputs[k]);
    }
    reverb_engine_destroy(engine);
}

TEST(EngineProcess, ZeroSpreadGivesEqualOutputs)
{
    ReverbEngine* engine = make_engine(0.0f);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(engine->left_diffusers[k]->line.size, engine->right_diffusers[k]->line.size);
    Noise noise;
    for (int i = 0; i < 20000; ++i) {
        const ReverbEngineOutput out = reverb_engine_process(engine, i < 5000 ? noise.next() : 0.0f);
        ASSERT_EQ(float_bits(out.left), float_bits(out.right)) << i;
    }
    reverb_engine_destroy(engine);
}

TEST(EngineProcess, ZeroLevelsRemoveTheirContributions)
{
    // Tail level 0, early level 1: the direct input and the taps only; with
    // every tap gain 0 as well, the direct term alone, through the chains.
    ReverbEngine* engine = make_engine(5.2f);
    reverb_engine_set_tail_level(engine, 0.0f);
    reverb_engine_set_early_level(engine, 1.0f);
    for (int k = 0; k < 4; ++k)
        engine->tap_gains[k] = 0.0f;
    ReverbEngine* chains_only = make_engine(5.2f);
    Noise noise;
    for (int i = 0; i < 10000; ++i) {
        const float x = i < 3000 ? noise.next() : 0.0f;
        const ReverbEngineOutput out = reverb_engine_process(engine, x);
        // Feed the guarded input straight into identical chains.
        float left = x;
        float right = x;
        for (int k = 0; k < 3; ++k) {
            left = allpass_diffuser_run(chains_only->left_diffusers[k], left);
            right = allpass_diffuser_run(chains_only->right_diffusers[k], right);
        }
        ASSERT_EQ(float_bits(left), float_bits(out.left)) << i;
        ASSERT_EQ(float_bits(right), float_bits(out.right)) << i;
    }
    reverb_engine_destroy(engine);
    reverb_engine_destroy(chains_only);
}

// The whole per-sample path pinned by a hash of every output bit over two
// seconds of noise and tail, with retuning along the way. Any change of
// precision or order anywhere in processing or tuning changes the hash.
TEST(EngineProcess, OutputIsBitStable)
{
    struct Case {
        float spread;
        int32_t rate;
        uint64_t hash;
    };
    const Case cases[] = {
        {11.8f, 48000, 0x387f54b23aaf3e8aull},
        {5.2f, 48000, 0x2c8bbb3ea68bbfacull},
        {5.2f, 44100, 0x2b4412cc38c23585ull},
    };
    for (const Case& c : cases) {
        ReverbEngine* engine = make_engine(c.spread, c.rate);
        reverb_engine_set_room_size(engine, float(40.0 * 0.707));
        reverb_engine_set_decay_time(engine, 1.6f);
        reverb_engine_set_damping(engine, 0.5f);
        reverb_engine_set_input_bandwidth(engine, 0.75f);
        reverb_engine_set_early_level(engine, 0.25f);
        reverb_engine_set_tail_level(engine, 0.5f);
        Noise noise;
        OutputHash hash;
        for (int i = 0; i < 2 * c.rate; ++i) {
            if (i == c.rate / 2) {
                reverb_engine_set_room_size(engine, 120.0f);
                reverb_engine_set_decay_time(engine, 4.0f);
            }
            const ReverbEngineOutput out = reverb_engine_process(engine, i < c.rate ? noise.next() : 0.0f);
            hash.add(out.left);
            hash.add(out.right);
        }
        EXPECT_EQ(c.hash, hash.value);
        reverb_engine_destroy(engine);
    }
}
