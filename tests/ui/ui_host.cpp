// A small embedding host for the plug-ins' X11 UI, the way LV2 hosts embed
// one: it finds the UI through lilv, opens it in a top-level window of its
// own passed as ui:parent, offers urid:map, ui:touch, ui:resize and options
// (sample rate, optionally a scale factor), sends the control values after
// instantiate and calls the idle interface about 60 times a second. It logs
// what the UI asks of the host, one line each, to standard output:
//   write PORT VALUE            a control change (BAD appended when it is no
//                               control, not finite or outside the range)
//   write PORT size=S protocol=P BAD   a write in any other form
//   touch PORT grab|release
//   resize W H                  the UI asked for this size
// Commands come on standard input, one a line, and run in order:
//   create | show | cleanup     instantiate / map the window / clean up
//   port INDEX VALUE            a float port event (the host's value of a
//                               control becomes VALUE)
//   apply LABEL                 the plug-in's preset LABEL applied as hosts
//                               do: its values as port events; prints
//                               "preset LABEL" and the twelve values after
//   preset LABEL                only prints that line
//   values                      prints "values" and the host's twelve values
//   event INDEX SIZE PROTOCOL   a port event of SIZE bytes of 0xff; PROTOCOL
//                               0 (float) or a URI the host maps
//   burst COUNT                 COUNT port events, no idle in between
//   defaults                    every control's default as a port event
//   idle COUNT | wait MS        idle calls, or idle for a time
//   complete SECONDS            idles (at most SECONDS) until the GUI has
//                               drawn the preview of the values it shows
//                               (read from its record); prints "complete
//                               drawn" or "complete timeout"
//   size W H                    resize the UI's window, as hosts do
//   destroy-parent              destroy the parent window under the UI
//   centre SYMBOL|ITEM|row:N    prints "centre NAME X Y" (root coordinates) of
//                               a control's knob, a header item (UI_HEADER's
//                               names) or row N of the list of presets
//   area preview|SYMBOL|ITEM    prints "area NAME WxH+X+Y", the preview's,
//                               a control's or a header item's area in the
//                               window
//   shot FILE                   the parent window as a PNG
//   stats                       prints "stats heap=B fds=F clients=C resources=R"
//                               (with no UI up, after emptying cairo's caches)
//   cycles COUNT IDLES          create, show, IDLES idles, cleanup, COUNT times
//   sync TOKEN                  prints "sync TOKEN" once all before it is done
//   quit
// Usage: ui_host PLUGIN_URI [--scale S] [--rate R] [--no-touch] [--no-resize]
//                           [--set SYMBOL=VALUE]... [--ui-display NAME]
// --ui-display sets DISPLAY to NAME once the host has its own connection,
// so that the UI finds NAME where it looks for the display.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <cairo.h>
#include <dirent.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <malloc.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "ui_instance.h"
#include "ui_layout.h"
#include "ui_lookup.h"

namespace {

constexpr int IDLE_PERIOD_MS = 16;

struct Features {
    LV2_URID_Map map;
    LV2UI_Touch touch;
    LV2UI_Resize resize;
    LV2_Options_Option options[3];
    LV2_Feature list[6];
    const LV2_Feature* pointers[7];
};

struct Host {
    // Set up once.
    UiLookup info{};
    std::string plugin_uri;
    Display* display = nullptr;  // the host's own connection, for its window
    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    std::vector<std::string> uris;  // urid:map, URID = index + 1
    float scale = 0.0f;             // 0: no ui:scaleFactor option
    float rate = 48000.0f;
    bool offer_touch = true;
    bool offer_resize = true;
    const char* ui_display = nullptr;
    float values[UI_LOOKUP_MAX_PORTS] = {};

    // One UI at a time.
    Features features{};
    Window parent = 0;
    Window widget = 0;
    LV2UI_Handle ui = nullptr;
    const LV2UI_Idle_Interface* idle = nullptr;
    int requested_width = 0, requested_height = 0;
};

LV2_URID map_uri(LV2_URID_Map_Handle handle, const char* uri)
{
    auto* host = static_cast<Host*>(handle);
    for (size_t i = 0; i < host->uris.size(); ++i)
        if (host->uris[i] == uri) return LV2_URID(i + 1);
    host->uris.emplace_back(uri);
    return LV2_URID(host->uris.size());
}

void write_port(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol,
                const void* buffer)
{
    auto* host = static_cast<Host*>(controller);
    if (size != sizeof(float) || protocol != 0 || !buffer) {
        printf("write %u size=%u protocol=%u BAD\n", port, size, protocol);
        return;
    }
    float value;
    memcpy(&value, buffer, sizeof value);
    bool control = port < host->info.control_count;
    bool good = control && std::isfinite(value) && value >= host->info.minimum[port] &&
                value <= host->info.maximum[port];
    printf("write %u %.9g%s\n", port, double(value), good ? "" : " BAD");
    if (control) host->values[port] = value;
}

void touch(LV2UI_Feature_Handle, uint32_t port, bool grabbed)
{
    printf("touch %u %s\n", port, grabbed ? "grab" : "release");
}

int request_resize(LV2UI_Feature_Handle handle, int width, int height)
{
    auto* host = static_cast<Host*>(handle);
    printf("resize %d %d\n", width, height);
    host->requested_width = width;
    host->requested_height = height;
    if (host->parent && width > 0 && height > 0)
        XResizeWindow(host->display, host->parent, unsigned(width), unsigned(height));
    return 0;
}

void sleep_ms(int ms)
{
    timespec t{ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

double now_ms()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// The host's own window events (the UI reads its own connection).
void pump_host_events(Host& host)
{
    while (XPending(host.display)) {
        XEvent event;
        XNextEvent(host.display, &event);
        if (event.type == DestroyNotify && event.xdestroywindow.window == host.parent)
            host.parent = 0;
    }
}

void idle_once(Host& host)
{
    pump_host_events(host);
    if (host.ui && host.idle && host.idle->idle(host.ui) != 0) printf("idle: the UI says it closed\n");
    fflush(stdout);
}

void idle_for(Host& host, int ms)
{
    double end = now_ms() + ms;
    do {
        idle_once(host);
        sleep_ms(IDLE_PERIOD_MS);
    } while (now_ms() < end);
}

// No change waits for a render, no render is under way, nothing waits to be drawn.
bool preview_drawn(const Host& host)
{
    const auto* ui = static_cast<const HalvaneUi*>(host.ui);
    return ui && !ui->settings_changed && !preview_busy(ui->preview) && !ui->redraw;
}

void send_value(Host& host, uint32_t port, float value)
{
    if (host.ui && host.descriptor->port_event)
        host.descriptor->port_event(host.ui, port, sizeof value, 0, &value);
}

bool create(Host& host)
{
    if (host.ui) return true;
    int screen = DefaultScreen(host.display);
    host.requested_width = host.requested_height = 0;
    host.parent = XCreateSimpleWindow(host.display, RootWindow(host.display, screen), 0, 0, 720,
                                      400, 0, 0, BlackPixel(host.display, screen));
    XSelectInput(host.display, host.parent, StructureNotifyMask);
    XStoreName(host.display, host.parent, "halvane ui_host");
    XSync(host.display, False);

    // The UI may keep pointers to the features' data until cleanup, so it
    // lives in the host record.
    Features& f = host.features;
    f.map = {&host, map_uri};
    f.touch = {&host, touch};
    f.resize = {&host, request_resize};
    LV2_URID float_type = map_uri(&host, LV2_ATOM__Float);
    f.options[0] = {LV2_OPTIONS_INSTANCE, 0, map_uri(&host, LV2_PARAMETERS__sampleRate),
                    sizeof(float), float_type, &host.rate};
    f.options[1] = {LV2_OPTIONS_INSTANCE, 0, map_uri(&host, LV2_UI__scaleFactor), sizeof(float),
                    float_type, &host.scale};
    f.options[2] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    if (host.scale <= 0.0f) f.options[1] = f.options[2];
    f.list[0] = {LV2_URID__map, &f.map};
    f.list[1] = {LV2_UI__parent, reinterpret_cast<void*>(host.parent)};
    f.list[2] = {LV2_OPTIONS__options, f.options};
    f.list[3] = {LV2_UI__idleInterface, nullptr};
    f.list[4] = {LV2_UI__touch, &f.touch};
    f.list[5] = {LV2_UI__resize, &f.resize};
    size_t count = 0;
    for (size_t i = 0; i < 6; ++i) {
        if ((i == 4 && !host.offer_touch) || (i == 5 && !host.offer_resize)) continue;
        f.pointers[count++] = &f.list[i];
    }
    f.pointers[count] = nullptr;

    LV2UI_Widget widget = nullptr;
    host.ui = host.descriptor->instantiate(host.descriptor, host.plugin_uri.c_str(),
                                           host.info.bundle_path, write_port, &host, &widget,
                                           f.pointers);
    if (!host.ui) {
        printf("instantiate null\n");
        XDestroyWindow(host.display, host.parent);
        XSync(host.display, False);
        host.parent = 0;
        return false;
    }
    host.widget = Window(reinterpret_cast<uintptr_t>(widget));
    host.idle = host.descriptor->extension_data
                    ? static_cast<const LV2UI_Idle_Interface*>(
                          host.descriptor->extension_data(LV2_UI__idleInterface))
                    : nullptr;
    if (!host.idle) printf("no idle interface\n");
    // The window takes the size the UI asked for, or else the size the UI
    // gave its own window.
    unsigned width = unsigned(host.requested_width), height = unsigned(host.requested_height);
    if (!width || !height) {
        Window root;
        int x, y;
        unsigned border, depth;
        if (host.widget && XGetGeometry(host.display, host.widget, &root, &x, &y, &width, &height,
                                        &border, &depth) == 0)
            width = height = 0;
    }
    if (width && height) XResizeWindow(host.display, host.parent, width, height);
    printf("instantiate ok widget=0x%lx\n", host.widget);
    // Hosts send every control's value once the UI is up.
    for (uint32_t port = 0; port < host.info.control_count; ++port)
        send_value(host, port, host.values[port]);
    return true;
}

void show(Host& host)
{
    if (!host.parent) return;
    XMapRaised(host.display, host.parent);
    XSync(host.display, False);
}

void cleanup(Host& host)
{
    if (!host.ui) return;
    host.descriptor->cleanup(host.ui);
    host.ui = nullptr;
    host.idle = nullptr;
    host.widget = 0;
    if (host.parent) XDestroyWindow(host.display, host.parent);
    host.parent = 0;
    XSync(host.display, False);
    pump_host_events(host);
}

// A window's size and position in root coordinates; false when it is gone.
bool window_geometry(Host& host, Window window, int* x, int* y, unsigned* width, unsigned* height)
{
    Window root, child;
    int wx, wy;
    unsigned border, depth;
    if (!window ||
        !XGetGeometry(host.display, window, &root, &wx, &wy, width, height, &border, &depth))
        return false;
    return XTranslateCoordinates(host.display, window, root, 0, 0, x, y, &child);
}

// The logical centre of a header item or a row of the list of presets.
bool item_centre(const std::string& name, float* x, float* y)
{
    LayoutRect box{};
    bool found = false;
    if (name.compare(0, 4, "row:") == 0) {
        box = ui_layout_preset_row(atoi(name.c_str() + 4));
        found = true;
    }
    for (const LayoutNamedBox& item : UI_HEADER)
        if (name == item.name) {
            box = item.box;
            found = true;
        }
    *x = box.x + box.w * 0.5f;
    *y = box.y + box.h * 0.5f;
    return found;
}

void print_centre(Host& host, const std::string& name)
{
    int port = ui_lookup_port(&host.info, name.c_str());
    int x, y;
    unsigned width, height;
    float cx, cy;
    Window window = host.widget ? host.widget : host.parent;
    bool known = window_geometry(host, window, &x, &y, &width, &height);
    if (known && port >= 0) {
        known = ui_layout_control_centre(uint32_t(port), float(width), float(height), &cx, &cy);
    } else if (known) {
        float lx, ly;
        known = item_centre(name, &lx, &ly);
        ui_layout_to_window(lx, ly, float(width), float(height), &cx, &cy);
    }
    if (!known) {
        printf("centre %s unknown\n", name.c_str());
        return;
    }
    printf("centre %s %d %d\n", name.c_str(), x + int(lrintf(cx)), y + int(lrintf(cy)));
}

void print_values(const char* what, const std::string& name, const float* values, uint32_t count)
{
    printf("%s%s%s", what, name.empty() ? "" : " ", name.c_str());
    for (uint32_t port = 0; port < count; ++port) printf(" %.9g", double(values[port]));
    printf("\n");
}

// A preset of the plug-in's bundle, read as hosts read it and, with
// `apply`, sent to the UI as the host's new values.
void preset(Host& host, const std::string& label, bool apply)
{
    float values[UI_LOOKUP_MAX_PORTS];
    memcpy(values, host.values, sizeof values);
    if (ui_lookup_preset(host.plugin_uri.c_str(), label.c_str(), &host.info, values,
                         host.info.control_count) <= 0) {
        printf("preset %s unknown\n", label.c_str());
        return;
    }
    if (apply)
        for (uint32_t port = 0; port < host.info.control_count; ++port) {
            host.values[port] = values[port];
            send_value(host, port, values[port]);
        }
    print_values("preset", label, values, host.info.control_count);
}

void print_area(Host& host, const std::string& name)
{
    int x, y;
    unsigned width, height;
    Window window = host.widget ? host.widget : host.parent;
    int port = ui_lookup_port(&host.info, name.c_str());
    const LayoutControl* control = port < 0 ? nullptr : ui_layout_control(uint32_t(port));
    const LayoutNamedBox* item = nullptr;
    for (const LayoutNamedBox& i : UI_HEADER)
        if (name == i.name) item = &i;
    if ((name != "preview" && !control && !item) ||
        !window_geometry(host, window, &x, &y, &width, &height)) {
        printf("area %s unknown\n", name.c_str());
        return;
    }
    // A knob's cell: its name above, the knob, its value below.
    LayoutRect r = item ? item->box : UI_PREVIEW;
    if (control)
        r = {control->cx - KNOB_CELL_WIDTH * 0.5f, control->cy + KNOB_NAME_DY - 12.0f,
             KNOB_CELL_WIDTH, KNOB_VALUE_DY - KNOB_NAME_DY + 18.0f};
    const LayoutFit fit = ui_layout_fit(float(width), float(height));
    printf("area %s %ldx%ld+%ld+%ld\n", name.c_str(), lrintf(r.w * fit.scale), lrintf(r.h * fit.scale),
           lrintf(fit.offset_x + r.x * fit.scale), lrintf(fit.offset_y + r.y * fit.scale));
}

// The parent window as the screen shows it (the UI's window included), as a
// PNG; 24-bit TrueColor with 32 bits per pixel, as Xvfb gives it.
void screenshot(Host& host, const std::string& file)
{
    int x, y;
    unsigned width, height;
    if (!window_geometry(host, host.parent, &x, &y, &width, &height)) {
        printf("shot failed: no window\n");
        return;
    }
    XImage* image = XGetImage(host.display, host.parent, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image || image->bits_per_pixel != 32) {
        printf("shot failed: no 32-bit image\n");
        if (image) XDestroyImage(image);
        return;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(width), int(height));
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (unsigned row = 0; row < height; ++row)
        memcpy(data + size_t(row) * size_t(stride), image->data + size_t(row) * size_t(image->bytes_per_line),
               size_t(width) * 4);
    cairo_surface_mark_dirty(surface);
    bool ok = cairo_surface_write_to_png(surface, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    XDestroyImage(image);
    printf(ok ? "shot %s %ux%u\n" : "shot failed: cannot write %s\n", file.c_str(), width, height);
}

}  // namespace

// AddressSanitizer's own count of the bytes in use, when the host runs
// under it (its allocator replaces malloc's, whose figures then say nothing).
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

size_t heap_in_use()
{
    if (__sanitizer_get_current_allocated_bytes) return __sanitizer_get_current_allocated_bytes();
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

int open_fds()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
        --count;  // the one opendir holds
    }
    return count;
}

// The X server's clients and the resources (windows, pixmaps, GCs, fonts,
// pictures...) all of them hold, through the X-Resource extension.
void print_stats(Host& host)
{
    // With no UI alive, cairo's process-wide caches (fonts, glyphs) are
    // emptied first, so that the heap figure does not depend on how full
    // they happen to be.
    if (!host.ui) cairo_debug_reset_static_data();
    int event_base, error_base, clients = -1;
    long resources = -1;
    XResClient* list = nullptr;
    if (XResQueryExtension(host.display, &event_base, &error_base) &&
        XResQueryClients(host.display, &clients, &list)) {
        resources = 0;
        for (int i = 0; i < clients; ++i) {
            int types = 0;
            XResType* counts = nullptr;
            if (XResQueryClientResources(host.display, list[i].resource_base, &types, &counts)) {
                for (int t = 0; t < types; ++t) resources += counts[t].count;
                XFree(counts);
            }
        }
        XFree(list);
    }
    printf("stats heap=%zu fds=%d clients=%d resources=%ld\n", heap_in_use(), open_fds(), clients,
           resources);
}

void send_event(Host& host, uint32_t port, uint32_t size, const std::string& protocol)
{
    if (!host.ui || !host.descriptor->port_event) return;
    std::vector<unsigned char> buffer(size ? size : 1, 0xff);
    uint32_t format = protocol == "0" ? 0 : map_uri(&host, protocol.c_str());
    host.descriptor->port_event(host.ui, port, size, format, buffer.data());
}

// COUNT events for every kind of port and value, the controls' own
// included, with no idle call in between.
void burst(Host& host, int count)
{
    const float odd[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 0.0f, -0.0f, 1e-45f};
    for (int i = 0; i < count; ++i) {
        uint32_t port = uint32_t(i % 20);
        float value;
        if (i % 5 == 0) {
            value = odd[(i / 5) % 8];
        } else if (port < host.info.control_count) {
            float t = float(i % 97) / 96.0f;
            value = host.info.minimum[port] + t * (host.info.maximum[port] - host.info.minimum[port]);
        } else {
            value = float(i);
        }
        send_value(host, port, value);
    }
}

bool run_command(Host& host, const std::string& line)
{
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command.empty() || command[0] == '#') return true;
    if (command == "create") {
        create(host);
    } else if (command == "show") {
        show(host);
    } else if (command == "cleanup") {
        cleanup(host);
    } else if (command == "port") {
        uint32_t port;
        float value;
        in >> port >> value;
        if (port < host.info.control_count) host.values[port] = value;
        send_value(host, port, value);
    } else if (command == "event") {
        uint32_t port, size;
        std::string protocol;
        in >> port >> size >> protocol;
        send_event(host, port, size, protocol);
    } else if (command == "apply" || command == "preset") {
        std::string label;
        std::getline(in >> std::ws, label);
        preset(host, label, command == "apply");
    } else if (command == "values") {
        print_values("values", "", host.values, host.info.control_count);
    } else if (command == "burst") {
        int count = 0;
        in >> count;
        burst(host, count);
    } else if (command == "defaults") {
        for (uint32_t port = 0; port < host.info.control_count; ++port) {
            host.values[port] = host.info.default_value[port];
            send_value(host, port, host.values[port]);
        }
    } else if (command == "idle") {
        int count = 1;
        in >> count;
        for (int i = 0; i < count; ++i) {
            idle_once(host);
            sleep_ms(IDLE_PERIOD_MS);
        }
    } else if (command == "wait") {
        int ms = 0;
        in >> ms;
        idle_for(host, ms);
    } else if (command == "complete") {
        double seconds = 0.0;
        in >> seconds;
        for (double end = now_ms() + seconds * 1e3; !preview_drawn(host) && now_ms() < end;)
            idle_for(host, IDLE_PERIOD_MS);
        printf("complete %s\n", preview_drawn(host) ? "drawn" : "timeout");
    } else if (command == "size") {
        unsigned width = 0, height = 0;
        in >> width >> height;
        if (host.parent && width && height) XResizeWindow(host.display, host.parent, width, height);
        if (host.widget && width && height) XResizeWindow(host.display, host.widget, width, height);
        XSync(host.display, False);
    } else if (command == "destroy-parent") {
        if (host.parent) XDestroyWindow(host.display, host.parent);
        XSync(host.display, False);
        host.parent = 0;
    } else if (command == "centre") {
        std::string symbol;
        in >> symbol;
        print_centre(host, symbol);
    } else if (command == "area") {
        std::string name;
        in >> name;
        print_area(host, name);
    } else if (command == "shot") {
        std::string file;
        in >> file;
        XSync(host.display, False);
        screenshot(host, file);
    } else if (command == "stats") {
        print_stats(host);
    } else if (command == "cycles") {
        int count = 0, idles = 0;
        in >> count >> idles;
        for (int i = 0; i < count; ++i) {
            if (!create(host)) break;
            show(host);
            for (int k = 0; k < idles; ++k) idle_once(host);
            cleanup(host);
        }
    } else if (command == "sync") {
        std::string token;
        in >> token;
        XSync(host.display, False);
        printf("sync %s\n", token.c_str());
    } else if (command == "quit") {
        return false;
    } else {
        printf("unknown command: %s\n", line.c_str());
    }
    fflush(stdout);
    return true;
}

// Reads commands while idling the UI: each complete line runs as it comes.
void command_loop(Host& host)
{
    std::string pending;
    bool open = true;
    while (open) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, IDLE_PERIOD_MS) > 0) {
            char chunk[4096];
            ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
            if (got <= 0) {
                open = false;
            } else {
                pending.append(chunk, size_t(got));
            }
        }
        size_t end;
        while (open && (end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            open = run_command(host, line);
        }
        idle_once(host);
    }
}

bool parse_arguments(Host& host, int argc, char** argv, std::vector<std::string>* settings)
{
    if (argc < 2) return false;
    host.plugin_uri = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) host.scale = strtof(argv[++i], nullptr);
        else if (arg == "--rate" && i + 1 < argc) host.rate = strtof(argv[++i], nullptr);
        else if (arg == "--no-touch") host.offer_touch = false;
        else if (arg == "--no-resize") host.offer_resize = false;
        else if (arg == "--set" && i + 1 < argc) settings->emplace_back(argv[++i]);
        else if (arg == "--ui-display" && i + 1 < argc) host.ui_display = argv[++i];
        else return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Host host;
    std::vector<std::string> settings;
    if (!parse_arguments(host, argc, argv, &settings)) {
        fprintf(stderr, "usage: ui_host PLUGIN_URI [--scale S] [--rate R] [--no-touch] "
                        "[--no-resize] [--set SYMBOL=VALUE]... [--ui-display NAME]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (ui_lookup(host.plugin_uri.c_str(), &host.info) != 0) return 1;
    for (uint32_t port = 0; port < host.info.control_count; ++port)
        host.values[port] = host.info.default_value[port];
    for (const std::string& setting : settings) {
        size_t equals = setting.find('=');
        int port = ui_lookup_port(&host.info, setting.substr(0, equals).c_str());
        if (equals == std::string::npos || port < 0) {
            fprintf(stderr, "ui_host: no control for --set %s\n", setting.c_str());
            return 2;
        }
        host.values[port] = strtof(setting.c_str() + equals + 1, nullptr);
    }

    host.display = XOpenDisplay(nullptr);
    if (!host.display) {
        fprintf(stderr, "ui_host: cannot open the display\n");
        return 1;
    }
    if (host.ui_display) setenv("DISPLAY", host.ui_display, 1);
    host.library = dlopen(host.info.binary_path, RTLD_NOW | RTLD_LOCAL);
    auto entry = host.library ? reinterpret_cast<LV2UI_DescriptorFunction>(
                                    dlsym(host.library, "lv2ui_descriptor"))
                              : nullptr;
    for (uint32_t i = 0; entry && !host.descriptor; ++i) {
        const LV2UI_Descriptor* d = entry(i);
        if (!d) break;
        if (strcmp(d->URI, host.info.ui_uri) == 0) host.descriptor = d;
    }
    if (!host.descriptor) {
        fprintf(stderr, "ui_host: no UI %s in %s: %s\n", host.info.ui_uri, host.info.binary_path,
                host.library ? "no descriptor" : dlerror());
        return 1;
    }
    printf("ui %s\n", host.info.ui_uri);

    command_loop(host);

    cleanup(host);
    XCloseDisplay(host.display);
    dlclose(host.library);
    ui_lookup_free(&host.info);
    return 0;
}
