// The view's drawing and hit testing: the whole GUI drawn with cairo from
// the model (controls, presets, A/B), the preview picture and the
// interaction state, on the canvas of ui_layout.h scaled once to the
// window. Draws only; computes no DSP and changes no state.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "ab_slots.h"
#include "control_model.h"
#include "preset_browser.h"
#include "preview_picture.h"

constexpr int NO_CONTROL = -1;
constexpr int NO_ITEM = -1;  // no header item, no row of the list of presets
constexpr int ENTRY_TEXT_SIZE = 24;

// What the pointer and the keyboard are doing, as far as drawing needs it.
struct ViewState {
    int hover;                       // control under the pointer, or NO_CONTROL
    int hover_item;                  // header item under the pointer, or NO_ITEM
    int active;                      // control being dragged, or NO_CONTROL
    int editing;                     // control whose value is being typed, or NO_CONTROL
    char entry[ENTRY_TEXT_SIZE];     // the text typed so far
    bool tooltip;                    // whether the hovered control's or item's tooltip shows
    bool list_open;                  // the list of presets
    int list_hover;                  // its row under the pointer, or NO_ITEM
};

void view_state_reset(ViewState* state);

// What the view draws from: the model's parts, the preview's picture, the
// preview's progress (null when none) and the plug-in's name.
struct ViewModel {
    const ControlModel* controls;
    const PresetBrowser* presets;
    const AbSlots* slots;
    const PreviewPicture* picture;
    const char* status;
    const char* plugin_name;
};

// Draws everything into a `width` x `height` pixel surface.
void ui_view_draw(cairo_t* cr, double width, double height, const ViewModel& model,
                  const ViewState* state);

// What a window pixel lies on: a row of the open list of presets (over
// everything else), a header item, or a control's knob or value text.
enum class HitKind { none, control, item, preset_row };
struct ViewHit {
    HitKind kind;
    int index;  // the control's port, the HeaderItem or the row
};

ViewHit ui_view_hit(double width, double height, double x, double y, bool list_open);
