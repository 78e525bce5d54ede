// The band render the GUI draws (reverb_bands.h): its two bands are the wet
// output split in two, it leaves the output ports alone, and it moves the
// instance on exactly as the run operations do, on the idle path too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "plugin_harness.h"
#include "reverb_bands.h"

namespace {

struct Bands {
    std::vector<float> high_l, high_r, low_l, low_r;
};

// The bands of `in_l` (and `in_r`) in run calls of `block` frames. The
// output ports point at NaN, which must survive.
Bands render_bands(Plugin& p, bool stereo, const std::vector<float>& in_l,
                   const std::vector<float>& in_r, uint32_t block)
{
    const size_t n = in_l.size();
    Bands b{std::vector<float>(n), std::vector<float>(n), std::vector<float>(n),
            std::vector<float>(n)};
    std::vector<float> untouched(block, NAN);
    reverb_connect_port(p.self, PORT_OUT_L, untouched.data());
    reverb_connect_port(p.self, PORT_OUT_R, untouched.data());
    for (size_t done = 0; done < n; done += block) {
        const uint32_t m = uint32_t(std::min<size_t>(block, n - done));
        reverb_connect_port(p.self, PORT_IN_L, const_cast<float*>(&in_l[done]));
        reverb_connect_port(p.self, PORT_IN_R, const_cast<float*>(&in_r[done]));
        if (stereo)
            reverb_run_bands_stereo(p.self, m, &b.high_l[done], &b.high_r[done], &b.low_l[done],
                                    &b.low_r[done]);
        else
            reverb_run_bands_mono(p.self, m, &b.high_l[done], &b.low_l[done]);
    }
    EXPECT_TRUE(
        std::all_of(untouched.begin(), untouched.end(), [](float v) { return std::isnan(v); }));
    return b;
}

void run(Plugin& p, bool stereo, std::vector<float>& in_l, std::vector<float>& in_r,
         std::vector<float>& out_l, std::vector<float>& out_r, uint32_t block)
{
    for (size_t done = 0; done < in_l.size(); done += block) {
        const uint32_t m = uint32_t(std::min<size_t>(block, in_l.size() - done));
        if (stereo)
            p.run_stereo(&in_l[done], &in_r[done], &out_l[done], &out_r[done], m);
        else
            p.run_mono(&in_l[done], &out_l[done], m);
    }
}

// Silence (the idle path of a fresh instance), a burst of noise, silence.
std::vector<float> burst(size_t n, uint32_t seed)
{
    std::vector<float> v = noise(n, seed);
    for (size_t i = 0; i < n; ++i)
        v[i] = i >= 1000 && i < 3000 ? v[i] : 0.0f;
    return v;
}

}  // namespace

// With the dry signal off, out = t * (a + scale * g) and the bands are
// t * a and t * (scale * g): they add up to the output within a few
// roundings, the low band scaled by the decay tilt in stereo only.
TEST(ReverbBands, AddUpToTheWetOutput)
{
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo" : "mono");
        Plugin mixed, split;
        for (Plugin* p : {&mixed, &split}) {
            (*p)[PORT_MIX] = 1.0f;
            (*p)[PORT_DECAY_TILT] = 0.5f;  // low band scale below 1
        }
        std::vector<float> in_l = burst(12000, 3), in_r = burst(12000, 4);
        std::vector<float> out_l(in_l.size()), out_r(in_l.size());
        run(mixed, stereo, in_l, in_r, out_l, out_r, 100);
        const Bands b = render_bands(split, stereo, in_l, in_r, 100);
        double high_energy = 0.0, low_energy = 0.0;
        // From where the dry gain has glided to 0.
        for (size_t i = 2048; i < in_l.size(); ++i) {
            for (int side = 0; side < (stereo ? 2 : 1); ++side) {
                const float high = side ? b.high_r[i] : b.high_l[i];
                const float low = side ? b.low_r[i] : b.low_l[i];
                const float out = side ? out_r[i] : out_l[i];
                ASSERT_LE(std::fabs(out - (high + low)),
                          4.0f * FLT_EPSILON * (std::fabs(high) + std::fabs(low)))
                    << "sample " << i << " side " << side;
                high_energy += double(high) * high;
                low_energy += double(low) * low;
            }
        }
        EXPECT_GT(high_energy, 1e-3);
        EXPECT_GT(low_energy, 1e-3);
    }
}

// After a band render, the run operation goes on as if it had run all
// along; the bands come out the same with the idle path and without it.
TEST(ReverbBands, MoveTheInstanceOnAsRunDoes)
{
    for (bool stereo : {false, true}) {
        for (uint32_t block : {64u, 100u, 1000u}) {
            SCOPED_TRACE(std::string(stereo ? "stereo" : "mono") + " block " +
                         std::to_string(block));
            Plugin ran, rendered, rendered_in_full;
            rendered_in_full.self->idle_skip = false;
            std::vector<float> in_l = burst(8000, 5), in_r = burst(8000, 6);
            std::vector<float> out_l(in_l.size()), out_r(in_l.size());
            run(ran, stereo, in_l, in_r, out_l, out_r, block);
            const Bands b = render_bands(rendered, stereo, in_l, in_r, block);
            const Bands full = render_bands(rendered_in_full, stereo, in_l, in_r, block);
            EXPECT_EQ(-1, first_difference(b.high_l, full.high_l));
            EXPECT_EQ(-1, first_difference(b.low_l, full.low_l));
            EXPECT_EQ(-1, first_difference(b.high_r, full.high_r));
            EXPECT_EQ(-1, first_difference(b.low_r, full.low_r));

            std::vector<float> next_l = noise(3000, 7), next_r = noise(3000, 8);
            std::vector<float> want_l(3000), want_r(3000), got_l(3000), got_r(3000);
            run(ran, stereo, next_l, next_r, want_l, want_r, block);
            run(rendered, stereo, next_l, next_r, got_l, got_r, block);
            EXPECT_EQ(-1, first_difference(want_l, got_l));
            EXPECT_EQ(-1, first_difference(want_r, got_r));
        }
    }
}
