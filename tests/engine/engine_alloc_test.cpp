// Allocation failure during construction: every failing allocation, in
// turn, must give a null engine and leave nothing behind. The C allocator is
// interposed in this test binary to fail on request and count blocks.
#include <gtest/gtest.h>

#include <cstddef>

#include "reverb_engine.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void __libc_free(void* block);

namespace {
bool watching = false;
int allocations_left = 0;  // allocations that still succeed while watching
int live_blocks = 0;
int total_allocations = 0;

bool allow_allocation()
{
    if (!watching)
        return true;
    if (allocations_left == 0)
        return false;
    --allocations_left;
    return true;
}
}  // namespace

extern "C" void* malloc(size_t size)
{
    if (!allow_allocation())
        return nullptr;
    void* block = __libc_malloc(size);
    if (watching && block) {
        ++live_blocks;
        ++total_allocations;
    }
    return block;
}

extern "C" void* calloc(size_t count, size_t size)
{
    if (!allow_allocation())
        return nullptr;
    void* block = __libc_calloc(count, size);
    if (watching && block) {
        ++live_blocks;
        ++total_allocations;
    }
    return block;
}

extern "C" void free(void* block)
{
    if (watching && block)
        --live_blocks;
    __libc_free(block);
}

namespace {
ReverbEngine* create_watched(int allowed)
{
    live_blocks = 0;
    total_allocations = 0;
    allocations_left = allowed;
    watching = true;
    ReverbEngine* engine =
        reverb_engine_create(48000, 240.0f, 50.0f, 7.0f, 0.5f, 11.8f, 0.5f, 0.5f, 0.5f);
    watching = false;
    return engine;
}
}  // namespace

TEST(EngineAllocation, EveryFailedAllocationReleasesWhatWasBuilt)
{
    ReverbEngine* whole = create_watched(1 << 30);
    ASSERT_NE(nullptr, whole);
    // The engine, its lines, dampers and diffusers are one block.
    const int needed = total_allocations;
    EXPECT_EQ(needed, 1);
    watching = true;
    reverb_engine_destroy(whole);
    watching = false;
    EXPECT_EQ(0, live_blocks) << "destroy leaves blocks behind";

    for (int allowed = 0; allowed < needed; ++allowed) {
        SCOPED_TRACE(allowed);
        EXPECT_EQ(nullptr, create_watched(allowed));
        EXPECT_EQ(0, live_blocks);
    }
}
