// The choice of path for each new engine.
#include "stage_kernels.h"

extern const StageKernels STAGE_KERNELS_BASELINE;
#if defined(__x86_64__)
extern const StageKernels STAGE_KERNELS_AVX2;
extern const StageKernels STAGE_KERNELS_AVX512;
#endif

namespace {

// Set only by the test hook; the plug-in never writes it.
bool path_forced = false;
StagePath forced_path = StagePath::baseline;

}  // namespace

bool stage_path_available(StagePath path)
{
    switch (path) {
    case StagePath::baseline:
        return true;
    case StagePath::avx2:
#if defined(__x86_64__)
        // Checks the CPU flag and that the operating system saves the
        // 256-bit registers. The init makes the check valid however early
        // it runs.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    case StagePath::avx512:
#if defined(__x86_64__)
        // The same for AVX512F and the 512-bit registers and mask registers.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f");
#else
        return false;
#endif
    }
    return false;
}

const StageKernels* stage_kernels_for(StagePath path)
{
#if defined(__x86_64__)
    if (path == StagePath::avx2)
        return &STAGE_KERNELS_AVX2;
    if (path == StagePath::avx512)
        return &STAGE_KERNELS_AVX512;
#endif
    (void)path;
    return &STAGE_KERNELS_BASELINE;
}

const StageKernels* stage_kernels_select()
{
    if (path_forced)
        return stage_kernels_for(forced_path);
    if (stage_path_available(StagePath::avx512))
        return stage_kernels_for(StagePath::avx512);
    if (stage_path_available(StagePath::avx2))
        return stage_kernels_for(StagePath::avx2);
    return stage_kernels_for(StagePath::baseline);
}

bool stage_path_force(StagePath path)
{
    if (!stage_path_available(path))
        return false;
    path_forced = true;
    forced_path = path;
    return true;
}
