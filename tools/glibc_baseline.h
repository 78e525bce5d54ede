// The oldest symbol version the C library has on each architecture: the
// version its functions carried before any of them changed. strandprobe binds
// the few functions whose newest version is recent (the dynamic loader's,
// which moved into libc in glibc 2.34, and the program start) to this one, so
// the same binary starts on older systems such as Debian 11 (glibc 2.31).
// Every newer glibc still exports these versions, as the same functions.
#ifndef HALVANE_GLIBC_BASELINE_H
#define HALVANE_GLIBC_BASELINE_H

#include <features.h> // defines __GLIBC__ on glibc

#if defined(__GLIBC__) && defined(__x86_64__)
#define GLIBC_BASELINE "GLIBC_2.2.5"
#elif defined(__GLIBC__) && defined(__aarch64__)
#define GLIBC_BASELINE "GLIBC_2.17"
#endif

#endif
