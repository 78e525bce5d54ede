// Shared by the robustness tests: a plug-in instance driven the way a host
// drives it, through its LV2 descriptor, with its own control values; and
// measures of the heap and of the process's resident memory.
#pragma once

#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include <lv2/core/lv2.h>

#include "control_ports.h"
#include "reverb_descriptors.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers own the allocator: the C library's heap figures say nothing,
// freed memory is held back in quarantine, and LeakSanitizer checks for leaks
// when the program ends instead.
constexpr bool HEAP_FIGURES_MEANINGFUL = false;
#else
constexpr bool HEAP_FIGURES_MEANINGFUL = true;
#endif

struct HostInstance {
    const LV2_Descriptor* descriptor;
    LV2_Handle handle;
    float controls[CONTROL_PORT_COUNT];

    HostInstance(bool stereo, double rate = 48000.0)
        : descriptor(stereo ? &stereo_descriptor : &mono_descriptor),
          handle(descriptor->instantiate(descriptor, rate, "", nullptr))
    {
        for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
            controls[p] = CONTROL_RANGES[p].default_value;
            if (handle)
                descriptor->connect_port(handle, p, &controls[p]);
        }
    }
    ~HostInstance()
    {
        if (handle)
            descriptor->cleanup(handle);
    }
    HostInstance(const HostInstance&) = delete;
    HostInstance& operator=(const HostInstance&) = delete;

    bool stereo() const { return descriptor == &stereo_descriptor; }
    void activate() { descriptor->activate(handle); }
    void connect(uint32_t port, void* data) { descriptor->connect_port(handle, port, data); }

    // Connects the audio ports of the variant (in_r and out_r only when
    // stereo) and runs one block.
    void run(const float* in_l, const float* in_r, float* out_l, float* out_r, uint32_t n)
    {
        connect(PORT_IN_L, const_cast<float*>(in_l));
        connect(PORT_OUT_L, out_l);
        if (stereo()) {
            connect(PORT_IN_R, const_cast<float*>(in_r));
            connect(PORT_OUT_R, out_r);
        }
        descriptor->run(handle, n);
    }
};

// One block of audio buffers of either variant.
struct AudioBlock {
    std::vector<float> in_l, in_r, out_l, out_r;
    explicit AudioBlock(size_t n = 0) : in_l(n), in_r(n), out_l(n), out_r(n) {}
    void run(HostInstance& instance)
    {
        instance.run(in_l.data(), in_r.data(), out_l.data(), out_r.data(), uint32_t(in_l.size()));
    }
};

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
