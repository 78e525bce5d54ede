// The GUI's model: values written with units, typed values read back, and
// anything a host sends held in range.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "control_model.h"

namespace {

constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

std::string formatted(uint32_t port, float value)
{
    char text[32];
    control_format(port, value, text, sizeof text);
    return text;
}

TEST(ControlModel, FormatsEachUnitAsAMusicianReadsIt)
{
    const struct {
        uint32_t port;
        float value;
        const char* text;
    } cases[] = {
        {PORT_MIX, 0.25f, "25 %"},
        {PORT_DECAY_TILT, -0.5f, "-50 %"},
        {PORT_DECAY_TILT, 0.001f, "0 %"},
        {PORT_DECAY, 1.5f, "1.50 s"},
        {PORT_DECAY, 30.0f, "30.0 s"},
        {PORT_PREDELAY, 2.5f, "2.5 ms"},
        {PORT_PREDELAY, 150.0f, "150 ms"},
        {PORT_ROOM_SIZE, 40.0f, "40 m"},
        {PORT_LOW_CUT, 60.0f, "60.0 Hz"},
        {PORT_HIGH_BAND_FREQ, 600.0f, "600 Hz"},
        {PORT_HIGH_BAND_FREQ, 999.9f, "1.00 kHz"},
        {PORT_LOW_BAND_FREQ, 2500.0f, "2.50 kHz"},
        {PORT_LOW_BAND_FREQ, 12000.0f, "12.0 kHz"},
        {PORT_WET_LEVEL, -6.0f, "-6.0 dB"},
        {PORT_WET_LEVEL, 0.0f, "0.0 dB"},
        {PORT_WET_LEVEL, -90.0f, "-inf dB"},
        {PORT_WET_LEVEL, NaN, "0.0 dB"},  // never "nan"
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatted(c.port, c.value), c.text) << CONTROL_INFO[c.port].symbol;

    char small[4];  // a short buffer is cut, never overrun
    EXPECT_EQ(control_format(PORT_LOW_BAND_FREQ, 2500.0f, small, sizeof small), 3u);
    EXPECT_STREQ(small, "2.5");
}

TEST(ControlModel, ParsesTypedValuesWithUnitsAndClampsThem)
{
    const struct {
        uint32_t port;
        const char* text;
        float value;
    } accepted[] = {
        {PORT_HIGH_BAND_FREQ, "2.5k", 2500.0f},
        {PORT_HIGH_BAND_FREQ, " 2500 Hz ", 2500.0f},
        {PORT_HIGH_BAND_FREQ, "1,2 kHz", 1200.0f},  // a comma for the point
        {PORT_HIGH_BAND_FREQ, "20", 50.0f},         // clamped to the range
        {PORT_DECAY, "300 ms", 0.3f},
        {PORT_DECAY, "2.5", 2.5f},
        {PORT_PREDELAY, "0.05 s", 50.0f},
        {PORT_PREDELAY, "12", 12.0f},
        {PORT_WET_LEVEL, "-6 dB", -6.0f},
        {PORT_WET_LEVEL, "-inf", -90.0f},
        {PORT_WET_LEVEL, "+20", 6.0f},
        {PORT_MIX, "40%", 0.4f},
        {PORT_MIX, "40", 0.4f},  // a bare number is in the unit shown
        {PORT_DECAY_TILT, "-25 %", -0.25f},
    };
    for (const auto& c : accepted) {
        float v = NaN;
        ASSERT_TRUE(control_parse(c.port, c.text, &v)) << c.text;
        EXPECT_FLOAT_EQ(v, c.value) << c.text;
    }

    const struct {
        uint32_t port;
        const char* text;
    } rejected[] = {
        {PORT_DECAY, ""},          {PORT_DECAY, "   "},       {PORT_DECAY, "nan"},
        {PORT_DECAY, "inf"},       {PORT_DECAY, "1.5 Hz"},    {PORT_DECAY, "1..5"},
        {PORT_HIGH_BAND_FREQ, "k"}, {PORT_HIGH_BAND_FREQ, "2.5kk"}, {PORT_ROOM_SIZE, "1e3"},
        {PORT_MIX, "40 %%"},       {PORT_WET_LEVEL, "-infinity"},
        {PORT_ROOM_SIZE, "99999999999999999999999999999999999999999999"},
        {CONTROL_PORT_COUNT, "1"},
    };
    for (const auto& c : rejected) {
        float v = 123.0f;
        EXPECT_FALSE(control_parse(c.port, c.text, &v)) << c.text;
        EXPECT_EQ(v, 123.0f) << c.text;
    }
}

TEST(ControlModel, HoldsAnyHostValueInRangeAndIgnoresRepeats)
{
    ControlModel model;
    control_model_reset(&model);
    EXPECT_FALSE(control_model_set(&model, PORT_DECAY, 1.5f));  // the default again
    EXPECT_TRUE(control_model_set(&model, PORT_DECAY, INF));
    EXPECT_EQ(model.values[PORT_DECAY], 30.0f);
    EXPECT_TRUE(control_model_set(&model, PORT_DECAY, NaN));
    EXPECT_EQ(model.values[PORT_DECAY], 1.5f);
    EXPECT_TRUE(control_model_set(&model, PORT_WET_LEVEL, -1e30f));
    EXPECT_EQ(model.values[PORT_WET_LEVEL], -90.0f);
    EXPECT_FALSE(control_model_set(&model, PORT_IN_L, 1.0f));

    // Steps on the declared scale: the ends are reached exactly, a log
    // scale puts its geometric middle halfway.
    EXPECT_EQ(control_step(PORT_LOW_CUT, 60.0f, 2.0), 1000.0f);
    EXPECT_EQ(control_step(PORT_LOW_CUT, 60.0f, -2.0), 20.0f);
    EXPECT_NEAR(control_from_normal(PORT_HIGH_BAND_FREQ, 0.5), std::sqrt(50.0 * 12000.0), 0.01);
    EXPECT_NEAR(control_from_normal(PORT_DECAY, 0.5), 15.0, 1e-5);
    EXPECT_EQ(control_from_normal(PORT_DECAY, double(NaN)), 1.5f);
}

}  // namespace
