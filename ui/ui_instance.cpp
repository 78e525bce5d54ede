#include "ui_instance.h"

#include <X11/Xutil.h>
#include <cairo-xlib.h>

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
constexpr double MIN_SCALE_FACTOR = 0.5;
constexpr double MAX_SCALE_FACTOR = 4.0;

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
        if (o.key == rate_key && v >= 1000.0 && v <= 768000.0)
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

// The X11 side of instantiate: a child window of the host's parent, its
// size hints and a cairo surface on the visual it got. Returns false, having
// released what it made, when any step fails.
bool open_window(HalvaneUi* ui)
{
    ui->display = XOpenDisplay(nullptr);
    if (!ui->display)
        return false;
    XWindowAttributes parent_attributes;
    if (!XGetWindowAttributes(ui->display, ui->parent, &parent_attributes))
        return false;

    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    attributes.background_pixmap = None;  // no clearing before each redraw
    attributes.event_mask = EVENT_MASK;
    ui->window = XCreateWindow(ui->display, ui->parent, 0, 0, unsigned(ui->width),
                               unsigned(ui->height), 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWBackPixmap | CWEventMask, &attributes);
    if (!ui->window)
        return false;

    // Hosts that embed the window read its size hints for the minimum size.
    XSizeHints* hints = XAllocSizeHints();
    if (!hints)
        return false;
    hints->flags = PMinSize | PBaseSize;
    hints->min_width = int(std::lround(UI_WIDTH * UI_MIN_SHARE * ui->scale_factor));
    hints->min_height = int(std::lround(UI_HEIGHT * UI_MIN_SHARE * ui->scale_factor));
    hints->base_width = ui->width;
    hints->base_height = ui->height;
    XSetWMNormalHints(ui->display, ui->window, hints);
    XFree(hints);

    // The window's own attributes: proof it exists, and the visual it got.
    XWindowAttributes own;
    if (!XGetWindowAttributes(ui->display, ui->window, &own) || !own.visual)
        return false;
    ui->visual = own.visual;
    ui->depth = own.depth;
    ui->gc = XCreateGC(ui->display, ui->window, 0, nullptr);
    if (!ui->gc || !XMapWindow(ui->display, ui->window))
        return false;
    XFlush(ui->display);
    return true;
}

void release_backbuffer(HalvaneUi* ui)
{
    if (ui->canvas)
        cairo_surface_destroy(ui->canvas);
    ui->canvas = nullptr;
    if (ui->surface)
        cairo_surface_destroy(ui->surface);
    if (ui->pixmap)
        XFreePixmap(ui->display, ui->pixmap);
    ui->surface = nullptr;
    ui->pixmap = 0;
    ui->pixmap_width = ui->pixmap_height = 0;
}

// A pixmap and its cairo surface of the window's current size. Made anew
// only when the size changes. Returns false when either cannot be made.
bool ensure_backbuffer(HalvaneUi* ui)
{
    const int w = ui->width > 0 ? ui->width : 1;
    const int h = ui->height > 0 ? ui->height : 1;
    if (ui->surface && ui->pixmap_width == w && ui->pixmap_height == h)
        return true;
    release_backbuffer(ui);
    ui->canvas = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(ui->canvas) != CAIRO_STATUS_SUCCESS) {
        release_backbuffer(ui);
        return false;
    }
    ui->pixmap = XCreatePixmap(ui->display, ui->window, unsigned(w), unsigned(h),
                               unsigned(ui->depth));
    if (!ui->pixmap)
        return false;
    ui->surface = cairo_xlib_surface_create(ui->display, ui->pixmap, ui->visual, w, h);
    if (cairo_surface_status(ui->surface) != CAIRO_STATUS_SUCCESS) {
        release_backbuffer(ui);
        return false;
    }
    if (!ui->device)
        ui->device = cairo_device_reference(cairo_surface_get_device(ui->surface));
    ui->pixmap_width = w;
    ui->pixmap_height = h;
    return true;
}

void draw(HalvaneUi* ui)
{
    if (ui->window_gone || !ensure_backbuffer(ui))
        return;
    const double start = ui_now();
    cairo_t* cr = cairo_create(ui->canvas);
    if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
        char status[48] = "";
        if (preview_busy(ui->preview))
            std::snprintf(status, sizeof status, "rendering %.0f %%",
                          100.0 * preview_progress(ui->preview));
        ui_view_draw(cr, ui->pixmap_width, ui->pixmap_height, &ui->model, &ui->view,
                     preview_picture(ui->preview), status[0] ? status : nullptr,
                     ui->plugin_name);
    }
    cairo_destroy(cr);
    cairo_surface_flush(ui->canvas);
    cr = cairo_create(ui->surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, ui->canvas, 0.0, 0.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(ui->surface);
    XCopyArea(ui->display, ui->pixmap, ui->window, ui->gc, 0, 0, unsigned(ui->pixmap_width),
              unsigned(ui->pixmap_height), 0, 0);
    ui->draw_seconds = ui_now() - start;
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
    ui->parent = host.parent;
    ui->plugin_name = plugin == &stereo_descriptor ? "Stereo" : "Mono";
    read_options(host, &ui->sample_rate, &ui->scale_factor);
    ui->width = int(std::lround(UI_WIDTH * ui->scale_factor));
    ui->height = int(std::lround(UI_HEIGHT * ui->scale_factor));
    control_model_reset(&ui->model);
    view_state_reset(&ui->view);
    ui->last_press_control = NO_CONTROL;

    ui->preview = preview_create(plugin, ui->sample_rate);
    if (!ui->preview || !open_window(ui)) {
        halvane_ui_cleanup(ui);
        return nullptr;
    }
    if (ui->resize)
        ui->resize->ui_resize(ui->resize->handle, ui->width, ui->height);
    preview_start(ui->preview, ui->model.values);
    ui->preview_started_at = ui_now();
    ui->redraw = true;
    *widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(ui->window));
    return ui;
}

void halvane_ui_port_event(HalvaneUi* ui, uint32_t port, uint32_t buffer_size, uint32_t format,
                           const void* buffer)
{
    if (!ui || format != 0 || buffer_size != sizeof(float) || !buffer)
        return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    if (!control_model_set(&ui->model, port, value))
        return;
    ui->redraw = true;
    ui->settings_changed = true;
    ui->settings_changed_at = ui_now();
}

int halvane_ui_idle(HalvaneUi* ui)
{
    if (!ui || !ui->display)
        return 0;
    // A window destroyed under the GUI is noticed before any other event is
    // handled, since handling one may make requests on the window.
    XEvent destroyed;
    if (!ui->window_gone &&
        XCheckTypedWindowEvent(ui->display, ui->window, DestroyNotify, &destroyed))
        ui->window_gone = true;
    while (!ui->window_gone && XPending(ui->display) > 0) {
        XEvent event;
        XNextEvent(ui->display, &event);
        halvane_ui_handle_event(ui, &event);
    }
    if (ui->window_gone)
        return 1;
    const double now = ui_now();
    if (ui->view.hover != NO_CONTROL && !ui->view.tooltip && ui->view.active == NO_CONTROL &&
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
    XFlush(ui->display);
    return 0;
}

void halvane_ui_cleanup(HalvaneUi* ui)
{
    if (!ui)
        return;
    // A drag the window's end cuts short still ends its gesture for the host.
    if (ui->view.active != NO_CONTROL && ui->touch)
        ui->touch->touch(ui->touch->handle, uint32_t(ui->view.active), false);
    if (ui->display) {
        // A host may have destroyed its parent, and the window with it, just
        // before: a round trip brings the news, and nothing is then asked of
        // the window, which would be an error no host expects.
        if (ui->window && !ui->window_gone) {
            XSync(ui->display, False);
            XEvent event;
            while (XCheckTypedWindowEvent(ui->display, ui->window, DestroyNotify, &event))
                ui->window_gone = true;
        }
        release_backbuffer(ui);
        if (ui->gc)
            XFreeGC(ui->display, ui->gc);
        if (ui->window && !ui->window_gone)
            XDestroyWindow(ui->display, ui->window);
        // cairo keeps a record of each display it drew on, with caches, until
        // that record is finished; closing the display alone leaves it behind.
        if (ui->device) {
            cairo_device_finish(ui->device);
            cairo_device_destroy(ui->device);
        }
        XCloseDisplay(ui->display);
    }
    preview_destroy(ui->preview);
    std::free(ui);
}
