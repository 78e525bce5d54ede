/* Finds a plug-in's X11 UI through lilv, as hosts do. */
#include "ui_lookup.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/ui/ui.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The file path of a file: URI, in memory of our own, with a trailing
 * slash when `folder` is set (instantiate wants the bundle path so). */
static char* copy_path(const LilvNode* uri, int folder)
{
    char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), NULL);
    if (!path) return NULL;
    size_t length = strlen(path);
    int slash = folder && (length == 0 || path[length - 1] != '/');
    char* copy = malloc(length + 2);
    if (copy) {
        memcpy(copy, path, length);
        memcpy(copy + length, slash ? "/" : "", slash + 1);
    }
    lilv_free(path);
    return copy;
}

static void read_ports(LilvWorld* world, const LilvPlugin* plugin, UiLookup* out)
{
    LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
    LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
    uint32_t count = lilv_plugin_get_num_ports(plugin);
    if (count > UI_LOOKUP_MAX_PORTS) count = UI_LOOKUP_MAX_PORTS;
    float minimum[UI_LOOKUP_MAX_PORTS], maximum[UI_LOOKUP_MAX_PORTS], def[UI_LOOKUP_MAX_PORTS];
    lilv_plugin_get_port_ranges_float(plugin, minimum, maximum, def);
    out->port_count = count;
    out->control_count = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        int is_control = lilv_port_is_a(plugin, port, input) && lilv_port_is_a(plugin, port, control);
        out->minimum[i] = is_control ? minimum[i] : NAN;
        out->maximum[i] = is_control ? maximum[i] : NAN;
        out->default_value[i] = is_control ? def[i] : NAN;
        if (is_control && out->control_count == i) out->control_count = i + 1;
        snprintf(out->symbol[i], sizeof out->symbol[i], "%s",
                 lilv_node_as_string(lilv_port_get_symbol(plugin, port)));
    }
    lilv_node_free(control);
    lilv_node_free(input);
}

int ui_lookup(const char* plugin_uri, UiLookup* out)
{
    memset(out, 0, sizeof *out);
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, plugin_uri);
    LilvNode* x11 = lilv_new_uri(world, LV2_UI__X11UI);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    int status = -1;
    if (!plugin) {
        fprintf(stderr, "ui_lookup: no plug-in %s on LV2_PATH\n", plugin_uri);
    } else {
        LilvUIs* uis = lilv_plugin_get_uis(plugin);
        LILV_FOREACH (uis, i, uis) {
            const LilvUI* ui = lilv_uis_get(uis, i);
            if (!lilv_ui_is_a(ui, x11)) continue;
            out->ui_uri = strdup(lilv_node_as_uri(lilv_ui_get_uri(ui)));
            out->bundle_path = copy_path(lilv_ui_get_bundle_uri(ui), 1);
            out->binary_path = copy_path(lilv_ui_get_binary_uri(ui), 0);
            status = out->ui_uri && out->bundle_path && out->binary_path ? 0 : -1;
            break;
        }
        lilv_uis_free(uis);
        if (status != 0) fprintf(stderr, "ui_lookup: %s declares no X11 UI\n", plugin_uri);
        else read_ports(world, plugin, out);
    }
    lilv_node_free(x11);
    lilv_node_free(uri);
    lilv_world_free(world);
    if (status != 0) ui_lookup_free(out);
    return status;
}

void ui_lookup_free(UiLookup* lookup)
{
    free(lookup->ui_uri);
    free(lookup->bundle_path);
    free(lookup->binary_path);
    lookup->ui_uri = lookup->bundle_path = lookup->binary_path = NULL;
}

int ui_lookup_port(const UiLookup* lookup, const char* symbol)
{
    for (uint32_t i = 0; i < lookup->port_count; ++i)
        if (strcmp(lookup->symbol[i], symbol) == 0) return (int)i;
    return -1;
}

LV2_URID ui_uri_map(LV2_URID_Map_Handle handle, const char* uri)
{
    UiUriTable* table = handle;
    for (uint32_t i = 0; i < table->count; ++i)
        if (strcmp(table->uris[i], uri) == 0) return i + 1;
    if (table->count == UI_URI_MAX) return 0;
    table->uris[table->count] = strdup(uri);
    return ++table->count;
}

void ui_uri_table_free(UiUriTable* table)
{
    for (uint32_t i = 0; i < table->count; ++i) free(table->uris[i]);
    table->count = 0;
}

typedef struct {
    const UiLookup* lookup;
    LV2_URID float_type;
    float* values;
    uint32_t count;
    int set;
} PresetValues;

static void take_value(const char* symbol, void* data, const void* value, uint32_t size,
                       uint32_t type)
{
    PresetValues* p = data;
    int port = ui_lookup_port(p->lookup, symbol);
    if (port < 0 || (uint32_t)port >= p->count || type != p->float_type || size != sizeof(float))
        return;
    memcpy(&p->values[port], value, sizeof(float));
    ++p->set;
}

int ui_lookup_preset(const char* plugin_uri, const char* label, const UiLookup* lookup,
                     float* values, uint32_t count)
{
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, plugin_uri);
    LilvNode* preset_class = lilv_new_uri(world, LV2_PRESETS__Preset);
    LilvNode* label_key = lilv_new_uri(world, "http://www.w3.org/2000/01/rdf-schema#label");
    UiUriTable table = {{0}, 0};
    LV2_URID_Map map = {&table, ui_uri_map};
    PresetValues found = {lookup, ui_uri_map(&table, LV2_ATOM__Float), values, count, -1};
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    LilvNodes* presets = plugin ? lilv_plugin_get_related(plugin, preset_class) : NULL;
    LILV_FOREACH (nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world, preset);
        LilvNode* name = lilv_world_get(world, preset, label_key, NULL);
        int match = name && strcmp(lilv_node_as_string(name), label) == 0;
        lilv_node_free(name);
        if (!match) continue;
        LilvState* state = lilv_state_new_from_world(world, &map, preset);
        if (state) {
            found.set = 0;
            lilv_state_emit_port_values(state, take_value, &found);
            lilv_state_free(state);
        }
        break;
    }
    lilv_nodes_free(presets);
    ui_uri_table_free(&table);
    lilv_node_free(label_key);
    lilv_node_free(preset_class);
    lilv_node_free(uri);
    lilv_world_free(world);
    return found.set;
}
