// The port map shared by both plug-ins, and the declared range and default of
// every control port, read from the control table (control_table.def), from
// which the build also writes the plug-in description. The block stage
// clamps into them the controls whose formulas need it.
#pragma once

#include <cstdint>

// Port indexes; the names follow the port symbols. Both plug-ins have the
// twelve controls; the mono plug-in ends at PORT_OUT, the stereo one at
// PORT_OUT_R.
enum PortIndex : uint32_t {
    PORT_MIX = 0,
    PORT_DECAY = 1,
    PORT_DAMPING = 2,
    PORT_BANDWIDTH = 3,
    PORT_ROOM_SIZE = 4,
    PORT_TAIL_LEVEL = 5,
    PORT_DECAY_TILT = 6,
    PORT_HIGH_BAND_FREQ = 7,
    PORT_LOW_BAND_FREQ = 8,
    PORT_LOW_CUT = 9,
    PORT_PREDELAY = 10,
    PORT_WET_LEVEL = 11,
    PORT_IN = 12,    // mono input
    PORT_IN_L = 12,  // stereo left input
    PORT_OUT = 13,   // mono output
    PORT_OUT_L = 13, // stereo left output
    PORT_IN_R = 14,
    PORT_OUT_R = 15,
};

constexpr uint32_t CONTROL_PORT_COUNT = 12;
constexpr uint32_t MONO_PORT_COUNT = 14;
constexpr uint32_t STEREO_PORT_COUNT = 16;

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

// The table's rows stand in port order, one for each control: the Turtle's
// port indexes are the row numbers.
constexpr PortIndex CONTROL_ROW_PORTS[] = {
#define CONTROL(port, ...) port,
#include "control_table.def"
#undef CONTROL
};
constexpr bool control_rows_in_port_order()
{
    for (uint32_t row = 0; row < CONTROL_PORT_COUNT; ++row)
        if (CONTROL_ROW_PORTS[row] != row)
            return false;
    return true;
}
static_assert(sizeof CONTROL_RANGES / sizeof CONTROL_RANGES[0] == CONTROL_PORT_COUNT &&
                  control_rows_in_port_order(),
              "control_table.def holds one row for each control, in port order");

// A wet level at or below this silences the reverberated signal.
constexpr float WET_LEVEL_SILENT_DB = CONTROL_RANGES[PORT_WET_LEVEL].min;

// The filter designs are sound only strictly below half the sample rate, so
// the band frequencies (and, at rates below 2223 Hz, the low cut) are also
// held at or below this share of the rate.
constexpr double FILTER_FREQ_MAX_RATIO = 0.45;
