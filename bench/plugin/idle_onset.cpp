// How long after its input stops an instance becomes idle (its whole audio
// state exactly zero, so the run loops skip the reverb's work), for a few
// decay times. One second of noise, then silence, at 48 kHz in 256-sample
// blocks, every other control at its default.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "control_ports.h"
#include "idle_path.h"
#include "reverb_descriptors.h"
#include "reverb_instance.h"
#include "reverb_run.h"

int main()
{
    const uint32_t rate = 48000, block = 256;
    std::printf("decay (s)  idle after the input stops (s)\n");
    for (float decay : {1.0f, 2.0f, 7.0f}) {
        LV2_Handle handle = reverb_instantiate(&stereo_descriptor, rate, "", nullptr);
        auto* self = static_cast<ReverbInstance*>(handle);
        float controls[CONTROL_PORT_COUNT];
        for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
            controls[p] = CONTROL_RANGES[p].default_value;
            reverb_connect_port(handle, p, &controls[p]);
        }
        controls[PORT_DECAY] = decay;
        std::vector<float> in_l(block), in_r(block), out_l(block), out_r(block);
        reverb_connect_port(handle, PORT_IN_L, in_l.data());
        reverb_connect_port(handle, PORT_IN_R, in_r.data());
        reverb_connect_port(handle, PORT_OUT_L, out_l.data());
        reverb_connect_port(handle, PORT_OUT_R, out_r.data());
        reverb_activate(handle);
        uint32_t seed = 1u;
        uint64_t samples = 0;
        for (; samples < rate; samples += block) {
            for (uint32_t i = 0; i < block; ++i) {
                seed = seed * 1664525u + 1013904223u;
                in_l[i] = in_r[i] = float(int32_t(seed)) * 0x1p-32f;
            }
            reverb_run_stereo(handle, block);
        }
        std::fill(in_l.begin(), in_l.end(), 0.0f);
        std::fill(in_r.begin(), in_r.end(), 0.0f);
        const uint64_t stop = samples;
        while (!reverb_instance_is_silent(self, ReverbVariant::stereo) && samples < 600ull * rate) {
            reverb_run_stereo(handle, block);
            samples += block;
        }
        std::printf("%9.1f  %.2f\n", double(decay), double(samples - stop) / rate);
        reverb_cleanup(handle);
    }
    return 0;
}
