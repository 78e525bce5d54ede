#include "preview_draw.h"

#include <cmath>
#include <cstdio>

#include "ui_theme.h"

namespace {

// Margins of the plot inside the area, logical pixels: room for the dB
// labels on the left, the time labels below and the legend above.
constexpr float PLOT_LEFT = 44.0f;
constexpr float PLOT_RIGHT = 12.0f;
constexpr float PLOT_TOP = 24.0f;
constexpr float PLOT_BOTTOM = 22.0f;
constexpr double RANGE_DB = 90.0;   // shown below the top line
constexpr double GRID_DB = 10.0;
constexpr double MULTIPLES[] = {1.0, 2.0, 5.0};  // of a power of ten, for time steps

struct Plot {
    double left, top, width, height;
    double top_db, seconds;
    double x_of(double t) const
    {
        double share = t / seconds;
        share = std::isfinite(share) ? (share < 0.0 ? 0.0 : share > 1.0 ? 1.0 : share) : 0.0;
        return left + width * share;
    }
    double y_of(double db) const
    {
        double share = (top_db - db) / RANGE_DB;
        share = std::isfinite(share) ? (share < 0.0 ? 0.0 : share > 1.0 ? 1.0 : share) : 1.0;
        return top + height * share;
    }
};

// The grid step for `seconds`: the smallest of 1, 2, 5 times a power of ten
// that gives at most eight divisions.
double time_step(double seconds)
{
    double step = 0.001;
    for (int i = 0; i < 40; ++i) {
        for (const double m : MULTIPLES)
            if (seconds / (step * m) <= 8.0)
                return step * m;
        step *= 10.0;
    }
    return seconds;
}

void format_time(double t, double step, char* text, size_t size)
{
    if (step < 0.1)
        std::snprintf(text, size, "%.0f ms", t * 1000.0);
    else
        std::snprintf(text, size, step < 1.0 ? "%.1f s" : "%.0f s", t);
}

void draw_grid(cairo_t* cr, const Plot& p)
{
    cairo_set_line_width(cr, 1.0);
    theme_set(cr, THEME_GRID);
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10.0);
    char text[32];
    for (double db = p.top_db; db >= p.top_db - RANGE_DB - 1e-9; db -= GRID_DB) {
        const double y = std::floor(p.y_of(db)) + 0.5;
        theme_set(cr, THEME_GRID);
        cairo_move_to(cr, p.left, y);
        cairo_line_to(cr, p.left + p.width, y);
        cairo_stroke(cr);
        std::snprintf(text, sizeof text, "%.0f", db);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, text, &ext);
        theme_set(cr, THEME_TEXT_DIM);
        cairo_move_to(cr, p.left - 6.0 - ext.x_advance, y + 3.5);
        cairo_show_text(cr, text);
    }
    const double step = time_step(p.seconds);
    for (int k = 0; k * step <= p.seconds * (1.0 + 1e-9); ++k) {
        const double x = std::floor(p.x_of(k * step)) + 0.5;
        theme_set(cr, THEME_GRID);
        cairo_move_to(cr, x, p.top);
        cairo_line_to(cr, x, p.top + p.height);
        cairo_stroke(cr);
        format_time(k * step, step, text, sizeof text);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, text, &ext);
        double tx = x - ext.x_advance / 2.0;
        if (tx + ext.x_advance > p.left + p.width)
            tx = p.left + p.width - ext.x_advance;
        theme_set(cr, THEME_TEXT_DIM);
        cairo_move_to(cr, tx, p.top + p.height + 14.0);
        cairo_show_text(cr, text);
    }
    cairo_move_to(cr, p.left - 40.0, p.top - 8.0);
    cairo_show_text(cr, "dB");
}

void draw_curve(cairo_t* cr, const Plot& p, const PreviewPicture* picture, int curve,
                ThemeColour colour, double width)
{
    const int bins = picture->bins_done < PREVIEW_BINS ? picture->bins_done : PREVIEW_BINS;
    if (bins <= 0)
        return;
    const double bin_seconds = picture->seconds / PREVIEW_BINS;
    for (int k = 0; k < bins; ++k) {
        const double x = p.x_of((k + 0.5) * bin_seconds);
        const double y = p.y_of(double(picture->peak_db[curve][k]));
        if (k == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    theme_set(cr, colour);
    cairo_set_line_width(cr, width);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

// A swatch and a name, right to left from `x`; returns where the next ends.
double legend_entry(cairo_t* cr, double x, double y, ThemeColour colour, const char* name)
{
    cairo_text_extents_t ext;
    cairo_text_extents(cr, name, &ext);
    x -= ext.x_advance;
    theme_set(cr, THEME_TEXT);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, name);
    x -= 18.0;
    theme_set(cr, colour);
    cairo_set_line_width(cr, 2.5);
    cairo_move_to(cr, x, y - 3.5);
    cairo_line_to(cr, x + 13.0, y - 3.5);
    cairo_stroke(cr);
    return x - 14.0;
}

}  // namespace

void preview_format_rt60(const Rt60& rt60, char* text, unsigned size)
{
    const double s = std::isfinite(rt60.seconds) ? double(rt60.seconds) : 0.0;
    switch (rt60.kind) {
    case Rt60Kind::measured:
        if (s < 1.0)
            std::snprintf(text, size, "%.0f ms", s * 1000.0);
        else
            std::snprintf(text, size, s < 10.0 ? "%.2f s" : "%.1f s", s);
        break;
    case Rt60Kind::at_least:
        std::snprintf(text, size, s < 1.0 ? "> %.1f s" : "> %.0f s", s);
        break;
    case Rt60Kind::shorter_than:
        std::snprintf(text, size, "< %.0f ms", std::ceil(s * 1000.0));
        break;
    case Rt60Kind::silent:
        std::snprintf(text, size, "-");
        break;
    }
}

void preview_draw(cairo_t* cr, const LayoutRect& area, const PreviewPicture* picture,
                  const char* status)
{
    cairo_save(cr);
    theme_rounded_rect(cr, area.x, area.y, area.w, area.h, 6.0);
    theme_set(cr, THEME_PLOT_BACKGROUND);
    cairo_fill(cr);

    Plot p;
    p.left = area.x + PLOT_LEFT;
    p.top = area.y + PLOT_TOP;
    p.width = area.w - PLOT_LEFT - PLOT_RIGHT;
    p.height = area.h - PLOT_TOP - PLOT_BOTTOM;
    p.seconds = std::isfinite(picture->seconds) && picture->seconds > 0.0 ? picture->seconds : 1.0;
    // The top line is 0 dBFS unless some curve rises above it.
    double peak = PREVIEW_FLOOR_DB;
    for (const auto& curve : picture->peak_db)
        for (float v : curve)
            if (std::isfinite(v) && v > peak)
                peak = v;
    p.top_db = peak > 0.0 ? std::ceil(peak / GRID_DB) * GRID_DB : 0.0;
    if (p.top_db > 60.0)
        p.top_db = 60.0;

    // The pre-delay: the time before the reverb starts, shaded.
    const double predelay_s =
        std::isfinite(picture->predelay_ms) ? double(picture->predelay_ms) * 0.001 : 0.0;
    if (predelay_s > 0.0) {
        const double x1 = p.x_of(predelay_s);
        theme_set(cr, THEME_PREDELAY);
        cairo_rectangle(cr, p.left, p.top, x1 - p.left, p.height);
        cairo_fill(cr);
    }
    draw_grid(cr, p);

    cairo_rectangle(cr, p.left, p.top, p.width, p.height);
    cairo_save(cr);
    cairo_clip(cr);
    // The outputs first, the bands over them: the high band often carries
    // most of the output and would otherwise hide under it.
    if (picture->channels == 2)
        draw_curve(cr, p, picture, PREVIEW_RIGHT, THEME_RIGHT, 1.5);
    draw_curve(cr, p, picture, PREVIEW_LEFT, THEME_LEFT, 1.5);
    if (picture->has_bands) {
        draw_curve(cr, p, picture, PREVIEW_HIGH, THEME_HIGH_BAND, 1.0);
        draw_curve(cr, p, picture, PREVIEW_LOW, THEME_LOW_BAND, 1.0);
    }
    cairo_restore(cr);

    // Frame, title, legend, figures.
    theme_set(cr, THEME_AXIS);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, std::floor(p.left) + 0.5, std::floor(p.top) + 0.5, std::floor(p.width),
                    std::floor(p.height));
    cairo_stroke(cr);

    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 11.0);
    theme_set(cr, THEME_TEXT);
    cairo_move_to(cr, p.left, area.y + 16.0);
    cairo_show_text(cr, picture->title ? picture->title : "Impulse response");

    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10.5);
    double x = p.left + p.width;
    const double y = area.y + 16.0;
    if (picture->has_bands) {
        x = legend_entry(cr, x, y, THEME_LOW_BAND, "low band");
        x = legend_entry(cr, x, y, THEME_HIGH_BAND, "high band");
    }
    if (picture->channels == 2) {
        x = legend_entry(cr, x, y, THEME_RIGHT, "right");
        x = legend_entry(cr, x, y, THEME_LEFT, "left");
    } else {
        x = legend_entry(cr, x, y, THEME_LEFT, "output");
    }

    char text[96];
    if (predelay_s > 0.0) {
        std::snprintf(text, sizeof text, "pre-delay %.0f ms", predelay_s * 1000.0);
        theme_set(cr, THEME_TEXT_DIM);
        cairo_move_to(cr, p.left + 6.0, p.top + p.height - 6.0);
        cairo_show_text(cr, text);
    }
    if (picture->has_bands && picture->complete) {
        char high[24], low[24];
        preview_format_rt60(picture->rt60[0], high, sizeof high);
        preview_format_rt60(picture->rt60[1], low, sizeof low);
        cairo_set_font_size(cr, 12.0);
        cairo_text_extents_t ext;
        std::snprintf(text, sizeof text, "RT60  high %s", high);
        cairo_text_extents(cr, text, &ext);
        const double tx = p.left + p.width - 10.0 - 130.0;
        theme_set(cr, THEME_HIGH_BAND);
        cairo_move_to(cr, tx, p.top + 18.0);
        cairo_show_text(cr, text);
        std::snprintf(text, sizeof text, "RT60  low  %s", low);
        theme_set(cr, THEME_LOW_BAND);
        cairo_move_to(cr, tx, p.top + 34.0);
        cairo_show_text(cr, text);
    }
    if (!picture->has_bands && picture->complete && picture->rt60_output.kind != Rt60Kind::silent) {
        char figure[24];
        preview_format_rt60(picture->rt60_output, figure, sizeof figure);
        std::snprintf(text, sizeof text, "RT60  %s", figure);
        cairo_set_font_size(cr, 12.0);
        theme_set(cr, THEME_TEXT);
        cairo_move_to(cr, p.left + p.width - 10.0 - 130.0, p.top + 18.0);
        cairo_show_text(cr, text);
    }
    if (status) {
        cairo_set_font_size(cr, 10.5);
        theme_set(cr, THEME_TEXT_DIM);
        cairo_move_to(cr, p.left + 6.0, p.top + 14.0);
        cairo_show_text(cr, status);
    }
    cairo_restore(cr);
}
