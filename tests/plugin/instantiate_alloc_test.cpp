// reverb_instantiate under memory exhaustion: every allocation refused in
// turn gives a null handle and leaves nothing behind.
#include <gtest/gtest.h>

#include "allocation_watch.h"
#include "reverb_descriptors.h"
#include "reverb_instance.h"

TEST(InstantiateAllocation, EveryRefusedAllocationGivesNullAndLeaksNothing)
{
    int refused = 0;
    for (long refuse_at = 1;; ++refuse_at) {
        allocation_watch.start(refuse_at);
        LV2_Handle handle = reverb_instantiate(&mono_descriptor, 48000.0, "", nullptr);
        allocation_watch.stop();
        if (handle) {
            // Every allocation succeeded: cleanup releases all of them.
            EXPECT_GT(allocation_watch.live, 2);
            reverb_cleanup(handle);
            EXPECT_EQ(allocation_watch.live, 0);
            break;
        }
        ++refused;
        EXPECT_EQ(allocation_watch.live, 0) << "allocation " << refuse_at << " refused";
        ASSERT_LT(refuse_at, 1000);
    }
    EXPECT_GT(refused, 2);
}
