// The run operations obtain no heap memory, for any block length: every
// allocation function of the C library and of C++ is replaced in this binary
// and counted while a run call is in progress. The same counters give the
// memory an instance holds, which the test prints.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "allocation_watch.h"
#include "plugin_harness.h"

TEST(RunAllocation, RunObtainsNoHeapMemoryForAnyBlockLength)
{
    // The counters see an allocation made while counting.
    allocation_watch.start();
    void* volatile probe = std::malloc(16);
    allocation_watch.stop();
    std::free(probe);
    ASSERT_EQ(1, allocation_watch.calls);

    // Noise on both inputs keeps the reverb working; inputs that cancel (the
    // stereo sum, or the mono input, is silent) leave a fresh instance on
    // its idle path.
    for (bool stereo : {false, true}) {
        for (bool cancelling : {false, true}) {
            for (uint32_t frames : {1u, 63u, 64u, 65u, 4096u, 1000000u}) {
                SCOPED_TRACE(testing::Message() << (stereo ? "stereo " : "mono ")
                                                << (cancelling ? "cancelling " : "noise ") << frames);
                Plugin plugin(48000.0, stereo);
                AudioBlock block(frames);
                block.in_l = noise(frames, 99);
                block.in_r = noise(frames, 98);
                for (size_t i = 0; cancelling && i < frames; ++i) {
                    block.in_r[i] = -block.in_l[i];
                    if (!stereo)
                        block.in_l[i] = 0.0f;
                }
                allocation_watch.start();
                block.run(plugin);
                plugin.run(block.in_l.data(), block.in_r.data(), block.out_l.data(), block.out_r.data(), 0);
                block.run(plugin);
                allocation_watch.stop();
                EXPECT_EQ(0, allocation_watch.calls);
            }
        }
    }
}

TEST(RunAllocation, InstanceMemoryAt48kHz)
{
    allocation_watch.start();
    LV2_Handle handle = stereo_descriptor.instantiate(&stereo_descriptor, 48000.0, "", nullptr);
    allocation_watch.stop();
    ASSERT_NE(nullptr, handle);
    const size_t bytes = allocation_watch.bytes;
    std::printf("instance at 48000 Hz: %zu bytes in %ld allocations\n", bytes, allocation_watch.calls);
    // Two engines of four 34882-sample feedback lines, a 44000-sample tap
    // line and seven diffusers, plus the record with its pre-delay memory.
    EXPECT_LT(bytes, size_t(2) << 20);
    EXPECT_GT(bytes, size_t(1) << 20);
    stereo_descriptor.cleanup(handle);
}
