// The run operations obtain no heap memory, for any block length: every
// allocation function of the C library and of C++ is replaced in this binary
// and counted while a run call is in progress. The same counters give the
// memory an instance holds, which the test prints.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "control_ports.h"
#include "reverb_descriptors.h"
#include "reverb_instance.h"
#include "reverb_run.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void* __libc_memalign(size_t alignment, size_t size);

namespace {
bool counting = false;
long calls = 0;
size_t bytes = 0;

void note(size_t size)
{
    if (counting) {
        ++calls;
        bytes += size;
    }
}
}  // namespace

extern "C" void* malloc(size_t size)
{
    note(size);
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size)
{
    note(count * size);
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size)
{
    note(size);
    return __libc_realloc(block, size);
}
extern "C" void* aligned_alloc(size_t alignment, size_t size)
{
    note(size);
    return __libc_memalign(alignment, size);
}
extern "C" int posix_memalign(void** out, size_t alignment, size_t size)
{
    note(size);
    *out = __libc_memalign(alignment, size);
    return *out ? 0 : 12;
}
void* operator new(size_t size)
{
    note(size);
    if (void* block = __libc_malloc(size))
        return block;
    throw std::bad_alloc();
}
void* operator new[](size_t size)
{
    return operator new(size);
}

namespace {

struct Wired {
    LV2_Handle handle;
    float controls[CONTROL_PORT_COUNT];
    std::vector<float> in_l, in_r, out_l, out_r;

    Wired(const LV2_Descriptor* descriptor, size_t block)
        : handle(descriptor->instantiate(descriptor, 48000.0, "", nullptr)),
          in_l(block), in_r(block), out_l(block), out_r(block)
    {
        for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p) {
            controls[p] = CONTROL_RANGES[p].default_value;
            descriptor->connect_port(handle, p, &controls[p]);
        }
        descriptor->connect_port(handle, PORT_IN_L, in_l.data());
        descriptor->connect_port(handle, PORT_OUT_L, out_l.data());
        descriptor->connect_port(handle, PORT_IN_R, in_r.data());
        descriptor->connect_port(handle, PORT_OUT_R, out_r.data());
        descriptor->activate(handle);
        uint32_t seed = 99u;
        for (size_t i = 0; i < block; ++i) {
            seed = seed * 1664525u + 1013904223u;
            in_l[i] = float(int32_t(seed)) * 0x1p-31f;
            in_r[i] = -in_l[i];
        }
    }
};

}  // namespace

TEST(RunAllocation, RunObtainsNoHeapMemoryForAnyBlockLength)
{
    // The counters see an allocation made while counting.
    calls = 0;
    counting = true;
    void* volatile probe = std::malloc(16);
    counting = false;
    std::free(probe);
    ASSERT_EQ(1, calls);

    for (const LV2_Descriptor* descriptor : {&mono_descriptor, &stereo_descriptor}) {
        for (uint32_t block : {1u, 63u, 64u, 65u, 4096u, 1000000u}) {
            Wired wired(descriptor, block);
            calls = 0;
            counting = true;
            descriptor->run(wired.handle, block);
            descriptor->run(wired.handle, 0);
            descriptor->run(wired.handle, block);
            counting = false;
            EXPECT_EQ(0, calls) << descriptor->URI << " block " << block;
            descriptor->cleanup(wired.handle);
        }
    }
}

TEST(RunAllocation, InstanceMemoryAt48kHz)
{
    calls = 0;
    bytes = 0;
    counting = true;
    LV2_Handle handle = stereo_descriptor.instantiate(&stereo_descriptor, 48000.0, "", nullptr);
    counting = false;
    ASSERT_NE(nullptr, handle);
    std::printf("instance at 48000 Hz: %zu bytes in %ld allocations\n", bytes, calls);
    // Two engines of four 34882-sample feedback lines, a 44000-sample tap
    // line and seven diffusers, plus the record with its pre-delay memory.
    EXPECT_LT(bytes, size_t(2) << 20);
    EXPECT_GT(bytes, size_t(1) << 20);
    stereo_descriptor.cleanup(handle);
}
