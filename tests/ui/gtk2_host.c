/* A Gtk2 host embedding the plug-in's X11 UI the way Gtk2 hosts (Ardour)
 * do: suil wraps the X11 UI in a Gtk2 widget (host type ui:GtkUI), which
 * goes into a top-level window; suil drives the UI's idle interface. The
 * host sends every control's value after instantiate, as hosts do, prints
 * "shown 0xWINDOW" once its window is on screen and logs every write and
 * touch like ui_host. It runs until its standard input closes.
 * Usage: gtk2_host PLUGIN_URI [--set SYMBOL=VALUE]... */
#include <gtk/gtk.h>
#include <gdk/gdkx.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <suil/suil.h>

#include "ui_lookup.h"

typedef struct {
    UiLookup info;
    UiUriTable uris; /* urid:map */
} Gtk2Host;

static void write_port(SuilController controller, uint32_t port, uint32_t size,
                       uint32_t protocol, const void* buffer)
{
    Gtk2Host* host = controller;
    float value;
    if (size != sizeof value || protocol != 0 || !buffer) {
        printf("write %u size=%u protocol=%u BAD\n", port, size, protocol);
        return;
    }
    memcpy(&value, buffer, sizeof value);
    int good = port < host->info.control_count && isfinite(value) &&
               value >= host->info.minimum[port] && value <= host->info.maximum[port];
    printf("write %u %.9g%s\n", port, (double)value, good ? "" : " BAD");
}

static void touch(SuilController controller, uint32_t port, bool grabbed)
{
    (void)controller;
    printf("touch %u %s\n", port, grabbed ? "grab" : "release");
}

static uint32_t port_index(SuilController controller, const char* symbol)
{
    int port = ui_lookup_port(&((Gtk2Host*)controller)->info, symbol);
    return port < 0 ? LV2UI_INVALID_PORT_INDEX : (uint32_t)port;
}

static gboolean on_input(GIOChannel* channel, GIOCondition condition, gpointer data)
{
    (void)data;
    gchar buffer[256];
    gsize got = 0;
    if ((condition & (G_IO_HUP | G_IO_ERR)) ||
        g_io_channel_read_chars(channel, buffer, sizeof buffer, &got, NULL) != G_IO_STATUS_NORMAL) {
        gtk_main_quit();
        return FALSE;
    }
    return TRUE;
}

static gboolean window_alive = TRUE;

static void on_destroy(GtkWidget* window, gpointer data)
{
    (void)window;
    (void)data;
    window_alive = FALSE;
    gtk_main_quit();
}

static gboolean report_shown(gpointer window)
{
    printf("shown 0x%lx\n", (unsigned long)GDK_WINDOW_XID(gtk_widget_get_window(window)));
    fflush(stdout);
    return FALSE;
}

int main(int argc, char** argv)
{
    static Gtk2Host host;
    setvbuf(stdout, NULL, _IOLBF, 0);
    suil_init(&argc, &argv, SUIL_ARG_NONE);
    gtk_init(&argc, &argv);
    if (argc < 2 || ui_lookup(argv[1], &host.info) != 0) {
        fprintf(stderr, "usage: gtk2_host PLUGIN_URI [--set SYMBOL=VALUE]...\n");
        return 2;
    }
    float values[UI_LOOKUP_MAX_PORTS];
    memcpy(values, host.info.default_value, sizeof values);
    for (int i = 2; i + 1 < argc; i += 2) {
        const char* equals = strchr(argv[i + 1], '=');
        char symbol[32] = "";
        if (equals && equals - argv[i + 1] < (int)sizeof symbol)
            memcpy(symbol, argv[i + 1], (size_t)(equals - argv[i + 1]));
        int port = ui_lookup_port(&host.info, symbol);
        if (strcmp(argv[i], "--set") != 0 || port < 0) {
            fprintf(stderr, "gtk2_host: no control for %s %s\n", argv[i], argv[i + 1]);
            return 2;
        }
        values[port] = strtof(equals + 1, NULL);
    }

    SuilHost* suil = suil_host_new(write_port, port_index, NULL, NULL);
    suil_host_set_touch_func(suil, touch);
    LV2_URID_Map map = {&host.uris, ui_uri_map};
    float rate = 48000.0f;
    LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, ui_uri_map(&host.uris, "http://lv2plug.in/ns/ext/parameters#sampleRate"),
         sizeof rate, ui_uri_map(&host.uris, "http://lv2plug.in/ns/ext/atom#Float"), &rate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, NULL},
    };
    const LV2_Feature map_feature = {LV2_URID__map, &map};
    const LV2_Feature options_feature = {LV2_OPTIONS__options, options};
    const LV2_Feature* features[] = {&map_feature, &options_feature, NULL};
    SuilInstance* instance = suil_instance_new(
        suil, &host, LV2_UI__GtkUI, argv[1], host.info.ui_uri, LV2_UI__X11UI,
        host.info.bundle_path, host.info.binary_path, features);
    if (!instance) {
        fprintf(stderr, "gtk2_host: suil could not embed %s\n", host.info.ui_uri);
        return 1;
    }
    printf("instantiate ok\n");
    for (uint32_t port = 0; port < host.info.control_count; ++port)
        suil_instance_port_event(instance, port, sizeof(float), 0, &values[port]);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "halvane gtk2_host");
    gtk_container_add(GTK_CONTAINER(window), suil_instance_get_widget(instance));
    g_signal_connect(window, "destroy", G_CALLBACK(on_destroy), NULL);
    gtk_widget_show_all(window);
    g_timeout_add(500, report_shown, window);
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, G_IO_IN | G_IO_HUP | G_IO_ERR, on_input, NULL);

    gtk_main();

    /* As Gtk2 hosts close a plug-in's editor: the window goes first. */
    if (window_alive) gtk_widget_destroy(window);
    g_io_channel_unref(input);
    suil_instance_free(instance);
    suil_host_free(suil);
    ui_lookup_free(&host.info);
    return 0;
}
