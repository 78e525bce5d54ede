#include <cmath>

#include <gtest/gtest.h>

#include "plugin_harness.h"
#include "predelay_line.h"

TEST(PredelayLine, TargetIsTheControlInWholeSamples)
{
    struct Case {
        float ms;
        double rate;
        double samples;
    };
    const Case cases[] = {
        {20.0f, 44100, 882},     {20.0f, 48000, 960},    {150.0f, 44100, 6615},
        {150.0f, 48000, 7200},   {150.0f, 192000, 28800}, {33.3f, 48000, 1598},
        {75.0f, 384000, 28800},  {-5.0f, 48000, 0},      {200.0f, 48000, 7200},
        {std::nanf(""), 48000, 7200},
    };
    for (const Case& c : cases) {
        Plugin plugin(c.rate);
        predelay_line_set_target(plugin.self, c.ms);
        EXPECT_EQ(plugin.self->predelay_target, c.samples) << c.ms << " ms at " << c.rate;
    }
}

TEST(PredelayLine, ZeroDelayPassesEachSampleThroughAtOnce)
{
    Plugin plugin;
    for (int k = 1; k <= 100; ++k)
        ASSERT_EQ(predelay_line_step(plugin.self, float(k)), float(k));
    EXPECT_EQ(plugin.self->predelay_smoothed, 0.0);
}

// The delay glides toward the target, reading whole samples: every output is
// an earlier input, never a blend, delayed by the smoothed delay rounded up.
TEST(PredelayLine, DelayGlidesInWholeSamplesAndWrapsAroundTheRing)
{
    Plugin plugin;
    ReverbInstance* s = plugin.self;
    predelay_line_set_target(s, 20.0f);  // 960 samples at 48000 Hz
    const int total = 2 * PREDELAY_CAPACITY + 123;
    float previous = 0.0f;
    for (int k = 1; k <= total; ++k) {
        const float d = predelay_line_step(s, float(k));
        const int delay = int(std::ceil(s->predelay_smoothed));
        ASSERT_EQ(d, k > delay ? float(k - delay) : 0.0f) << k;
        ASSERT_GE(d, previous) << k;  // lengthening: repeats, never jumps back
        previous = d;
        if (k == 5760) {  // 0.12 s: one time constant
            EXPECT_NEAR(s->predelay_smoothed, 606.8, 0.1);
        }
    }
    EXPECT_EQ(predelay_line_step(s, 0.0f), float(total + 1 - 960));
}

// The ring holds 28800 values; a smoothed delay past 28799 cannot be served
// in full, and the line gives the oldest value instead of the one just written.
TEST(PredelayLine, DelayBeyondTheRingReadsTheOldestValue)
{
    for (double smoothed : {28799.5, 28800.0}) {
        Plugin plugin(192000.0);
        ReverbInstance* s = plugin.self;
        predelay_line_set_target(s, 150.0f);
        ASSERT_EQ(s->predelay_target, 28800.0);
        for (int k = 1; k <= PREDELAY_CAPACITY + 10; ++k) {
            s->predelay_smoothed = smoothed;
            const float d = predelay_line_step(s, float(k));
            ASSERT_EQ(d, k > 28799 ? float(k - 28799) : 0.0f) << k;
        }
    }
}

// Once the glide has settled, the line steps a stretch at a time without
// its arithmetic; it must read what the full step reads at every write
// position. Each glide runs to its fixed point, from below and from above,
// at delays of a few samples, a typical one, none, and the full ring (where
// the clamp to the oldest value acts), through two turns of the ring.
TEST(PredelayLine, SettledGlideReadsWhatTheFullStepReads)
{
    struct Case {
        double rate;
        float from_ms, to_ms;
    };
    const Case cases[] = {{48000, 0.0f, 20.0f},     {48000, 150.0f, 20.0f},
                          {44100, 3.0f, 0.1f},      {48000, 1.0f, 0.0f},
                          {192000, 0.0f, 150.0f},   {192000, 150.0f, 149.99f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to_ms);
        Plugin full(c.rate), settled(c.rate);
        for (ReverbInstance* s : {full.self, settled.self}) {
            predelay_line_set_target(s, c.from_ms);
            s->predelay_smoothed = s->predelay_target;
            predelay_line_set_target(s, c.to_ms);
            for (int k = 0; k < 100000000; ++k) {
                const double next =
                    s->predelay_smoothed * s->smooth_coef + s->predelay_target * s->smooth_feed;
                if (next == s->predelay_smoothed)
                    break;
                s->predelay_smoothed = next;
            }
        }
        int fast_stretches = 0;
        for (int k = 1; k <= 2 * PREDELAY_CAPACITY;) {
            const uint32_t n = 64;
            const int32_t offset = predelay_line_stretch_offset(settled.self, n);
            fast_stretches += offset != PREDELAY_NO_OFFSET;
            const int32_t first = predelay_line_next_write(settled.self);
            for (uint32_t j = 0; j < n; ++j, ++k) {
                // Zeros now and then, for the silence count.
                const float v = k % 97 < 90 ? float(k) : 0.0f;
                const float a = predelay_line_step(full.self, v);
                const float b =
                    offset != PREDELAY_NO_OFFSET
                        ? predelay_line_step_settled(settled.self, v, first + int32_t(j), offset)
                        : predelay_line_step(settled.self, v);
                ASSERT_EQ(float_bits(a), float_bits(b)) << k;
            }
            if (offset != PREDELAY_NO_OFFSET)
                predelay_line_end_stretch(settled.self, n);
            ASSERT_EQ(full.self->predelay_write_index, settled.self->predelay_write_index);
            ASSERT_EQ(full.self->predelay_zero_writes, settled.self->predelay_zero_writes);
        }
        EXPECT_GT(fast_stretches, 800);
        EXPECT_EQ(full.self->predelay_smoothed, settled.self->predelay_smoothed);
    }
}

// A stretch whose reads are found apart from its writes, its reads all
// made before its writes, gives what the steps read, sample for sample,
// near the shortest delay that allows it and at the whole ring; the others
// step as before.
TEST(PredelayLine, ReadingAheadGivesWhatTheStepsRead)
{
    struct Case {
        double rate;
        double from, to;  // delays in samples
        bool ahead;       // whether some stretches can be read ahead
    };
    // Held delays, up to the whole ring and down to none, and a glide,
    // which always steps.
    const Case cases[] = {
        {48000, 960, 960, true},       {48000, 24, 24, true},  {48000, 63, 63, true},
        {48000, 64, 64, true},         {192000, 28800, 28800, true}, {48000, 0, 0, false},
        {192000, 28700, 28800, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " to " << c.to << " at " << c.rate);
        Plugin full(c.rate), ahead(c.rate);
        for (ReverbInstance* s : {full.self, ahead.self}) {
            s->predelay_smoothed = c.from;
            s->predelay_target = c.to;
            s->predelay_write_index = PREDELAY_CAPACITY - 3000;  // wraps on the way
            // A ring full of distinct values, so every slot read tells.
            for (int32_t i = 0; i < PREDELAY_CAPACITY; ++i)
                s->predelay_buffer[i] = float(-1 - i);
            s->predelay_zero_writes = 0;
        }
        const uint32_t lengths[] = {64, 1, 63, 17, 64, 2};
        int taken = 0;
        int refused = 0;
        for (int k = 1, call = 0; k <= 2 * PREDELAY_CAPACITY; ++call) {
            const uint32_t n = lengths[call % 6];
            float p[64];
            for (uint32_t j = 0; j < n; ++j)
                p[j] = (k + int(j)) % 97 < 90 ? float(k + int(j)) : 0.0f;
            const int32_t offset = predelay_line_stretch_offset(ahead.self, n);
            float read[64];
            if (predelay_line_reads_apart(n, offset)) {
                // Every read before any write of the stretch.
                ++taken;
                predelay_line_read_held(ahead.self, n, offset, read);
                float* slots = predelay_line_stretch_slots(ahead.self);
                for (uint32_t j = 0; j < n; ++j)
                    slots[j] = p[j];
                predelay_line_end_stretch(ahead.self, n);
            } else {
                ++refused;
                for (uint32_t j = 0; j < n; ++j)
                    read[j] = predelay_line_step(ahead.self, p[j]);
            }
            for (uint32_t j = 0; j < n; ++j, ++k)
                ASSERT_EQ(float_bits(predelay_line_step(full.self, p[j])), float_bits(read[j]))
                    << "sample " << k;
            ASSERT_EQ(full.self->predelay_write_index, ahead.self->predelay_write_index);
            ASSERT_EQ(full.self->predelay_zero_writes, ahead.self->predelay_zero_writes);
            ASSERT_EQ(full.self->predelay_smoothed, ahead.self->predelay_smoothed);
        }
        // The write position wraps, so every case refuses some stretches.
        EXPECT_EQ(taken > 0, c.ahead);
        EXPECT_GT(refused, 0);
    }
}
