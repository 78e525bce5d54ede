// Cost of a whole plug-in instance per run call, in nanoseconds per sample
// frame, through the same run operations a host calls: mono and stereo, at
// three block lengths and three sample rates, on live signal (noise with the
// controls at their defaults), and on a decaying tail.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "control_ports.h"
#include "fp_mode.h"
#include "reverb_descriptors.h"
#include "reverb_instance.h"
#include "reverb_run.h"

namespace {

struct BenchInstance {
    LV2_Handle handle;
    float controls[CONTROL_PORT_COUNT];
    std::vector<float> in_l, in_r, out_l, out_r;

    BenchInstance(double rate, uint32_t block)
        : handle(reverb_instantiate(&stereo_descriptor, rate, "", nullptr)),
          in_l(block), in_r(block), out_l(block), out_r(block)
    {
        for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
            controls[p] = CONTROL_RANGES[p].default_value;
            reverb_connect_port(handle, p, &controls[p]);
        }
        reverb_connect_port(handle, PORT_IN_L, in_l.data());
        reverb_connect_port(handle, PORT_OUT_L, out_l.data());
        reverb_connect_port(handle, PORT_IN_R, in_r.data());
        reverb_connect_port(handle, PORT_OUT_R, out_r.data());
        reverb_activate(handle);
    }
    ~BenchInstance() { reverb_cleanup(handle); }

    void fill_noise(uint32_t seed)
    {
        for (size_t i = 0; i < in_l.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            in_l[i] = float(int32_t(seed)) * 0x1p-33f;
            seed = seed * 1664525u + 1013904223u;
            in_r[i] = float(int32_t(seed)) * 0x1p-33f;
        }
    }
};

void report(benchmark::State& state, uint32_t block)
{
    state.counters["ns_per_frame"] = benchmark::Counter(
        double(state.iterations()) * block,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Live noise through a fresh instance. Args: block length, sample rate.
void run_live(benchmark::State& state, bool stereo)
{
    const uint32_t block = uint32_t(state.range(0));
    BenchInstance bench(double(state.range(1)), block);
    uint32_t seed = 7u;
    for (auto _ : state) {
        bench.fill_noise(seed++);
        if (stereo)
            reverb_run_stereo(bench.handle, block);
        else
            reverb_run_mono(bench.handle, block);
        benchmark::DoNotOptimize(bench.out_l.data());
        benchmark::DoNotOptimize(bench.out_r.data());
    }
    report(state, block);
}

void instance_run_mono(benchmark::State& state)
{
    run_live(state, false);
}

void instance_run_stereo(benchmark::State& state)
{
    run_live(state, true);
}

// A decaying tail: silent input after a burst of noise, re-excited every two
// seconds of audio outside the timed part. Runs on a thread whose own
// floating-point mode keeps denormals (flush-to-zero off), as a host's may.
void instance_tail_stereo(benchmark::State& state)
{
    fp_mode_set(FP_MODE_DEFAULT);  // a new thread's mode: denormals kept
    const uint32_t block = uint32_t(state.range(0));
    BenchInstance bench(48000.0, block);
    const uint32_t blocks_per_tail = 96000 / block;
    uint32_t seed = 7u;
    uint32_t since_burst = blocks_per_tail;
    for (auto _ : state) {
        if (since_burst == blocks_per_tail) {
            state.PauseTiming();
            for (uint32_t b = 0; b < 24000 / block; ++b) {
                bench.fill_noise(seed++);
                reverb_run_stereo(bench.handle, block);
            }
            std::fill(bench.in_l.begin(), bench.in_l.end(), 0.0f);
            std::fill(bench.in_r.begin(), bench.in_r.end(), 0.0f);
            since_burst = 0;
            state.ResumeTiming();
        }
        reverb_run_stereo(bench.handle, block);
        benchmark::DoNotOptimize(bench.out_l.data());
        ++since_burst;
    }
    report(state, block);
}

// Live signal against an idle instance, at 256 samples and 48 kHz, mono
// (argument 0) and stereo (1). Live: noise, generated outside the timed
// part. Idle: silence in and nothing left of earlier sound, so every
// stretch is idle and the run loops skip the reverb's work.
void run_steady(benchmark::State& state, bool live)
{
    const bool stereo = state.range(0) != 0;
    const uint32_t block = 256;
    BenchInstance bench(48000.0, block);
    if (live)
        bench.fill_noise(7u);
    for (auto _ : state) {
        if (stereo)
            reverb_run_stereo(bench.handle, block);
        else
            reverb_run_mono(bench.handle, block);
        benchmark::DoNotOptimize(bench.out_l.data());
    }
    report(state, block);
    state.SetLabel(stereo ? "stereo" : "mono");
}

void instance_live(benchmark::State& state)
{
    run_steady(state, true);
}

void instance_idle(benchmark::State& state)
{
    run_steady(state, false);
}

void block_and_rate_grid(benchmark::internal::Benchmark* b)
{
    for (int64_t rate : {44100, 48000, 96000})
        for (int64_t block : {64, 256, 1024})
            b->Args({block, rate});
    b->ArgNames({"block", "rate"});
}

}  // namespace

BENCHMARK(instance_run_mono)->Apply(block_and_rate_grid);
BENCHMARK(instance_run_stereo)->Apply(block_and_rate_grid);
BENCHMARK(instance_tail_stereo)->Arg(256)->ArgName("block");
BENCHMARK(instance_live)->Arg(0)->Arg(1)->ArgName("stereo");
BENCHMARK(instance_idle)->Arg(0)->Arg(1)->ArgName("stereo");
