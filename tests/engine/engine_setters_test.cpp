#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iomanip>

#include "float_bits.h"
#include "reverb_engine.h"

namespace {

ReverbEngine* make_engine_b()
{
    return reverb_engine_create(48000, 240.0f, 50.0f, 7.0f, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f);
}

struct RoomCase {
    float size;
    float largest_delay;
    std::array<int32_t, 4> lengths;
    std::array<int32_t, 4> taps;
    std::array<float, 4> feedback_gains;  // the decay factor to the power of each length, negated
    std::array<float, 4> tap_gains;       // and of each tap position
};

// At 48000 Hz. 35.35 is engine A's share of a 50 m room, f32(50 * 0.707).
const std::array<float, 4> SMALLEST_FEEDBACK = {-0x1.fe8482p-1f, -0x1.feca66p-1f, -0x1.fef2bep-1f,
                                                -0x1.ff1056p-1f};
const std::array<float, 4> SMALLEST_TAPS = {0x1.ff564ep-1f, 0x1.ff8162p-1f, 0x1.ffb73ep-1f, 0x1.ffefd4p-1f};
const RoomCase ROOMS[] = {
    {50.0f, 7056.0f, {7056, 5761, 4989, 4463}, {2898, 2122, 1099, 76},
     {-0x1.bad91p-1f, -0x1.c6cca6p-1f, -0x1.ce13bcp-1f, -0x1.d31a32p-1f},
     {0x1.e26118p-1f, 0x1.ea237cp-1f, 0x1.f48f0ap-1f, 0x1.ff335p-1f}},
    {float(50.0 * 0.707), 0x1.37c978p+12f, {4989, 4073, 3527, 3155}, {2050, 1502, 778, 55},
     {-0x1.ce13bcp-1f, -0x1.d6dd0ep-1f, -0x1.dc2e18p-1f, -0x1.dfd63p-1f},
     {0x1.eadd66p-1f, 0x1.f06d7cp-1f, 0x1.f7dfb6p-1f, 0x1.ff6bd8p-1f}},
    {240.0f, 0x1.08999ap+15f, {33869, 27654, 23949, 21420}, {13891, 10166, 5255, 344},
     {-0x1.fe4c7p-2f, -0x1.21ef14p-1f, -0x1.38e30ep-1f, -0x1.4996e4p-1f},
     {0x1.80c7c6p-1f, 0x1.9f69b2p-1f, 0x1.cb8e74p-1f, 0x1.fc6414p-1f}},
    {0.5f, 0x1.1a3d7p+7f, {141, 115, 100, 89}, {63, 47, 27, 6}, SMALLEST_FEEDBACK, SMALLEST_TAPS},
    {NAN, 0x1.1a3d7p+7f, {141, 115, 100, 89}, {63, 47, 27, 6}, SMALLEST_FEEDBACK, SMALLEST_TAPS},
    {-3.0f, 0x1.1a3d7p+7f, {141, 115, 100, 89}, {63, 47, 27, 6}, SMALLEST_FEEDBACK, SMALLEST_TAPS},
};

void PrintTo(const RoomCase& c, std::ostream* os) { *os << "room " << c.size; }

}  // namespace

class RoomSizeSetter : public ::testing::TestWithParam<RoomCase> {};

TEST_P(RoomSizeSetter, RetunesLengthsAndTapsWithinTheBuiltLines)
{
    const RoomCase& c = GetParam();
    ReverbEngine* engine = make_engine_b();
    const std::array<int32_t, 7> diffusers_before = {
        engine->input_diffuser->line.size,     engine->left_diffusers[0]->line.size,
        engine->left_diffusers[1]->line.size,  engine->left_diffusers[2]->line.size,
        engine->right_diffusers[0]->line.size, engine->right_diffusers[1]->line.size,
        engine->right_diffusers[2]->line.size};
    const double decay_before = engine->decay_factor;

    reverb_engine_set_room_size(engine, c.size);

    EXPECT_SAME_FLOAT(c.largest_delay, engine->largest_delay);
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(c.lengths[k], engine->fdn_lengths[k]);
        EXPECT_EQ(c.taps[k], engine->tap_positions[k]);
        EXPECT_SAME_FLOAT(c.feedback_gains[k], engine->fdn_gains[k]);
        EXPECT_SAME_FLOAT(c.tap_gains[k], engine->tap_gains[k]);
    }
    // Nothing that was sized at construction moves.
    EXPECT_SAME_DOUBLE(decay_before, engine->decay_factor);
    EXPECT_EQ(34882, engine->fdn_delays[0]->size);
    EXPECT_EQ(diffusers_before[0], engine->input_diffuser->line.size);
    EXPECT_EQ(diffusers_before[3], engine->left_diffusers[2]->line.size);
    EXPECT_EQ(diffusers_before[6], engine->right_diffusers[2]->line.size);
    reverb_engine_destroy(engine);
}

INSTANTIATE_TEST_SUITE_P(At48k, RoomSizeSetter, ::testing::ValuesIn(ROOMS));

TEST(DecayTimeSetter, SetsFactorAndFeedbackGainsButKeepsTapGains)
{
    ReverbEngine* engine = make_engine_b();
    reverb_engine_set_room_size(engine, 50.0f);
    // Tap gains from the construction decay factor (decay 7 s):
    // 0.94215, 0.95730, 0.97765, 0.99844.
    const std::array<float, 4> tap_gains = {0x1.e26118p-1f, 0x1.ea237cp-1f, 0x1.f48f0ap-1f,
                                            0x1.ff335p-1f};
    for (int k = 0; k < 4; ++k)
        EXPECT_SAME_FLOAT(tap_gains[k], engine->tap_gains[k]);

    reverb_engine_set_decay_time(engine, 1.1f);
    // g = 0.99986917, gains -0.39724 -0.47059 -0.52060 -0.55770.
    EXPECT_SAME_DOUBLE(double(0x1.ffeedap-1f), engine->decay_factor);
    const std::array<float, 4> gains = {-0x1.96c652p-2f, -0x1.e1e1aap-2f, -0x1.0a8caep-1f,
                                        -0x1.1d8a42p-1f};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_SAME_FLOAT(gains[k], engine->fdn_gains[k]);
        EXPECT_SAME_FLOAT(tap_gains[k], engine->tap_gains[k]);
    }
    EXPECT_EQ(1.1f, engine->decay_time);

    // The next room size reads the new factor for its tap gains (0.68443).
    reverb_engine_set_room_size(engine, 50.0f);
    EXPECT_SAME_FLOAT(0x1.5e6ceep-1f, engine->tap_gains[0]);
    reverb_engine_destroy(engine);
}

TEST(DecayTimeSetter, RepeatedRoomSizeGivesIdenticalTuning)
{
    ReverbEngine* engine = make_engine_b();
    reverb_engine_set_room_size(engine, 73.5f);
    reverb_engine_set_decay_time(engine, 2.3f);
    reverb_engine_set_room_size(engine, 73.5f);
    ReverbEngine first = *engine;
    reverb_engine_set_room_size(engine, 73.5f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(first.fdn_lengths[k], engine->fdn_lengths[k]);
        EXPECT_SAME_FLOAT(first.fdn_gains[k], engine->fdn_gains[k]);
        EXPECT_EQ(first.tap_positions[k], engine->tap_positions[k]);
        EXPECT_SAME_FLOAT(first.tap_gains[k], engine->tap_gains[k]);
    }
    reverb_engine_destroy(engine);
}

TEST(LevelAndFilterSetters, StoreTheirValuesAndRetuneTheDampers)
{
    ReverbEngine* engine = make_engine_b();
    reverb_engine_set_damping(engine, 0.2f);
    reverb_engine_set_input_bandwidth(engine, 0.7f);
    reverb_engine_set_early_level(engine, 0.3f);
    reverb_engine_set_tail_level(engine, 0.9f);
    EXPECT_EQ(0.2f, engine->damping);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(0.2f, engine->fdn_dampers[k]->coefficient);
    EXPECT_EQ(0.7f, engine->input_bandwidth);
    EXPECT_SAME_FLOAT(1.0f - 0.7f, engine->input_damper->coefficient);
    EXPECT_EQ(0.3f, engine->early_level);
    EXPECT_EQ(0.9f, engine->tail_level);
    reverb_engine_destroy(engine);
}
