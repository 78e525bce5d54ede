// The GUI's model: values written with units, typed values read back,
// anything a host sends held in range; which factory preset the controls
// match and where stepping leads.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "control_model.h"
#include "preset_browser.h"
#include "preset_table.h"

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
        {PORT_ROOM_SIZE, "70 m", 70.0f},
        {PORT_ROOM_SIZE, "300", 240.0f},
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
        {PORT_MIX, "40 %%"},       {PORT_WET_LEVEL, "-infinity"}, {PORT_WET_LEVEL, "-ix"},
        {PORT_DECAY, "2 seconds long"},
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

TEST(PresetBrowser, NamesThePresetTheControlsMatchExactly)
{
    ControlModel model;
    control_model_reset(&model);
    EXPECT_EQ(preset_find(model.values), 0);
    EXPECT_STREQ(preset_name(0), "Default");
    ASSERT_EQ(preset_count(), 7);
    for (int i = 0; i < preset_count(); ++i) {
        float values[CONTROL_PORT_COUNT];
        std::copy(PRESETS[i].values, PRESETS[i].values + CONTROL_PORT_COUNT, values);
        EXPECT_EQ(preset_find(values), i) << PRESETS[i].name;
        EXPECT_STREQ(preset_name(i), PRESETS[i].name);
        // -0.0 for a zero is the same value; one step of a float off is not.
        for (float& v : values)
            v = v == 0.0f ? -0.0f : v;
        EXPECT_EQ(preset_find(values), i) << PRESETS[i].name;
        for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port) {
            const float kept = values[port];
            values[port] = std::nextafter(kept, INF);
            EXPECT_EQ(preset_find(values), NO_PRESET) << PRESETS[i].name << " " << port;
            values[port] = kept;
        }
    }
    EXPECT_STREQ(preset_name(NO_PRESET), "Custom");
}

TEST(PresetBrowser, StepsFromTheMatchOrTheLastOneMatched)
{
    const int last = preset_count() - 1;
    const struct {
        int matched;  // preset the controls match, or NO_PRESET
        int before;   // preset they matched before, or NO_PRESET
        int step;
        bool wrap;
        int to;
    } cases[] = {
        {0, NO_PRESET, 1, true, 1},       {0, NO_PRESET, -1, true, last},
        {0, NO_PRESET, -1, false, 0},     {last, 0, 1, true, 0},
        {last, 0, 1, false, last},        {NO_PRESET, 3, 1, true, 4},
        {NO_PRESET, 3, -1, false, 2},     {NO_PRESET, NO_PRESET, 1, true, 0},
        {NO_PRESET, NO_PRESET, -1, true, last}, {NO_PRESET, NO_PRESET, -1, false, 0},
    };
    for (const auto& c : cases) {
        PresetBrowser browser;
        preset_browser_reset(&browser);
        float values[CONTROL_PORT_COUNT];
        if (c.before != NO_PRESET)
            preset_browser_follow(&browser, PRESETS[c.before].values);
        std::copy(PRESETS[c.matched == NO_PRESET ? 1 : c.matched].values,
                  PRESETS[c.matched == NO_PRESET ? 1 : c.matched].values + CONTROL_PORT_COUNT,
                  values);
        if (c.matched == NO_PRESET)
            values[PORT_DECAY] = 29.0f;  // no preset's
        preset_browser_follow(&browser, values);
        EXPECT_EQ(preset_browser_step(&browser, values, c.step, c.wrap), c.to)
            << c.matched << " after " << c.before << ", step " << c.step << (c.wrap ? " wrapping" : "");
    }
}

}  // namespace
