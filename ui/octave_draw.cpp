#include "octave_draw.h"

#include <cmath>
#include <cstdio>

#include "ui_theme.h"

namespace {

// Margins of the plot inside the area, logical pixels: the time labels on
// the left, the band labels below, the title above.
constexpr double PLOT_LEFT = 34.0;
constexpr double PLOT_RIGHT = 10.0;
constexpr double PLOT_TOP = 30.0;
constexpr double PLOT_BOTTOM = 22.0;
constexpr double BAR_SHARE = 0.62;  // of a band's width
constexpr int GRID_DIVISIONS = 4;
// The axis ends at the first of these seconds above the longest figure.
constexpr double AXIS_TOPS[] = {0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0, 32.0};
constexpr const char* BAND_LABELS[OCTAVE_BANDS] = {"63", "125", "250", "500",
                                                    "1k", "2k", "4k",  "8k"};

bool has_bar(const Rt60& r) { return r.kind != Rt60Kind::silent && std::isfinite(r.seconds); }

// The figure above a bar, short enough for its width.
void figure_text(const Rt60& r, char* text, size_t size)
{
    const double s = double(r.seconds);
    switch (r.kind) {
    case Rt60Kind::measured:
        std::snprintf(text, size, s < 10.0 ? "%.2f" : "%.1f", s);
        break;
    case Rt60Kind::at_least:
        std::snprintf(text, size, ">%.0f", std::floor(s));
        break;
    case Rt60Kind::shorter_than:
        std::snprintf(text, size, "<%.2f", s);
        break;
    case Rt60Kind::silent:
        std::snprintf(text, size, "-");
        break;
    }
}

void show_centred(cairo_t* cr, double cx, double baseline, const char* text)
{
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_move_to(cr, cx - ext.x_advance / 2.0, baseline);
    cairo_show_text(cr, text);
}

}  // namespace

void octave_draw(cairo_t* cr, const LayoutRect& area, const PreviewPicture* picture)
{
    cairo_save(cr);
    theme_rounded_rect(cr, area.x, area.y, area.w, area.h, 6.0);
    theme_set(cr, THEME_PLOT_BACKGROUND);
    cairo_fill(cr);

    const double left = area.x + PLOT_LEFT, top = area.y + PLOT_TOP;
    const double width = area.w - PLOT_LEFT - PLOT_RIGHT;
    const double height = area.h - PLOT_TOP - PLOT_BOTTOM;
    const bool shown = picture->complete;
    const int bands = picture->octave_bands < OCTAVE_BANDS ? picture->octave_bands : OCTAVE_BANDS;

    double longest = 0.0;
    for (int b = 0; shown && b < bands; ++b)
        if (has_bar(picture->octave_rt60[b]) && picture->octave_rt60[b].seconds > longest)
            longest = double(picture->octave_rt60[b].seconds);
    double axis = AXIS_TOPS[0];
    for (const double t : AXIS_TOPS) {
        axis = t;
        if (t >= longest * 1.1)
            break;
    }

    // Grid and time labels.
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10.0);
    cairo_set_line_width(cr, 1.0);
    char text[24];
    for (int k = 0; k <= GRID_DIVISIONS; ++k) {
        const double seconds = axis * k / GRID_DIVISIONS;
        const double y = std::floor(top + height * (1.0 - double(k) / GRID_DIVISIONS)) + 0.5;
        theme_set(cr, THEME_GRID);
        cairo_move_to(cr, left, y);
        cairo_line_to(cr, left + width, y);
        cairo_stroke(cr);
        std::snprintf(text, sizeof text, "%g", seconds);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, text, &ext);
        theme_set(cr, THEME_TEXT_DIM);
        cairo_move_to(cr, left - 5.0 - ext.x_advance, y + 3.5);
        cairo_show_text(cr, text);
    }
    cairo_move_to(cr, area.x + 6.0, top - 8.0);
    cairo_show_text(cr, "s");
    cairo_move_to(cr, area.x + 6.0, top + height + 15.0);
    cairo_show_text(cr, "Hz");

    // A bar per band, its figure above it, its label below.
    const double slot = width / OCTAVE_BANDS;
    for (int b = 0; b < OCTAVE_BANDS; ++b) {
        const double cx = left + slot * (b + 0.5);
        theme_set(cr, THEME_TEXT_DIM);
        cairo_set_font_size(cr, 10.0);
        show_centred(cr, cx, top + height + 15.0, BAND_LABELS[b]);
        if (!shown)
            continue;
        const Rt60& r = picture->octave_rt60[b];
        cairo_set_font_size(cr, 9.0);
        if (b >= bands || !has_bar(r)) {
            show_centred(cr, cx, top + height - 4.0, "-");
            continue;
        }
        double share = double(r.seconds) / axis;
        share = share < 0.0 ? 0.0 : share > 1.0 ? 1.0 : share;
        const double bar_top = top + height * (1.0 - share);
        const double w = slot * BAR_SHARE;
        cairo_rectangle(cr, cx - w / 2.0, bar_top, w, top + height - bar_top);
        theme_set(cr, THEME_OCTAVE_BAR);
        cairo_fill(cr);
        if (r.kind != Rt60Kind::at_least) {
            theme_set(cr, THEME_ACCENT);
            cairo_move_to(cr, cx - w / 2.0, bar_top + 0.5);
            cairo_line_to(cr, cx + w / 2.0, bar_top + 0.5);
            cairo_set_line_width(cr, 2.0);
            cairo_stroke(cr);
        }
        figure_text(r, text, sizeof text);
        theme_set(cr, THEME_TEXT);
        show_centred(cr, cx, bar_top - 4.0 > top - 2.0 ? bar_top - 4.0 : top - 2.0, text);
    }

    theme_set(cr, THEME_AXIS);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, std::floor(left) + 0.5, std::floor(top) + 0.5, std::floor(width),
                    std::floor(height));
    cairo_stroke(cr);
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 11.0);
    theme_set(cr, THEME_TEXT);
    cairo_move_to(cr, left, area.y + 16.0);
    cairo_show_text(cr, "Decay per octave (RT60)");
    cairo_restore(cr);
}
