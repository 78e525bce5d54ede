// The idle path: an instance whose whole audio state has decayed to zero
// skips the reverb's work while its input is silent. Run with the path and
// without it, the same signal must give the same output bits and leave the
// same state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine_state.h"
#include "idle_path.h"
#include "plugin_harness.h"

namespace {

bool same_bytes(const void* a, const void* b, size_t n)
{
    return std::memcmp(a, b, n) == 0;
}

// Everything of the instance but the switch itself, compared by bits.
void expect_same_instance(const ReverbInstance* a, const ReverbInstance* b)
{
    EXPECT_TRUE(same_bytes(&a->pre_filter, &b->pre_filter, sizeof(FilterSection)));
    EXPECT_TRUE(same_bytes(&a->post_filter, &b->post_filter, sizeof(FilterSection)));
    EXPECT_TRUE(same_bytes(&a->out_filter_left, &b->out_filter_left, sizeof(FilterSection)));
    EXPECT_TRUE(same_bytes(&a->out_filter_right, &b->out_filter_right, sizeof(FilterSection)));
    EXPECT_TRUE(same_bytes(a->predelay_buffer, b->predelay_buffer, sizeof a->predelay_buffer));
    EXPECT_EQ(a->predelay_write_index, b->predelay_write_index);
    EXPECT_EQ(a->predelay_zero_writes, b->predelay_zero_writes);
    EXPECT_TRUE(same_bytes(&a->predelay_smoothed, &b->predelay_smoothed, sizeof(double)));
    EXPECT_EQ(float_bits(a->fade_gain), float_bits(b->fade_gain));
    EXPECT_EQ(float_bits(a->wet_gain), float_bits(b->wet_gain));
    EXPECT_EQ(float_bits(a->dry_gain), float_bits(b->dry_gain));
    EXPECT_EQ(float_bits(a->applied_room_size), float_bits(b->applied_room_size));
    expect_same_engine(a->engine_a, b->engine_a);
    expect_same_engine(a->engine_b, b->engine_b);
}

// A signal of bursts and long gaps: each burst is followed by enough
// silence for a short tail to reach exact zero. The gaps carry signed
// zeros, and one holds a NaN, which the reverb path treats as silence while
// the dry term passes it.
std::vector<float> bursts_and_gaps(size_t length, uint32_t seed, bool right)
{
    std::vector<float> v(length, 0.0f);
    const size_t period = 48000 * 7;
    const std::vector<float> n = noise(length, seed);
    for (size_t i = 0; i < length; ++i) {
        const size_t at = i % period;
        if (at < 9000 && !(right && at < 2000))
            v[i] = n[i];
        else if (at % 1000 == 17)
            v[i] = -0.0f;
    }
    v[period + 200000] = NAN;
    return v;
}

void play_both(bool stereo)
{
    Plugin with, without;
    without.self->idle_skip = false;
    for (Plugin* p : {&with, &without}) {
        (*p)[PORT_DECAY] = 0.3f;
        (*p)[PORT_MIX] = 0.4f;
        (*p)[PORT_PREDELAY] = 30.0f;
    }
    const size_t length = 48000 * 20;
    const std::vector<float> in_l = bursts_and_gaps(length, 3, false);
    const std::vector<float> in_r = bursts_and_gaps(length, 4, true);
    std::vector<float> out_l[2], out_r[2];
    for (int k = 0; k < 2; ++k) {
        out_l[k].assign(length, 0.0f);
        out_r[k].assign(length, 0.0f);
    }

    size_t done = 0;
    int call = 0;
    int idle_calls = 0;
    while (done < length) {
        // Block lengths a host might use, and some it should not.
        const uint32_t sizes[] = {256, 1, 63, 64, 65, 1000, 4096, 0, 17};
        uint32_t n = sizes[call % 9];
        if (n > length - done)
            n = uint32_t(length - done);
        // Changes inside the gaps: room size, pre-delay, gains, activate.
        const size_t at = done % (48000 * 7);
        // (The second window lies in the idle stretch after the activate, so
        // the next burst meets a pre-delay still gliding.)
        if ((at > 150000 && at < 160000) || (at > 320000 && at < 330000)) {
            for (Plugin* p : {&with, &without}) {
                (*p)[PORT_ROOM_SIZE] = 20.0f + float(call % 5) * 30.0f;
                (*p)[PORT_PREDELAY] = float(call % 7) * 20.0f;
                (*p)[PORT_WET_LEVEL] = -float(call % 3) * 6.0f;
            }
        }
        if (at > 300000 && at < 301000) {
            reverb_activate(with.self);
            reverb_activate(without.self);
        }
        // Idle after a burst's tail has died away, not just before the first.
        if (done > 9000 &&
            reverb_instance_is_silent(with.self, stereo ? ReverbVariant::stereo : ReverbVariant::mono))
            ++idle_calls;
        Plugin* plugins[2] = {&with, &without};
        for (int k = 0; k < 2; ++k) {
            if (stereo)
                plugins[k]->run_stereo(in_l.data() + done, in_r.data() + done, out_l[k].data() + done,
                                       out_r[k].data() + done, n);
            else
                plugins[k]->run_mono(in_l.data() + done, out_l[k].data() + done, n);
        }
        done += n;
        ++call;
    }
    EXPECT_EQ(-1, first_difference(out_l[0], out_l[1]));
    EXPECT_EQ(-1, first_difference(out_r[0], out_r[1]));
    expect_same_instance(with.self, without.self);
    // The tails did die away into the idle state.
    std::printf("%s: %d idle calls\n", stereo ? "stereo" : "mono", idle_calls);
    EXPECT_GT(idle_calls, 20);
}

}  // namespace

TEST(IdlePath, MonoGivesTheFullComputationsBits)
{
    play_both(false);
}

TEST(IdlePath, StereoGivesTheFullComputationsBits)
{
    play_both(true);
}

TEST(IdlePath, AFreshInstanceIsSilentAndNoiseEndsIt)
{
    Plugin plugin;
    EXPECT_TRUE(reverb_instance_is_silent(plugin.self, ReverbVariant::stereo));
    const std::vector<float> in = noise(100, 1);
    std::vector<float> out(100);
    plugin.run_mono(in.data(), out.data(), 100);
    EXPECT_FALSE(reverb_instance_is_silent(plugin.self, ReverbVariant::mono));
    reverb_activate(plugin.self);
    EXPECT_TRUE(reverb_instance_is_silent(plugin.self, ReverbVariant::mono));
}

// On the idle path too, out_l may share in_r's buffer (and each output its
// own input's): the dry terms come out as with separate buffers.
TEST(IdlePath, SharedBuffersGiveTheSameDryTerms)
{
    const size_t n = 1000;
    std::vector<float> in_l(n, 0.0f), in_r(n, -0.0f);
    for (size_t i = 0; i < n; i += 7) {
        in_l[i] = i % 2 ? -0.0f : 0.0f;
        in_r[i] = 0.0f;
    }
    in_l[300] = NAN;
    Plugin separate, shared;
    std::vector<float> out_l(n), out_r(n);
    separate.run_stereo(in_l.data(), in_r.data(), out_l.data(), out_r.data(), uint32_t(n));
    EXPECT_TRUE(std::isnan(out_l[300]));

    std::vector<float> left = in_l, right = in_r;
    // out_l on in_r's buffer, out_r on in_l's.
    shared.run_stereo(left.data(), right.data(), right.data(), left.data(), uint32_t(n));
    EXPECT_EQ(-1, first_difference(right, out_l));
    EXPECT_EQ(-1, first_difference(left, out_r));
    expect_same_instance(separate.self, shared.self);
}

namespace {

// One value of the reverb path's state set to non-zero, keeping the
// silence counters true to the memory (a line or diffuser whose newest
// value is the non-zero one).
void wake_line(DelayLine* line)
{
    line->samples[line->index] = 0.25f;
    line->zero_pushes = 0;
}

struct Wake {
    const char* what;
    void (*set)(ReverbInstance*);
};

const Wake WAKES[] = {
    {"pre_filter.x1", [](ReverbInstance* s) { s->pre_filter.x1 = 0.25f; }},
    {"pre_filter.x2", [](ReverbInstance* s) { s->pre_filter.x2 = 0.25f; }},
    {"pre_filter.y1", [](ReverbInstance* s) { s->pre_filter.y1 = 0.25f; }},
    {"pre_filter.y2", [](ReverbInstance* s) { s->pre_filter.y2 = 0.25f; }},
    {"post_filter.y2", [](ReverbInstance* s) { s->post_filter.y2 = 0.25f; }},
    {"out_filter_left.y2", [](ReverbInstance* s) { s->out_filter_left.y2 = 0.25f; }},
    {"out_filter_right.y2", [](ReverbInstance* s) { s->out_filter_right.y2 = 0.25f; }},
    {"predelay memory",
     [](ReverbInstance* s) {
         s->predelay_buffer[s->predelay_write_index] = 0.25f;
         s->predelay_zero_writes = 0;
     }},
    {"engine_b input damper", [](ReverbInstance* s) { s->engine_b->input_damper->state = 0.25f; }},
    {"engine_b input diffuser", [](ReverbInstance* s) { wake_line(&s->engine_b->input_diffuser->line); }},
    {"engine_b tap line", [](ReverbInstance* s) { wake_line(s->engine_b->tap_delay); }},
    {"engine_b feedback line 3", [](ReverbInstance* s) { wake_line(s->engine_b->fdn_delays[3]); }},
    {"engine_b feedback damper 2", [](ReverbInstance* s) { s->engine_b->fdn_dampers[2]->state = 0.25f; }},
    {"engine_b left diffuser 2", [](ReverbInstance* s) { wake_line(&s->engine_b->left_diffusers[2]->line); }},
    {"engine_b right diffuser 1", [](ReverbInstance* s) { wake_line(&s->engine_b->right_diffusers[1]->line); }},
    {"engine_a right diffuser 2", [](ReverbInstance* s) { wake_line(&s->engine_a->right_diffusers[2]->line); }},
    {"engine_a feedback line 0", [](ReverbInstance* s) { wake_line(s->engine_a->fdn_delays[0]); }},
};

}  // namespace

// The idle path may skip a stretch only when nothing of the reverb path
// holds a value: one non-zero value anywhere, with silent input, must give
// the full computation's output bits and state.
TEST(IdlePath, OneNonZeroValueAnywhereKeepsTheReverbRunning)
{
    const uint32_t n = 4096;
    const std::vector<float> silence(n, 0.0f);
    for (const bool stereo : {false, true}) {
        for (const Wake& wake : WAKES) {
            SCOPED_TRACE(std::string(stereo ? "stereo, " : "mono, ") + wake.what);
            Plugin with, without;
            without.self->idle_skip = false;
            std::vector<float> out_l[2], out_r[2];
            Plugin* plugins[2] = {&with, &without};
            for (int k = 0; k < 2; ++k) {
                wake.set(plugins[k]->self);
                out_l[k].assign(n, 0.0f);
                out_r[k].assign(n, 0.0f);
                if (stereo)
                    plugins[k]->run_stereo(silence.data(), silence.data(), out_l[k].data(),
                                           out_r[k].data(), n);
                else
                    plugins[k]->run_mono(silence.data(), out_l[k].data(), n);
            }
            EXPECT_EQ(-1, first_difference(out_l[0], out_l[1]));
            EXPECT_EQ(-1, first_difference(out_r[0], out_r[1]));
            expect_same_instance(with.self, without.self);
        }
    }
}
