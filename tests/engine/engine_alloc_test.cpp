// Allocation failure during construction: every allocation failing in turn
// must give a null engine and leave nothing behind.
#include <gtest/gtest.h>

#include "allocation_watch.h"
#include "reverb_engine.h"

namespace {

ReverbEngine* create_watched(long refuse_at)
{
    allocation_watch.start(refuse_at);
    ReverbEngine* engine = reverb_engine_create(48000, 240.0f, 50.0f, 7.0f, 0.5f, 11.8f, 0.5f, 0.5f, 0.5f);
    allocation_watch.stop();
    return engine;
}

}  // namespace

TEST(EngineAllocation, EveryFailedAllocationReleasesWhatWasBuilt)
{
    ReverbEngine* whole = create_watched(0);
    ASSERT_NE(nullptr, whole);
    // The engine, its lines, dampers and diffusers are one block.
    const long needed = allocation_watch.calls;
    EXPECT_EQ(needed, 1);
    reverb_engine_destroy(whole);
    EXPECT_EQ(0, allocation_watch.live) << "destroy leaves blocks behind";

    for (long refused = 1; refused <= needed; ++refused) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(nullptr, create_watched(refused));
        EXPECT_EQ(0, allocation_watch.live);
    }
}
