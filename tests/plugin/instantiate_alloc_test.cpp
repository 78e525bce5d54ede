// reverb_instantiate under memory exhaustion: malloc and calloc are replaced
// in this binary so that a chosen allocation fails, and every block obtained
// while armed is tracked until it is released.
#include <cstddef>
#include <cstdlib>

#include <gtest/gtest.h>

#include "reverb_descriptors.h"
#include "reverb_instance.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void __libc_free(void* block);

namespace {

constexpr int MAX_TRACKED = 4096;
bool armed = false;
int allocations = 0;  // counted while armed
int fail_at = 0;      // 1-based allocation to refuse
void* live[MAX_TRACKED];
int live_count = 0;

void* track(void* block)
{
    if (block && live_count < MAX_TRACKED)
        live[live_count++] = block;
    return block;
}

bool refuse_this_one()
{
    return ++allocations == fail_at;
}

}  // namespace

extern "C" void* malloc(size_t size)
{
    if (!armed)
        return __libc_malloc(size);
    return refuse_this_one() ? nullptr : track(__libc_malloc(size));
}

extern "C" void* calloc(size_t count, size_t size)
{
    if (!armed)
        return __libc_calloc(count, size);
    return refuse_this_one() ? nullptr : track(__libc_calloc(count, size));
}

extern "C" void free(void* block)
{
    for (int i = 0; i < live_count; ++i)
        if (live[i] == block) {
            live[i] = live[--live_count];
            break;
        }
    __libc_free(block);
}

TEST(InstantiateAllocation, EveryRefusedAllocationGivesNullAndLeaksNothing)
{
    int refused = 0;
    for (fail_at = 1;; ++fail_at) {
        allocations = 0;
        live_count = 0;
        armed = true;
        LV2_Handle handle = reverb_instantiate(&mono_descriptor, 48000.0, "", nullptr);
        armed = false;
        if (handle) {
            // Every allocation succeeded: cleanup releases all of them.
            EXPECT_GT(live_count, 2);
            reverb_cleanup(handle);
            EXPECT_EQ(live_count, 0);
            break;
        }
        ++refused;
        EXPECT_EQ(live_count, 0) << "allocation " << fail_at << " refused";
        ASSERT_LT(fail_at, 1000);
    }
    EXPECT_GT(refused, 2);
}
