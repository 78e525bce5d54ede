// ReverbInstance: the record behind the LV2 handle of either plug-in, and the
// lifecycle operations the host calls on it. The mono and the stereo plug-in
// share the record and these operations; only their run operations differ.
#pragma once

#include <cstdint>

#include <lv2/core/lv2.h>

#include "control_ports.h"
#include "filter_section.h"
#include "reverb_engine.h"

// Port locations the record keeps: as many as the larger plug-in has ports.
constexpr int PORT_SLOTS = int(STEREO_PORT_COUNT);
// Pre-delay memory: 150 ms at 192000 Hz, whatever the instance's rate.
constexpr int32_t PREDELAY_CAPACITY = 28800;

// engine_a's room, relative to the room size control: the high band's room
// is the smaller.
constexpr double ENGINE_A_ROOM_RATIO = 0.707;

// The fields a run call reads and writes come first, close together in a
// few cache lines; the pre-delay memory, of which a run call touches only
// the samples it writes and reads, comes last.
struct ReverbInstance {
    float* ports[PORT_SLOTS];         // data locations, by port index
    // The raw control values the block stage last worked from, and the gains
    // it derived. The same value of a control derives the same filter
    // design, engine settings and targets, so the block stage works out
    // again only what the controls that changed touch.
    float settled_controls[CONTROL_PORT_COUNT];
    float settled_wet_target;
    float settled_dry_target;
    float settled_low_band_scale;
    float wet_level_gain;             // 10^(wet_level / 20); 0 while it silences
    int32_t settled_variant;          // -1 until the first block stage
    float fade_gain;                  // fades the reverb in, 0 toward 1
    float wet_gain;                   // applied gain of the reverberated signal
    float dry_gain;                   // applied gain of the direct signal
    float applied_room_size;          // room size last handed to the engines
    int32_t predelay_write_index;     // position written last, 0..28799
    // Values written to the pre-delay line since the last one other than
    // zero, at most PREDELAY_CAPACITY: the line is silent when it is full.
    int32_t predelay_zero_writes;
    // Whether the run loop skips the work of a silent instance (see
    // idle_path.h), and whether the block stage skips the work of controls
    // that did not change. Both on by default; tests turn them off to compare.
    bool idle_skip;
    bool block_stage_skip;
    double predelay_smoothed;         // gliding delay in samples
    double predelay_target;           // delay the block asks for, whole samples
    double smooth_feed;               // 1 - smooth_coef
    double smooth_coef;               // one-pole glide coefficient (0.12 s)
    FilterSection pre_filter;         // low cut before the pre-delay line
    FilterSection post_filter;        // high-pass feeding engine_a
    FilterSection out_filter_left;    // low-pass on engine_b's left output
    FilterSection out_filter_right;   // low-pass on engine_b's right output (stereo)
    ReverbEngine* engine_a;           // high band, spread 11.8 (owned)
    ReverbEngine* engine_b;           // low band, spread 5.2 (owned)
    int64_t sample_rate;              // host rate truncated toward zero
    float predelay_buffer[PREDELAY_CAPACITY];
};

// Makes the record and its two engines for `sample_rate`. Ignores the
// descriptor, the bundle path and the features. Returns null, having released
// everything it obtained, when memory runs out or the rate lies outside
// MIN_SAMPLE_RATE..MAX_SAMPLE_RATE (reverb_descriptors.h). May allocate; not
// for the audio thread.
LV2_Handle reverb_instantiate(const LV2_Descriptor* descriptor, double sample_rate,
                              const char* bundle_path, const LV2_Feature* const* features);

// Stores `data` in slot `port`; indexes beyond the record's slots are ignored.
// Never dereferences the location. Any thread, outside run.
void reverb_connect_port(LV2_Handle instance, uint32_t port, void* data);

// Silences the instance: flushes both engines, clears the pre-delay memory
// and the filter histories and restarts the fade. Gains, room size and the
// pre-delay glide carry over. Writes 28800 samples; not for the audio thread.
void reverb_activate(LV2_Handle instance);

// Destroys both engines and the record. The handle is invalid afterwards.
void reverb_cleanup(LV2_Handle instance);
