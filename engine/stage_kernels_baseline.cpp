// The stages of the baseline path: SSE2 on x86-64, NEON on aarch64.
#include "lanes_baseline.h"
#include "stretch_stages.h"

extern const StageKernels STAGE_KERNELS_BASELINE = stage_kernels<BaselineLanes>();
