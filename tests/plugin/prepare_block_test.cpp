#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "plugin_harness.h"

namespace {

const float NaN = std::nanf("");

bool same_design(const FilterSection& a, const FilterSection& b)
{
    return float_bits(a.fb1) == float_bits(b.fb1) && float_bits(a.fb2) == float_bits(b.fb2) &&
           float_bits(a.ff0) == float_bits(b.ff0) && float_bits(a.ff1) == float_bits(b.ff1) &&
           float_bits(a.ff2) == float_bits(b.ff2);
}

FilterSection highpass(float f, float rate, double factor)
{
    FilterSection s{};
    filter_section_highpass(&s, f, rate, factor);
    return s;
}

FilterSection lowpass(float f, float rate)
{
    FilterSection s{};
    filter_section_lowpass(&s, f, rate, BAND_BANDWIDTH);
    return s;
}

}  // namespace

TEST(PrepareBlock, RoomSizeIsLimitedAndEngineAGetsTheSmallerRoom)
{
    struct Case {
        float control, room_a, room_b;
    };
    const Case cases[] = {
        {5.0f, 7.0700002f, 10.0f},
        {300.0f, 169.67999f, 240.0f},
        {NaN, 7.0700002f, 10.0f},
        {50.0f, 35.35f, 50.0f},  // applied although the engines were built at 50
    };
    for (const Case& c : cases) {
        Plugin plugin;
        plugin[PORT_ROOM_SIZE] = c.control;
        prepare_block(plugin.self, ReverbVariant::mono);
        EXPECT_EQ(plugin.self->engine_a->room_size, c.room_a) << c.control;
        EXPECT_EQ(plugin.self->engine_b->room_size, c.room_b) << c.control;
        EXPECT_EQ(plugin.self->applied_room_size, c.room_b) << c.control;
    }
}

TEST(PrepareBlock, RoomSizeReachesTheEnginesOnlyWhenItChanges)
{
    Plugin plugin;
    ReverbInstance* s = plugin.self;
    prepare_block(s, ReverbVariant::mono);
    s->fade_gain = 0.37f;
    s->engine_b->room_size = 99.0f;  // marks whether the setter runs again
    prepare_block(s, ReverbVariant::mono);
    EXPECT_EQ(s->fade_gain, 0.37f);
    EXPECT_EQ(s->engine_b->room_size, 99.0f);

    plugin[PORT_ROOM_SIZE] = 41.0f;
    prepare_block(s, ReverbVariant::mono);
    EXPECT_EQ(s->fade_gain, 0.0f);
    EXPECT_EQ(s->engine_b->room_size, 41.0f);
}

TEST(PrepareBlock, WetLevelAndMixGiveTheGainTargets)
{
    struct Case {
        float mix, wet_level, wet_target, dry_target;
    };
    const Case cases[] = {
        {1.0f, -90.0f, 0.0f, 0.0f},
        {1.0f, -89.9f, 0x1.0c57b2p-15f, 0.0f},  // 3.19889e-05
        {1.0f, 0.0f, 1.0f, 0.0f},
        {1.0f, -6.0f, 0.5011872f, 0.0f},
        {1.0f, NaN, 0.0f, 0.0f},  // silences the wet signal
        {1.0f, 40.0f, 0x1.fec984p+0f, 0.0f},  // above the declared top: 6 dB, 1.99526
        {0.5f, 0.0f, 0.5f, 0.5f},
        {0.0f, 6.0f, 0.0f, 1.0f},
        {2.0f, 0.0f, 1.0f, 0.0f},     // mix held in 0..1
        {NaN, 0.0f, 0.25f, 0.75f},    // mix default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mix " << c.mix << " wet_level " << c.wet_level);
        Plugin plugin;
        plugin[PORT_MIX] = c.mix;
        plugin[PORT_WET_LEVEL] = c.wet_level;
        const BlockTargets t = prepare_block(plugin.self, ReverbVariant::stereo);
        EXPECT_EQ(t.wet_target, c.wet_target);
        EXPECT_EQ(t.dry_target, c.dry_target);
    }
}

TEST(PrepareBlock, DecayTiltShortensOneBandAndScalesTheLowBand)
{
    struct Case {
        float tilt, decay, decay_a, decay_b, scale;
    };
    const Case cases[] = {
        {1.0f, 2.0f, 2.0999999f, 0.11999998f, 0.0099999905f},
        {-1.0f, 2.0f, 0.11999998f, 2.0999999f, 1.0f},
        {0.0f, 2.0f, 2.0999999f, 2.0999999f, 1.0f},
        {0.5f, 2.0f, 2.0999999f, 1.11000001f, 0.505f},
        {5.0f, 2.0f, 2.0999999f, 0.11999998f, 0.0099999905f},  // tilt held in -1..1
        {NaN, 2.0f, 2.0999999f, 2.0999999f, 1.0f},           // tilt default 0
        {0.0f, 100.0f, 30.1f, 30.1f, 1.0f},                    // decay held in 0..30
        {0.0f, NaN, 1.6f, 1.6f, 1.0f},                         // decay default 1.5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tilt " << c.tilt << " decay " << c.decay);
        Plugin plugin;
        plugin[PORT_DECAY_TILT] = c.tilt;
        plugin[PORT_DECAY] = c.decay;
        const BlockTargets t = prepare_block(plugin.self, ReverbVariant::stereo);
        EXPECT_EQ(plugin.self->engine_a->decay_time, c.decay_a);
        EXPECT_FLOAT_EQ(plugin.self->engine_b->decay_time, c.decay_b);
        EXPECT_FLOAT_EQ(t.low_band_scale, c.scale);
    }
}

TEST(PrepareBlock, EngineLevelsFollowTheControlsWithinTheirRanges)
{
    struct Case {
        float damping, bandwidth, tail, want_damping, want_bandwidth, want_tail;
        float early_a, early_b;  // engine_a's early reflections at half engine_b's
    };
    const Case cases[] = {
        {0.95f, 0.05f, 1.0f, 0.95f, 0.05f, 1.0f, 0.0f, 0.0f},  // range ends pass unchanged
        {1.0f, 0.0f, 2.0f, 0.95f, 0.05f, 1.0f, 0.0f, 0.0f},    // beyond them: held
        {NaN, NaN, NaN, 0.5f, 0.75f, 0.5f, 0.25f, 0.5f},         // defaults
        {0.2f, 0.3f, 0.1f, 0.2f, 0.3f, 0.1f, 0.45f, 0.9f},
    };
    for (const Case& c : cases) {
        Plugin plugin;
        plugin[PORT_DAMPING] = c.damping;
        plugin[PORT_BANDWIDTH] = c.bandwidth;
        plugin[PORT_TAIL_LEVEL] = c.tail;
        prepare_block(plugin.self, ReverbVariant::mono);
        for (const ReverbEngine* e : {plugin.self->engine_a, plugin.self->engine_b}) {
            EXPECT_EQ(e->damping, c.want_damping);
            EXPECT_EQ(e->input_bandwidth, c.want_bandwidth);
            EXPECT_EQ(e->tail_level, c.want_tail);
        }
        EXPECT_EQ(plugin.self->engine_a->early_level, c.early_a);
        EXPECT_EQ(plugin.self->engine_b->early_level, c.early_b);
    }
}

TEST(PrepareBlock, FilterFrequenciesStayWhereTheDesignsAreSound)
{
    struct Case {
        float rate, low_cut, high_band, low_band;   // controls
        float want_cut, want_high, want_low;        // frequencies designed
    };
    const Case cases[] = {
        {48000, 100, 1000, 2000, 100, 1000, 2000},
        {48000, 5, 50, 12000, 20, 50, 12000},
        {48000, 5000, 30000, 0, 1000, 12000, 50},
        {48000, NaN, NaN, NaN, 20, 600, 600},
        {8000, 1000, 12000, 5000, 1000, 3600, 3600},  // 0.45 of the rate
        {1000, 1000, 12000, 400, 450, 450, 400},      // low cut too, at very low rates
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.low_cut << " " << c.high_band);
        Plugin plugin(c.rate);
        plugin[PORT_LOW_CUT] = c.low_cut;
        plugin[PORT_HIGH_BAND_FREQ] = c.high_band;
        plugin[PORT_LOW_BAND_FREQ] = c.low_band;
        ReverbInstance* s = plugin.self;
        s->out_filter_right = FilterSection{};
        prepare_block(s, ReverbVariant::mono);
        EXPECT_TRUE(same_design(s->pre_filter, highpass(c.want_cut, c.rate, LOW_CUT_BANDWIDTH)));
        EXPECT_TRUE(same_design(s->post_filter, highpass(c.want_high, c.rate, BAND_BANDWIDTH)));
        EXPECT_TRUE(same_design(s->out_filter_left, lowpass(c.want_low, c.rate)));
        EXPECT_TRUE(same_design(s->out_filter_right, FilterSection{}));  // mono leaves it alone

        prepare_block(s, ReverbVariant::stereo);
        EXPECT_TRUE(same_design(s->out_filter_right, s->out_filter_left));
    }
}

// Under automation (any subset of the controls changing between calls, to
// new values, back to earlier ones, beyond their ranges or to NaN), a block
// stage that works out only what the changed controls touch leaves the same
// tuning, bit for bit, as one that works out everything every call, and the
// run calls give the same output.
TEST(PrepareBlock, WorkingOutOnlyWhatChangedGivesTheSameBitsUnderAutomation)
{
    const auto same_engine = [](const ReverbEngine* a, const ReverbEngine* b) {
        return std::memcmp(a->fdn_gains, b->fdn_gains, sizeof a->fdn_gains) == 0 &&
               std::memcmp(a->fdn_lengths, b->fdn_lengths, sizeof a->fdn_lengths) == 0 &&
               std::memcmp(a->tap_positions, b->tap_positions, sizeof a->tap_positions) == 0 &&
               std::memcmp(a->tap_gains, b->tap_gains, sizeof a->tap_gains) == 0 &&
               std::memcmp(&a->decay_factor, &b->decay_factor, sizeof a->decay_factor) == 0 &&
               float_bits(a->decay_time) == float_bits(b->decay_time) &&
               float_bits(a->room_size) == float_bits(b->room_size) &&
               float_bits(a->damping) == float_bits(b->damping) &&
               float_bits(a->input_bandwidth) == float_bits(b->input_bandwidth) &&
               float_bits(a->early_level) == float_bits(b->early_level) &&
               float_bits(a->tail_level) == float_bits(b->tail_level);
    };
    // At 73095 Hz the engines' construction works out a decay factor for 7 s
    // other than the decay-time setter's.
    for (double rate : {48000.0, 73095.0})
    for (ReverbVariant v : {ReverbVariant::mono, ReverbVariant::stereo}) {
        SCOPED_TRACE(testing::Message() << rate << (v == ReverbVariant::mono ? " mono" : " stereo"));
        Plugin skipping(rate), full(rate);
        full.self->block_stage_skip = false;
        // A first decay time equal to the engines' construction value (6.9 s
        // plus the 0.1 s offset): the first block sets it all the same.
        skipping[PORT_DECAY] = full[PORT_DECAY] = 6.9f;
        skipping[PORT_DECAY_TILT] = full[PORT_DECAY_TILT] = 0.0f;
        uint32_t seed = 5;
        const auto next = [&seed](uint32_t n) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % n;
        };
        for (int call = 0; call < 400; ++call) {
            for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
                if (call == 0 || next(3) != 0)
                    continue;  // this control stays
                const ControlRange& r = CONTROL_RANGES[p];
                const float choices[] = {r.default_value, r.min, r.max,
                                         r.min + (r.max - r.min) * float(next(1000)) / 1000.0f,
                                         r.max + 1.0f, r.min - 1.0f, NaN};
                skipping[PortIndex(p)] = full[PortIndex(p)] = choices[next(7)];
            }
            const uint32_t n = 1 + next(150);
            const std::vector<float> in_l = noise(n, seed), in_r = noise(n, seed + 1);
            std::vector<float> out[2][2] = {{std::vector<float>(n), std::vector<float>(n)},
                                            {std::vector<float>(n), std::vector<float>(n)}};
            Plugin* plugins[2] = {&skipping, &full};
            for (int k = 0; k < 2; ++k) {
                if (v == ReverbVariant::mono)
                    plugins[k]->run_mono(in_l.data(), out[k][0].data(), n);
                else
                    plugins[k]->run_stereo(in_l.data(), in_r.data(), out[k][0].data(),
                                           out[k][1].data(), n);
            }
            ASSERT_EQ(first_difference(out[0][0], out[1][0]), -1) << "call " << call;
            ASSERT_EQ(first_difference(out[0][1], out[1][1]), -1) << "call " << call;
            const ReverbInstance* s = skipping.self;
            const ReverbInstance* f = full.self;
            ASSERT_TRUE(same_engine(s->engine_a, f->engine_a)) << "call " << call;
            ASSERT_TRUE(same_engine(s->engine_b, f->engine_b)) << "call " << call;
            ASSERT_TRUE(same_design(s->pre_filter, f->pre_filter)) << "call " << call;
            ASSERT_TRUE(same_design(s->post_filter, f->post_filter)) << "call " << call;
            ASSERT_TRUE(same_design(s->out_filter_left, f->out_filter_left)) << "call " << call;
            if (v == ReverbVariant::stereo) {
                ASSERT_TRUE(same_design(s->out_filter_right, f->out_filter_right));
            }
            ASSERT_EQ(s->predelay_target, f->predelay_target) << "call " << call;
            ASSERT_EQ(s->fade_gain, f->fade_gain) << "call " << call;
        }
    }
}

// engine_a is built only for the room it can be handed (0.707 of the
// control's top); at that room, at every rate, its lengths and taps are
// those of an engine built for the full room, none cut to fit its lines.
TEST(PrepareBlock, TheHighBandEngineHoldsEveryReadOfTheLargestRoom)
{
    for (double rate : {1000.0, 44100.0, 48000.0, 192000.0, 768000.0}) {
        SCOPED_TRACE(rate);
        Plugin plugin(rate);
        plugin[PORT_ROOM_SIZE] = CONTROL_RANGES[PORT_ROOM_SIZE].max;
        prepare_block(plugin.self, ReverbVariant::stereo);
        const ReverbEngine* a = plugin.self->engine_a;
        ReverbEngine* full = reverb_engine_create(int32_t(rate), CONTROL_RANGES[PORT_ROOM_SIZE].max,
                                                  50.0f, 7.0f, 0.5f, 11.8f, 0.5f, 0.5f, 0.5f);
        reverb_engine_set_room_size(full, a->room_size);
        for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
            EXPECT_EQ(a->fdn_lengths[k], full->fdn_lengths[k]);
            EXPECT_EQ(a->tap_positions[k], full->tap_positions[k]);
        }
        EXPECT_LT(a->fdn_delays[0]->size, full->fdn_delays[0]->size);
        reverb_engine_destroy(full);
    }
}
