/* Finds a plug-in's X11 UI the way hosts do: through lilv, in the bundles on
 * LV2_PATH. Shared by the test hosts in this folder (C and C++). */
#ifndef HALVANE_TESTS_UI_LOOKUP_H
#define HALVANE_TESTS_UI_LOOKUP_H

#include <stdint.h>

#include <lv2/urid/urid.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { UI_LOOKUP_MAX_PORTS = 16 };

typedef struct {
    char* ui_uri;       /* the UI's URI */
    char* bundle_path;  /* the UI's bundle folder, with a trailing slash */
    char* binary_path;  /* the UI library file */
    uint32_t port_count;
    uint32_t control_count;                 /* control inputs: ports 0 .. control_count-1 */
    float minimum[UI_LOOKUP_MAX_PORTS];     /* declared ranges; NaN for audio ports */
    float maximum[UI_LOOKUP_MAX_PORTS];
    float default_value[UI_LOOKUP_MAX_PORTS];
    char symbol[UI_LOOKUP_MAX_PORTS][32];
} UiLookup;

/* Fills `out` for the plug-in with URI `plugin_uri`; returns 0 on success,
 * or prints why not to stderr and returns -1. */
int ui_lookup(const char* plugin_uri, UiLookup* out);

/* Releases the strings ui_lookup made. */
void ui_lookup_free(UiLookup* lookup);

/* The index of the port with `symbol`, or -1. */
int ui_lookup_port(const UiLookup* lookup, const char* symbol);

/* A URID map for a test host: URID = index in `uris` + 1. */
enum { UI_URI_MAX = 64 };
typedef struct {
    char* uris[UI_URI_MAX];
    uint32_t count;
} UiUriTable;

/* urid:map's map function over a UiUriTable (the handle); 0 when full. */
LV2_URID ui_uri_map(LV2_URID_Map_Handle table, const char* uri);

/* Frees the table's copies of the URIs. */
void ui_uri_table_free(UiUriTable* table);

/* The control values of the plug-in's preset labelled `label`, read with
 * lilv's preset state as a host that applies the preset reads them: sets
 * values[i] for each port i the preset sets (i below `count`). Returns the
 * number of values set, or -1 when the plug-in has no such preset. */
int ui_lookup_preset(const char* plugin_uri, const char* label, const UiLookup* lookup,
                     float* values, uint32_t count);

#ifdef __cplusplus
}
#endif

#endif
