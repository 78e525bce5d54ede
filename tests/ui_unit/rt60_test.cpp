// Decay times measured from energy over time, of a whole response and of
// its octave bands.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "octave_decay.h"
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

// The mean square of each band's output over the second half of a
// response of `frames` frames of `signal`, fed in pieces of 256.
std::vector<double> band_mean_squares(const std::vector<float>& signal, double rate, int* bands)
{
    static OctaveDecay decay;
    octave_decay_start(&decay, rate, 1, signal.size());
    for (size_t at = 0; at < signal.size(); at += 256)
        octave_decay_feed(&decay, signal.data() + at, nullptr,
                          uint32_t(signal.size() - at < 256 ? signal.size() - at : 256));
    std::vector<double> mean(OCTAVE_BANDS, 0.0);
    for (int b = 0; b < OCTAVE_BANDS; ++b) {
        for (int k = PREVIEW_BINS / 2; k < PREVIEW_BINS; ++k)
            mean[size_t(b)] += decay.energy[b][k];
        mean[size_t(b)] /= double(signal.size()) / 2.0;
    }
    *bands = decay.bands;
    return mean;
}

std::vector<float> sine(double hz, double rate, double seconds, double rt60)
{
    std::vector<float> s(size_t(seconds * rate));
    for (size_t n = 0; n < s.size(); ++n) {
        const double t = double(n) / rate;
        s[n] = float(std::sin(2.0 * M_PI * hz * t) * std::pow(10.0, -3.0 * t / rt60));
    }
    return s;
}

TEST(OctaveDecay, EachBandPassesItsOctaveAndStopsTheOthers)
{
    // A steady sine (mean square 1/2): whole at a band's centre, half at
    // its edges, 35 dB down or more two octaves off; bands above 0.45 of the
    // rate left out.
    const struct {
        double rate;
        int bands;
    } rates[] = {{1000.0, 3}, {22050.0, 7}, {44100.0, 8}, {96000.0, 8}};
    for (const auto& r : rates) {
        for (int band = 0; band < OCTAVE_BANDS; ++band) {
            const double centre = OCTAVE_CENTRE_HZ[band];
            const struct {
                double hz, share, tolerance;
            } probes[] = {{centre, 1.0, 0.02},
                          {centre * M_SQRT2, 0.5, 0.02},
                          {centre / M_SQRT2, 0.5, 0.02},
                          {centre * 4.0, 0.0, 3e-4},
                          {centre / 4.0, 0.0, 3e-4}};
            for (const auto& p : probes) {
                if (p.hz >= 0.45 * r.rate)
                    continue;
                SCOPED_TRACE(testing::Message() << r.rate << " Hz: band " << centre << " Hz, sine at "
                                                << p.hz << " Hz");
                int bands = 0;
                const std::vector<double> mean =
                    band_mean_squares(sine(p.hz, r.rate, 2.0, 1e9), r.rate, &bands);
                EXPECT_EQ(bands, r.bands);
                if (band < bands)
                    EXPECT_NEAR(mean[size_t(band)] / 0.5, p.share, p.tolerance);
                else
                    EXPECT_EQ(mean[size_t(band)], 0.0);
            }
        }
    }
}

TEST(OctaveDecay, MeasuresTheDecayOfEachOctave)
{
    // Each band's own decaying sine, one band at a time and two far apart
    // together, in stereo (the right channel half the left): each band
    // gives its sine's decay time.
    const double rate = 48000.0;
    const double rt60[OCTAVE_BANDS] = {2.4, 2.0, 1.6, 1.2, 1.0, 0.8, 0.6, 0.5};
    for (int band = -1; band < OCTAVE_BANDS; ++band) {
        const std::vector<int> probed = band < 0 ? std::vector<int>{0, 6} : std::vector<int>{band};
        std::vector<float> left(size_t(3.0 * rate), 0.0f);
        for (int b : probed) {
            const std::vector<float> s = sine(OCTAVE_CENTRE_HZ[b], rate, 3.0, rt60[b]);
            for (size_t n = 0; n < left.size(); ++n)
                left[n] += s[n];
        }
        std::vector<float> right(left.size());
        for (size_t n = 0; n < left.size(); ++n)
            right[n] = 0.5f * left[n];
        static OctaveDecay decay;
        octave_decay_start(&decay, rate, 2, left.size());
        for (size_t at = 0; at < left.size(); at += 1000)
            octave_decay_feed(&decay, left.data() + at, right.data() + at,
                              uint32_t(left.size() - at < 1000 ? left.size() - at : 1000));
        Rt60 measured[OCTAVE_BANDS];
        octave_decay_measure(&decay, 3.0 / PREVIEW_BINS, measured);
        for (int b : probed) {
            SCOPED_TRACE(testing::Message() << "band " << OCTAVE_CENTRE_HZ[b] << " Hz");
            EXPECT_EQ(measured[b].kind, Rt60Kind::measured);
            EXPECT_NEAR(measured[b].seconds, rt60[b], 0.03 * rt60[b]);
        }
    }
}

}  // namespace
