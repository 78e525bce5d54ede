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
    if (path == StagePath::baseline)
        return true;
#if defined(__x86_64__)
    // Each check covers the CPU flag and that the operating system saves the
    // path's registers (256-bit for AVX2; 512-bit and mask registers for
    // AVX512F). The init makes the checks valid however early they run.
    __builtin_cpu_init();
    if (path == StagePath::avx2)
        return __builtin_cpu_supports("avx2");
    if (path == StagePath::avx512)
        return __builtin_cpu_supports("avx512f");
#endif
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
