// Instances share no writable state: several instances run at once on
// their own threads give, to the bit, what the same instances give run one
// after the other on one thread. The instances are made on the main thread,
// as hosts do, and each worker runs them under a floating-point mode of its
// own, which the run must neither depend on nor change. scripts/sanitize.sh runs this under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "fp_mode.h"
#include "plugin_harness.h"

namespace {

constexpr int INSTANCES = 6;
constexpr int BLOCKS = 120;

// The floating-point mode worker k runs with: the default, flushing, or one
// of the directed rounding modes. Leaves the calling thread's mode as it was.
FpMode thread_mode(int k)
{
    constexpr int ROUNDING[INSTANCES] = {FE_TONEAREST, FE_TONEAREST, FE_DOWNWARD,
                                         FE_UPWARD,    FE_TOWARDZERO, FE_TONEAREST};
    std::fenv_t own;
    std::fegetenv(&own);
    fp_mode_set(k == 1 ? FP_MODE_DEFAULT | FP_MODE_FLUSH : FP_MODE_DEFAULT);
    std::fesetround(ROUNDING[k]);
    const FpMode mode = fp_mode_get();
    std::fesetenv(&own);
    return mode;
}

struct Job {
    bool stereo;
    double rate;
    uint32_t seed;
};

const Job JOBS[INSTANCES] = {{false, 44100.0, 1}, {true, 48000.0, 2}, {false, 96000.0, 3},
                             {true, 22050.0, 4},  {false, 48000.0, 5}, {true, 192000.0, 6}};

// Runs an instance made for `job` through BLOCKS blocks of varying length
// with its controls moved every few blocks; returns all its output samples.
// The calls into the plug-in run under `mode`; `mode_kept` turns false if a
// call hands the thread back a different mode.
std::vector<float> play(Plugin& host, const Job& job, FpMode mode, bool* mode_kept)
{
    const FpMode own_mode = fp_mode_get();
    host.activate();
    std::vector<float> all;
    uint32_t state = job.seed * 2654435761u;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int b = 0; b < BLOCKS; ++b) {
        if (b % 10 == 0)
            for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
                const ControlRange& r = CONTROL_RANGES[p];
                host.controls[p] = r.min + float(next() % 1000) / 999.0f * (r.max - r.min);
            }
        const uint32_t n = 1 + next() % 700;
        AudioBlock block(n);
        block.in_l = noise(n, next());
        block.in_r = noise(n, next());
        fp_mode_set(mode);
        block.run(host);
        *mode_kept =
            *mode_kept && (fp_mode_get() & FP_MODE_CONTROLS) == (mode & FP_MODE_CONTROLS);
        fp_mode_set(own_mode);
        all.insert(all.end(), block.out_l.begin(), block.out_l.end());
        if (job.stereo)
            all.insert(all.end(), block.out_r.begin(), block.out_r.end());
    }
    return all;
}

}  // namespace

TEST(ParallelInstances, ThreadsGiveExactlyTheOneByOneOutput)
{
    std::vector<float> one_by_one[INSTANCES];
    for (int k = 0; k < INSTANCES; ++k) {
        Plugin host(JOBS[k].rate, JOBS[k].stereo, false);
        bool kept = true;
        one_by_one[k] = play(host, JOBS[k], FP_MODE_DEFAULT, &kept);
    }

    // Hosts make instances on their main thread and run them on others.
    std::unique_ptr<Plugin> hosts[INSTANCES];
    for (int k = 0; k < INSTANCES; ++k)
        hosts[k] = std::make_unique<Plugin>(JOBS[k].rate, JOBS[k].stereo, false);

    std::vector<float> parallel[INSTANCES];
    bool mode_kept[INSTANCES] = {true, true, true, true, true, true};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < INSTANCES; ++k)
        threads.emplace_back([&, k] {
            // Start together, so the instances really overlap.
            ready.fetch_add(1);
            while (ready.load() < INSTANCES)
                std::this_thread::yield();
            parallel[k] = play(*hosts[k], JOBS[k], thread_mode(k), &mode_kept[k]);
        });
    for (auto& t : threads)
        t.join();

    for (int k = 0; k < INSTANCES; ++k) {
        SCOPED_TRACE(testing::Message() << "instance " << k);
        ASSERT_FALSE(one_by_one[k].empty());
        EXPECT_EQ(first_difference(parallel[k], one_by_one[k]), -1);
        EXPECT_TRUE(mode_kept[k]);
    }
}
