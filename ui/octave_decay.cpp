#include "octave_decay.h"

#include <cmath>
#include <complex>
#include <cstring>

#include "rt60.h"

namespace {

using Complex = std::complex<double>;

constexpr double EDGE_MAX_RATIO = 0.45;  // of the rate, for a band's upper edge
constexpr double HALF_OCTAVE = 1.41421356237309504880;  // sqrt(2)

// A section with the analog poles q and conj(q) and the numerator s, taken
// to z by the bilinear transform s = k (1 - 1/z) / (1 + 1/z), scaled to
// unit gain at the digital frequency `centre` (radians per sample).
OctaveSection section_for(Complex q, double k, double centre)
{
    const double re = q.real(), norm = std::norm(q);
    const double a0 = k * k - 2.0 * re * k + norm;
    OctaveSection s;
    s.a1 = (2.0 * norm - 2.0 * k * k) / a0;
    s.a2 = (k * k + 2.0 * re * k + norm) / a0;
    const Complex z1 = std::polar(1.0, -centre);
    const Complex z2 = z1 * z1;
    s.gain = 1.0 / std::abs((1.0 - z2) / (1.0 + s.a1 * z1 + s.a2 * z2));
    return s;
}

}  // namespace

bool octave_band_design(int band, double rate, OctaveSection sections[OCTAVE_SECTIONS])
{
    if (band < 0 || band >= OCTAVE_BANDS || !(rate > 0.0))
        return false;
    const double low = OCTAVE_CENTRE_HZ[band] / HALF_OCTAVE;
    const double high = OCTAVE_CENTRE_HZ[band] * HALF_OCTAVE;
    if (!(high < EDGE_MAX_RATIO * rate))
        return false;
    // The edges prewarped, so the digital band has them exactly.
    const double k = 2.0 * rate;
    const double w_low = k * std::tan(M_PI * low / rate);
    const double w_high = k * std::tan(M_PI * high / rate);
    const double w0 = std::sqrt(w_low * w_high);
    const double width = w_high - w_low;
    const double centre = 2.0 * std::atan(w0 / k);
    // The third-order Butterworth low-pass's poles -1 and exp(+-2 pi i / 3),
    // each moved to the band by s -> (s^2 + w0^2) / (width s): a pole p
    // becomes the two roots of s^2 - p width s + w0^2. The real pole's two
    // are each other's conjugates (one section); the complex pole's two
    // make a section each with the conjugates its twin gives. A section
    // takes a root and its conjugate alike.
    const Complex poles[2] = {Complex(-1.0, 0.0), std::polar(1.0, 2.0 * M_PI / 3.0)};
    int n = 0;
    for (const Complex p : poles) {
        const Complex root = std::sqrt(p * p * width * width - 4.0 * w0 * w0);
        const Complex q1 = (p * width + root) / 2.0;
        const Complex q2 = (p * width - root) / 2.0;
        sections[n++] = section_for(q1, k, centre);
        if (p.imag() != 0.0)
            sections[n++] = section_for(q2, k, centre);
    }
    return true;
}

void octave_decay_start(OctaveDecay* d, double rate, int channels, uint64_t frames)
{
    d->channels = channels == 2 ? 2 : 1;
    d->frames = frames;
    d->frames_done = 0;
    d->bands = 0;
    OctaveSection design[OCTAVE_SECTIONS];
    for (int b = 0; b < OCTAVE_BANDS; ++b) {
        // Bands above the first that does not fit pass nothing.
        const bool fits = b == d->bands && octave_band_design(b, rate, design);
        d->bands += fits ? 1 : 0;
        for (int s = 0; s < OCTAVE_SECTIONS; ++s) {
            d->gain[s][b] = fits ? design[s].gain : 0.0;
            d->a1[s][b] = fits ? design[s].a1 : 0.0;
            d->a2[s][b] = fits ? design[s].a2 : 0.0;
        }
    }
    for (int c = 0; c < 2; ++c)
        for (int s = 0; s < OCTAVE_SECTIONS; ++s)
            d->z1[c][s] = d->z2[c][s] = OctaveLanes{};
    std::memset(d->energy, 0, sizeof d->energy);
}

void octave_decay_feed(OctaveDecay* d, const float* left, const float* right, uint32_t count)
{
    for (uint32_t j = 0; j < count && d->frames_done < d->frames; ++j, ++d->frames_done) {
        const uint64_t bin = d->frames_done * PREVIEW_BINS / d->frames;
        for (int c = 0; c < d->channels; ++c) {
            const float sample = c == 0 ? left[j] : right[j];
            const double in = std::isfinite(sample) ? double(sample) : 0.0;
            OctaveLanes x = in - OctaveLanes{};
            for (int s = 0; s < OCTAVE_SECTIONS; ++s) {
                const OctaveLanes g = d->gain[s] * x;
                const OctaveLanes y = g + d->z1[c][s];
                d->z1[c][s] = d->z2[c][s] - d->a1[s] * y;
                d->z2[c][s] = -g - d->a2[s] * y;
                x = y;
            }
            const OctaveLanes e = x * x;
            for (int b = 0; b < OCTAVE_BANDS; ++b)
                d->energy[b][bin] += e[b];
        }
    }
}

void octave_decay_measure(const OctaveDecay* d, double bin_seconds, Rt60 rt60[OCTAVE_BANDS])
{
    for (int b = 0; b < OCTAVE_BANDS; ++b)
        rt60[b] = b < d->bands ? rt60_measure(d->energy[b], PREVIEW_BINS, bin_seconds)
                               : Rt60{Rt60Kind::silent, 0.0f};
}
