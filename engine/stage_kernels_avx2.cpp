// The stages of the AVX2 path (x86-64), the only file built for AVX2; what
// it includes is internal to it, so no other file runs its instructions.
#include "lanes_avx2.h"
#include "stretch_stages.h"

extern const StageKernels STAGE_KERNELS_AVX2 = stage_kernels<Avx2Lanes>();
