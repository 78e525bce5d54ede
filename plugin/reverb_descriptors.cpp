#include "reverb_descriptors.h"

#include "reverb_instance.h"
#include "reverb_run.h"

// Constant data: nothing to build on the first lookup, so concurrent first
// calls are safe and the records can never be seen half-filled. Neither
// plug-in has a deactivate operation; reverb_activate resets all it needs.
const LV2_Descriptor mono_descriptor = {
    HALVANE_MONO_URI,
    reverb_instantiate,
    reverb_connect_port,
    reverb_activate,
    reverb_run_mono,
    nullptr,
    reverb_cleanup,
    reverb_extension_data,
};

const LV2_Descriptor stereo_descriptor = {
    HALVANE_STEREO_URI,
    reverb_instantiate,
    reverb_connect_port,
    reverb_activate,
    reverb_run_stereo,
    nullptr,
    reverb_cleanup,
    reverb_extension_data,
};

const void* reverb_extension_data(const char*)
{
    return nullptr;
}

const LV2_Descriptor* reverb_descriptor_for_index(uint32_t index)
{
    switch (index) {
    case 0:
        return &mono_descriptor;
    case 1:
        return &stereo_descriptor;
    default:
        return nullptr;
    }
}
