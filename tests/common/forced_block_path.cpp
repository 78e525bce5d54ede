// Test binaries only: HALVANE_TEST_BLOCK_PATH=sse2 or avx2 makes every
// engine the tests create take that instruction-set path, through the
// engine's internal hook (the shipped library reads no environment). When
// the CPU lacks the path the binary says so and exits with status 77, which
// ctest reports as skipped.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "block_kernels.h"

namespace {

const bool forced = [] {
    const char* name = std::getenv("HALVANE_TEST_BLOCK_PATH");
    if (!name || !*name)
        return false;
    BlockPath path;
    if (std::strcmp(name, "sse2") == 0) {
        path = BlockPath::sse2;
    } else if (std::strcmp(name, "avx2") == 0) {
        path = BlockPath::avx2;
    } else {
        std::fprintf(stderr, "HALVANE_TEST_BLOCK_PATH: unknown path '%s'\n", name);
        std::exit(2);
    }
    if (!block_path_force(path)) {
        std::printf("skipped: this CPU has no %s path\n", name);
        std::exit(77);
    }
    std::printf("block path forced to %s\n", name);
    return true;
}();

}  // namespace
