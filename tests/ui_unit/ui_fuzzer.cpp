// Fuzz target for the GUI's parts that run without X: value formatting and
// sanitising, parsing of typed values, the preview renderer with its decay
// measurement, and the drawing of the preview and the whole view, fed any
// float a host may send for any port (NaN, infinities, huge, negative, out
// of range). It aborts when a value leaves its range or turns non-finite,
// when a text is not terminated, or when a non-finite number reaches cairo:
// the cairo calls the drawing makes are wrapped (linker --wrap) and checked.
//
// Input: a flags byte (bit 0 stereo, bits 1-2 the rate, bit 3 draw), then
// per control a choice byte (below 0x80 a value from SPECIAL, else the next
// four bytes as a raw float), then a port byte and the rest as typed text.

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "control_model.h"
#include "preview_draw.h"
#include "preview_render.h"
#include "reverb_descriptors.h"
#include "ui_layout.h"
#include "ui_view.h"

namespace {

constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float SPECIAL[] = {
    std::numeric_limits<float>::quiet_NaN(), INF, -INF, std::numeric_limits<float>::max(),
    -std::numeric_limits<float>::max(), 0.0f, -0.0f, std::numeric_limits<float>::denorm_min(),
    1e30f, -1e30f, 1.0f, -1.0f, 0.5f, 30.0f, 150.0f, 12000.0f, 1e6f, -90.0f, 6.0f, 240.0f};
constexpr int SPECIAL_COUNT = int(sizeof SPECIAL / sizeof SPECIAL[0]);
// Rates the render runs at: low, so that a 30 s decay stays quick to render.
constexpr double RATES[] = {1000.0, 4000.0, 11025.0, 22050.0};

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    float value()
    {
        const uint8_t choice = byte();
        if (choice < 0x80)
            return SPECIAL[choice % SPECIAL_COUNT];
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits = bits << 8 | byte();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
};

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void check_control_value(uint32_t port, float v)
{
    check(std::isfinite(v) && v >= CONTROL_RANGES[port].min && v <= CONTROL_RANGES[port].max);
}

void check_model(const float* raw)
{
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port) {
        const float v = raw[port];
        check_control_value(port, control_sanitize(port, v));
        const double n = control_to_normal(port, v);
        check(std::isfinite(n) && n >= 0.0 && n <= 1.0);
        check_control_value(port, control_from_normal(port, double(v)));
        check_control_value(port, control_step(port, v, double(raw[(port + 1) % CONTROL_PORT_COUNT])));
        char text[16];
        std::memset(text, 'x', sizeof text);
        const size_t n_written = control_format(port, v, text, sizeof text);
        check(n_written < sizeof text && text[n_written] == '\0');
        check(!std::strstr(text, "nan") && (!std::strstr(text, "inf") || port == PORT_WET_LEVEL));
    }
}

void check_picture(const PreviewPicture* picture)
{
    check(picture && std::isfinite(picture->seconds) && picture->seconds > 0.0);
    check(picture->bins_done >= 0 && picture->bins_done <= PREVIEW_BINS);
    for (const auto& curve : picture->peak_db)
        for (float v : curve)
            check(std::isfinite(v));
    for (const Rt60& r : picture->rt60)
        check(std::isfinite(r.seconds) && r.seconds >= 0.0f);
    check(picture->octave_bands >= 0 && picture->octave_bands <= OCTAVE_BANDS);
    for (const Rt60& r : picture->octave_rt60)
        check(std::isfinite(r.seconds) && r.seconds >= 0.0f);
}

void draw(const PreviewPicture* picture, const ControlModel* model, double width, double height)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 96, 64);
    cairo_t* cr = cairo_create(surface);
    // Once with a knob's tooltip, once with the header's state turned over,
    // the list of presets open and a button's tooltip.
    PresetBrowser presets;
    preset_browser_reset(&presets);
    AbSlots slots;
    ab_slots_reset(&slots, model->values);
    ViewState state;
    view_state_reset(&state);
    state.hover = int(PORT_DECAY);
    state.tooltip = true;
    ui_view_draw(cr, width, height, {model, &presets, &slots, picture, "status", "Stereo"}, &state);
    presets.mix_lock = true;
    slots.shown = 1;
    state.hover = NO_CONTROL;
    state.hover_item = HEADER_COPY;
    state.list_open = true;
    state.list_hover = 2;
    ui_view_draw(cr, width, height, {model, &presets, &slots, picture, nullptr, nullptr}, &state);
    const cairo_status_t status = cairo_status(cr);
    if (status != CAIRO_STATUS_SUCCESS)
        std::fprintf(stderr, "ui_fuzzer: cairo: %s at %g x %g\n", cairo_status_to_string(status),
                     width, height);
    check(status == CAIRO_STATUS_SUCCESS);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

}  // namespace

// Every cairo call of the drawing that takes coordinates or sizes.
extern "C" {
void __real_cairo_move_to(cairo_t*, double, double);
void __real_cairo_line_to(cairo_t*, double, double);
void __real_cairo_rectangle(cairo_t*, double, double, double, double);
void __real_cairo_arc(cairo_t*, double, double, double, double, double);
void __real_cairo_translate(cairo_t*, double, double);
void __real_cairo_scale(cairo_t*, double, double);
void __real_cairo_set_font_size(cairo_t*, double);
void __real_cairo_set_line_width(cairo_t*, double);

void __wrap_cairo_move_to(cairo_t* cr, double x, double y)
{
    check(std::isfinite(x) && std::isfinite(y));
    __real_cairo_move_to(cr, x, y);
}
void __wrap_cairo_line_to(cairo_t* cr, double x, double y)
{
    check(std::isfinite(x) && std::isfinite(y));
    __real_cairo_line_to(cr, x, y);
}
void __wrap_cairo_rectangle(cairo_t* cr, double x, double y, double w, double h)
{
    check(std::isfinite(x) && std::isfinite(y) && std::isfinite(w) && std::isfinite(h));
    __real_cairo_rectangle(cr, x, y, w, h);
}
void __wrap_cairo_arc(cairo_t* cr, double x, double y, double r, double a1, double a2)
{
    check(std::isfinite(x) && std::isfinite(y) && std::isfinite(r) && std::isfinite(a1) &&
          std::isfinite(a2));
    __real_cairo_arc(cr, x, y, r, a1, a2);
}
void __wrap_cairo_translate(cairo_t* cr, double x, double y)
{
    check(std::isfinite(x) && std::isfinite(y));
    __real_cairo_translate(cr, x, y);
}
void __wrap_cairo_scale(cairo_t* cr, double x, double y)
{
    check(std::isfinite(x) && std::isfinite(y) && x > 0.0 && y > 0.0);
    __real_cairo_scale(cr, x, y);
}
void __wrap_cairo_set_font_size(cairo_t* cr, double size)
{
    check(std::isfinite(size) && size > 0.0);
    __real_cairo_set_font_size(cr, size);
}
void __wrap_cairo_set_line_width(cairo_t* cr, double width)
{
    check(std::isfinite(width) && width >= 0.0);
    __real_cairo_set_line_width(cr, width);
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size, 0};
    const uint8_t flags = in.byte();
    const bool stereo = flags & 1;
    const double rate = RATES[(flags >> 1) & 3];
    const bool drawing = flags & 8;

    float raw[CONTROL_PORT_COUNT];
    for (float& v : raw)
        v = in.value();
    check_model(raw);

    ControlModel model;
    control_model_reset(&model);
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
        control_model_set(&model, port, raw[port]);
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
        check_control_value(port, model.values[port]);

    // Typed text for some port, out-of-range ports included.
    const uint32_t port = in.byte() % (CONTROL_PORT_COUNT + 2);
    char text[40];
    size_t length = 0;
    while (length + 1 < sizeof text && in.at < in.size)
        text[length++] = char(in.byte());
    text[length] = '\0';
    float typed = 0.0f;
    if (control_parse(port, text, &typed))
        check(port < CONTROL_PORT_COUNT && std::isfinite(typed) &&
              typed >= CONTROL_RANGES[port].min && typed <= CONTROL_RANGES[port].max);

    // The preview of the raw values as a host could send them to the
    // plug-in, rendered to the end in small pieces.
    PreviewRender* preview = preview_create(stereo ? &stereo_descriptor : &mono_descriptor, rate);
    check(preview != nullptr);
    preview_start(preview, raw);
    for (long blocks = 0; preview_busy(preview); ++blocks) {
        const float *left = nullptr, *right = nullptr;
        const uint32_t n = preview_render_block(preview, &left, &right);
        check(n <= PREVIEW_BLOCK && blocks < 10000000);
        const double progress = preview_progress(preview);
        check(progress >= 0.0 && progress <= 1.0);
    }
    const PreviewPicture* picture = preview_picture(preview);
    check(picture->complete);
    check_picture(picture);
    if (drawing) {
        const double widths[] = {0.0, 1.0, 720.0, 1e9};
        draw(picture, &model, widths[(flags >> 4) & 3], widths[(flags >> 6) & 3]);

        // A picture of any numbers at all, as a caller could fill one.
        PreviewPicture* wild = static_cast<PreviewPicture*>(std::malloc(sizeof(PreviewPicture)));
        std::memcpy(wild, picture, sizeof *wild);
        wild->seconds = double(raw[0]);
        wild->predelay_ms = raw[1];
        wild->bins_done = int(flags) * 7 - 300;
        for (int k = 0; k < PREVIEW_BINS; ++k)
            wild->peak_db[k % PREVIEW_CURVES][k] = raw[k % CONTROL_PORT_COUNT];
        wild->rt60[0] = {Rt60Kind::measured, raw[2]};
        wild->rt60[1] = {Rt60Kind::at_least, raw[3]};
        wild->rt60_output = {Rt60Kind::shorter_than, raw[4]};
        wild->has_bands = raw[5] > 0.0f;
        draw(wild, &model, 720.0, 400.0);
        std::free(wild);
    }
    preview_destroy(preview);
    return 0;
}
}
