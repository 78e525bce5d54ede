#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>

#include "filter_section.h"
#include "float_bits.h"

namespace {

struct DesignCase {
    const char* name;
    bool highpass;
    float frequency;
    double bandwidth;
    float fb1, fb2, ff0, ff1;
};

// At 48000 Hz. 1000 Hz band filters: fb1 1.80555, fb2 -0.821131; low-pass
// ff0 0.00389500, ff1 0.00778999; high-pass ff0 0.906671, ff1 -1.81334.
// 100 Hz low cut: 1.99436, -0.994532, 0.997223, -1.99445.
const DesignCase DESIGNS[] = {
    {"lowpass1000", false, 1000.0f, BAND_BANDWIDTH, 0x1.ce389ep+0f, -0x1.a46b54p-1f,
     0x1.fe8666p-9f, 0x1.fe8666p-8f},
    {"highpass1000", true, 1000.0f, BAND_BANDWIDTH, 0x1.ce389ep+0f, -0x1.a46b54p-1f,
     0x1.d03724p-1f, -0x1.d03724p+0f},
    {"lowcut100", true, 100.0f, LOW_CUT_BANDWIDTH, 0x1.fe8e7p+0f, -0x1.fd3344p-1f,
     0x1.fe9408p-1f, -0x1.fe9408p+0f},
};

// Short names in test listings instead of a byte dump.
void PrintTo(const DesignCase& c, std::ostream* os) { *os << c.name; }

}  // namespace

class FilterDesign : public ::testing::TestWithParam<DesignCase> {};

TEST_P(FilterDesign, CoefficientsAt48kHzAreExact)
{
    const DesignCase& c = GetParam();
    FilterSection section{};
    section.x1 = 0.5f;  // designing a section leaves its history alone
    if (c.highpass)
        filter_section_highpass(&section, c.frequency, 48000.0f, c.bandwidth);
    else
        filter_section_lowpass(&section, c.frequency, 48000.0f, c.bandwidth);
    EXPECT_SAME_FLOAT(c.fb1, section.fb1);
    EXPECT_SAME_FLOAT(c.fb2, section.fb2);
    EXPECT_SAME_FLOAT(c.ff0, section.ff0);
    EXPECT_SAME_FLOAT(c.ff1, section.ff1);
    EXPECT_SAME_FLOAT(c.ff0, section.ff2);
    EXPECT_EQ(0.5f, section.x1);
}

INSTANTIATE_TEST_SUITE_P(Cookbook, FilterDesign, ::testing::ValuesIn(DESIGNS),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FilterSection, HighPassBlocksAndLowPassPassesDirectCurrent)
{
    for (float f : {20.0f, 57.0f, 600.0f, 4000.0f, 19000.0f}) {
        for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
            FilterSection hp{};
            FilterSection lp{};
            filter_section_highpass(&hp, f, rate, BAND_BANDWIDTH);
            filter_section_lowpass(&lp, f, rate, BAND_BANDWIDTH);
            EXPECT_SAME_FLOAT(-2.0f * hp.ff0, hp.ff1);
            EXPECT_EQ(0.0f, hp.ff0 + hp.ff1 + hp.ff2);
            EXPECT_SAME_FLOAT(2.0f * lp.ff0, lp.ff1);
        }
    }
}

TEST(FilterSection, TinyOutputsAreFlushedToPositiveZero)
{
    // A pass-through section (ff0 = 1) shows the flush on its output.
    FilterSection section{};
    section.ff0 = 1.0f;
    EXPECT_SAME_FLOAT(0.0f, filter_section_process(&section, 1e-34f));
    EXPECT_SAME_FLOAT(0.0f, section.y1);
    EXPECT_SAME_FLOAT(0.0f, filter_section_process(&section, -1e-34f));
    EXPECT_SAME_FLOAT(0.0f, filter_section_process(&section, -0.0f));
    EXPECT_SAME_FLOAT(1e-33f, filter_section_process(&section, 1e-33f));
    EXPECT_SAME_FLOAT(0x1p-111f, filter_section_process(&section, 0x1p-111f));
    EXPECT_SAME_FLOAT(0.0f, filter_section_process(&section, 0x1.fffffep-112f));
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_SAME_FLOAT(inf, filter_section_process(&section, inf));
    EXPECT_TRUE(std::isnan(filter_section_process(&section, std::nanf(""))));
}

TEST(FilterSection, AdditionsFollowTheFixedOrder)
{
    FilterSection s{};
    filter_section_lowpass(&s, 1000.0f, 48000.0f, BAND_BANDWIDTH);
    s.x1 = 0.3f;
    s.x2 = -0.7f;
    s.y1 = 0.9f;
    s.y2 = -0.2f;
    const float x = 0.123f;
    float y = s.ff2 * -0.7f + s.ff1 * 0.3f;
    y = y + s.fb1 * 0.9f;
    y = y + s.fb2 * -0.2f;
    y = y + s.ff0 * x;
    EXPECT_SAME_FLOAT(y, filter_section_process(&s, x));
    EXPECT_SAME_FLOAT(x, s.x1);
    EXPECT_SAME_FLOAT(0.3f, s.x2);
    EXPECT_SAME_FLOAT(y, s.y1);
    EXPECT_SAME_FLOAT(0.9f, s.y2);
}

TEST(FilterSection, ClearedSectionFedZerosStaysAtZero)
{
    FilterSection s{};
    filter_section_highpass(&s, 100.0f, 48000.0f, LOW_CUT_BANDWIDTH);
    for (int i = 0; i < 1000; ++i)
        filter_section_process(&s, i % 7 == 0 ? 1.0f : -0.5f);
    filter_section_clear(&s);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(0u, float_bits(filter_section_process(&s, 0.0f)));
}

TEST(FilterSection, DecayingSectionSettlesAtExactZero)
{
    FilterSection s{};
    filter_section_lowpass(&s, 600.0f, 48000.0f, BAND_BANDWIDTH);
    filter_section_process(&s, 1.0f);
    for (int i = 0; i < 100000; ++i)
        filter_section_process(&s, 0.0f);
    EXPECT_EQ(0u, float_bits(s.y1));
    EXPECT_EQ(0u, float_bits(s.y2));
    EXPECT_EQ(0u, float_bits(filter_section_process(&s, 0.0f)));
}
