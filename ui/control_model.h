// The model of the GUI: the values the GUI shows, and the conversions a
// musician's gestures and typing go through. What each control is (range,
// name, unit, scale, description) comes from the plug-in's control table
// (CONTROL_RANGES, CONTROL_INFO), which the plug-in description is also
// written from. Knows nothing of X11 or cairo.
#pragma once

#include <cstddef>
#include <cstdint>

#include "control_table.h"

// The values the GUI shows, in port order, always finite and inside the
// declared ranges.
struct ControlModel {
    float values[CONTROL_PORT_COUNT];
};

// Every control at its default.
void control_model_reset(ControlModel* model);

// Stores what a host sent for `port` (sanitised by control_sanitize).
// Returns true when the shown value changed; false for an index that is no
// control or a value equal to the one shown.
bool control_model_set(ControlModel* model, uint32_t port, float value);

// Any float into the declared range of `port`: NaN gives the default,
// infinities and out-of-range values the nearer bound.
float control_sanitize(uint32_t port, float value);

// True for a coefficient around zero (decay_tilt): its percentage carries a
// sign, and its knob's arc starts from the middle.
bool control_is_signed(uint32_t port);

// Position 0..1 of a value on the control's declared scale (logarithmic or
// linear), and back (the result sanitised).
double control_to_normal(uint32_t port, float value);
float control_from_normal(uint32_t port, double normal);

// `value` moved by `delta` on the 0..1 scale, held inside the range.
float control_step(uint32_t port, float value, double delta);

// Writes `value` with its unit ("2.50 kHz", "20 ms", "-6.0 dB", "25 %") into
// `text` (always terminated): a coefficient as a percentage, signed for a
// control around zero, a frequency in kHz from 1000 Hz, the wet level's
// silencing floor as "-inf dB". Returns the length written.
size_t control_format(uint32_t port, float value, char* text, size_t size);

// Reads a typed value for `port`: a decimal number (point or comma) with an
// optional unit that fits the control ("2.5k", "2500 Hz", "300 ms", "0.3 s",
// "-6 dB", "-inf", "40%", or a bare number in the unit shown). Stores the
// value clamped into the declared range and returns true; returns false,
// leaving `value` alone, for junk, an empty text, a unit of another kind or
// a number that does not fit a float.
bool control_parse(uint32_t port, const char* text, float* value);
