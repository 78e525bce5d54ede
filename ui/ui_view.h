// The view's drawing and hit testing: the whole GUI drawn with cairo from
// the model, the preview picture and the interaction state, on the canvas
// of ui_layout.h scaled once to the window. Draws only; computes no DSP and
// changes no state.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "control_model.h"
#include "preview_picture.h"

constexpr int NO_CONTROL = -1;
constexpr int ENTRY_TEXT_SIZE = 24;

// What the pointer and the keyboard are doing, as far as drawing needs it.
struct ViewState {
    int hover;                       // control under the pointer, or NO_CONTROL
    int active;                      // control being dragged, or NO_CONTROL
    int editing;                     // control whose value is being typed, or NO_CONTROL
    char entry[ENTRY_TEXT_SIZE];     // the text typed so far
    bool tooltip;                    // whether the hovered control's description shows
};

void view_state_reset(ViewState* state);

// Draws everything into a `width` x `height` pixel surface.
void ui_view_draw(cairo_t* cr, double width, double height, const ControlModel* model,
                  const ViewState* state, const PreviewPicture* picture, const char* status,
                  const char* plugin_name);

// The control whose knob or value text holds window pixel (x, y), or
// NO_CONTROL.
int ui_view_hit(double width, double height, double x, double y);
