// The in-process harness of the plug-in tests: an instance driven as a host
// drives it, through its LV2 descriptor, with control values of its own;
// audio buffers for one run call; measures of the heap and of the process's
// resident memory; and a reference that runs the signal chain exactly as the
// design states it (whole-block input sum, remainder-based ring indexes) to
// check the run operations against.
#pragma once

#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <lv2/core/lv2.h>

#include "control_ports.h"
#include "float_bits.h"
#include "fp_mode.h"
#include "prepare_block.h"
#include "reverb_descriptors.h"
#include "reverb_instance.h"
#include "reverb_run.h"

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

// One instance of the mono or the stereo plug-in, made through its
// descriptor, with every control connected to a value of its own at the
// default, and activated unless the test wants to do that itself. `self` is
// the record behind the handle, for the tests that look inside.
struct Plugin {
    const LV2_Descriptor* descriptor;
    ReverbInstance* self;
    float controls[CONTROL_PORT_COUNT];

    explicit Plugin(double rate = 48000.0, bool stereo = false, bool activate_now = true)
        : descriptor(stereo ? &stereo_descriptor : &mono_descriptor),
          self(static_cast<ReverbInstance*>(descriptor->instantiate(descriptor, rate, "", nullptr)))
    {
        for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
            controls[p] = CONTROL_RANGES[p].default_value;
            if (self)
                connect(p, &controls[p]);
        }
        if (self && activate_now)
            activate();
    }
    ~Plugin()
    {
        if (self)
            descriptor->cleanup(self);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    float& operator[](PortIndex port) { return controls[port]; }
    bool stereo() const { return descriptor == &stereo_descriptor; }
    void activate() { descriptor->activate(self); }
    void connect(uint32_t port, const float* data) { descriptor->connect_port(self, port, const_cast<float*>(data)); }

    // One run call of the instance's own plug-in: connects the audio ports of
    // the variant (in_r and out_r only when stereo) and runs `n` frames.
    void run(const float* in_l, const float* in_r, float* out_l, float* out_r, uint32_t n)
    {
        if (stereo())
            run_stereo(in_l, in_r, out_l, out_r, n);
        else
            run_mono(in_l, out_l, n);
    }
    // One run call of either plug-in, whichever descriptor made the
    // instance: both build the same record.
    void run_mono(const float* in, float* out, uint32_t n)
    {
        connect(PORT_IN, in);
        connect(PORT_OUT, out);
        mono_descriptor.run(self, n);
    }
    void run_stereo(const float* in_l, const float* in_r, float* out_l, float* out_r, uint32_t n)
    {
        connect(PORT_IN_L, in_l);
        connect(PORT_IN_R, in_r);
        connect(PORT_OUT_L, out_l);
        connect(PORT_OUT_R, out_r);
        stereo_descriptor.run(self, n);
    }
};

// The buffers of one run call of either variant.
struct AudioBlock {
    std::vector<float> in_l, in_r, out_l, out_r;
    explicit AudioBlock(size_t n = 0) : in_l(n), in_r(n), out_l(n), out_r(n) {}
    void run(Plugin& plugin)
    {
        plugin.run(in_l.data(), in_r.data(), out_l.data(), out_r.data(), uint32_t(in_l.size()));
    }
};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers own the allocator: the C library's heap figures say nothing,
// freed memory is held back in quarantine, and LeakSanitizer checks for leaks
// when the program ends instead.
constexpr bool HEAP_FIGURES_MEANINGFUL = false;
#else
constexpr bool HEAP_FIGURES_MEANINGFUL = true;
#endif

// Bytes the C library's heap has handed out and not had back (arena chunks
// and separately mapped blocks).
inline size_t heap_in_use()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Resident set size of this process, in bytes.
inline size_t resident_bytes()
{
    long pages_total = 0, pages_resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages_total, &pages_resident) != 2)
            pages_resident = 0;
        std::fclose(f);
    }
    return size_t(pages_resident) * size_t(sysconf(_SC_PAGESIZE));
}

// One call of either run operation the plainest way, one sample at a time
// through the whole chain: the stereo input sum is formed for the whole
// block first, the ring indexes use remainders, and the mode is set as the
// run operations set it. The run loop's stretches must give its bits.
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
