#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "plugin_harness.h"

TEST(ReverbInstance, FreshInstanceHoldsTheStartingState)
{
    struct Case {
        double host_rate;
        int64_t sample_rate;
        double smooth_coef;
    };
    const Case cases[] = {
        {44100.0, 44100, 0.9998110534},
        {44100.9, 44100, 0.9998110534},  // truncated before anything uses it
        {48000.0, 48000, 0.9998264040},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host_rate);
        auto* s = static_cast<ReverbInstance*>(
            reverb_instantiate(&stereo_descriptor, c.host_rate, "/nowhere", nullptr));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->sample_rate, c.sample_rate);
        EXPECT_EQ(s->engine_a->sample_rate, c.sample_rate);
        EXPECT_EQ(s->engine_b->sample_rate, c.sample_rate);
        EXPECT_EQ(s->smooth_coef, std::exp(-8.333333333333334 / double(c.sample_rate)));
        EXPECT_NEAR(s->smooth_coef, c.smooth_coef, 5e-11);
        EXPECT_EQ(s->smooth_feed, 1.0 - s->smooth_coef);
        EXPECT_EQ(s->wet_gain, 1.0f);
        EXPECT_EQ(s->dry_gain, 0.0f);
        EXPECT_EQ(s->fade_gain, 0.0f);
        EXPECT_EQ(s->applied_room_size, 0.0f);
        EXPECT_EQ(s->predelay_write_index, 0);
        EXPECT_EQ(s->predelay_smoothed, 0.0);
        EXPECT_EQ(s->predelay_target, 0.0);
        for (float v : s->predelay_buffer)
            ASSERT_EQ(float_bits(v), 0u);
        reverb_cleanup(s);  // without activate or run
    }
}

TEST(ReverbInstance, InstantiateRefusesRatesOutsideTheSupportedRange)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (double rate : {std::nan(""), inf, -inf, 0.0, -48000.0, 999.99, 768000.5, 1e12})
        EXPECT_EQ(reverb_instantiate(&mono_descriptor, rate, "", nullptr), nullptr) << rate;
}

// At both ends of the supported range, with every control at the end of its
// range that stresses the filters and engines most, the reverb still answers
// an impulse with a finite tail.
TEST(ReverbInstance, RunsSoundlyAtTheEdgesOfTheSupportedRange)
{
    for (double rate : {1000.0, 768000.0}) {
        SCOPED_TRACE(rate);
        Plugin plugin(rate);
        ASSERT_NE(plugin.self, nullptr);
        plugin[PORT_LOW_CUT] = 1000.0f;
        plugin[PORT_HIGH_BAND_FREQ] = 12000.0f;
        plugin[PORT_LOW_BAND_FREQ] = 12000.0f;
        plugin[PORT_ROOM_SIZE] = 240.0f;
        plugin[PORT_DECAY] = 30.0f;
        plugin[PORT_PREDELAY] = 150.0f;
        plugin[PORT_MIX] = 1.0f;
        const uint32_t n = uint32_t(rate) / 2;
        std::vector<float> in(n, 0.0f), out_l(n), out_r(n);
        double energy = 0.0;
        for (int call = 0; call < 6; ++call) {
            in[0] = call == 0 ? 1.0f : 0.0f;
            plugin.run_stereo(in.data(), in.data(), out_l.data(), out_r.data(), n);
            for (uint32_t i = 0; i < n; ++i) {
                ASSERT_TRUE(std::isfinite(out_l[i]) && std::isfinite(out_r[i])) << call << " " << i;
                energy += double(out_l[i]) * out_l[i];
            }
        }
        EXPECT_GT(energy, 0.0);
    }
}

TEST(ReverbInstance, ConnectPortIgnoresIndexesBeyondItsSlots)
{
    Plugin plugin;
    std::vector<unsigned char> before(sizeof(ReverbInstance));
    std::memcpy(before.data(), plugin.self, before.size());
    float sink = 0.0f;
    for (uint32_t port : {16u, 17u, 1000u, 4294967295u})
        reverb_connect_port(plugin.self, port, &sink);
    EXPECT_EQ(std::memcmp(before.data(), plugin.self, before.size()), 0);

    reverb_connect_port(plugin.self, PORT_OUT_R, &sink);  // harmless on a mono instance
    EXPECT_EQ(plugin.self->ports[PORT_OUT_R], &sink);
}

TEST(ReverbInstance, ActivateSilencesTheSignalButKeepsGainsAndGlide)
{
    Plugin plugin;
    ReverbInstance* s = plugin.self;
    const std::vector<float> in = noise(4000, 7);
    std::vector<float> out(in.size());
    plugin.run_mono(in.data(), out.data(), uint32_t(in.size()));

    const int32_t write_index = s->predelay_write_index;
    const double smoothed = s->predelay_smoothed;
    const float wet = s->wet_gain, dry = s->dry_gain, room = s->applied_room_size;
    const float fb1 = s->pre_filter.fb1;
    reverb_activate(s);
    reverb_activate(s);  // twice is the same as once

    EXPECT_EQ(s->fade_gain, 0.0f);
    EXPECT_EQ(s->predelay_write_index, write_index);
    EXPECT_EQ(s->predelay_smoothed, smoothed);
    EXPECT_EQ(s->wet_gain, wet);
    EXPECT_EQ(s->dry_gain, dry);
    EXPECT_EQ(s->applied_room_size, room);
    EXPECT_EQ(s->pre_filter.fb1, fb1);
    for (const FilterSection* f :
         {&s->pre_filter, &s->post_filter, &s->out_filter_left, &s->out_filter_right})
        EXPECT_TRUE(f->x1 == 0.0f && f->x2 == 0.0f && f->y1 == 0.0f && f->y2 == 0.0f);
    for (float v : s->predelay_buffer)
        ASSERT_EQ(v, 0.0f);

    // Engines flushed too: silence in gives exact silence out.
    std::vector<float> silence(3000, 0.0f);
    plugin.run_mono(silence.data(), out.data(), uint32_t(silence.size()));
    for (size_t i = 0; i < silence.size(); ++i)
        ASSERT_EQ(float_bits(out[i]), 0u) << i;
}
