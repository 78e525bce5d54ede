// waveform_png: draws a WAV file as a PNG picture for the demo: a title,
// the waveform of each channel in its own lane (scaled to the file's peak),
// and below it the level of each channel in dB over time, where a reverb's
// decay shows as a slope and its length as the time the slope takes to
// reach the floor.
//
//   waveform_png IN.wav OUT.png SECONDS TITLE [SUBTITLE]
//
// Shows the first SECONDS of the file. Reads integer and float WAV files
// (sox and lv2apply write 32-bit float). Exit status 0 on success,
// 1 when a file cannot be read or written, 2 on a wrong command line.

#include "png_canvas.h"
#include "wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// Breaks text into lines of at most `columns` characters, at ", " where it
// can, so a long list of settings stays inside the picture.
std::vector<std::string> wrap(const std::string& text, size_t columns)
{
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(", ", at);
        std::string piece = text.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
        at = end == std::string::npos ? text.size() : end + 2;
        if (!line.empty() && line.size() + piece.size() > columns + 1) {  // the trailing space may overhang
            lines.push_back(line);
            line.clear();
        }
        line += piece;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string format_number(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The plot area of one panel and the time span it shows.
struct Panel {
    int left, top, right, bottom;
    double seconds;
    int x_of(double t) const { return left + int(std::lround((right - left) * t / seconds)); }
};

// Vertical grid lines and time labels under the panel, every half second
// (every second for spans longer than 6 s).
void draw_time_axis(PngCanvas& canvas, const Panel& panel, bool labels)
{
    const double step = panel.seconds > 6.0 ? 1.0 : 0.5;
    for (int k = 0; k * step <= panel.seconds + 1e-9; ++k) {
        const double t = k * step;
        const int x = panel.x_of(t);
        png_canvas_line(canvas, x, panel.top, x, panel.bottom, GRID);
        png_canvas_line(canvas, x, panel.bottom, x, panel.bottom + 4, AXIS);
        if (labels) {
            const std::string text = format_number(t, step < 1.0 ? 1 : 0);
            png_canvas_text(canvas, x - png_canvas_text_width(text, 2) / 2, panel.bottom + 8, text, 2, TEXT);
        }
    }
    if (labels) {
        const std::string unit = "time (s)";
        png_canvas_text(canvas, panel.right - png_canvas_text_width(unit, 2), panel.bottom + 30, unit, 2, TEXT);
    }
}

// A panel's caption sits at its top right, where a decaying sound has
// already faded and leaves the text clear.
void caption(PngCanvas& canvas, const Panel& panel, const std::string& text)
{
    png_canvas_text(canvas, panel.right - 8 - png_canvas_text_width(text, 2), panel.top + 6, text, 2, TEXT);
}

void draw_frame(PngCanvas& canvas, const Panel& panel)
{
    png_canvas_line(canvas, panel.left, panel.top, panel.left, panel.bottom, AXIS);
    png_canvas_line(canvas, panel.left, panel.bottom, panel.right, panel.bottom, AXIS);
}

// Each channel's waveform in its own lane: for every pixel column the range
// from the smallest to the largest sample it covers, scaled to the peak.
void draw_waveform(PngCanvas& canvas, const Panel& panel, const Sound& sound, double peak)
{
    draw_time_axis(canvas, panel, false);
    const int lanes = sound.channels;
    const int lane_height = (panel.bottom - panel.top) / lanes;
    for (int c = 0; c < lanes; ++c) {
        const int top = panel.top + c * lane_height + 4;
        const int bottom = panel.top + (c + 1) * lane_height - 4;
        const int middle = (top + bottom) / 2;
        const double half = (bottom - top) / 2.0;
        png_canvas_line(canvas, panel.left, middle, panel.right, middle, GRID);
        const Colour trace = c == 0 ? LEFT_TRACE : RIGHT_TRACE;
        const std::vector<float>& samples = sound.samples[size_t(c)];
        const size_t shown = std::min(samples.size(), size_t(panel.seconds * sound.rate));
        for (int x = panel.left; x < panel.right; ++x) {
            const size_t first = size_t(double(x - panel.left) / (panel.right - panel.left) * panel.seconds * sound.rate);
            const size_t last = std::min(shown, size_t(double(x + 1 - panel.left) / (panel.right - panel.left) *
                                                       panel.seconds * sound.rate));
            if (first >= last)
                continue;
            float low = samples[first], high = samples[first];
            for (size_t i = first; i < last; ++i) {
                low = std::min(low, samples[i]);
                high = std::max(high, samples[i]);
            }
            const int y_high = middle - int(std::lround(half * high / peak));
            const int y_low = middle - int(std::lround(half * low / peak));
            png_canvas_line(canvas, x, y_high, x, y_low, trace);
        }
        if (lanes > 1)
            png_canvas_text(canvas, panel.left - 30, middle - 8, c == 0 ? "L" : "R", 2, trace);
    }
    caption(canvas, panel, "waveform, scaled to its peak of " + format_number(peak, 3));
    draw_frame(canvas, panel);
}

// The level of each channel in dB (RMS over 10 ms windows) from the top of
// the panel, a round number of dB above the peak level, down 90 dB.
void draw_level(PngCanvas& canvas, const Panel& panel, const Sound& sound, double peak)
{
    draw_time_axis(canvas, panel, true);
    const double top_db = std::ceil(20.0 * std::log10(std::max(peak, 1e-9)) / 10.0) * 10.0;
    const double range_db = 90.0;
    auto y_of = [&](double db) {
        const double share = std::clamp((top_db - db) / range_db, 0.0, 1.0);
        return panel.top + int(std::lround((panel.bottom - panel.top) * share));
    };
    for (double db = top_db; db >= top_db - range_db - 1e-9; db -= 10.0) {
        const int y = y_of(db);
        png_canvas_line(canvas, panel.left, y, panel.right, y, GRID);
        const std::string text = format_number(db, 0);
        png_canvas_text(canvas, panel.left - 10 - png_canvas_text_width(text, 2), y - 7, text, 2, TEXT);
    }
    const int window = std::max(1, sound.rate / 100);
    for (int c = sound.channels - 1; c >= 0; --c) {
        const std::vector<float>& samples = sound.samples[size_t(c)];
        const size_t shown = std::min(samples.size(), size_t(panel.seconds * sound.rate));
        int previous_x = -1, previous_y = 0;
        for (size_t start = 0; start + size_t(window) <= shown; start += size_t(window)) {
            double energy = 0.0;
            for (size_t i = start; i < start + size_t(window); ++i)
                energy += double(samples[i]) * samples[i];
            const double rms = std::sqrt(energy / window);
            const int x = panel.x_of((start + window / 2.0) / sound.rate);
            const int y = y_of(20.0 * std::log10(std::max(rms, 1e-12)));
            const Colour trace = c == 0 ? LEFT_TRACE : RIGHT_TRACE;
            if (previous_x >= 0) {
                png_canvas_line(canvas, previous_x, previous_y, x, y, trace);
                png_canvas_line(canvas, previous_x, previous_y + 1, x, y + 1, trace);
            }
            previous_x = x;
            previous_y = y;
        }
    }
    std::string text = "level (dB, RMS over 10 ms)";
    if (sound.channels > 1)
        text += ": left blue, right orange";
    caption(canvas, panel, text);
    draw_frame(canvas, panel);
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
    if (!(seconds > 0.0)) {
        std::fprintf(stderr, "waveform_png: SECONDS must be positive\n");
        return 2;
    }

    double peak = 0.0;
    for (const auto& channel : sound.samples)
        for (float value : channel)
            peak = std::max(peak, double(std::fabs(value)));
    if (peak == 0.0)
        peak = 1.0;  // a silent file: draw flat lines rather than divide by zero

    const int width = 1200, margin_left = 90, margin_right = 30;
    const std::vector<std::string> subtitle =
        argc == 6 ? wrap(argv[5], size_t(width - margin_left - margin_right) / 12) : std::vector<std::string>();
    const int waveform_top = 54 + 20 * int(subtitle.size());
    const int waveform_height = 130 * sound.channels;
    PngCanvas canvas = png_canvas_create(width, waveform_top + waveform_height + 20 + 260 + 60);
    png_canvas_text(canvas, margin_left, 14, argv[4], 3, TEXT);
    for (size_t i = 0; i < subtitle.size(); ++i)
        png_canvas_text(canvas, margin_left, 48 + 20 * int(i), subtitle[i], 2, AXIS);

    const Panel waveform{margin_left, waveform_top, width - margin_right, waveform_top + waveform_height, seconds};
    draw_waveform(canvas, waveform, sound, peak);
    const Panel level{margin_left, waveform.bottom + 20, width - margin_right, waveform.bottom + 20 + 260, seconds};
    draw_level(canvas, level, sound, peak);

    if (!png_canvas_save(canvas, argv[2])) {
        std::fprintf(stderr, "waveform_png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
