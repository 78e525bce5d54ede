// AbSlots: two settings of the twelve controls to compare, A and B. The
// slot shown is the controls themselves, so it follows every change, the
// user's and the host's (automation, a preset the host applies), and
// switching away and back restores what was there; the other slot is kept
// here. Both start as the settings the window opened with: until the user
// first changes a control or uses A/B, the other slot follows the host's
// values too (a host sends them once the window is up). Knows nothing of
// X11 or cairo.
#pragma once

#include "control_ports.h"

struct AbSlots {
    float other[CONTROL_PORT_COUNT];  // the slot not shown
    int shown;                        // 0: A, 1: B
    bool other_follows;               // still taking the host's values
};

// A shown, both slots `values`, the other following the host.
void ab_slots_reset(AbSlots* slots, const float values[CONTROL_PORT_COUNT]);

// The host set `port` to `value` (as shown): the other slot takes it while
// it still follows the host.
void ab_slots_host_set(AbSlots* slots, uint32_t port, float value);

// The user is about to change the controls: the other slot keeps what it
// holds from now on.
void ab_slots_user_changes(AbSlots* slots);

// Shows the other slot: `target` (an array apart from `values`) receives
// its values, for the caller to set the controls to, and the controls shown
// now (`values`) become the other.
void ab_slots_switch(AbSlots* slots, const float values[CONTROL_PORT_COUNT],
                     float target[CONTROL_PORT_COUNT]);

// Copies the controls shown into the other slot.
void ab_slots_copy(AbSlots* slots, const float values[CONTROL_PORT_COUNT]);
