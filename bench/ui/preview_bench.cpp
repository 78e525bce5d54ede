// preview_bench: what the GUI's preview costs on the GUI thread. For a few
// settings and rates it starts a render (two fresh plug-in instances), then
// renders it in idle-sized pieces as the GUI does, and prints the time of
// the start, the longest piece (against the 6 ms budget) and the whole
// render, with the number of pieces; then the time one drawing of the whole
// GUI takes on a cairo image surface at scale 1 and 2.
//
//   preview_bench [mono|stereo]

#include <cairo.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "control_ports.h"
#include "preview_render.h"
#include "reverb_descriptors.h"
#include "ui_clock.h"
#include "ui_view.h"

namespace {

constexpr double BUDGET = 0.006;  // RENDER_BUDGET_SECONDS of the GUI (ui_instance.cpp), seconds

void measure(const LV2_Descriptor* plugin, double rate, float decay)
{
    float controls[CONTROL_PORT_COUNT];
    for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p)
        controls[p] = CONTROL_RANGES[p].default_value;
    controls[PORT_DECAY] = decay;
    PreviewRender* preview = preview_create(plugin, rate);
    if (!preview) {
        std::printf("rate %.0f refused\n", rate);
        return;
    }
    const double t0 = ui_now();
    preview_start(preview, controls);
    const double started = ui_now() - t0;
    double longest = 0.0;
    int pieces = 0;
    const double t1 = ui_now();
    bool done = false;
    while (!done) {
        const double s = ui_now();
        done = preview_step(preview, BUDGET);
        const double piece = ui_now() - s;
        longest = piece > longest ? piece : longest;
        ++pieces;
    }
    const double total = ui_now() - t1;
    std::printf("%6.0f Hz  decay %5.1f s  start %6.2f ms  longest piece %5.2f ms  "
                "render %8.1f ms in %4d pieces\n",
                rate, double(decay), started * 1e3, longest * 1e3, total * 1e3, pieces);
    preview_destroy(preview);
}

void measure_drawing(const LV2_Descriptor* plugin, int scale)
{
    ControlModel model;
    control_model_reset(&model);
    PresetBrowser presets;
    preset_browser_reset(&presets);
    AbSlots slots;
    ab_slots_reset(&slots, model.values);
    ViewState state;
    view_state_reset(&state);
    PreviewRender* preview = preview_create(plugin, 48000.0);
    preview_start(preview, model.values);
    while (!preview_step(preview, 1.0)) {
    }
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, 720 * scale, 400 * scale);
    constexpr int ROUNDS = 20;
    double longest = 0.0, sum = 0.0;
    for (int i = 0; i < ROUNDS; ++i) {
        const double s = ui_now();
        cairo_t* cr = cairo_create(surface);
        ui_view_draw(cr, 720.0 * scale, 400.0 * scale,
                     {&model, &presets, &slots, preview_picture(preview), nullptr, "Stereo"},
                     &state);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        const double t = ui_now() - s;
        sum += t;
        longest = t > longest ? t : longest;
    }
    std::printf("drawing at scale %d: mean %.2f ms, longest %.2f ms\n", scale, sum / ROUNDS * 1e3,
                longest * 1e3);
    cairo_surface_destroy(surface);
    preview_destroy(preview);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool mono = argc > 1 && std::strcmp(argv[1], "mono") == 0;
    const LV2_Descriptor* plugin = mono ? &mono_descriptor : &stereo_descriptor;
    std::printf("%s plug-in\n", mono ? "mono" : "stereo");
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0})
        for (float decay : {1.5f, 30.0f})
            measure(plugin, rate, decay);
    measure_drawing(plugin, 1);
    measure_drawing(plugin, 2);
    return 0;
}
