// PresetBrowser: the factory presets as the GUI offers them (Default and the
// bundle's six, in the order of the plug-in's preset table), which one the
// controls match, and what choosing one changes. Knows nothing of X11 or
// cairo.
//
// The controls match a preset when each of the twelve values equals the
// preset's float exactly: a host that applies a preset passes on the float
// its Turtle decimal reads as, which is the table's own float, and the
// model holds what the host sent (every preset value lies inside its
// range, so sanitising changes none of them).
#pragma once

#include "control_ports.h"

constexpr int NO_PRESET = -1;

struct PresetBrowser {
    int last;       // the preset the controls last matched, or NO_PRESET
    bool mix_lock;  // when on, choosing a preset leaves mix and wet level alone
};

// No preset matched yet, mix lock off.
void preset_browser_reset(PresetBrowser* browser);

int preset_count();
const char* preset_name(int index);

// The preset whose twelve values equal `values`, or NO_PRESET.
int preset_find(const float values[CONTROL_PORT_COUNT]);

// Remembers the preset the controls match after a change, if any.
void preset_browser_follow(PresetBrowser* browser, const float values[CONTROL_PORT_COUNT]);

// The preset `step` places on from the one the controls match, or else from
// the one they last matched; from none at all, a step forward goes to
// Default (the first) and a step back to the last preset. With `wrap` the
// list is a ring; without, a step stops at its ends.
int preset_browser_step(const PresetBrowser* browser, const float values[CONTROL_PORT_COUNT],
                        int step, bool wrap);

// What choosing preset `index` sets the controls to: its values, except
// that mix and wet level keep `values`' under mix lock.
void preset_browser_target(const PresetBrowser* browser, int index,
                           const float values[CONTROL_PORT_COUNT],
                           float target[CONTROL_PORT_COUNT]);
