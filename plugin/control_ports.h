// The port map shared by both plug-ins, and the declared range and default of
// every control port. The plug-in description declares the same numbers; the
// block stage clamps into them the controls whose formulas need it.
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

constexpr ControlRange MIX_RANGE = {0.0f, 1.0f, 0.25f};             // fraction
constexpr ControlRange DECAY_RANGE = {0.0f, 30.0f, 1.5f};           // seconds
constexpr ControlRange DAMPING_RANGE = {0.0f, 0.95f, 0.5f};         // 1 would freeze the dampers
constexpr ControlRange BANDWIDTH_RANGE = {0.05f, 1.0f, 0.75f};      // 0 would freeze the input damper
constexpr ControlRange ROOM_SIZE_RANGE = {10.0f, 240.0f, 40.0f};    // metres
constexpr ControlRange TAIL_LEVEL_RANGE = {0.0f, 1.0f, 0.5f};       // fraction
constexpr ControlRange DECAY_TILT_RANGE = {-1.0f, 1.0f, 0.0f};      // fraction
constexpr ControlRange HIGH_BAND_FREQ_RANGE = {50.0f, 12000.0f, 600.0f}; // Hz
constexpr ControlRange LOW_BAND_FREQ_RANGE = {50.0f, 12000.0f, 600.0f};  // Hz
constexpr ControlRange LOW_CUT_RANGE = {20.0f, 1000.0f, 60.0f};     // Hz
constexpr ControlRange PREDELAY_RANGE = {0.0f, 150.0f, 20.0f};      // milliseconds
constexpr ControlRange WET_LEVEL_RANGE = {-90.0f, 6.0f, 0.0f};      // dB; -90 and below silence

// Every control's range, in port order.
constexpr ControlRange CONTROL_RANGES[CONTROL_PORT_COUNT] = {
    MIX_RANGE,           DECAY_RANGE,      DAMPING_RANGE,    BANDWIDTH_RANGE,
    ROOM_SIZE_RANGE,     TAIL_LEVEL_RANGE, DECAY_TILT_RANGE, HIGH_BAND_FREQ_RANGE,
    LOW_BAND_FREQ_RANGE, LOW_CUT_RANGE,    PREDELAY_RANGE,   WET_LEVEL_RANGE};

// The filter designs are sound only strictly below half the sample rate, so
// the band frequencies (and, at rates below 2223 Hz, the low cut) are also
// held at or below this share of the rate.
constexpr double FILTER_FREQ_MAX_RATIO = 0.45;
