// HalvaneUi: the record behind the GUI's LV2 handle, and the operations the
// host calls on it. The window is an Xlib child of the host's ui:parent on a
// display connection of the GUI's own, which only idle() touches after
// instantiate; everything runs on the host's GUI thread.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <cstdint>

#include <lv2/ui/ui.h>

#include "control_model.h"
#include "preview_render.h"
#include "ui_clock.h"
#include "ui_view.h"

// Pointer travel for a control's whole range, logical pixels; Shift divides
// each movement by FINE_FACTOR. A wheel notch moves WHEEL_STEP of the range
// (FINE_FACTOR times less with Shift). Two presses on one control within
// DOUBLE_CLICK_SECONDS reset it to its default.
constexpr double DRAG_PIXELS = 200.0;
constexpr double FINE_FACTOR = 10.0;
constexpr double WHEEL_STEP = 0.01;
constexpr double DOUBLE_CLICK_SECONDS = 0.4;
// The preview restarts once the settings have stood still this long, and
// renders for at most RENDER_BUDGET_SECONDS per idle call (an idle call that
// starts a render, which makes two instances, renders nothing more), leaving
// room for the drawing inside about 10 ms.
constexpr double DEBOUNCE_SECONDS = 0.04;
// A drag that never pauses still restarts it this often, so the picture
// follows a slow, steady movement.
constexpr double RESTART_SECONDS = 0.3;
constexpr double RENDER_BUDGET_SECONDS = 0.006;
// What one idle call may take in all, and the least share of it rendering
// gets: a slow drawing (a large window) shortens the rendering's piece.
constexpr double IDLE_BUDGET_SECONDS = 0.010;
constexpr double RENDER_MIN_SECONDS = 0.002;
// A render's progress is redrawn at most this often.
constexpr double PROGRESS_SECONDS = 0.25;
// Hovering this long over a control shows its description.
constexpr double TOOLTIP_SECONDS = 0.5;

// The events the window listens to. Keys only while a value is typed
// (EDIT_EVENT_MASK): a window that selects them takes them from the host
// whenever the pointer is over it and the focus follows the pointer.
constexpr long EVENT_MASK = ExposureMask | StructureNotifyMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                            LeaveWindowMask;
constexpr long EDIT_EVENT_MASK = EVENT_MASK | KeyPressMask;

struct HalvaneUi {
    // Host side.
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;      // null when the host offers none
    const LV2UI_Resize* resize;    // null when the host offers none
    const char* plugin_name;
    // X11 and cairo.
    Display* display;
    Window parent;
    Window window;
    bool window_gone;              // destroyed under the GUI (with the host's parent)
    Visual* visual;                // the window's visual and depth
    int depth;
    GC gc;
    // Everything is drawn into an image in memory, painted onto a pixmap of
    // the window's size and copied to the window. No flicker; no cairo
    // surface on the window, which the host may destroy (with its parent)
    // before cleanup; and no text drawn through cairo's X11 backend, whose
    // font caches would keep the display's records alive after it closes.
    cairo_surface_t* canvas;       // image surface the view draws on
    Pixmap pixmap;
    cairo_surface_t* surface;      // on the pixmap, from the window's visual
    cairo_device_t* device;        // cairo's record of the display, finished in cleanup
    int pixmap_width, pixmap_height;
    int width, height;             // window size in pixels
    double scale_factor;           // ui:scaleFactor, 1 without one
    // Model, view state and preview.
    ControlModel model;
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

// Event handling (ui_events.cpp): turns one X event into model changes,
// writes and touches, and marks what idle() must redraw or render.
void halvane_ui_handle_event(HalvaneUi* ui, XEvent* event);
