#include <gtest/gtest.h>

#include <iomanip>

#include "allpass_diffuser.h"
#include "damping_filter.h"
#include "delay_line.h"
#include "float_bits.h"

TEST(DelayLine, TapReturnsTheValuePushedThatManyPushesAgo)
{
    float store[5] = {};
    DelayLine made, *line = &made;
    delay_line_init(line, 5, store);
    for (int d = 1; d <= 5; ++d)
        EXPECT_EQ(delay_line_tap(line, d), 0.0f);
    // Push 1..12 so the index wraps more than once.
    for (int v = 1; v <= 12; ++v) {
        delay_line_push(line, float(v));
        EXPECT_EQ(delay_line_tap(line, 1), float(v));
    }
    for (int d = 1; d <= 5; ++d)
        EXPECT_EQ(delay_line_tap(line, d), float(13 - d)) << "distance " << d;
    delay_line_clear(line);
    EXPECT_EQ(line->index, 12 % 5);
    for (int d = 1; d <= 5; ++d)
        EXPECT_EQ(delay_line_tap(line, d), 0.0f);
}

TEST(DampingFilter, CoefficientZeroPassesTheInputExactly)
{
    DampingFilter made, *filter = &made;
    damping_filter_init(filter, 0.0f);
    for (float x : {1.0f, -3.25f, 1e-30f, 12345.678f})
        EXPECT_SAME_FLOAT(x, damping_filter_run(filter, x));
}

TEST(DampingFilter, CoefficientOneHoldsItsState)
{
    DampingFilter made, *filter = &made;
    damping_filter_init(filter, 1.0f);
    filter->state = 0.25f;
    for (float x : {1.0f, -7.0f, 0.0f})
        EXPECT_SAME_FLOAT(0.25f, damping_filter_run(filter, x));
    damping_filter_clear(filter);
    EXPECT_EQ(filter->state, 0.0f);
    EXPECT_EQ(filter->coefficient, 1.0f);
}

TEST(DampingFilter, FeedTermIsDoubleAndStateTermSingle)
{
    // x(1 - c) formed in double, c * state in single, one rounding at the end.
    DampingFilter made, *filter = &made;
    damping_filter_init(filter, 0.3f);
    filter->state = 0.7f;
    const float x = 0.1f;
    const float expected = float(double(x) * (1.0 - double(0.3f)) + double(0.3f * 0.7f));
    EXPECT_SAME_FLOAT(expected, damping_filter_run(filter, x));
    EXPECT_SAME_FLOAT(expected, filter->state);
}

TEST(AllpassDiffuser, ImpulseReturnsCoefficientThenOneMinusCSquared)
{
    const int n = 7;
    const float c = 0.625f;
    float store[n] = {};
    AllpassDiffuser made, *diffuser = &made;
    allpass_diffuser_init(diffuser, n, c, store);
    EXPECT_SAME_FLOAT(c, allpass_diffuser_run(diffuser, 1.0f));
    EXPECT_EQ(store[0], 1.0);
    for (int i = 1; i < n; ++i)
        EXPECT_EQ(allpass_diffuser_run(diffuser, 0.0f), 0.0f) << "step " << i;
    EXPECT_SAME_FLOAT(float(1.0 - double(c) * double(c)), allpass_diffuser_run(diffuser, 0.0f));
    EXPECT_EQ(store[0], -double(c));
}

TEST(AllpassDiffuser, TinyValuesAreCutBeforeTheyAreStored)
{
    float store[3] = {};
    AllpassDiffuser made, *diffuser = &made;
    allpass_diffuser_init(diffuser, 3, 0.75f, store);
    // 1e-35 has exponent field 10: cut. 2^-111 has exponent field 16: kept.
    EXPECT_SAME_FLOAT(0.0f, allpass_diffuser_run(diffuser, 1e-35f));
    EXPECT_SAME_DOUBLE(0.0, store[0]);
    const float smallest_kept = 0x1p-111f;
    allpass_diffuser_run(diffuser, smallest_kept);
    EXPECT_SAME_DOUBLE(double(smallest_kept), store[1]);
    EXPECT_TRUE(allpass_diffuser_is_tiny(0x1.fffffep-112f));
    EXPECT_TRUE(allpass_diffuser_is_tiny(-0.0f));
    EXPECT_FALSE(allpass_diffuser_is_tiny(__builtin_inff()));
    EXPECT_FALSE(allpass_diffuser_is_tiny(__builtin_nanf("")));
}

TEST(AllpassDiffuser, ClearSilencesTheStoreButKeepsTheIndex)
{
    float store[4] = {};
    AllpassDiffuser made, *diffuser = &made;
    allpass_diffuser_init(diffuser, 4, 0.78f, store);
    for (int i = 0; i < 6; ++i)
        allpass_diffuser_run(diffuser, float(i + 1));
    allpass_diffuser_clear(diffuser);
    EXPECT_EQ(diffuser->line.index, 2);
    for (int i = 0; i < 12; ++i)
        EXPECT_SAME_FLOAT(0.0f, allpass_diffuser_run(diffuser, 0.0f));
}
