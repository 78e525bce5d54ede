// OctaveDecay: how long each octave of a response rings. Every channel of
// the response runs through a bank of octave band-pass filters, centred on
// 62.5 Hz .. 8 kHz (OCTAVE_CENTRE_HZ); each band's energy, summed over the
// channels, is collected in the preview's time bins, and rt60_measure fits
// each band's decay as it does for the preview's two bands. It is fed the
// response in pieces, as the preview renders it. Knows nothing of X11.
#pragma once

#include <cstdint>

#include "preview_picture.h"

// A band-pass octave is a sixth-order Butterworth band-pass (the order of a
// class 1 octave filter), as three second-order sections.
constexpr int OCTAVE_SECTIONS = 3;

// One section: y = gain * (x[n] - x[n-2]) - a1 * y[n-1] - a2 * y[n-2].
struct OctaveSection {
    double gain, a1, a2;
};

// The sections of octave band `band` at `rate`, each with unit gain at the
// band's centre. Returns false when the band's upper edge (half an octave
// above its centre) does not lie below 0.45 times the rate, where the
// bilinear transform would squeeze the band against half the rate.
bool octave_band_design(int band, double rate, OctaveSection sections[OCTAVE_SECTIONS]);

// A value for every band at once: one step of a section runs over all
// bands in the compiler's vector instructions, whatever their width.
typedef double OctaveLanes __attribute__((vector_size(OCTAVE_BANDS * sizeof(double))));

struct OctaveDecay {
    int bands;                // bands that fit below the rate: 0 .. bands-1
    int channels;             // 1 or 2
    uint64_t frames, frames_done;
    OctaveLanes gain[OCTAVE_SECTIONS], a1[OCTAVE_SECTIONS], a2[OCTAVE_SECTIONS];
    OctaveLanes z1[2][OCTAVE_SECTIONS], z2[2][OCTAVE_SECTIONS];  // per channel
    double energy[OCTAVE_BANDS][PREVIEW_BINS];          // sum of squares per band and bin
};

// Starts over for a response of `frames` frames and `channels` channels at
// `rate`: the filters at rest, no energy collected.
void octave_decay_start(OctaveDecay* decay, double rate, int channels, uint64_t frames);

// The next `count` frames of the response: `left`, and `right` when there
// are two channels. Frames beyond the response's length are ignored.
void octave_decay_feed(OctaveDecay* decay, const float* left, const float* right,
                       uint32_t count);

// The decay time of every band from what was fed, each bin lasting
// `bin_seconds`; bands that do not fit below the rate are silent.
void octave_decay_measure(const OctaveDecay* decay, double bin_seconds,
                          Rt60 rt60[OCTAVE_BANDS]);
