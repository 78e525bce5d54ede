#include "header_view.h"

#include <initializer_list>

#include "preset_browser.h"
#include "ui_layout.h"
#include "ui_theme.h"

namespace {

constexpr double BUTTON_RADIUS = 4.0;

// A button's box: raised when hovered or on.
void draw_box(cairo_t* cr, const LayoutRect& b, bool hot, bool on)
{
    theme_rounded_rect(cr, b.x, b.y, b.w, b.h, BUTTON_RADIUS);
    theme_set(cr, on ? THEME_ACCENT : THEME_KNOB);
    cairo_fill_preserve(cr);
    theme_set(cr, hot ? THEME_HOVER : THEME_GROUP_EDGE);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

// A triangle in the box pointing left (-1), right (+1) or down (0).
void draw_arrow(cairo_t* cr, const LayoutRect& b, int direction)
{
    const double cx = b.x + b.w / 2.0, cy = b.y + b.h / 2.0, r = 4.5;
    if (direction == 0) {
        cairo_move_to(cr, cx - r, cy - r / 2.0);
        cairo_line_to(cr, cx + r, cy - r / 2.0);
        cairo_line_to(cr, cx, cy + r / 2.0 + 1.0);
    } else {
        cairo_move_to(cr, cx + direction * r * 0.8, cy);
        cairo_line_to(cr, cx - direction * r * 0.6, cy - r);
        cairo_line_to(cr, cx - direction * r * 0.6, cy + r);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
}

// Text centred in a box.
void show_in(cairo_t* cr, const LayoutRect& b, const char* text)
{
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_move_to(cr, b.x + (b.w - ext.x_advance) / 2.0, b.y + b.h / 2.0 + 4.0);
    cairo_show_text(cr, text);
}

}  // namespace

void header_draw(cairo_t* cr, const HeaderShown& shown)
{
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 15.0);
    theme_set(cr, THEME_TEXT);
    cairo_move_to(cr, UI_TITLE.x + 2.0, UI_TITLE.y + 18.0);
    cairo_show_text(cr, "halvane");
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11.0);
    theme_set(cr, THEME_TEXT_DIM);
    cairo_move_to(cr, UI_TITLE.x + 76.0, UI_TITLE.y + 18.0);
    cairo_show_text(cr, shown.plugin_name ? shown.plugin_name : "");

    const auto hot = [&](int item) { return shown.hover_item == item; };
    cairo_set_font_size(cr, 10.5);
    for (int item : {HEADER_PREVIOUS, HEADER_NEXT}) {
        const LayoutRect& b = UI_HEADER[item].box;
        draw_box(cr, b, hot(item), false);
        theme_set(cr, hot(item) ? THEME_HOVER : THEME_TEXT);
        draw_arrow(cr, b, item == HEADER_PREVIOUS ? -1 : 1);
    }

    // The name, or "Custom" dimmed, with the list's arrow at the right.
    const LayoutRect& name = UI_HEADER[HEADER_PRESET].box;
    theme_rounded_rect(cr, name.x, name.y, name.w, name.h, BUTTON_RADIUS);
    theme_set(cr, THEME_ENTRY);
    cairo_fill_preserve(cr);
    theme_set(cr, hot(HEADER_PRESET) ? THEME_HOVER : THEME_GROUP_EDGE);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 11.5);
    theme_set(cr, shown.preset == NO_PRESET ? THEME_TEXT_DIM : THEME_TEXT);
    cairo_move_to(cr, name.x + 8.0, name.y + name.h / 2.0 + 4.0);
    cairo_show_text(cr, preset_name(shown.preset));
    theme_set(cr, hot(HEADER_PRESET) ? THEME_HOVER : THEME_TEXT_DIM);
    draw_arrow(cr, {name.x + name.w - 18.0f, name.y, 14.0f, name.h}, 0);

    // Mix lock: a check box and its name.
    const LayoutRect& lock = UI_HEADER[HEADER_MIX_LOCK].box;
    const LayoutRect check = {lock.x + 4.0f, lock.y + 4.0f, 12.0f, 12.0f};
    draw_box(cr, check, hot(HEADER_MIX_LOCK), shown.mix_lock);
    if (shown.mix_lock) {
        theme_set(cr, THEME_ENTRY);
        cairo_set_line_width(cr, 2.0);
        cairo_move_to(cr, check.x + 2.5, check.y + 6.0);
        cairo_line_to(cr, check.x + 5.0, check.y + 9.0);
        cairo_line_to(cr, check.x + 9.5, check.y + 3.0);
        cairo_stroke(cr);
    }
    cairo_set_font_size(cr, 10.5);
    theme_set(cr, hot(HEADER_MIX_LOCK) ? THEME_HOVER : THEME_TEXT);
    cairo_move_to(cr, check.x + check.w + 6.0, lock.y + lock.h / 2.0 + 4.0);
    cairo_show_text(cr, "mix lock");

    // A/B: the slot shown lit; copy names the slot it writes.
    for (int item : {HEADER_SLOT_A, HEADER_SLOT_B}) {
        const bool on = shown.slot == (item == HEADER_SLOT_A ? 0 : 1);
        draw_box(cr, UI_HEADER[item].box, hot(item), on);
        cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        theme_set(cr, on ? THEME_ENTRY : hot(item) ? THEME_HOVER : THEME_TEXT);
        show_in(cr, UI_HEADER[item].box, item == HEADER_SLOT_A ? "A" : "B");
    }
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    draw_box(cr, UI_HEADER[HEADER_COPY].box, hot(HEADER_COPY), false);
    theme_set(cr, hot(HEADER_COPY) ? THEME_HOVER : THEME_TEXT);
    show_in(cr, UI_HEADER[HEADER_COPY].box, shown.slot == 0 ? "copy to B" : "copy to A");

    // Everything explains itself in a tooltip; the header says so.
    const char* const hint = "hover over anything for help";
    cairo_set_font_size(cr, 9.0);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, hint, &ext);
    theme_set(cr, THEME_TEXT_DIM);
    cairo_move_to(cr, UI_TITLE.x + UI_TITLE.w - ext.x_advance, UI_TITLE.y + 17.0);
    cairo_show_text(cr, hint);
}

void header_draw_list(cairo_t* cr, int current, int hover)
{
    const int rows = preset_count();
    const LayoutRect first = ui_layout_preset_row(0);
    theme_rounded_rect(cr, first.x, first.y - 2.0, first.w, rows * PRESET_ROW_HEIGHT + 4.0,
                       BUTTON_RADIUS);
    theme_set(cr, THEME_GROUP);
    cairo_fill_preserve(cr);
    theme_set(cr, THEME_ACCENT);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11.5);
    for (int row = 0; row < rows; ++row) {
        const LayoutRect r = ui_layout_preset_row(row);
        if (row == hover) {
            cairo_rectangle(cr, r.x + 2.0, r.y, r.w - 4.0, r.h);
            theme_set(cr, THEME_KNOB_TRACK);
            cairo_fill(cr);
        }
        if (row == current) {
            cairo_rectangle(cr, r.x + 4.0, r.y + 4.0, 3.0, r.h - 8.0);
            theme_set(cr, THEME_ACCENT);
            cairo_fill(cr);
        }
        theme_set(cr, row == hover ? THEME_HOVER : THEME_TEXT);
        cairo_move_to(cr, r.x + 12.0, r.y + r.h / 2.0 + 4.0);
        cairo_show_text(cr, preset_name(row));
    }
}

void header_tooltip(int item, int slot, const char** first, const char** second)
{
    *second = "";
    switch (item) {
    case HEADER_PREVIOUS:
        *first = "Previous factory preset";
        break;
    case HEADER_NEXT:
        *first = "Next factory preset";
        break;
    case HEADER_PRESET:
        *first = "The factory preset the controls match, or Custom";
        *second = "click for the list, turn the wheel to step through it";
        break;
    case HEADER_MIX_LOCK:
        *first = "When on, choosing a preset leaves mix and wet level as they are";
        break;
    case HEADER_SLOT_A:
    case HEADER_SLOT_B:
        *first = "Two settings to compare: click the other slot to switch to it";
        *second = "changes go to the slot shown";
        break;
    default:
        *first = slot == 0 ? "Copy the settings of A into B" : "Copy the settings of B into A";
        break;
    }
}
