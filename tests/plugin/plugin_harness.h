// Shared by the plug-in tests: an instance wired to its own control values,
// and a reference that runs the signal chain exactly as the design states it
// (whole-block input sum, remainder-based ring indexes) to check the run
// operations against.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "control_ports.h"
#include "fp_mode.h"
#include "prepare_block.h"
#include "reverb_descriptors.h"
#include "reverb_instance.h"
#include "reverb_run.h"

inline uint32_t float_bits(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Index of the first sample whose bits differ, or -1 when all match.
inline long first_difference(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (float_bits(a[i]) != float_bits(b[i]))
            return long(i);
    return -1;
}

struct Plugin {
    ReverbInstance* self;
    float controls[CONTROL_PORT_COUNT];

    explicit Plugin(double rate = 48000.0)
        : self(static_cast<ReverbInstance*>(
              reverb_instantiate(&mono_descriptor, rate, "", nullptr)))
    {
        for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
            controls[p] = CONTROL_RANGES[p].default_value;
            if (self)
                reverb_connect_port(self, p, &controls[p]);
        }
        if (self)
            reverb_activate(self);
    }
    ~Plugin() { if (self) reverb_cleanup(self); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    float& operator[](PortIndex port) { return controls[port]; }

    void run_mono(const float* in, float* out, uint32_t n)
    {
        reverb_connect_port(self, PORT_IN, const_cast<float*>(in));
        reverb_connect_port(self, PORT_OUT, out);
        reverb_run_mono(self, n);
    }
    void run_stereo(const float* in_l, const float* in_r, float* out_l, float* out_r, uint32_t n)
    {
        reverb_connect_port(self, PORT_IN_L, const_cast<float*>(in_l));
        reverb_connect_port(self, PORT_IN_R, const_cast<float*>(in_r));
        reverb_connect_port(self, PORT_OUT_L, out_l);
        reverb_connect_port(self, PORT_OUT_R, out_r);
        reverb_run_stereo(self, n);
    }
};

// One call of either run operation, written step for step from the design:
// the stereo input sum is formed for the whole block first, the ring indexes
// use remainders, and the mode is set as the run operations set it.
inline void reference_run(ReverbInstance* s, ReverbVariant variant, const float* in_l,
                          const float* in_r, float* out_l, float* out_r, uint32_t n)
{
    FpModeGuard mode;
    const bool stereo = variant == ReverbVariant::stereo;
    BlockTargets t = prepare_block(s, variant);
    std::vector<float> sum(n);
    for (uint32_t i = 0; i < n; ++i)
        sum[i] = stereo ? in_r[i] + in_l[i] : in_l[i];
    for (uint64_t i = 0; i < n; ++i) {
        if (i % 64 == 0)
            step_gains(s, &t, stereo ? 0.1 : 0.02);
        float x = s->fade_gain * sum[i];
        if (!std::isfinite(x))
            x = 0.0f;
        const float p = filter_section_process(&s->pre_filter, x);
        s->predelay_write_index = (s->predelay_write_index + 1) % PREDELAY_CAPACITY;
        s->predelay_smoothed =
            s->predelay_smoothed * s->smooth_coef + s->predelay_target * s->smooth_feed;
        s->predelay_buffer[s->predelay_write_index] = p;
        const int32_t r =
            int32_t(double(s->predelay_write_index + PREDELAY_CAPACITY) - s->predelay_smoothed) %
            PREDELAY_CAPACITY;
        const float d = s->predelay_buffer[r];
        const float h = filter_section_process(&s->post_filter, d);
        const ReverbEngineOutput a = reverb_engine_process(s->engine_a, h);
        const ReverbEngineOutput b = reverb_engine_process(s->engine_b, d);
        const float gl = filter_section_process(&s->out_filter_left, b.left);
        const float scale = stereo ? t.low_band_scale : 1.0f;
        const float left_in = in_l[i];
        const float right_in = stereo ? in_r[i] : 0.0f;
        out_l[i] = t.wet_target * s->fade_gain * (a.left + scale * gl) + t.dry_target * left_in;
        if (stereo) {
            const float gr = filter_section_process(&s->out_filter_right, b.right);
            out_r[i] =
                t.wet_target * s->fade_gain * (a.right + scale * gr) + t.dry_target * right_in;
        }
    }
}

// Deterministic test signal in -0.5..0.5.
inline std::vector<float> noise(size_t n, uint32_t seed)
{
    std::vector<float> v(n);
    for (auto& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = float(seed >> 8) / float(1u << 24) - 0.5f;
    }
    return v;
}
