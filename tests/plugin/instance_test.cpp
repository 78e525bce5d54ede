#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "plugin_harness.h"

namespace {

// Output of `plugin` over a few run calls of noise, with the pre-delay
// gliding and the gains stepping, through the mono or the stereo run.
std::vector<float> first_output(Plugin& plugin, bool stereo)
{
    plugin[PORT_PREDELAY] = 30.0f;
    plugin[PORT_MIX] = 0.5f;
    std::vector<float> all;
    for (uint32_t n : {1u, 300u, 64u, 2000u}) {
        const std::vector<float> in_l = noise(n, n), in_r = noise(n, n + 1);
        std::vector<float> out_l(n), out_r(n);
        if (stereo)
            plugin.run_stereo(in_l.data(), in_r.data(), out_l.data(), out_r.data(), n);
        else
            plugin.run_mono(in_l.data(), out_l.data(), n);
        all.insert(all.end(), out_l.begin(), out_l.end());
        all.insert(all.end(), out_r.begin(), out_r.end());
    }
    return all;
}

}  // namespace

// A fresh instance's output depends on the whole part of the host's rate
// alone: not on the descriptor that made it, not on the fraction of the
// rate, and not on whether the host activated it before the first run (a
// fresh instance is as silent as an activated one).
TEST(ReverbInstance, FreshInstancesDependOnlyOnTheWholeRate)
{
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo run" : "mono run");
        Plugin reference(44100.0);
        const std::vector<float> expected = first_output(reference, stereo);
        Plugin through_stereo(44100.0, true), fraction(44100.9), not_activated(44100.0, false, false);
        for (Plugin* other : {&through_stereo, &fraction, &not_activated})
            EXPECT_EQ(first_difference(first_output(*other, stereo), expected), -1);
        Plugin next_rate(44101.0);
        EXPECT_NE(first_difference(first_output(next_rate, stereo), expected), -1);
    }
}

// A fresh instance's pre-delay starts at zero and glides toward the
// control's length with a time constant of 0.12 s at every rate, taken from
// the whole part of the rate: after 0.12 s it has come 1 - 1/e of the way.
TEST(ReverbInstance, FreshPredelayGlidesUpFromZeroWithATimeConstantOf120ms)
{
    for (double rate : {1000.0, 44100.0, 44100.9, 192000.0}) {
        SCOPED_TRACE(rate);
        Plugin plugin(rate);
        plugin[PORT_PREDELAY] = 100.0f;
        const uint32_t frames = uint32_t(std::lround(0.12 * std::floor(rate)));
        std::vector<float> silence(frames, 0.0f), out(frames);
        plugin.run_mono(silence.data(), out.data(), 1);
        EXPECT_LT(plugin.self->predelay_smoothed, 1e-2 * plugin.self->predelay_target);
        plugin.run_mono(silence.data(), out.data(), frames - 1);
        EXPECT_NEAR(plugin.self->predelay_smoothed / plugin.self->predelay_target, 1.0 - std::exp(-1.0), 1e-8);
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
