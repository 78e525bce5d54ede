#include "reverb_run.h"

#include "control_ports.h"
#include "prepare_block.h"
#include "reverb_instance.h"
#include "reverb_run_loop.h"
#include "stretch_io.h"

namespace {

// What the plug-ins write: out = t * (a + scale * g) + dry * in on each
// output port (the mono plug-in adds the low band unscaled), and the dry
// term alone on the idle path.
template <ReverbVariant VARIANT>
struct MixedOutput {
    const ReverbInstance* self;

    // The mono ports PORT_IN and PORT_OUT share the left ones' indexes.
    void idle(uint32_t start, uint32_t n, float t, float dry, float) const
    {
        float* const* ports = self->ports;
        if (VARIANT == ReverbVariant::stereo)
            reverb_stretch_dry_only_stereo(ports[PORT_IN_L] + start, ports[PORT_IN_R] + start, t,
                                           dry, ports[PORT_OUT_L] + start,
                                           ports[PORT_OUT_R] + start, n);
        else
            reverb_stretch_dry_only(ports[PORT_IN_L] + start, t, dry, ports[PORT_OUT_L] + start, n);
    }

    void write(const PendingStretch* s) const
    {
        float* const* ports = self->ports;
        if (VARIANT == ReverbVariant::stereo)
            reverb_stretch_mix_stereo(s, ports[PORT_IN_L] + s->start, ports[PORT_IN_R] + s->start,
                                      ports[PORT_OUT_L] + s->start, ports[PORT_OUT_R] + s->start);
        else
            reverb_stretch_mix_mono(s, ports[PORT_IN_L] + s->start, ports[PORT_OUT_L] + s->start);
    }
};

}  // namespace

void reverb_run_mono(LV2_Handle instance, uint32_t sample_count)
{
    const MixedOutput<ReverbVariant::mono> output = {static_cast<ReverbInstance*>(instance)};
    reverb_run_in_fp_mode<ReverbVariant::mono>(instance, sample_count, output);
}

void reverb_run_stereo(LV2_Handle instance, uint32_t sample_count)
{
    const MixedOutput<ReverbVariant::stereo> output = {static_cast<ReverbInstance*>(instance)};
    reverb_run_in_fp_mode<ReverbVariant::stereo>(instance, sample_count, output);
}
