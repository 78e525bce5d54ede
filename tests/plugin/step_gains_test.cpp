#include <cmath>

#include <gtest/gtest.h>

#include "plugin_harness.h"

TEST(StepGains, FadeRisesByHundredthsAndStopsJustAboveOne)
{
    Plugin plugin;
    BlockTargets t{1.0f, 0.0f, 1.0f};
    for (int n = 1; n <= 100; ++n)
        step_gains(plugin.self, &t, MONO_GAIN_STEP);
    EXPECT_EQ(plugin.self->fade_gain, 0.99999934f);
    step_gains(plugin.self, &t, MONO_GAIN_STEP);
    EXPECT_EQ(plugin.self->fade_gain, 1.0099994f);
    step_gains(plugin.self, &t, MONO_GAIN_STEP);
    EXPECT_EQ(plugin.self->fade_gain, 1.0099994f);
}

// Number of block calls a gain needs to land on its target, one step per
// call, as the run operations apply it.
TEST(StepGains, GainsReachTheirTargetsInBoundedStepsPerCall)
{
    struct Case {
        double step;
        float start_wet, start_dry, wet_target, dry_target;
        int calls;          // until both gains equal their targets
        float dry_before;   // dry gain one call earlier
    };
    const Case cases[] = {
        {MONO_GAIN_STEP, 0.0f, 0.0f, 0.0f, 1.0f, 51, 0.99999964f},
        {STEREO_GAIN_STEP, 0.0f, 0.0f, 0.0f, 1.0f, 10, 0.900000095f},
        {MONO_GAIN_STEP, 1.0f, 0.5f, 0.5f, 0.5f, 26, 0.5f},
        {STEREO_GAIN_STEP, 1.0f, 0.5f, 0.5f, 0.5f, 5, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "step " << c.step << " calls " << c.calls);
        Plugin plugin;
        ReverbInstance* s = plugin.self;
        s->wet_gain = c.start_wet;
        s->dry_gain = c.start_dry;
        int calls = 0;
        float dry_before = 0.0f;
        while (s->wet_gain != c.wet_target || s->dry_gain != c.dry_target) {
            ASSERT_LT(calls, 100);
            dry_before = s->dry_gain;
            BlockTargets t{c.wet_target, c.dry_target, 1.0f};
            step_gains(s, &t, c.step);
            EXPECT_EQ(t.wet_target, s->wet_gain);
            EXPECT_EQ(t.dry_target, s->dry_gain);
            // The later steps of the same call find the gains on their targets.
            step_gains(s, &t, c.step);
            EXPECT_EQ(t.wet_target, s->wet_gain);
            ++calls;
        }
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(dry_before, c.dry_before);
    }
}
