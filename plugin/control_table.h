// What each of the twelve controls is, beyond its range: symbol, names,
// unit, scale, the GUI's group and the description, in port order, read
// from the control table (control_table.def). Used by the GUI and the
// tests; the plug-in's audio code needs only the ranges in control_ports.h.
#pragma once

#include "control_ports.h"

// The LV2 unit of a control (units:coef, units:s, ...).
enum class ControlUnit { coef, s, ms, m, hz, db };

// How a control's range is spread over a knob or slider.
enum class ControlScale { linear, logarithmic };

// The GUI's box a control's knob sits in.
enum class ControlGroup { space, decay, tone, levels };
constexpr int CONTROL_GROUP_COUNT = 4;

struct ControlInfo {
    const char* symbol;       // lv2:symbol
    const char* name;         // lv2:name
    const char* label;        // short name under the GUI's knob
    ControlUnit unit;
    ControlScale scale;
    ControlGroup group;
    const char* description;  // rdfs:comment
};

constexpr ControlInfo CONTROL_INFO[CONTROL_PORT_COUNT] = {
#define CONTROL(port, symbol, name, label, unit, minimum, maximum, default_value, scale, group, \
                description)                                                                  \
    {symbol, name, label, ControlUnit::unit, ControlScale::scale, ControlGroup::group, description},
#include "control_table.def"
#undef CONTROL
};
