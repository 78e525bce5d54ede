// The cost of one instance's run calls on live noise at 48 kHz, on the
// instruction-set path the CPU offers or the one HALVANE_TEST_PATH
// (baseline, avx2) forces: prints nanoseconds per frame, of wall-clock time and
// of the thread's processor time (which leaves out waits for a core); under
// `valgrind --tool=callgrind --collect-atstart=no` only the run calls are
// counted, so the count of each path can be compared on one machine.
//
// Usage: run_cost mono|stereo FRAMES [BLOCK]
// callgrind's client requests, or nothing where valgrind is not installed.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "control_ports.h"
#include "reverb_descriptors.h"
#include "reverb_instance.h"
#include "reverb_run.h"

namespace {

double thread_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: run_cost mono|stereo FRAMES [BLOCK]\n");
        return 2;
    }
    const bool stereo = std::strcmp(argv[1], "stereo") == 0;
    const long frames = std::atol(argv[2]);
    const uint32_t block = argc > 3 ? uint32_t(std::atoi(argv[3])) : 256u;
    LV2_Handle handle = reverb_instantiate(stereo ? &stereo_descriptor : &mono_descriptor,
                                           48000.0, "", nullptr);
    if (!handle)
        return 1;
    float controls[CONTROL_PORT_COUNT];
    for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
        controls[p] = CONTROL_RANGES[p].default_value;
        reverb_connect_port(handle, p, &controls[p]);
    }
    std::vector<float> in_l(block), in_r(block), out_l(block), out_r(block);
    uint32_t seed = 1u;
    for (uint32_t i = 0; i < block; ++i) {
        seed = seed * 1664525u + 1013904223u;
        in_l[i] = float(int32_t(seed)) * 0x1p-33f;
        seed = seed * 1664525u + 1013904223u;
        in_r[i] = float(int32_t(seed)) * 0x1p-33f;
    }
    reverb_connect_port(handle, stereo ? PORT_IN_L : PORT_IN, in_l.data());
    reverb_connect_port(handle, stereo ? PORT_OUT_L : PORT_OUT, out_l.data());
    if (stereo) {
        reverb_connect_port(handle, PORT_IN_R, in_r.data());
        reverb_connect_port(handle, PORT_OUT_R, out_r.data());
    }
    reverb_activate(handle);
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = thread_seconds();
    CALLGRIND_TOGGLE_COLLECT;
    for (long done = 0; done < frames; done += block) {
        if (stereo)
            reverb_run_stereo(handle, block);
        else
            reverb_run_mono(handle, block);
    }
    CALLGRIND_TOGGLE_COLLECT;
    const double cpu = thread_seconds() - cpu_start;
    const auto stop = std::chrono::steady_clock::now();
    std::printf("%.2f ns per frame, %.2f ns of processor time\n",
                std::chrono::duration<double, std::nano>(stop - start).count() / double(frames),
                cpu * 1e9 / double(frames));
    reverb_cleanup(handle);
    return 0;
}
