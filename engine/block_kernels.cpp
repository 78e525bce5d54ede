#include "block_kernels.h"

extern const BlockKernels BLOCK_KERNELS_SSE2;
#if defined(__x86_64__)
extern const BlockKernels BLOCK_KERNELS_AVX2;
#endif

namespace {

// Set only by the test hook; the plug-in never writes it.
bool path_forced = false;
BlockPath forced_path = BlockPath::sse2;

}  // namespace

bool block_path_available(BlockPath path)
{
    switch (path) {
    case BlockPath::sse2:
        return true;
    case BlockPath::avx2:
#if defined(__x86_64__)
        // Checks the CPU flag and that the operating system saves the
        // 256-bit registers. The init makes the check valid however early
        // it runs.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

const BlockKernels* block_kernels_for(BlockPath path)
{
#if defined(__x86_64__)
    if (path == BlockPath::avx2)
        return &BLOCK_KERNELS_AVX2;
#else
    (void)path;
#endif
    return &BLOCK_KERNELS_SSE2;
}

const BlockKernels* block_kernels_select()
{
    if (path_forced)
        return block_kernels_for(forced_path);
    return block_kernels_for(block_path_available(BlockPath::avx2) ? BlockPath::avx2
                                                                   : BlockPath::sse2);
}

bool block_path_force(BlockPath path)
{
    if (!block_path_available(path))
        return false;
    path_forced = true;
    forced_path = path;
    return true;
}
