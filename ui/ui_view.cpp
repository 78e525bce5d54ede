#include "ui_view.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "header_view.h"
#include "octave_draw.h"
#include "preview_draw.h"
#include "ui_layout.h"
#include "ui_theme.h"

namespace {

// The knob's sweep: from 135 degrees (lower left) through the top to 405.
constexpr double KNOB_START = 0.75 * M_PI;
constexpr double KNOB_SWEEP = 1.5 * M_PI;

void draw_group(cairo_t* cr, const LayoutNamedBox& group)
{
    const LayoutRect& b = group.box;
    theme_rounded_rect(cr, b.x, b.y, b.w, b.h, 6.0);
    theme_set(cr, THEME_GROUP);
    cairo_fill_preserve(cr);
    theme_set(cr, THEME_GROUP_EDGE);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 11.0);
    theme_set(cr, THEME_ACCENT);
    cairo_move_to(cr, b.x + 8.0, b.y + 15.0);
    cairo_show_text(cr, group.name);
}

void show_centred(cairo_t* cr, double cx, double baseline, const char* text)
{
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_move_to(cr, cx - ext.x_advance / 2.0, baseline);
    cairo_show_text(cr, text);
}

void draw_knob(cairo_t* cr, const LayoutControl& c, const ControlModel* model,
               const ViewState* state)
{
    const uint32_t port = c.port;
    const double normal = control_to_normal(port, model->values[port]);
    const double r = KNOB_RADIUS;
    const bool hot = state->hover == int(port) || state->active == int(port);

    // Track, value arc (from the centre for a control around zero), body,
    // pointer. Text leaves a current point behind, which an arc would join.
    cairo_new_path(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 4.0);
    theme_set(cr, THEME_KNOB_TRACK);
    cairo_arc(cr, c.cx, c.cy, r, KNOB_START, KNOB_START + KNOB_SWEEP);
    cairo_stroke(cr);
    const double zero = control_is_signed(port) ? 0.5 : 0.0;
    const double a0 = KNOB_START + KNOB_SWEEP * (normal < zero ? normal : zero);
    const double a1 = KNOB_START + KNOB_SWEEP * (normal < zero ? zero : normal);
    theme_set(cr, hot ? THEME_HOVER : THEME_ACCENT);
    cairo_new_path(cr);
    cairo_arc(cr, c.cx, c.cy, r, a0, a1 > a0 + 0.01 ? a1 : a0 + 0.01);
    cairo_stroke(cr);

    cairo_new_path(cr);
    cairo_arc(cr, c.cx, c.cy, r - 5.0, 0.0, 2.0 * M_PI);
    theme_set(cr, THEME_KNOB);
    cairo_fill(cr);
    const double a = KNOB_START + KNOB_SWEEP * normal;
    cairo_set_line_width(cr, 2.5);
    theme_set(cr, THEME_TEXT);
    cairo_move_to(cr, c.cx + std::cos(a) * (r - 14.0), c.cy + std::sin(a) * (r - 14.0));
    cairo_line_to(cr, c.cx + std::cos(a) * (r - 6.0), c.cy + std::sin(a) * (r - 6.0));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10.5);
    theme_set(cr, THEME_TEXT);
    show_centred(cr, c.cx, c.cy + KNOB_NAME_DY, CONTROL_INFO[port].label);

    char text[40];
    const double value_y = c.cy + KNOB_VALUE_DY;
    if (state->editing == int(port)) {
        // The entry: a dark box with the typed text and a caret.
        std::snprintf(text, sizeof text, "%s", state->entry);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, text, &ext);
        const double w = KNOB_CELL_WIDTH - 4.0;
        cairo_rectangle(cr, c.cx - w / 2.0, value_y - 11.0, w, 15.0);
        theme_set(cr, THEME_ENTRY);
        cairo_fill_preserve(cr);
        theme_set(cr, THEME_ACCENT);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        const double tx = c.cx - ext.x_advance / 2.0;
        theme_set(cr, THEME_TEXT);
        cairo_move_to(cr, tx, value_y);
        cairo_show_text(cr, text);
        cairo_move_to(cr, tx + ext.x_advance + 1.0, value_y - 9.0);
        cairo_line_to(cr, tx + ext.x_advance + 1.0, value_y + 2.0);
        cairo_stroke(cr);
    } else {
        control_format(port, model->values[port], text, sizeof text);
        theme_set(cr, hot ? THEME_HOVER : THEME_TEXT_DIM);
        show_centred(cr, c.cx, value_y, text);
    }
}

// A tooltip of one or two lines, centred on `cx` and kept inside the
// canvas, its top at `y`.
void draw_tooltip(cairo_t* cr, double cx, double y, const char* first, const char* second)
{
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10.5);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, first, &ext);
    double w = ext.x_advance;
    const bool two = second && second[0];
    if (two) {
        cairo_set_font_size(cr, 9.5);
        cairo_text_extents(cr, second, &ext);
        w = ext.x_advance > w ? ext.x_advance : w;
    }
    w += 16.0;
    const double h = two ? 34.0 : 20.0;
    double x = cx - w / 2.0;
    x = x + w > UI_WIDTH - 6.0 ? UI_WIDTH - 6.0 - w : x;
    x = x < 6.0 ? 6.0 : x;
    theme_rounded_rect(cr, x, y, w, h, 4.0);
    theme_set(cr, THEME_TOOLTIP);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 10.5);
    cairo_move_to(cr, x + 8.0, y + 14.0);
    cairo_show_text(cr, first);
    if (two) {
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        cairo_set_font_size(cr, 9.5);
        cairo_move_to(cr, x + 8.0, y + 28.0);
        cairo_show_text(cr, second);
    }
}

// The tooltip of what the pointer rests on: a control's description and
// the gestures, above its group; a header item's, below the header.
void draw_hover_tooltip(cairo_t* cr, const ViewState* state, int slot)
{
    if (!state->tooltip || state->active != NO_CONTROL || state->editing != NO_CONTROL ||
        state->list_open)
        return;
    if (const LayoutControl* c =
            state->hover == NO_CONTROL ? nullptr : ui_layout_control(uint32_t(state->hover))) {
        const double top = UI_GROUPS[int(CONTROL_INFO[c->port].group)].box.y - 38.0;
        draw_tooltip(cr, c->cx, top, CONTROL_INFO[c->port].description,
                     "drag or wheel to change, Shift for fine, double-click for the default, "
                     "right-click to type");
    } else if (state->hover_item >= 0 && state->hover_item < HEADER_ITEM_COUNT) {
        const LayoutRect& b = UI_HEADER[state->hover_item].box;
        const char *first, *second;
        header_tooltip(state->hover_item, slot, &first, &second);
        draw_tooltip(cr, b.x + b.w / 2.0, b.y + b.h + 4.0, first, second);
    }
}

}  // namespace

void view_state_reset(ViewState* state)
{
    state->hover = NO_CONTROL;
    state->hover_item = NO_ITEM;
    state->active = NO_CONTROL;
    state->editing = NO_CONTROL;
    state->entry[0] = '\0';
    state->tooltip = false;
    state->list_open = false;
    state->list_hover = NO_ITEM;
}

void ui_view_draw(cairo_t* cr, double width, double height, const ViewModel& model,
                  const ViewState* state)
{
    cairo_save(cr);
    theme_set(cr, THEME_BACKGROUND);
    cairo_paint(cr);

    // The one place the window size and the scale factor enter the drawing.
    const LayoutFit fit = ui_layout_fit(float(width), float(height));
    cairo_translate(cr, fit.offset_x, fit.offset_y);
    cairo_scale(cr, fit.scale, fit.scale);

    const int preset = preset_find(model.controls->values);
    header_draw(cr, {model.plugin_name, preset, model.presets->mix_lock, model.slots->shown,
                     state->list_open ? HEADER_PRESET : state->hover_item});
    preview_draw(cr, UI_PREVIEW, model.picture, model.status);
    octave_draw(cr, UI_OCTAVES, model.picture);

    for (const LayoutNamedBox& group : UI_GROUPS)
        draw_group(cr, group);
    for (const LayoutControl& c : UI_CONTROLS)
        draw_knob(cr, c, model.controls, state);
    if (state->list_open)
        header_draw_list(cr, preset, state->list_hover);
    draw_hover_tooltip(cr, state, model.slots->shown);
    cairo_restore(cr);
}

ViewHit ui_view_hit(double width, double height, double x, double y, bool list_open)
{
    const LayoutFit fit = ui_layout_fit(float(width), float(height));
    const double lx = (x - fit.offset_x) / fit.scale;
    const double ly = (y - fit.offset_y) / fit.scale;
    const auto inside = [lx, ly](const LayoutRect& r) {
        return lx >= r.x && lx < r.x + r.w && ly >= r.y && ly < r.y + r.h;
    };
    for (int row = 0; list_open && row < preset_count(); ++row)
        if (inside(ui_layout_preset_row(row)))
            return {HitKind::preset_row, row};
    for (int item = 0; item < HEADER_ITEM_COUNT; ++item)
        if (inside(UI_HEADER[item].box))
            return {HitKind::item, item};
    for (const LayoutControl& c : UI_CONTROLS)
        if (std::fabs(lx - c.cx) <= KNOB_CELL_WIDTH / 2.0 &&
            std::fabs(ly - c.cy) <= KNOB_HIT_HALF_HEIGHT)
            return {HitKind::control, int(c.port)};
    return {HitKind::none, NO_ITEM};
}
