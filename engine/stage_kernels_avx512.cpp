// The stages of the AVX-512 path (x86-64), the only file built for AVX-512;
// what it includes is internal to it, so no other file runs its
// instructions.
// GCC 12's AVX-512 intrinsics leave the unused half of a register undefined
// on purpose (a variable initialised from itself), which it then reports as
// maybe uninitialised where they are inlined; later GCCs do not.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "lanes_avx512.h"
#include "stretch_stages.h"

extern const StageKernels STAGE_KERNELS_AVX512 = stage_kernels<Avx512Lanes>();
