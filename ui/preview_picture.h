// PreviewPicture: what the preview shows, as plain numbers. The preview
// renderer fills it from the plug-in's own output; the demo fills it from a
// WAV file; preview_draw draws it. Every number in it is finite.
#pragma once

#include <cstdint>

// Time bins across the picture: one per logical pixel of the plot, about.
constexpr int PREVIEW_BINS = 640;
// Levels are held at or above this floor, so no curve needs -inf.
constexpr float PREVIEW_FLOOR_DB = -120.0f;

enum PreviewCurve { PREVIEW_LEFT, PREVIEW_RIGHT, PREVIEW_HIGH, PREVIEW_LOW, PREVIEW_CURVES };

// The octave bands whose decay times the picture holds: centres 1 kHz times
// a power of two, from 62.5 Hz (the "63 Hz" octave) to 8 kHz.
constexpr int OCTAVE_BANDS = 8;
constexpr double OCTAVE_CENTRE_HZ[OCTAVE_BANDS] = {62.5,   125.0,  250.0,  500.0,
                                                   1000.0, 2000.0, 4000.0, 8000.0};

// A measured decay time. `seconds` is meaningful for every kind but silent.
enum class Rt60Kind {
    measured,      // from the -5..-35 dB fit (or -5..-25 dB when that is all there is)
    at_least,      // the band had not fallen far enough by the end of the render
    shorter_than,  // the whole fall took less than a few bins
    silent,        // the band holds no energy
};

struct Rt60 {
    Rt60Kind kind;
    float seconds;
};

struct PreviewPicture {
    int channels;                 // 1 (mono) or 2 (stereo): curves LEFT and RIGHT shown
    bool has_bands;               // whether HIGH and LOW are filled
    double seconds;               // time the bins cover, > 0
    int bins_done;                // bins filled so far, 0..PREVIEW_BINS
    bool complete;                // all bins filled and the decay times measured
    float peak_db[PREVIEW_CURVES][PREVIEW_BINS];  // peak level per bin, dBFS
    float predelay_ms;            // pre-delay the settings ask for
    Rt60 rt60[2];                 // 0: high band, 1: low band
    Rt60 rt60_output;             // of the outputs together, shown when there are no bands
    // The reverb's decay time per octave band (of its wet response, both
    // bands together, the direct sound left out); bands from octave_bands
    // on lie too close to half the sample rate to measure.
    int octave_bands;
    Rt60 octave_rt60[OCTAVE_BANDS];
    const char* title;            // drawn at the top left, may be null
};

// An empty picture: no bins done, one second, no title.
void preview_picture_clear(PreviewPicture* picture, int channels, bool has_bands, double seconds);
