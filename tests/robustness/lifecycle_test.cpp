// The host lifecycle from the plug-in's side: every order of calls the LV2
// rules allow gives the output the plain order gives, touches no memory the
// host did not hand over for the current call, and leaves nothing behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "plugin_harness.h"

namespace {

constexpr uint32_t BLOCK = 256;
const float CANARY = -1234.5f;

// Make-and-destroy cycles per memory check, and the heap growth they may
// show: freed small blocks the C library keeps in its per-thread caches
// still count as in use, a few kilobytes at most. A leak of even the
// smallest block per cycle exceeds it; valgrind and LeakSanitizer check for
// leaks exactly.
constexpr int CYCLES = 1000;
constexpr long HEAP_SLACK = 4096;

// Heap growth over `cycles` calls of `cycle(k)`, after a few to warm up;
// 0 where the sanitizers own the allocator.
template <typename Cycle>
long heap_growth(int cycles, Cycle cycle)
{
    for (int k = 0; k < 6; ++k)
        cycle(k);
    const size_t before = heap_in_use();
    for (int k = 0; k < cycles; ++k)
        cycle(k);
    return HEAP_FIGURES_MEANINGFUL ? long(heap_in_use()) - long(before) : 0;
}

// Runs `blocks` blocks of noise through a fresh, activated instance with
// mix 0.5 and returns the left (or mono) and the right outputs end to end.
// `between` runs before every block and may call anything the host may.
template <typename Between>
std::vector<float> render(bool stereo, int blocks, Between between)
{
    Plugin host(48000.0, stereo);
    host[PORT_MIX] = 0.5f;
    std::vector<float> all;
    for (int b = 0; b < blocks; ++b) {
        between(host, b);
        AudioBlock block(BLOCK);
        block.in_l = noise(BLOCK, 10 + b);
        block.in_r = noise(BLOCK, 500 + b);
        block.run(host);
        all.insert(all.end(), block.out_l.begin(), block.out_l.end());
        if (stereo)
            all.insert(all.end(), block.out_r.begin(), block.out_r.end());
    }
    return all;
}

std::vector<float> render_plain(bool stereo, int blocks)
{
    return render(stereo, blocks, [](Plugin&, int) {});
}

}  // namespace

TEST(Lifecycle, CleanupRightAfterInstantiateReleasesEverything)
{
    for (bool stereo : {false, true}) {
        for (double rate : {1000.0, 44100.0, 192000.0, 768000.0}) {
            SCOPED_TRACE(testing::Message() << (stereo ? "stereo " : "mono ") << rate);
            const LV2_Descriptor* d = stereo ? &stereo_descriptor : &mono_descriptor;
            const long growth = heap_growth(CYCLES / 4, [&](int) {
                LV2_Handle h = d->instantiate(d, rate, "", nullptr);
                ASSERT_NE(h, nullptr);
                d->cleanup(h);
            });
            EXPECT_LT(growth, HEAP_SLACK);
        }
    }
}

TEST(Lifecycle, ActivatingAgainAndAgainEqualsActivatingOnce)
{
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo" : "mono");
        // Twice before the first run.
        const std::vector<float> once = render_plain(stereo, 8);
        EXPECT_EQ(first_difference(once, render(stereo, 8, [](Plugin& h, int b) {
                                       if (b == 0)
                                           h.activate();
                                   })),
                  -1);
        // After some runs: once, or three times in a row, gives the same.
        const auto reactivate = [](int times) {
            return [times](Plugin& h, int b) {
                if (b == 5)
                    for (int k = 0; k < times; ++k)
                        h.activate();
            };
        };
        EXPECT_EQ(first_difference(render(stereo, 12, reactivate(1)),
                                   render(stereo, 12, reactivate(3))),
                  -1);
    }
}

// A host may hand over new buffers for every block and move its control
// values: the output depends only on the values, and the plug-in never
// writes to a buffer it was given for an earlier block.
TEST(Lifecycle, ReconnectingPortsBetweenRunsChangesOnlyWhereDataGoes)
{
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo" : "mono");
        std::vector<std::unique_ptr<float[]>> moved_controls;
        std::vector<std::unique_ptr<AudioBlock>> old_blocks;
        std::vector<float> moved;
        {
            Plugin host(48000.0, stereo);
            host[PORT_MIX] = 0.5f;
            for (int b = 0; b < 8; ++b) {
                // Control values at a new address each block, same values.
                std::unique_ptr<float[]> cells(new float[CONTROL_PORT_COUNT]);
                for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
                    cells[p] = host.controls[p];
                    host.connect(p, &cells[p]);
                }
                moved_controls.push_back(std::move(cells));
                // The earlier blocks' outputs hold a canary the plug-in must leave.
                for (auto& old : old_blocks) {
                    std::fill(old->out_l.begin(), old->out_l.end(), CANARY);
                    std::fill(old->out_r.begin(), old->out_r.end(), CANARY);
                }
                auto block = std::make_unique<AudioBlock>(BLOCK);
                block->in_l = noise(BLOCK, 10 + b);
                block->in_r = noise(BLOCK, 500 + b);
                block->run(host);
                moved.insert(moved.end(), block->out_l.begin(), block->out_l.end());
                if (stereo)
                    moved.insert(moved.end(), block->out_r.begin(), block->out_r.end());
                for (auto& old : old_blocks)
                    for (uint32_t i = 0; i < BLOCK; ++i)
                        ASSERT_TRUE(old->out_l[i] == CANARY && old->out_r[i] == CANARY)
                            << "a run wrote to the buffer of an earlier block";
                old_blocks.push_back(std::move(block));
            }
        }
        EXPECT_EQ(first_difference(moved, render_plain(stereo, 8)), -1);
    }
}

// Zero-length runs between blocks, with empty buffers connected, change
// nothing the following blocks produce and touch no audio memory (the
// sanitizers see any access to the empty buffers).
TEST(Lifecycle, ZeroLengthRunsChangeNothing)
{
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo" : "mono");
        const auto zero_runs = [](Plugin& h, int) {
            for (int k = 0; k < 3; ++k) {
                std::unique_ptr<float[]> empty[4];
                for (auto& e : empty)
                    e.reset(new float[0]);
                h.run(empty[0].get(), empty[1].get(), empty[2].get(), empty[3].get(), 0);
            }
        };
        EXPECT_EQ(first_difference(render(stereo, 10, zero_runs), render_plain(stereo, 10)), -1);
    }
}

// The mono plug-in has no ports 14 and 15 and nothing has ports from 16 up;
// connecting them (to poison, to canaries, to null) changes nothing.
TEST(Lifecycle, MonoIgnoresPorts14And15AndEveryIndexBeyond)
{
    std::vector<float> poison(BLOCK, NAN), canary(BLOCK, CANARY);
    const auto stray = [&](Plugin& h, int b) {
        h.connect(14, poison.data());
        h.connect(15, canary.data());
        for (uint32_t port : {16u, 17u, 255u, 0xffffffffu})
            h.connect(port, b % 2 ? nullptr : canary.data());
    };
    EXPECT_EQ(first_difference(render(false, 8, stray), render_plain(false, 8)), -1);
    for (float v : canary)
        ASSERT_EQ(v, CANARY);
}

// A finite input so large that the input filter would overflow on it is
// kept out of the reverb like a NaN: the reverb keeps sounding afterwards
// instead of falling silent until the next activate.
TEST(Lifecycle, HugeFiniteInputDoesNotSilenceTheReverb)
{
    for (bool stereo : {false, true}) {
        for (float huge : {3e38f, -1e37f, 1e35f}) {
            SCOPED_TRACE(testing::Message() << (stereo ? "stereo " : "mono ") << huge);
            Plugin host(48000.0, stereo), twin(48000.0, stereo);
            host[PORT_MIX] = twin[PORT_MIX] = 1.0f;
            // The same noise to both, and in block 3 a spike to one of them
            // where the other gets 0.
            for (int b = 0; b < 40; ++b) {
                AudioBlock block(BLOCK), twin_block(BLOCK);
                block.in_l = twin_block.in_l = noise(BLOCK, 70 + b);
                block.in_r = twin_block.in_r = noise(BLOCK, 90 + b);
                if (b == 3) {
                    // The twin's reverb input there is 0 (its stereo sum too).
                    block.in_l[17] = huge;
                    twin_block.in_l[17] = stereo ? -twin_block.in_r[17] : 0.0f;
                }
                block.run(host);
                twin_block.run(twin);
                for (uint32_t i = 0; i < BLOCK; ++i)
                    ASSERT_TRUE(std::isfinite(block.out_l[i]) && std::isfinite(block.out_r[i]))
                        << "block " << b << " sample " << i;
                if (b > 3) {
                    // With mix 1 the output is all reverb: it must match the
                    // twin that never saw the spike.
                    EXPECT_EQ(first_difference(block.out_l, twin_block.out_l), -1) << "block " << b;
                }
            }
        }
    }
}

// A thousand instances made, run and destroyed, of both plug-ins at several
// rates: the heap ends where it started and the resident memory stays put.
TEST(Lifecycle, ManyInstancesLeaveNoMemoryBehind)
{
    const double rates[] = {44100.0, 48000.0, 96000.0};
    const size_t resident_before = resident_bytes();
    const long growth = heap_growth(CYCLES, [&](int k) {
        Plugin host(rates[k % 3], k % 2 == 1);
        ASSERT_NE(host.self, nullptr);
        AudioBlock block(512);
        block.in_l = noise(512, k);
        block.in_r = noise(512, k + 1);
        block.run(host);
        if (k % 5 == 0)
            host.activate();
    });
    const size_t resident_after = resident_bytes();
    std::printf("%d instances: heap grew by %ld bytes, resident %zu -> %zu kB\n", CYCLES, growth,
                resident_before / 1024, resident_after / 1024);
    EXPECT_LT(growth, HEAP_SLACK);
    if (HEAP_FIGURES_MEANINGFUL) {
        // Resident memory may move by what the allocator keeps cached, never
        // by anything like a thousand instances (each is several megabytes).
        EXPECT_LT(double(resident_after), double(resident_before) + 16e6);
    }
}
