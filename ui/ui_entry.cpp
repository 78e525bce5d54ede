// The LV2 entry point of the GUI library: one X11 UI for both plug-ins.

#include <cstring>

#include <lv2/ui/ui.h>

#include "reverb_descriptors.h"
#include "ui_instance.h"

#define HALVANE_UI_URI HALVANE_URI_PREFIX "/lv2/halvane/ui"

namespace {

// GUI thread. Returns null (the host falls back to its generic controls) for
// another plug-in, without ui:parent, or when the display cannot be used.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* plugin_uri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features)
{
    return halvane_ui_instantiate(plugin_uri, write, controller, widget, features);
}

void cleanup(LV2UI_Handle handle) { halvane_ui_cleanup(static_cast<HalvaneUi*>(handle)); }

// GUI thread; may come many times a second with unchanged values.
void port_event(LV2UI_Handle handle, uint32_t port, uint32_t buffer_size, uint32_t format,
                const void* buffer)
{
    halvane_ui_port_event(static_cast<HalvaneUi*>(handle), port, buffer_size, format, buffer);
}

int idle(LV2UI_Handle handle) { return halvane_ui_idle(static_cast<HalvaneUi*>(handle)); }

const LV2UI_Idle_Interface IDLE_INTERFACE = {idle};

const void* extension_data(const char* uri)
{
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &IDLE_INTERFACE;
    return nullptr;
}

const LV2UI_Descriptor UI_DESCRIPTOR = {HALVANE_UI_URI, instantiate, cleanup, port_event,
                                        extension_data};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor*
lv2ui_descriptor(uint32_t index)
{
    return index == 0 ? &UI_DESCRIPTOR : nullptr;
}
