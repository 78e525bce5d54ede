#include <dlfcn.h>

#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "fp_mode.h"
#include "reverb_descriptors.h"
#include "reverb_run.h"

namespace {

bool ends_with(const char* text, const char* suffix)
{
    const size_t n = std::strlen(text), m = std::strlen(suffix);
    return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

// The contract a host relies on, checked through any lookup function.
void expect_descriptor_contract(const LV2_Descriptor* (*lookup)(uint32_t))
{
    for (uint32_t index : {2u, 1000u, 4294967295u})
        EXPECT_EQ(lookup(index), nullptr) << "index " << index;

    const LV2_Descriptor* mono = lookup(0);
    const LV2_Descriptor* stereo = lookup(1);
    ASSERT_NE(mono, nullptr);
    ASSERT_NE(stereo, nullptr);
    EXPECT_EQ(lookup(1), stereo);
    EXPECT_EQ(lookup(0), mono);
    EXPECT_STREQ(mono->URI, "https://halvane.example.org/lv2/halvane/mono");
    EXPECT_STREQ(stereo->URI, "https://halvane.example.org/lv2/halvane/stereo");
    EXPECT_TRUE(ends_with(mono->URI, "/lv2/halvane/mono"));

    for (const LV2_Descriptor* d : {mono, stereo}) {
        EXPECT_EQ(d->deactivate, nullptr);
        EXPECT_NE(d->instantiate, nullptr);
        EXPECT_NE(d->run, nullptr);
        EXPECT_EQ(d->extension_data(LV2_CORE_URI "#interface"), nullptr);
        EXPECT_EQ(d->extension_data("http://lv2plug.in/ns/ext/state#interface"), nullptr);
    }
    EXPECT_EQ(mono->instantiate, stereo->instantiate);
    EXPECT_EQ(mono->connect_port, stereo->connect_port);
    EXPECT_EQ(mono->activate, stereo->activate);
    EXPECT_EQ(mono->cleanup, stereo->cleanup);
    EXPECT_EQ(mono->extension_data, stereo->extension_data);
    EXPECT_NE(mono->run, stereo->run);
}

}  // namespace

TEST(Descriptors, IndexZeroIsMonoOneIsStereoAndEveryOtherIndexIsNull)
{
    expect_descriptor_contract(reverb_descriptor_for_index);
    EXPECT_EQ(reverb_descriptor_for_index(0), &mono_descriptor);
    EXPECT_EQ(mono_descriptor.run, reverb_run_mono);
    EXPECT_EQ(stereo_descriptor.run, reverb_run_stereo);
}

// The built module, loaded as a host loads it, on a thread of its own with
// the default floating-point mode.
TEST(LoadedLibrary, ExportsTheDescriptorsAndSetsFlushToZeroOnTheLoadingThread)
{
    FpMode mode_after_load = 0;
    void* library = nullptr;
    std::thread loader([&] {
        fp_mode_set(FP_MODE_DEFAULT);
        library = dlopen(HALVANE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        mode_after_load = fp_mode_get();
    });
    loader.join();
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(mode_after_load & FP_MODE_FLUSH, FP_MODE_FLUSH);

    using Lookup = const LV2_Descriptor* (*)(uint32_t);
    auto lookup = reinterpret_cast<Lookup>(dlsym(library, "lv2_descriptor"));
    ASSERT_NE(lookup, nullptr);
    // A first call with an index past the end still leaves 0 and 1 valid.
    EXPECT_EQ(lookup(5), nullptr);
    expect_descriptor_contract(lookup);
    EXPECT_EQ(dlsym(library, "reverb_instantiate"), nullptr);
    dlclose(library);
}
