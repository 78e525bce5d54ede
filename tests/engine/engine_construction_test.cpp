#include <gtest/gtest.h>

#include <array>
#include <iomanip>

#include "float_bits.h"
#include "reverb_engine.h"

namespace {

// The engines a plug-in instance builds: max room 240, room 50, decay 7,
// damping 0.5, input bandwidth 0.5, early and tail level 0.5.
ReverbEngine* make_engine(int32_t rate, float spread)
{
    return reverb_engine_create(rate, 240.0f, 50.0f, 7.0f, 0.5f, spread, 0.5f, 0.5f, 0.5f);
}

struct ConstructionCase {
    int32_t rate;
    float spread;
    float max_delay;
    float largest_delay;
    int32_t capacity;
    double decay_factor;
    std::array<int32_t, 4> lengths;
    std::array<float, 4> gains;
    int32_t input_diffuser;
    std::array<int32_t, 3> left;
    std::array<int32_t, 3> right;
    std::array<int32_t, 4> taps;
    std::array<float, 4> tap_gains;
};

// 48000 Hz: max_delay 33882.35, largest 7058.824, decay factor 0.9999794414,
// gains -0.86488 -0.88824 -0.90246 -0.91229, tap gains 0.94214 0.95731
// 0.97766 0.99990. 44100 Hz: 31129.41, 6485.294, 0.9999776233, gains -0.86506
// -0.88838 -0.90257 -0.91239, tap gains 0.94215 0.95730 0.97765 0.99989.
const std::array<float, 4> GAINS_48K = {-0x1.bad212p-1f, -0x1.c6c7dep-1f, -0x1.ce0eep-1f,
                                        -0x1.d317bcp-1f};
const std::array<float, 4> TAP_GAINS_48K = {0x1.e2605ap-1f, 0x1.ea24d2p-1f, 0x1.f48fcp-1f,
                                            0x1.fff286p-1f};
const std::array<float, 4> GAINS_44K = {-0x1.bae992p-1f, -0x1.c6d9f8p-1f, -0x1.ce1dfcp-1f,
                                        -0x1.d324c4p-1f};
const std::array<float, 4> TAP_GAINS_44K = {0x1.e2619ep-1f, 0x1.ea23a8p-1f, 0x1.f48ee8p-1f,
                                            0x1.fff156p-1f};

const ConstructionCase CASES[] = {
    {48000, 11.8f, 0x1.08b4b4p+15f, 0x1.b92d2ep+12f, 34882, 0x1.fffd4e2b1bae2p-1,
     {7059, 5763, 4991, 4464}, GAINS_48K, 699, {532, 1967, 1264}, {509, 1877, 1378},
     {2899, 2122, 1099, 5}, TAP_GAINS_48K},
    {48000, 5.2f, 0x1.08b4b4p+15f, 0x1.b92d2ep+12f, 34882, 0x1.fffd4e2b1bae2p-1,
     {7059, 5763, 4991, 4464}, GAINS_48K, 699, {529, 1914, 1321}, {522, 1874, 1368},
     {2899, 2122, 1099, 5}, TAP_GAINS_48K},
    {44100, 11.8f, 0x1.e665a6p+14f, 0x1.9554b4p+12f, 32129, 0x1.fffd1129dee32p-1,
     {6485, 5295, 4586, 4102}, GAINS_44K, 642, {489, 1807, 1162}, {468, 1725, 1266},
     {2663, 1950, 1010, 5}, TAP_GAINS_44K},
    {44100, 5.2f, 0x1.e665a6p+14f, 0x1.9554b4p+12f, 32129, 0x1.fffd1129dee32p-1,
     {6485, 5295, 4586, 4102}, GAINS_44K, 642, {486, 1758, 1214}, {480, 1722, 1257},
     {2663, 1950, 1010, 5}, TAP_GAINS_44K},
};

void PrintTo(const ConstructionCase& c, std::ostream* os)
{
    *os << c.rate << " Hz, spread " << c.spread;
}

}  // namespace

class EngineConstruction : public ::testing::TestWithParam<ConstructionCase> {};

TEST_P(EngineConstruction, DerivesEveryQuantityToTheBit)
{
    const ConstructionCase& c = GetParam();
    ReverbEngine* engine = make_engine(c.rate, c.spread);
    ASSERT_NE(engine, nullptr);

    EXPECT_SAME_FLOAT(c.max_delay, engine->max_delay);
    EXPECT_SAME_FLOAT(c.largest_delay, engine->largest_delay);
    EXPECT_SAME_DOUBLE(c.decay_factor, engine->decay_factor);
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(c.capacity, engine->fdn_delays[k]->size);
        EXPECT_EQ(c.lengths[k], engine->fdn_lengths[k]);
        EXPECT_SAME_FLOAT(c.gains[k], engine->fdn_gains[k]);
        EXPECT_EQ(c.taps[k], engine->tap_positions[k]);
        EXPECT_SAME_FLOAT(c.tap_gains[k], engine->tap_gains[k]);
        EXPECT_EQ(0.5f, engine->fdn_dampers[k]->coefficient);
    }
    EXPECT_EQ(c.input_diffuser, engine->input_diffuser->line.size);
    EXPECT_EQ(0.75f, engine->input_diffuser->coefficient);
    const float chain_coefficients[3] = {0.78f, 0.625f, 0.635f};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(c.left[k], engine->left_diffusers[k]->line.size);
        EXPECT_EQ(c.right[k], engine->right_diffusers[k]->line.size);
        EXPECT_EQ(chain_coefficients[k], engine->left_diffusers[k]->coefficient);
        EXPECT_EQ(chain_coefficients[k], engine->right_diffusers[k]->coefficient);
    }
    // The tap line holds the farthest tap a room of the largest size puts.
    EXPECT_EQ(round_to_nearest(float(c.rate) * (240.0f * 0.00294f) * 0.41f) + 5,
              engine->tap_delay->size);
    EXPECT_EQ(0.5f, engine->input_damper->coefficient);
    EXPECT_EQ(c.rate, engine->sample_rate);
    reverb_engine_destroy(engine);
}

INSTANTIATE_TEST_SUITE_P(InstanceEngines, EngineConstruction, ::testing::ValuesIn(CASES));

TEST(EngineConstructionLimits, DecayShorterThanOneSampleGivesSilentFeedback)
{
    ReverbEngine* engine =
        reverb_engine_create(48000, 240.0f, 50.0f, 1e-6f, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(0.0, engine->decay_factor);
    for (int k = 0; k < 4; ++k) {
        EXPECT_SAME_FLOAT(-0.0f, engine->fdn_gains[k]);
        EXPECT_SAME_FLOAT(0.0f, engine->tap_gains[k]);
    }
    reverb_engine_destroy(engine);
}

TEST(EngineConstructionLimits, RoundToNearestBreaksTiesToEven)
{
    EXPECT_EQ(2, round_to_nearest(2.5f));
    EXPECT_EQ(4, round_to_nearest(3.5f));
    EXPECT_EQ(-2, round_to_nearest(-2.5f));
    EXPECT_EQ(7059, round_to_nearest(7058.824f));
    EXPECT_EQ(0, round_to_nearest(0.49f));
}

TEST(EngineConstructionLimits, RatesThatCannotBeServedAreRejected)
{
    EXPECT_EQ(nullptr, reverb_engine_create(0, 240, 50, 7, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f));
    EXPECT_EQ(nullptr, reverb_engine_create(-48000, 240, 50, 7, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f));
    // At 10 Hz the diffusers would have no length.
    EXPECT_EQ(nullptr, reverb_engine_create(10, 240, 50, 7, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f));
}

// Every tap the room-size setter can place for rooms up to the maximum lies
// inside the tap line, at every rate up to 768 kHz; the farthest, at the
// largest room, reads the line's oldest value.
TEST(EngineConstructionLimits, TapLineHoldsEveryTapOfTheLargestRoom)
{
    for (int32_t rate : {1000, 44100, 96000, 150000, 176400, 192000, 384000, 768000}) {
        SCOPED_TRACE(rate);
        for (float spread : {11.8f, 5.2f}) {
            ReverbEngine* engine =
                reverb_engine_create(rate, 240.0f, 50.0f, 7.0f, 0.5f, spread, 0.5f, 0.5f, 0.5f);
            ASSERT_NE(engine, nullptr);
            for (float room : {240.0f, 239.99f, 169.68f, 50.0f, 1.0f}) {
                reverb_engine_set_room_size(engine, room);
                if (room == 240.0f) {
                    EXPECT_EQ(engine->tap_delay->size, engine->tap_positions[0]);
                }
                const int32_t expected_first =
                    round_to_nearest(float(rate) * (room * 0.00294f) * 0.41f) + 5;
                EXPECT_EQ(expected_first, engine->tap_positions[0]) << room;
                for (int k = 0; k < 4; ++k) {
                    EXPECT_LE(engine->tap_positions[k], engine->tap_delay->size);
                    EXPECT_LE(engine->fdn_lengths[k], engine->fdn_delays[k]->size);
                }
            }
            reverb_engine_destroy(engine);
        }
    }
}

// A caller that ignores the maximum room size still gets reads inside the
// lines.
TEST(EngineConstructionLimits, OversizedRoomsAreKeptInsideTheLines)
{
    ReverbEngine* engine =
        reverb_engine_create(48000, 240.0f, 50.0f, 7.0f, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f);
    reverb_engine_set_room_size(engine, 5000.0f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(engine->fdn_delays[k]->size, engine->fdn_lengths[k]);
        EXPECT_LE(engine->tap_positions[k], engine->tap_delay->size);
    }
    for (int i = 0; i < 1000; ++i)
        reverb_engine_process(engine, i == 0 ? 1.0f : 0.0f);
    reverb_engine_destroy(engine);
}

// The same at construction: a room above the maximum gets a tap line long
// enough for its first tap where the construction formula puts it, and
// feedback lengths cut to the lines.
TEST(EngineConstructionLimits, ARoomAboveTheMaximumAtConstructionKeepsItsTaps)
{
    ReverbEngine* engine =
        reverb_engine_create(768000, 10.0f, 240.0f, 7.0f, 0.5f, 5.2f, 0.5f, 0.5f, 0.5f);
    ASSERT_NE(engine, nullptr);
    const int32_t first = int32_t(0.41 * double(engine->largest_delay) + 5.0);
    EXPECT_GT(first, round_to_nearest(768000.0f * (10.0f * 0.00294f) * 0.41f) + 5);
    EXPECT_EQ(first, engine->tap_positions[0]);
    EXPECT_LE(first, engine->tap_delay->size);
    for (int k = 0; k < 4; ++k)
        EXPECT_LE(engine->fdn_lengths[k], engine->fdn_delays[k]->size);
    for (int i = 0; i < 1000; ++i)
        reverb_engine_process(engine, i == 0 ? 1.0f : 0.0f);
    reverb_engine_destroy(engine);
}
