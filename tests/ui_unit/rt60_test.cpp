// Decay times measured from energy over time.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "rt60.h"

namespace {

// Bins of an exponential decay that falls 60 dB in `rt60` seconds, after
// `delay` seconds of silence.
std::vector<double> decay_bins(double rt60, double delay, double bin_seconds, int bins)
{
    std::vector<double> energy(size_t(bins), 0.0);
    for (int k = 0; k < bins; ++k) {
        const double t = k * bin_seconds - delay;
        if (t >= 0.0)
            energy[size_t(k)] = std::pow(10.0, -6.0 * t / rt60);
    }
    return energy;
}

TEST(Rt60, MeasuresExponentialDecaysAndSaysWhenItCannot)
{
    const int bins = PREVIEW_BINS;
    for (double rt60 : {0.2, 1.5, 12.0}) {
        const double bin_seconds = (0.02 + 1.2 * rt60) / bins;
        const std::vector<double> e = decay_bins(rt60, 0.02, bin_seconds, bins);
        const Rt60 r = rt60_measure(e.data(), bins, bin_seconds);
        EXPECT_EQ(r.kind, Rt60Kind::measured) << rt60;
        EXPECT_NEAR(r.seconds, rt60, 0.02 * rt60) << rt60;
    }

    // A render that ends before the curve falls 25 dB: a lower bound.
    std::vector<double> e = decay_bins(30.0, 0.0, 1.0 / bins, bins);
    Rt60 r = rt60_measure(e.data(), bins, 1.0 / bins);
    EXPECT_EQ(r.kind, Rt60Kind::at_least);
    EXPECT_FLOAT_EQ(r.seconds, 1.0f);

    // Energy that never falls (a steady tone) gives the same.
    e.assign(size_t(bins), 1.0);
    EXPECT_EQ(rt60_measure(e.data(), bins, 0.01).kind, Rt60Kind::at_least);

    // All energy in one bin: shorter than the bins can tell.
    e.assign(size_t(bins), 0.0);
    e[3] = 1.0;
    r = rt60_measure(e.data(), bins, 0.001);
    EXPECT_EQ(r.kind, Rt60Kind::shorter_than);
    EXPECT_TRUE(std::isfinite(r.seconds));

    // Silence, and bins that hold NaN, infinity or negative energy only.
    e.assign(size_t(bins), 0.0);
    EXPECT_EQ(rt60_measure(e.data(), bins, 0.01).kind, Rt60Kind::silent);
    e[0] = std::numeric_limits<double>::quiet_NaN();
    e[1] = std::numeric_limits<double>::infinity();
    e[2] = -1.0;
    EXPECT_EQ(rt60_measure(e.data(), bins, 0.01).kind, Rt60Kind::silent);
    EXPECT_EQ(rt60_measure(e.data(), bins, std::numeric_limits<double>::quiet_NaN()).kind,
              Rt60Kind::silent);
}

}  // namespace
