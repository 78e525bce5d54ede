// The GUI's colours and font, in one place: a dark theme with one accent
// and a distinct colour for each curve of the preview.
#pragma once

#include <cairo.h>

#include <cmath>

#define THEME_FONT "sans-serif"

enum ThemeColour {
    THEME_BACKGROUND,
    THEME_GROUP,
    THEME_GROUP_EDGE,
    THEME_PLOT_BACKGROUND,
    THEME_GRID,
    THEME_AXIS,
    THEME_TEXT,
    THEME_TEXT_DIM,
    THEME_ACCENT,
    THEME_KNOB,
    THEME_KNOB_TRACK,
    THEME_HOVER,
    THEME_ENTRY,
    THEME_TOOLTIP,
    THEME_PREDELAY,
    THEME_LEFT,
    THEME_RIGHT,
    THEME_HIGH_BAND,
    THEME_LOW_BAND,
    THEME_OCTAVE_BAR,
    THEME_COLOURS
};

struct ThemeRgba {
    double r, g, b, a;
};

constexpr ThemeRgba THEME[THEME_COLOURS] = {
    {0.105, 0.114, 0.133, 1.0},  // background
    {0.153, 0.165, 0.192, 1.0},  // group
    {0.235, 0.251, 0.290, 1.0},  // group edge
    {0.075, 0.082, 0.098, 1.0},  // plot background
    {0.180, 0.196, 0.231, 1.0},  // grid
    {0.380, 0.400, 0.450, 1.0},  // axis
    {0.910, 0.918, 0.933, 1.0},  // text
    {0.600, 0.620, 0.670, 1.0},  // dim text
    {0.310, 0.780, 0.760, 1.0},  // accent (teal)
    {0.240, 0.255, 0.295, 1.0},  // knob body
    {0.300, 0.318, 0.365, 1.0},  // knob track
    {0.420, 0.880, 0.860, 1.0},  // hover ring
    {0.050, 0.055, 0.065, 1.0},  // text entry
    {0.960, 0.930, 0.780, 0.96}, // tooltip
    {0.310, 0.780, 0.760, 0.10}, // pre-delay shade
    {0.400, 0.640, 1.000, 1.0},  // left (blue)
    {1.000, 0.640, 0.300, 1.0},  // right (orange)
    {0.880, 0.520, 0.920, 0.90}, // high band (violet)
    {0.480, 0.850, 0.450, 0.90}, // low band (green)
    {0.310, 0.780, 0.760, 0.45}, // octave bar (the accent, translucent)
};

static inline void theme_set(cairo_t* cr, ThemeColour c)
{
    const ThemeRgba& k = THEME[c];
    cairo_set_source_rgba(cr, k.r, k.g, k.b, k.a);
}

static inline void theme_rounded_rect(cairo_t* cr, double x, double y, double w, double h,
                                      double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2.0, 0.0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0.0, M_PI / 2.0);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2.0, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 1.5 * M_PI);
    cairo_close_path(cr);
}
