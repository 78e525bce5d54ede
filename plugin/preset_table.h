// The factory presets as C++ sees them: Default (every control at its
// declared default, which the bundle does not list as a preset) and then
// the bundle's six from preset_table.def, in its order. Each value is the
// float a host passes on for the Turtle's decimal. Used by the GUI, whose
// preset browser offers them.
#pragma once

#include "control_ports.h"

struct Preset {
    const char* slug;  // last part of the preset's URI; "default" for Default
    const char* name;  // rdfs:label
    const char* description;
    float values[CONTROL_PORT_COUNT];  // in port order
};

constexpr Preset PRESETS[] = {
    {"default", "Default", "Every control at its default.", {
#define CONTROL(port, symbol, name, label, unit, minimum, maximum, default_value, ...) \
    float(default_value),
#include "control_table.def"
#undef CONTROL
    }},
#define PRESET(slug, name, mix, decay, damping, bandwidth, room_size, tail_level, decay_tilt,      \
               high_band_freq, low_band_freq, low_cut, predelay, wet_level, description)        \
    {slug, name, description, {mix, decay, damping, bandwidth, room_size, tail_level, decay_tilt, \
                               high_band_freq, low_band_freq, low_cut, predelay, wet_level}},
#include "preset_table.def"
#undef PRESET
};
constexpr int PRESET_COUNT = int(sizeof PRESETS / sizeof PRESETS[0]);

// Every preset, Default included, sets each control inside its declared range.
constexpr bool presets_inside_ranges()
{
    for (const Preset& preset : PRESETS)
        for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
            if (!(preset.values[port] >= CONTROL_RANGES[port].min &&
                  preset.values[port] <= CONTROL_RANGES[port].max))
                return false;
    return true;
}
static_assert(presets_inside_ranges(),
              "a value in preset_table.def lies outside its control's range");
