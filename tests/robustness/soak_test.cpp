// Ten minutes of audio at 48000 Hz through each plug-in, in blocks of 256
// samples, with every control automated at random inside its declared range
// and a programme of noise bursts at changing levels and silences. Checks:
//   - every output sample is finite and below OUTPUT_BOUND;
//   - the heap and the resident memory have not grown from the end of the
//     first minute to the end of the last;
//   - the cost of a block does not drift: after the first and after the last
//     minute, blocks through the soaked instance are timed alternately with
//     the same blocks through a freshly activated one, and the soaked
//     instance's median must stay within DRIFT_LIMIT of the fresh one's.
//     Timing the two side by side makes the check immune to the machine's
//     load and clock changes; the plain median cost per block of every
//     minute is printed as well.
// The figures are printed, so a run documents itself.
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "plugin_harness.h"

namespace {

constexpr uint32_t RATE = 48000;
constexpr uint32_t BLOCK = 256;
constexpr int MINUTES = 10;
constexpr long BLOCKS_PER_MINUTE = 60L * RATE / BLOCK;
// A long decay fed full-scale noise builds up to a few tens (peaks of 4 to
// 50 seen); a runaway feedback loop grows without end and passes this
// within seconds.
constexpr float OUTPUT_BOUND = 1000.0f;
// Generous: a real drift (denormals, a growing buffer) costs many times more.
constexpr double DRIFT_LIMIT = 1.5;
constexpr int PROBE_BLOCKS = 400;
// Every change of the room size restarts the fade by design, so the room
// moves every two seconds; the other controls move every block.
constexpr long ROOM_SIZE_EVERY = 2L * RATE / BLOCK;

struct Random {
    uint64_t state;
    uint32_t next()
    {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return uint32_t(state >> 33);
    }
    float unit() { return float(next() >> 8) / float(1u << 23); }  // 0..1
    float signed_unit() { return unit() * 2.0f - 1.0f; }            // -1..1
};

double thread_cpu_ns()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// Reorders `v`.
double median(std::vector<double>& v)
{
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// One control's next value: a random walk of up to 2% of the range per
// block, reflected at the ends, with now and then a jump anywhere in the
// range or onto one of its ends.
float automate(float v, const ControlRange& r, Random& random)
{
    const float span = r.max - r.min;
    const uint32_t dice = random.next() % 1000;
    if (dice == 0)
        return r.min;
    if (dice == 1)
        return r.max;
    if (dice < 5)
        return r.min + random.unit() * span;
    v += random.signed_unit() * 0.02f * span;
    if (v < r.min)
        v = r.min + (r.min - v);
    if (v > r.max)
        v = r.max - (v - r.max);
    return std::min(std::max(v, r.min), r.max);
}

// Median cost of the soaked instance over that of a fresh one, timed block
// by block in alternation over the same input and controls.
double drift_probe(Plugin& soaked, Plugin& fresh, AudioBlock& block, Random& random)
{
    for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p)
        fresh.controls[p] = soaked.controls[p];
    fresh.activate();
    AudioBlock fresh_block(BLOCK);
    std::vector<double> soaked_cost, fresh_cost;
    soaked_cost.reserve(PROBE_BLOCKS);
    fresh_cost.reserve(PROBE_BLOCKS);
    for (int b = 0; b < PROBE_BLOCKS; ++b) {
        for (uint32_t i = 0; i < BLOCK; ++i) {
            block.in_l[i] = fresh_block.in_l[i] = 0.25f * random.signed_unit();
            block.in_r[i] = fresh_block.in_r[i] = 0.25f * random.signed_unit();
        }
        double start = thread_cpu_ns();
        block.run(soaked);
        soaked_cost.push_back(thread_cpu_ns() - start);
        start = thread_cpu_ns();
        fresh_block.run(fresh);
        fresh_cost.push_back(thread_cpu_ns() - start);
    }
    return median(soaked_cost) / median(fresh_cost);
}

void soak(bool stereo)
{
    Plugin host(RATE, stereo), fresh(RATE, stereo);
    ASSERT_NE(host.self, nullptr);
    ASSERT_NE(fresh.self, nullptr);
    Random random{stereo ? 0x5eedu : 0xfeedu};
    AudioBlock block(BLOCK);

    bool sounding = true;
    float level_db = -12.0f;
    float peak = 0.0f;
    std::vector<double> cost;
    cost.reserve(BLOCKS_PER_MINUTE);
    std::vector<double> minute_median;
    minute_median.reserve(MINUTES);  // nothing below may touch the heap
    size_t heap_first = 0, resident_first = 0;
    double probe_first = 0.0, probe_last = 0.0;

    for (int minute = 0; minute < MINUTES; ++minute) {
        cost.clear();
        for (long b = 0; b < BLOCKS_PER_MINUTE; ++b) {
            for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p)
                if (p != PORT_ROOM_SIZE || b % ROOM_SIZE_EVERY == 0)
                    host.controls[p] = automate(host.controls[p], CONTROL_RANGES[p], random);

            // Programme: bursts of noise whose level wanders between -60 and
            // 0 dBFS, and silences, each lasting a few seconds on average.
            if (random.next() % 600 == 0)
                sounding = !sounding;
            level_db = std::min(0.0f, std::max(-60.0f, level_db + random.signed_unit()));
            const float gain = sounding ? std::pow(10.0f, level_db / 20.0f) : 0.0f;
            for (uint32_t i = 0; i < BLOCK; ++i) {
                block.in_l[i] = gain * random.signed_unit();
                block.in_r[i] = gain * random.signed_unit();
            }

            const double start = thread_cpu_ns();
            block.run(host);
            cost.push_back(thread_cpu_ns() - start);

            for (uint32_t i = 0; i < BLOCK; ++i) {
                const float l = std::fabs(block.out_l[i]);
                const float r = stereo ? std::fabs(block.out_r[i]) : 0.0f;
                if (!(l < OUTPUT_BOUND && r < OUTPUT_BOUND)) {
                    FAIL() << "minute " << minute << " block " << b << " sample " << i
                           << ": output " << block.out_l[i] << " / " << block.out_r[i];
                }
                peak = std::max(peak, std::max(l, r));
            }
        }
        minute_median.push_back(median(cost));
        if (minute == 0)
            probe_first = drift_probe(host, fresh, block, random);
        if (minute == MINUTES - 1)
            probe_last = drift_probe(host, fresh, block, random);
        if (minute == 0) {
            heap_first = heap_in_use();
            resident_first = resident_bytes();
        }
    }
    const size_t heap_last = heap_in_use();
    const size_t resident_last = resident_bytes();

    std::printf("soak %s: %d min of audio at %u Hz in %ld blocks of %u; output peak %.3f\n",
                stereo ? "stereo" : "mono", MINUTES, RATE, MINUTES * BLOCKS_PER_MINUTE, BLOCK,
                double(peak));
    std::printf("soak %s: median cost per block by minute (us):", stereo ? "stereo" : "mono");
    for (double m : minute_median)
        std::printf(" %.1f", m / 1000.0);
    std::printf("\nsoak %s: last/first minute %.3f; soaked/fresh instance cost %.3f after the "
                "first minute, %.3f after the last\n",
                stereo ? "stereo" : "mono", minute_median.back() / minute_median.front(),
                probe_first, probe_last);
    std::printf("soak %s: heap %zu -> %zu bytes; resident %zu -> %zu kB\n",
                stereo ? "stereo" : "mono", heap_first, heap_last, resident_first / 1024,
                resident_last / 1024);

    EXPECT_LT(probe_first, DRIFT_LIMIT);
    EXPECT_LT(probe_last, DRIFT_LIMIT);
    EXPECT_LT(double(resident_last), double(resident_first) + 1e6);
    if (HEAP_FIGURES_MEANINGFUL) {
        // Freed small blocks the C library keeps cached count as in use; a
        // block obtained per run call would add megabytes.
        EXPECT_LT(double(heap_last), double(heap_first) + 65536.0);
    }
}

}  // namespace

TEST(Soak, MonoTenMinutesOfAutomatedAudio)
{
    soak(false);
}

TEST(Soak, StereoTenMinutesOfAutomatedAudio)
{
    soak(true);
}
