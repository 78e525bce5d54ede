// The header's drawing: the title and the plug-in's name, the preset
// browser (previous, the name of the preset the controls match or
// "Custom", next), mix lock, the A/B slots and copy, in the boxes UI_HEADER
// gives; the list of presets the name opens; and what each button's tooltip
// says. Draws in logical units; computes nothing.
#pragma once

#include <cairo.h>

// The state the header shows.
struct HeaderShown {
    const char* plugin_name;
    int preset;      // the preset the controls match, or NO_PRESET
    bool mix_lock;
    int slot;        // 0: A shown, 1: B
    int hover_item;  // header item under the pointer, or -1
};

void header_draw(cairo_t* cr, const HeaderShown& shown);

// The list of presets, under the name; `hover` is the row under the
// pointer (-1 for none).
void header_draw_list(cairo_t* cr, int current, int hover);

// What the tooltip of header item `item` says, in two lines (the second
// may be empty).
void header_tooltip(int item, int slot, const char** first, const char** second);
