#include "ui_instance.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include "reverb_descriptors.h"
#include "ui_layout.h"

namespace {

constexpr double DEFAULT_SAMPLE_RATE = 48000.0;
// The preview restarts once the settings have stood still this long, and
// renders for at most RENDER_BUDGET_SECONDS per idle call (an idle call that
// starts a render, which makes two instances, renders nothing more), leaving
// room for the drawing inside about 10 ms.
constexpr double DEBOUNCE_SECONDS = 0.04;
// A drag that never pauses still restarts it this often, so the picture
// follows a slow, steady movement.
constexpr double RESTART_SECONDS = 0.3;
constexpr double RENDER_BUDGET_SECONDS = 0.006;
// What one idle call may take in all, and the least share of it rendering
// gets: a slow drawing (a large window) shortens the rendering's piece.
constexpr double IDLE_BUDGET_SECONDS = 0.010;
constexpr double RENDER_MIN_SECONDS = 0.002;
// A render's progress is redrawn at most this often.
constexpr double PROGRESS_SECONDS = 0.25;
// Hovering this long over a control shows its description.
constexpr double TOOLTIP_SECONDS = 0.5;
constexpr double MIN_SCALE_FACTOR = 0.5;
constexpr double MAX_SCALE_FACTOR = 4.0;
// The smallest window the GUI asks for, as a share of its default size.
constexpr float MIN_WINDOW_SHARE = 0.5f;

// What the host's features give the GUI.
struct HostFeatures {
    Window parent = 0;
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
};

HostFeatures read_features(const LV2_Feature* const* features)
{
    HostFeatures host;
    for (int i = 0; features && features[i]; ++i) {
        const LV2_Feature* f = features[i];
        if (!f->URI)
            continue;
        if (std::strcmp(f->URI, LV2_UI__parent) == 0)
            host.parent = Window(reinterpret_cast<uintptr_t>(f->data));
        else if (std::strcmp(f->URI, LV2_URID__map) == 0)
            host.map = static_cast<const LV2_URID_Map*>(f->data);
        else if (std::strcmp(f->URI, LV2_OPTIONS__options) == 0)
            host.options = static_cast<const LV2_Options_Option*>(f->data);
        else if (std::strcmp(f->URI, LV2_UI__touch) == 0)
            host.touch = static_cast<const LV2UI_Touch*>(f->data);
        else if (std::strcmp(f->URI, LV2_UI__resize) == 0)
            host.resize = static_cast<const LV2UI_Resize*>(f->data);
    }
    if (host.touch && !host.touch->touch)
        host.touch = nullptr;
    if (host.resize && !host.resize->ui_resize)
        host.resize = nullptr;
    if (host.map && !host.map->map)
        host.map = nullptr;
    return host;
}

// An option's value as a number, whatever numeric atom type the host used;
// NaN when it is none of them.
double option_number(const LV2_Options_Option& o, LV2_URID float_type, LV2_URID double_type,
                     LV2_URID int_type, LV2_URID long_type)
{
    if (!o.value)
        return NAN;
    if (o.type == float_type && o.size == sizeof(float))
        return double(*static_cast<const float*>(o.value));
    if (o.type == double_type && o.size == sizeof(double))
        return *static_cast<const double*>(o.value);
    if (o.type == int_type && o.size == sizeof(int32_t))
        return double(*static_cast<const int32_t*>(o.value));
    if (o.type == long_type && o.size == sizeof(int64_t))
        return double(*static_cast<const int64_t*>(o.value));
    return NAN;
}

// param:sampleRate and ui:scaleFactor from the options, when the host
// passes them and they make sense; the defaults otherwise.
void read_options(const HostFeatures& host, double* sample_rate, double* scale_factor)
{
    *sample_rate = DEFAULT_SAMPLE_RATE;
    *scale_factor = 1.0;
    if (!host.map || !host.options)
        return;
    LV2_URID_Map_Handle h = host.map->handle;
    const LV2_URID rate_key = host.map->map(h, LV2_PARAMETERS__sampleRate);
    const LV2_URID scale_key = host.map->map(h, LV2_UI__scaleFactor);
    const LV2_URID float_type = host.map->map(h, LV2_ATOM__Float);
    const LV2_URID double_type = host.map->map(h, LV2_ATOM__Double);
    const LV2_URID int_type = host.map->map(h, LV2_ATOM__Int);
    const LV2_URID long_type = host.map->map(h, LV2_ATOM__Long);
    // Hosts end the array with a zeroed entry; a bound guards against one
    // that forgets.
    for (int i = 0; i < 256 && host.options[i].key != 0; ++i) {
        const LV2_Options_Option& o = host.options[i];
        const double v = option_number(o, float_type, double_type, int_type, long_type);
        if (o.key == rate_key && v >= MIN_SAMPLE_RATE && v <= MAX_SAMPLE_RATE)
            *sample_rate = v;
        else if (o.key == scale_key && v >= MIN_SCALE_FACTOR && v <= MAX_SCALE_FACTOR)
            *scale_factor = v;
    }
}

const LV2_Descriptor* plugin_for(const char* uri)
{
    if (!uri)
        return nullptr;
    for (uint32_t i = 0;; ++i) {
        const LV2_Descriptor* d = reverb_descriptor_for_index(i);
        if (!d)
            return nullptr;
        if (std::strcmp(d->URI, uri) == 0)
            return d;
    }
}

void draw(HalvaneUi* ui)
{
    cairo_surface_t* canvas = x11_window_canvas(&ui->window);
    if (!canvas)
        return;
    const double start = ui_now();
    cairo_t* cr = cairo_create(canvas);
    if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
        char status[48] = "";
        if (preview_busy(ui->preview))
            std::snprintf(status, sizeof status, "rendering %.0f %%",
                          100.0 * preview_progress(ui->preview));
        const ViewModel model = {&ui->model,
                                 &ui->presets,
                                 &ui->slots,
                                 preview_picture(ui->preview),
                                 status[0] ? status : nullptr,
                                 ui->plugin_name};
        ui_view_draw(cr, ui->window.canvas_width, ui->window.canvas_height, model, &ui->view);
    }
    cairo_destroy(cr);
    x11_window_present(&ui->window);
    ui->draw_seconds = ui_now() - start;
}

void handle_event(void* ui, XEvent* event)
{
    halvane_ui_handle_event(static_cast<HalvaneUi*>(ui), event);
}

}  // namespace

HalvaneUi* halvane_ui_instantiate(const char* plugin_uri, LV2UI_Write_Function write,
                                  LV2UI_Controller controller, LV2UI_Widget* widget,
                                  const LV2_Feature* const* features)
{
    const LV2_Descriptor* plugin = plugin_for(plugin_uri);
    const HostFeatures host = read_features(features);
    if (!plugin || !write || !widget || !host.parent)
        return nullptr;

    HalvaneUi* ui = static_cast<HalvaneUi*>(std::calloc(1, sizeof(HalvaneUi)));
    if (!ui)
        return nullptr;
    ui->write = write;
    ui->controller = controller;
    ui->touch = host.touch;
    ui->resize = host.resize;
    ui->plugin_name = plugin == &stereo_descriptor ? "Stereo" : "Mono";
    read_options(host, &ui->sample_rate, &ui->scale_factor);
    control_model_reset(&ui->model);
    preset_browser_reset(&ui->presets);
    preset_browser_follow(&ui->presets, ui->model.values);
    ab_slots_reset(&ui->slots, ui->model.values);
    view_state_reset(&ui->view);
    ui->last_press_control = NO_CONTROL;

    const double scale = ui->scale_factor;
    ui->preview = preview_create(plugin, ui->sample_rate);
    if (!ui->preview ||
        !x11_window_open(&ui->window, host.parent, int(std::lround(UI_WIDTH * scale)),
                         int(std::lround(UI_HEIGHT * scale)),
                         int(std::lround(UI_WIDTH * MIN_WINDOW_SHARE * scale)),
                         int(std::lround(UI_HEIGHT * MIN_WINDOW_SHARE * scale)))) {
        halvane_ui_cleanup(ui);
        return nullptr;
    }
    if (ui->resize)
        ui->resize->ui_resize(ui->resize->handle, ui->window.width, ui->window.height);
    preview_start(ui->preview, ui->model.values);
    ui->preview_started_at = ui_now();
    ui->redraw = true;
    *widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(ui->window.id));
    return ui;
}

bool halvane_ui_show(HalvaneUi* ui, uint32_t port, float value)
{
    if (!control_model_set(&ui->model, port, value))
        return false;
    preset_browser_follow(&ui->presets, ui->model.values);
    ui->redraw = true;
    ui->settings_changed = true;
    ui->settings_changed_at = ui_now();
    return true;
}

void halvane_ui_port_event(HalvaneUi* ui, uint32_t port, uint32_t buffer_size, uint32_t format,
                           const void* buffer)
{
    if (!ui || format != 0 || buffer_size != sizeof(float) || !buffer)
        return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    if (halvane_ui_show(ui, port, value))
        ab_slots_host_set(&ui->slots, port, ui->model.values[port]);
}

int halvane_ui_idle(HalvaneUi* ui)
{
    if (!ui || !ui->window.display)
        return 0;
    bool damaged = false;
    if (!x11_window_pump(&ui->window, handle_event, ui, &damaged))
        return 1;
    if (damaged)
        ui->redraw = true;
    const double now = ui_now();
    if ((ui->view.hover != NO_CONTROL || ui->view.hover_item != NO_ITEM) && !ui->view.tooltip &&
        ui->view.active == NO_CONTROL && !ui->view.list_open &&
        now - ui->hover_since >= TOOLTIP_SECONDS) {
        ui->view.tooltip = true;
        ui->redraw = true;
    }
    if (ui->settings_changed && (now - ui->settings_changed_at >= DEBOUNCE_SECONDS ||
                                 now - ui->preview_started_at >= RESTART_SECONDS)) {
        ui->settings_changed = false;
        ui->preview_started_at = now;
        preview_start(ui->preview, ui->model.values);
        ui->redraw = true;
    } else if (preview_busy(ui->preview)) {
        // The finished picture is drawn at once; the progress only now and
        // then, so drawing does not eat the rendering's share of the call.
        double budget = IDLE_BUDGET_SECONDS - ui->draw_seconds;
        budget = budget < RENDER_BUDGET_SECONDS ? budget : RENDER_BUDGET_SECONDS;
        budget = budget > RENDER_MIN_SECONDS ? budget : RENDER_MIN_SECONDS;
        if (preview_step(ui->preview, budget) ||
            now - ui->progress_drawn_at >= PROGRESS_SECONDS) {
            ui->redraw = true;
            ui->progress_drawn_at = now;
        }
    }
    if (ui->redraw) {
        ui->redraw = false;
        draw(ui);
    }
    x11_window_flush(&ui->window);
    return 0;
}

void halvane_ui_cleanup(HalvaneUi* ui)
{
    if (!ui)
        return;
    // A drag the window's end cuts short still ends its gesture for the host.
    if (ui->view.active != NO_CONTROL && ui->touch)
        ui->touch->touch(ui->touch->handle, uint32_t(ui->view.active), false);
    x11_window_close(&ui->window);
    preview_destroy(ui->preview);
    std::free(ui);
}
