// Test binaries only: HALVANE_TEST_PATH=baseline, avx2 or avx512 makes every
// engine the tests create take that path of the vector stages, through the
// engine's internal hook (the shipped library reads no environment). When
// the CPU lacks the path the binary says so and exits with status 77, which
// ctest reports as skipped.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stage_kernels.h"

namespace {

const bool forced = [] {
    const char* name = std::getenv("HALVANE_TEST_PATH");
    if (!name || !*name)
        return false;
    StagePath path;
    if (std::strcmp(name, "baseline") == 0) {
        path = StagePath::baseline;
    } else if (std::strcmp(name, "avx2") == 0) {
        path = StagePath::avx2;
    } else if (std::strcmp(name, "avx512") == 0) {
        path = StagePath::avx512;
    } else {
        std::fprintf(stderr, "HALVANE_TEST_PATH: unknown path '%s'\n", name);
        std::exit(2);
    }
    if (!stage_path_force(path)) {
        std::printf("skipped: this CPU has no %s path\n", name);
        std::exit(77);
    }
    std::printf("path forced to %s\n", name);
    return true;
}();

}  // namespace
