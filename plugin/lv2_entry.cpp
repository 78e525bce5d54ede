// The library's one exported function, and the floating-point mode of the
// thread that loads it.
#include <lv2/core/lv2.h>

#include "fp_mode.h"
#include "reverb_descriptors.h"

namespace {

// Runs when the library is loaded: denormals flushed to zero on the loading
// thread. The run operations set their own mode in any case.
__attribute__((constructor)) void set_loading_thread_fp_mode()
{
    fp_mode_flush_this_thread();
}

}  // namespace

// Host entry: 0 is the mono plug-in, 1 the stereo one, every other index
// null (the end of the list). Any thread; allocates nothing.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return reverb_descriptor_for_index(index);
}
