#include <cfenv>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "plugin_harness.h"

namespace {

const float NaN = std::nanf("");
const float INF = std::numeric_limits<float>::infinity();

// Runs `n` samples of the variant on `plugin`, from two input signals.
struct Block {
    std::vector<float> in_l, in_r, out_l, out_r;
    explicit Block(uint32_t n, uint32_t seed = 1)
        : in_l(noise(n, seed)), in_r(noise(n, seed + 100)), out_l(n), out_r(n) {}
    uint32_t size() const { return uint32_t(in_l.size()); }
    void run(Plugin& p, ReverbVariant v)
    {
        if (v == ReverbVariant::mono)
            p.run_mono(in_l.data(), out_l.data(), size());
        else
            p.run_stereo(in_l.data(), in_r.data(), out_l.data(), out_r.data(), size());
    }
    void run_reference(Plugin& p, ReverbVariant v)
    {
        reference_run(p.self, v, in_l.data(), in_r.data(), out_l.data(), out_r.data(), size());
    }
};

const ReverbVariant VARIANTS[] = {ReverbVariant::mono, ReverbVariant::stereo};

// A mode a host thread might leave behind: rounding toward zero, and (where
// the mode register holds them) a status flag raised by an inexact division.
// Leaves the calling thread's mode as it was.
FpMode toward_zero_with_a_flag()
{
    std::fenv_t own;
    std::fegetenv(&own);
    fp_mode_set(FP_MODE_DEFAULT);
    std::fesetround(FE_TOWARDZERO);
    volatile float third = 1.0f;
    third = third / 3.0f;
    const FpMode mode = fp_mode_get();
    std::fesetenv(&own);
    return mode;
}

}  // namespace

// Calls of many lengths (below, at and across the 64-sample cadence and the
// stereo sum's slices), with controls changing between calls, give the same
// bits as the chain written step for step.
TEST(Run, MatchesTheReferenceChainCallForCall)
{
    const uint32_t lengths[] = {1, 63, 64, 65, 255, 256, 257, 1000, 3, 4097, 0, 777};
    for (ReverbVariant v : VARIANTS) {
        SCOPED_TRACE(v == ReverbVariant::mono ? "mono" : "stereo");
        Plugin run, reference;
        uint32_t seed = 1;
        for (uint32_t n : lengths) {
            for (Plugin* p : {&run, &reference}) {
                (*p)[PORT_ROOM_SIZE] = n > 500 ? 70.0f : 25.0f;
                (*p)[PORT_PREDELAY] = float(n % 40);
                (*p)[PORT_DECAY_TILT] = n % 2 ? 0.5f : -0.25f;
                (*p)[PORT_MIX] = 0.6f;
            }
            Block a(n, seed), b(n, seed);
            ++seed;
            a.run(run, v);
            b.run_reference(reference, v);
            ASSERT_EQ(first_difference(a.out_l, b.out_l), -1) << "call of " << n;
            ASSERT_EQ(first_difference(a.out_r, b.out_r), -1) << "call of " << n;
        }
        EXPECT_EQ(run.self->fade_gain, reference.self->fade_gain);
        EXPECT_EQ(run.self->wet_gain, reference.self->wet_gain);
    }
}

// In short calls the output filters of each call's last stretch run on
// their own, their feed-forward terms formed ahead of the recursion. Calls
// of every length up to a stretch and past it, through a burst and the tail
// that follows it down to the values the filters cut to zero, give the bits
// and leave the filter state of the chain written step for step.
TEST(Run, ShortCallsThroughADecayingTailMatchTheReferenceChain)
{
    const uint32_t lengths[] = {1, 2, 3, 4, 5, 7, 31, 32, 33, 63, 64, 65, 6};
    for (ReverbVariant v : VARIANTS) {
        SCOPED_TRACE(v == ReverbVariant::mono ? "mono" : "stereo");
        Plugin run, reference;
        for (Plugin* p : {&run, &reference}) {
            (*p)[PORT_DECAY] = 0.0f;
            (*p)[PORT_ROOM_SIZE] = 10.0f;
            (*p)[PORT_LOW_BAND_FREQ] = 3000.0f;
            (*p)[PORT_MIX] = 1.0f;
        }
        bool flushed = false;
        uint32_t done = 0;
        for (uint32_t call = 0; done < 20000; ++call) {
            const uint32_t n = lengths[call % (sizeof lengths / sizeof lengths[0])];
            Block a(n, call + 1), b(n, call + 1);
            // A burst of noise near the smallest values the filters keep
            // (2^-111), then silence while the tail rings on.
            for (Block* k : {&a, &b}) {
                for (float* x : {k->in_l.data(), k->in_r.data()})
                    for (uint32_t i = 0; i < n; ++i)
                        x[i] = done < 4000 ? x[i] * 0x1p-100f : 0.0f;
            }
            a.run(run, v);
            b.run_reference(reference, v);
            ASSERT_EQ(first_difference(a.out_l, b.out_l), -1) << "call " << call;
            ASSERT_EQ(first_difference(a.out_r, b.out_r), -1) << "call " << call;
            const FilterSection& f = run.self->out_filter_left;
            const FilterSection& g = reference.self->out_filter_left;
            ASSERT_EQ(float_bits(f.y1), float_bits(g.y1)) << "call " << call;
            ASSERT_EQ(float_bits(f.x1), float_bits(g.x1)) << "call " << call;
            ASSERT_EQ(float_bits(f.x2), float_bits(g.x2)) << "call " << call;
            ASSERT_EQ(float_bits(run.self->out_filter_right.y2),
                      float_bits(reference.self->out_filter_right.y2));
            flushed = flushed || (f.y1 == 0.0f && f.x1 != 0.0f);
            done += n;
        }
        EXPECT_TRUE(flushed) << "the tail never reached the values cut to zero";
    }
}

// The front of the chain reads the pre-delay line for a whole stretch
// ahead when no read can reach a value the stretch writes, and steps it
// sample by sample otherwise. Delays held and gliding below, across and
// above a stretch's length, and up to the end of the ring at 192 kHz, in
// calls short and long, give the bits of the chain written step for step.
TEST(Run, PredelayShorterAndLongerThanAStretchMatchesTheReferenceChain)
{
    const float delays_ms[] = {0.0f, 20.0f, 0.5f, 1.0f, 1.4f, 2.0f, 150.0f, 149.9f, 0.2f, 3.0f};
    const uint32_t lengths[] = {64, 17, 200, 5, 64, 33};
    for (double rate : {48000.0, 192000.0})
    for (ReverbVariant v : VARIANTS) {
        SCOPED_TRACE(testing::Message() << rate << (v == ReverbVariant::mono ? " mono" : " stereo"));
        Plugin run(rate), reference(rate);
        uint32_t call = 0;
        for (float delay : delays_ms) {
            for (Plugin* p : {&run, &reference})
                (*p)[PORT_PREDELAY] = delay;
            // Long enough for the glide (0.12 s) to settle at 48 kHz, not
            // always at 192 kHz.
            for (uint32_t done = 0; done < 12000; ++call) {
                const uint32_t n = lengths[call % (sizeof lengths / sizeof lengths[0])];
                Block a(n, call + 7), b(n, call + 7);
                a.run(run, v);
                b.run_reference(reference, v);
                ASSERT_EQ(first_difference(a.out_l, b.out_l), -1) << delay << " ms, call " << call;
                ASSERT_EQ(first_difference(a.out_r, b.out_r), -1) << delay << " ms, call " << call;
                done += n;
            }
            ASSERT_EQ(run.self->predelay_smoothed, reference.self->predelay_smoothed);
        }
    }
}

// The stereo sum is formed a slice at a time; a block of millions of samples
// with a length that is no multiple of the slice gives the bits of a sum over
// the whole block.
TEST(StereoRun, LongBlockMatchesAWholeBlockInputSum)
{
    Plugin run, reference;
    Block a(2000003, 9), b(2000003, 9);
    a.run(run, ReverbVariant::stereo);
    b.run_reference(reference, ReverbVariant::stereo);
    EXPECT_EQ(first_difference(a.out_l, b.out_l), -1);
    EXPECT_EQ(first_difference(a.out_r, b.out_r), -1);
}

TEST(Run, FirstCallMovesTheGainsOneStepForTheWholeCall)
{
    struct Case {
        ReverbVariant variant;
        float mix, wet, dry;
    };
    const Case cases[] = {
        {ReverbVariant::mono, 0.5f, 0.98f, 0.02f},
        {ReverbVariant::stereo, 0.5f, 0.9f, 0.1f},
        {ReverbVariant::stereo, 0.95f, 0.95f, 1.0f - 0.95f},  // both within a step: land
    };
    for (const Case& c : cases) {
        Plugin plugin;
        plugin[PORT_MIX] = c.mix;
        plugin[PORT_PREDELAY] = 150.0f;
        // An impulse at sample 100 reaches the output only through the dry
        // path in this call: the pre-delay has already grown past a sample.
        Block block(300);
        std::fill(block.in_l.begin(), block.in_l.end(), 0.0f);
        std::fill(block.in_r.begin(), block.in_r.end(), 0.0f);
        block.in_l[100] = 1.0f;
        block.run(plugin, c.variant);
        EXPECT_EQ(plugin.self->wet_gain, c.wet);
        EXPECT_EQ(plugin.self->dry_gain, c.dry);
        EXPECT_NEAR(plugin.self->fade_gain, 0.05f, 1e-6f);  // before 0, 64, 128, 192, 256
        EXPECT_EQ(block.out_l[100], c.dry);
        if (c.variant == ReverbVariant::stereo) {
            EXPECT_EQ(block.out_r[100], 0.0f);
        }
    }
}

// A call of zero samples touches no audio port (they are null here) but
// still prepares the block: a new room size restarts the fade; the gains and
// the fade do not step.
TEST(Run, ZeroSampleCallPreparesTheBlockAndStepsNothing)
{
    for (ReverbVariant v : VARIANTS) {
        Plugin plugin;
        Block warm(200);
        warm.run(plugin, v);
        ReverbInstance* s = plugin.self;
        for (uint32_t port : {12u, 13u, 14u, 15u})
            reverb_connect_port(s, port, nullptr);
        const float wet = s->wet_gain, dry = s->dry_gain, fade = s->fade_gain;
        ASSERT_GT(fade, 0.0f);

        plugin[PORT_PREDELAY] = 100.0f;
        auto run = v == ReverbVariant::mono ? reverb_run_mono : reverb_run_stereo;
        run(s, 0);
        EXPECT_EQ(s->fade_gain, fade);
        EXPECT_EQ(s->wet_gain, wet);
        EXPECT_EQ(s->dry_gain, dry);
        EXPECT_EQ(s->predelay_target, 4800.0);

        plugin[PORT_ROOM_SIZE] = 120.0f;
        run(s, 0);
        EXPECT_EQ(s->fade_gain, 0.0f);
        EXPECT_EQ(s->engine_b->room_size, 120.0f);
        EXPECT_EQ(s->wet_gain, wet);
    }
}

// Outputs connected to the inputs' buffers give the outputs of separate
// buffers, also crosswise (out_l on in_r) in the stereo plug-in.
TEST(Run, SharedBuffersGiveTheSameOutput)
{
    const uint32_t n = 700;
    Plugin separate_mono;
    Block reference(n);
    reference.run(separate_mono, ReverbVariant::mono);
    {
        Plugin plugin;
        std::vector<float> buffer = noise(n, 1);
        plugin.run_mono(buffer.data(), buffer.data(), n);
        EXPECT_EQ(first_difference(buffer, reference.out_l), -1);
    }

    Plugin separate_stereo;
    reference = Block(n);
    reference.run(separate_stereo, ReverbVariant::stereo);
    enum Sharing { straight, crossed, left_on_right };
    for (Sharing sharing : {straight, crossed, left_on_right}) {
        SCOPED_TRACE(sharing);
        Plugin plugin;
        std::vector<float> l = noise(n, 1), r = noise(n, 101), extra(n);
        switch (sharing) {
        case straight:
            plugin.run_stereo(l.data(), r.data(), l.data(), r.data(), n);
            EXPECT_EQ(first_difference(l, reference.out_l), -1);
            EXPECT_EQ(first_difference(r, reference.out_r), -1);
            break;
        case crossed:
            plugin.run_stereo(l.data(), r.data(), r.data(), l.data(), n);
            EXPECT_EQ(first_difference(r, reference.out_l), -1);
            EXPECT_EQ(first_difference(l, reference.out_r), -1);
            break;
        case left_on_right:
            plugin.run_stereo(l.data(), r.data(), r.data(), extra.data(), n);
            EXPECT_EQ(first_difference(r, reference.out_l), -1);
            EXPECT_EQ(first_difference(extra, reference.out_r), -1);
            break;
        }
    }
}

// A non-finite input is replaced by silence on its way into the reverb: the
// output of every later sample is that of an instance that got 0 there, and
// only the dry term of that one sample carries the bad value.
TEST(Run, NonFiniteInputDoesNotSilenceTheReverb)
{
    struct Case {
        ReverbVariant variant;
        float left, right;  // the bad sample's inputs
        bool left_bad, right_bad;
    };
    const Case cases[] = {
        {ReverbVariant::mono, NaN, 0.0f, true, false},
        {ReverbVariant::mono, INF, 0.0f, true, false},
        {ReverbVariant::stereo, 0.0f, NaN, false, true},
        {ReverbVariant::stereo, -INF, 0.0f, true, false},
        {ReverbVariant::stereo, 3e38f, 3e38f, false, false},  // the sum overflows
    };
    const uint32_t n = 20000, bad = 5000;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << " " << c.right);
        Plugin plugin, twin;
        for (Plugin* p : {&plugin, &twin})
            (*p)[PORT_MIX] = 0.5f;
        Block block(n, 3), twin_block(n, 3);
        block.in_l[bad] = c.left;
        block.in_r[bad] = c.right;
        twin_block.in_l[bad] = 0.0f;
        twin_block.in_r[bad] = 0.0f;
        for (int call = 0; call < 3; ++call) {
            block.run(plugin, c.variant);
            twin_block.run(twin, c.variant);
            if (call == 0) {
                EXPECT_EQ(std::isnan(block.out_l[bad]) || std::isinf(block.out_l[bad]), c.left_bad);
                if (c.variant == ReverbVariant::stereo) {
                    EXPECT_EQ(!std::isfinite(block.out_r[bad]), c.right_bad);
                }
                block.out_l[bad] = twin_block.out_l[bad];
                block.out_r[bad] = twin_block.out_r[bad];
                block.in_l[bad] = block.in_r[bad] = 0.0f;
            }
            EXPECT_EQ(first_difference(block.out_l, twin_block.out_l), -1);
            if (c.variant == ReverbVariant::stereo) {
                EXPECT_EQ(first_difference(block.out_r, twin_block.out_r), -1);
            }
        }
        // The wet path is still alive: the output is more than the dry signal.
        double wet_energy = 0.0;
        for (uint32_t i = bad + 1; i < n; ++i) {
            const double wet = double(block.out_l[i]) - double(plugin.self->dry_gain * block.in_l[i]);
            wet_energy += wet * wet;
        }
        EXPECT_GT(wet_energy, 1e-3);
    }
}

// The run operations use their own floating-point mode whatever the calling
// thread's, and hand the caller's mode back unchanged.
TEST(Run, FloatingPointModeIsTheRunsOwnAndTheCallersIsRestored)
{
    const FpMode caller_modes[] = {
        FP_MODE_DEFAULT,                  // no flushing, round to nearest
        FP_MODE_DEFAULT | FP_MODE_FLUSH,  // denormals flushed to zero
        toward_zero_with_a_flag(),
    };
    std::vector<std::vector<float>> outputs;
    for (FpMode caller_mode : caller_modes) {
        for (ReverbVariant v : VARIANTS) {
            FpMode mode_after = 0;
            std::vector<float> out;
            std::thread caller([&] {
                Plugin plugin;
                plugin[PORT_DECAY] = 0.2f;
                Block block(30000, 4);
                std::fill(block.in_l.begin() + 2000, block.in_l.end(), 0.0f);
                std::fill(block.in_r.begin() + 2000, block.in_r.end(), 0.0f);
                fp_mode_set(caller_mode);
                block.run(plugin, v);
                mode_after = fp_mode_get();
                out = block.out_l;
                out.insert(out.end(), block.out_r.begin(), block.out_r.end());
            });
            caller.join();
            EXPECT_EQ(mode_after, caller_mode);
            outputs.push_back(out);
        }
    }
    for (size_t k = 2; k < outputs.size(); ++k)
        EXPECT_EQ(first_difference(outputs[k], outputs[k % 2]), -1) << k;

    // Denormals are read as zero inside run, even when the caller's mode
    // keeps them: a denormal input through a dry gain of 1 comes out as 0.
    std::thread caller([] {
        Plugin plugin;
        plugin[PORT_MIX] = 0.0f;
        std::vector<float> in(64, 0.0f), out(64);
        for (int call = 0; call < 60; ++call)
            plugin.run_mono(in.data(), out.data(), 64);
        ASSERT_EQ(plugin.self->dry_gain, 1.0f);
        ASSERT_EQ(plugin.self->wet_gain, 0.0f);
        fp_mode_set(FP_MODE_DEFAULT);
        in.assign(64, 1e-40f);
        plugin.run_mono(in.data(), out.data(), 64);
        for (float v : out)
            EXPECT_EQ(float_bits(v), 0u);
    });
    caller.join();
}
