// Filter sections run apart from the line (all inputs known first, their
// lanes built four samples at a time) against the same sections stepped one
// sample at a time: the same bits for every output and history.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "float_bits.h"
#include "plugin_harness.h"
#include "section_pair.h"

namespace {

constexpr uint32_t MAX = 64;

// Scale of the signals: full, or around the smallest values a section
// keeps (2^-111), so some outputs are cut to zero.
float scale(bool tiny)
{
    return tiny ? 0x1p-108f : 1.0f;
}

// A designed section with histories already in motion.
FilterSection section(bool low, float frequency, uint32_t seed, bool tiny)
{
    FilterSection s = {};
    if (low)
        filter_section_lowpass(&s, frequency, 48000.0f, BAND_BANDWIDTH);
    else
        filter_section_highpass(&s, frequency, 48000.0f, LOW_CUT_BANDWIDTH);
    const std::vector<float> h = noise(4, seed);
    s.x1 = h[0] * scale(tiny);
    s.x2 = h[1] * scale(tiny);
    s.y1 = h[2] * scale(tiny);
    s.y2 = h[3] * scale(tiny);
    return s;
}

std::vector<float> lane_input(uint32_t n, uint32_t seed, bool tiny)
{
    std::vector<float> v = noise(n, seed);
    for (float& x : v)
        x *= scale(tiny);
    return v;
}

bool same_bits(__m128 a, __m128 b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_histories(const SectionPair& a, const SectionPair& b)
{
    return same_bits(a.x1, b.x1) && same_bits(a.x2, b.x2) && same_bits(a.y1, b.y1) &&
           same_bits(a.y2, b.y2);
}

}  // namespace

TEST(SectionPair, RunningApartGivesTheBitsOfTheSteps)
{
    const uint32_t lengths[] = {1, 2, 3, 4, 5, 7, 8, 33, 63, 64};
    for (bool tiny : {false, true})
    for (uint32_t n : lengths) {
        SCOPED_TRACE(testing::Message() << n << (tiny ? " tiny" : ""));
        const FilterSection a = section(false, 60.0f, n, tiny);
        const FilterSection b = section(true, 600.0f, n + 1, tiny);
        const FilterSection c = section(true, 3000.0f, n + 2, tiny);
        const FilterSection d = section(false, 9000.0f, n + 3, tiny);
        const FilterSection silent = {};
        std::vector<float> in[4];
        for (int k = 0; k < 4; ++k)
            in[k] = lane_input(n, 10 * n + uint32_t(k), tiny);

        // Two lanes, with a second input and with a silent second section.
        for (bool second : {true, false}) {
            SectionPair stepped = section_pair_load(&a, second ? &b : &silent);
            SectionPair apart = stepped;
            alignas(16) float out[MAX][2];
            if (second)
                section_pair_run_apart<true>(&apart, in[0].data(), in[1].data(), n,
                                             SectionPairStore{out});
            else
                section_pair_run_apart<false>(&apart, in[0].data(), nullptr, n,
                                              SectionPairStore{out});
            for (uint32_t j = 0; j < n; ++j) {
                const __m128 y = section_pair_process(
                    &stepped, section_pair_lanes(in[0][j], second ? in[1][j] : 0.0f));
                ASSERT_EQ(float_bits(_mm_cvtss_f32(y)), float_bits(out[j][0])) << j;
                ASSERT_EQ(float_bits(section_pair_second(y)), float_bits(out[j][1])) << j;
            }
            EXPECT_TRUE(same_histories(stepped, apart));
        }

        // Two pairs joined, with a fourth input and with a silent fourth section.
        for (bool fourth : {true, false}) {
            SectionPair stepped = section_pair_join(section_pair_load(&a, &b),
                                                    section_pair_load(&c, fourth ? &d : &silent));
            SectionPair apart = stepped;
            const float* const inputs[4] = {in[0].data(), in[1].data(), in[2].data(),
                                            fourth ? in[3].data() : nullptr};
            alignas(16) float out[MAX][4];
            const auto take = [&out](uint32_t j, __m128 y) { _mm_store_ps(out[j], y); };
            if (fourth)
                section_pair_run_joined_apart<true>(&apart, inputs, n, take);
            else
                section_pair_run_joined_apart<false>(&apart, inputs, n, take);
            for (uint32_t j = 0; j < n; ++j) {
                const __m128 x = _mm_setr_ps(in[0][j], in[1][j], in[2][j], fourth ? in[3][j] : 0.0f);
                alignas(16) float y[4];
                _mm_store_ps(y, section_pair_process(&stepped, x));
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ(float_bits(y[k]), float_bits(out[j][k])) << j << " lane " << k;
            }
            EXPECT_TRUE(same_histories(stepped, apart));
        }
    }
}
