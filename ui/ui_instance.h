// HalvaneUi: the record behind the GUI's LV2 handle, and the operations the
// host calls on it: they turn the host's calls into changes of the model and
// the view, and schedule the preview and the drawing. The window (an Xlib
// child of the host's ui:parent, which only idle() touches after
// instantiate) is x11_window.h's; everything runs on the host's GUI thread.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include <lv2/ui/ui.h>

#include "ab_slots.h"
#include "control_model.h"
#include "preset_browser.h"
#include "preview_render.h"
#include "ui_clock.h"
#include "ui_view.h"
#include "x11_window.h"

struct HalvaneUi {
    // Host side.
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;      // null when the host offers none
    const LV2UI_Resize* resize;    // null when the host offers none
    const char* plugin_name;
    // The window and its back buffer.
    X11Window window;
    double scale_factor;           // ui:scaleFactor, 1 without one
    // Model, view state and preview.
    ControlModel model;
    PresetBrowser presets;
    AbSlots slots;
    ViewState view;
    PreviewRender* preview;
    double sample_rate;
    // Interaction.
    double drag_normal;            // dragged control's position on its scale
    int drag_last_y;
    int last_press_control;
    double last_press_time;
    double hover_since;
    // Work for idle().
    bool redraw;
    bool settings_changed;
    double settings_changed_at;
    double preview_started_at;
    double progress_drawn_at;
    double draw_seconds;           // how long the last drawing took
};

HalvaneUi* halvane_ui_instantiate(const char* plugin_uri, LV2UI_Write_Function write,
                                  LV2UI_Controller controller, LV2UI_Widget* widget,
                                  const LV2_Feature* const* features);

// A value of the plug-in's port from the host: updates the model and marks
// a redraw only when the shown value changes.
void halvane_ui_port_event(HalvaneUi* ui, uint32_t port, uint32_t buffer_size, uint32_t format,
                           const void* buffer);

// Handles pending X events, renders a piece of the preview and redraws.
// Returns 0 while the window exists, 1 once it has been destroyed under the
// GUI (the host should then clean up).
int halvane_ui_idle(HalvaneUi* ui);

void halvane_ui_cleanup(HalvaneUi* ui);

// Shows `value` for `port`, from the host or from the user: updates the
// model (the preset it matches included), and when the shown value
// changes, marks a redraw and a restart of the preview. Returns false when
// the shown value stays as it was.
bool halvane_ui_show(HalvaneUi* ui, uint32_t port, float value);

// Event handling (ui_events.cpp): turns one input event from the window
// into model changes, writes and touches, and marks what idle() must redraw
// or render. The window handles exposure, resizes and its destruction.
void halvane_ui_handle_event(HalvaneUi* ui, XEvent* event);
