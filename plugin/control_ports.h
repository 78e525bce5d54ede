// The port map shared by both plug-ins, and the declared range and default of
// every control port, read from the control table (control_table.def), from
// which the build also writes the plug-in description. The block stage
// clamps into them the controls whose formulas need it. Used by the GUI too,
// whose knobs span the same ranges.
#pragma once

#include <cstdint>

// Port indexes; the names follow the port symbols. The twelve controls
// come first, numbered by their rows in the control table (the Turtle's
// lv2:index is the row number too); then the audio ports: the mono plug-in
// ends at PORT_OUT, the stereo one at PORT_OUT_R.
enum PortIndex : uint32_t {
#define CONTROL(port, ...) port,
#include "control_table.def"
#undef CONTROL
    PORT_IN,                // 12: mono input
    PORT_IN_L = PORT_IN,    // stereo left input
    PORT_OUT,               // 13: mono output
    PORT_OUT_L = PORT_OUT,  // stereo left output
    PORT_IN_R,              // 14
    PORT_OUT_R,             // 15
};

constexpr uint32_t CONTROL_PORT_COUNT = PORT_IN;
static_assert(CONTROL_PORT_COUNT == 12,
              "halvane.ttl.in numbers the audio ports from 12, after twelve control rows");
constexpr uint32_t STEREO_PORT_COUNT = PORT_OUT_R + 1;

// Declared lower bound, upper bound and default of one control port.
struct ControlRange {
    float min;
    float max;
    float default_value;
};

// Every control's range, in port order, from the control table.
constexpr ControlRange CONTROL_RANGES[] = {
#define CONTROL(port, symbol, name, label, unit, minimum, maximum, default_value, ...) \
    {float(minimum), float(maximum), float(default_value)},
#include "control_table.def"
#undef CONTROL
};

// A wet level at or below this silences the reverberated signal.
constexpr float WET_LEVEL_SILENT_DB = CONTROL_RANGES[PORT_WET_LEVEL].min;
