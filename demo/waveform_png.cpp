// waveform_png: draws a WAV file as a PNG picture for the demo: a title,
// the waveform of each channel in its own lane (scaled to the file's peak),
// and below it the level of each channel in dB over time, drawn as the
// GUI's preview draws an impulse response: the slope is the decay, and the
// decay time measured from it is written on it.
//
//   waveform_png IN.wav OUT.png SECONDS TITLE [SUBTITLE]
//
// Shows the first SECONDS of the file. Reads integer and float WAV files
// (sox and lv2apply write 32-bit float). Exit status 0 on success,
// 1 when a file cannot be read or written, 2 on a wrong command line.

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "preview_draw.h"
#include "rt60.h"
#include "ui_theme.h"
#include "wav_file.h"

namespace {

struct Sound {
    int rate = 0;
    int channels = 0;
    std::vector<std::vector<float>> samples;  // one vector per channel
};

// Reads the file into one vector of samples per channel; NaN and infinity
// (which a broken render could hold) are drawn as silence.
bool read_sound(const char* path, Sound& sound, std::string& error)
{
    wav::File file;
    if (!wav::read(path, file, error))
        return false;
    sound.rate = int(file.rate);
    sound.channels = int(file.channels);
    sound.samples.assign(file.channels, std::vector<float>(file.frames));
    for (size_t i = 0; i < file.frames; ++i)
        for (unsigned c = 0; c < file.channels; ++c) {
            const float value = float(file.samples[i * file.channels + c]);
            sound.samples[c][i] = std::isfinite(value) ? value : 0.0f;
        }
    return true;
}

// Logical canvas (pixels at scale 1); the PNG is PICTURE_SCALE times larger.
constexpr double WIDTH = 720.0;
constexpr double MARGIN = 10.0;
constexpr double PICTURE_SCALE = 5.0 / 3.0;  // 1200 pixels wide
constexpr double LANE_HEIGHT = 70.0;
constexpr double LEVEL_HEIGHT = 240.0;
constexpr double LINE_HEIGHT = 14.0;

// Breaks text into lines no wider than `width` at ", " where it can, so a
// long list of settings stays inside the picture.
std::vector<std::string> wrap(cairo_t* cr, const std::string& text, double width)
{
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find(", ", at);
        const std::string piece =
            text.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
        at = end == std::string::npos ? text.size() : end + 2;
        cairo_text_extents_t ext;
        cairo_text_extents(cr, (line + piece).c_str(), &ext);
        if (!line.empty() && ext.x_advance > width) {
            lines.push_back(line);
            line.clear();
        }
        line += piece;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Each channel's waveform in its own lane: for every pixel column the range
// from the smallest to the largest sample it covers, scaled to the peak.
void draw_waveform(cairo_t* cr, const LayoutRect& area, const Sound& sound, double seconds,
                   double peak)
{
    theme_rounded_rect(cr, area.x, area.y, area.w, area.h, 6.0);
    theme_set(cr, THEME_PLOT_BACKGROUND);
    cairo_fill(cr);
    const double left = area.x + 44.0, width = area.w - 44.0 - 12.0;
    const int columns = int(width * PICTURE_SCALE);
    const double lane = area.h / sound.channels;
    cairo_set_line_width(cr, 1.0 / PICTURE_SCALE);
    for (int c = 0; c < sound.channels; ++c) {
        const double middle = area.y + (c + 0.5) * lane;
        const double half = lane / 2.0 - 6.0;
        theme_set(cr, THEME_GRID);
        cairo_move_to(cr, left, middle);
        cairo_line_to(cr, left + width, middle);
        cairo_stroke(cr);
        const std::vector<float>& samples = sound.samples[size_t(c)];
        const size_t shown = std::min(samples.size(), size_t(seconds * sound.rate));
        for (int x = 0; x < columns; ++x) {
            const size_t first = size_t(double(x) / columns * seconds * sound.rate);
            const size_t last = std::min(shown, size_t(double(x + 1) / columns * seconds * sound.rate));
            if (first >= last)
                continue;
            const auto range = std::minmax_element(samples.begin() + long(first),
                                                   samples.begin() + long(last));
            const double px = left + (x + 0.5) / PICTURE_SCALE;
            cairo_move_to(cr, px, middle - half * double(*range.second) / peak);
            cairo_line_to(cr, px, middle - half * double(*range.first) / peak + 0.5);
        }
        theme_set(cr, c == 0 ? THEME_LEFT : THEME_RIGHT);
        cairo_stroke(cr);
        cairo_set_font_size(cr, 11.0);
        cairo_move_to(cr, area.x + 16.0, middle + 4.0);
        cairo_show_text(cr, sound.channels == 1 ? "" : c == 0 ? "L" : "R");
    }
    char caption[64];
    std::snprintf(caption, sizeof caption, "waveform, scaled to its peak of %.3f", peak);
    cairo_set_font_size(cr, 10.5);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, caption, &ext);
    theme_set(cr, THEME_TEXT_DIM);
    cairo_move_to(cr, left + width - ext.x_advance - 6.0, area.y + 14.0);
    cairo_show_text(cr, caption);
}

// The level picture of the first `seconds`: the peak of each channel per
// bin, and the decay time of the channels' summed energy.
void fill_picture(const Sound& sound, double seconds, PreviewPicture* picture)
{
    preview_picture_clear(picture, sound.channels >= 2 ? 2 : 1, false, seconds);
    std::vector<double> energy(PREVIEW_BINS, 0.0);
    const size_t frames = size_t(seconds * sound.rate);
    for (int c = 0; c < std::min(sound.channels, 2); ++c) {
        const std::vector<float>& samples = sound.samples[size_t(c)];
        std::vector<float> peak(PREVIEW_BINS, 0.0f);
        for (size_t i = 0; i < std::min(frames, samples.size()); ++i) {
            const size_t bin = i * PREVIEW_BINS / frames;
            peak[bin] = std::max(peak[bin], std::fabs(samples[i]));
            energy[bin] += double(samples[i]) * samples[i];
        }
        for (int k = 0; k < PREVIEW_BINS; ++k)
            picture->peak_db[c][k] = peak[size_t(k)] > 0.0f
                                         ? std::max(PREVIEW_FLOOR_DB,
                                                    float(20.0 * std::log10(peak[size_t(k)])))
                                         : PREVIEW_FLOOR_DB;
    }
    picture->rt60_output = rt60_measure(energy.data(), PREVIEW_BINS, seconds / PREVIEW_BINS);
    picture->bins_done = PREVIEW_BINS;
    picture->complete = true;
    picture->title = "Level in dB over time (peak)";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: waveform_png IN.wav OUT.png SECONDS TITLE [SUBTITLE]\n");
        return 2;
    }
    Sound sound;
    std::string error;
    if (!read_sound(argv[1], sound, error)) {
        std::fprintf(stderr, "waveform_png: cannot read %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const double seconds = std::atof(argv[3]);
    if (!(seconds > 0.0) || !std::isfinite(seconds) || sound.channels < 1) {
        std::fprintf(stderr, "waveform_png: SECONDS must be positive\n");
        return 2;
    }

    double peak = 0.0;
    for (const auto& channel : sound.samples)
        for (float value : channel)
            peak = std::max(peak, double(std::fabs(value)));
    if (peak == 0.0)
        peak = 1.0;  // a silent file: draw flat lines rather than divide by zero
    PreviewPicture* picture = new PreviewPicture;
    fill_picture(sound, seconds, picture);

    // The subtitle's lines decide the height, so measure them first.
    cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* measure = cairo_create(probe);
    cairo_select_font_face(measure, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(measure, 11.0);
    const std::vector<std::string> subtitle =
        argc == 6 ? wrap(measure, argv[5], WIDTH - 2 * MARGIN - 8.0) : std::vector<std::string>();
    cairo_destroy(measure);
    cairo_surface_destroy(probe);

    const double waveform_top = 34.0 + LINE_HEIGHT * double(subtitle.size()) + 6.0;
    const LayoutRect waveform = {float(MARGIN), float(waveform_top), float(WIDTH - 2 * MARGIN),
                                 float(LANE_HEIGHT * sound.channels)};
    const LayoutRect level = {float(MARGIN), waveform.y + waveform.h + 8.0f,
                              float(WIDTH - 2 * MARGIN), float(LEVEL_HEIGHT)};
    const double height = level.y + level.h + MARGIN;

    cairo_surface_t* surface = cairo_image_surface_create(
        CAIRO_FORMAT_RGB24, int(std::lround(WIDTH * PICTURE_SCALE)),
        int(std::lround(height * PICTURE_SCALE)));
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, PICTURE_SCALE, PICTURE_SCALE);
    theme_set(cr, THEME_BACKGROUND);
    cairo_paint(cr);
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 15.0);
    theme_set(cr, THEME_TEXT);
    cairo_move_to(cr, MARGIN + 4.0, 24.0);
    cairo_show_text(cr, argv[4]);
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11.0);
    theme_set(cr, THEME_TEXT_DIM);
    for (size_t i = 0; i < subtitle.size(); ++i) {
        cairo_move_to(cr, MARGIN + 4.0, 40.0 + LINE_HEIGHT * double(i));
        cairo_show_text(cr, subtitle[i].c_str());
    }
    cairo_select_font_face(cr, THEME_FONT, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    draw_waveform(cr, waveform, sound, seconds, peak);
    preview_draw(cr, level, picture, nullptr);
    cairo_destroy(cr);

    const bool written = cairo_surface_write_to_png(surface, argv[2]) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    delete picture;
    if (!written) {
        std::fprintf(stderr, "waveform_png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
