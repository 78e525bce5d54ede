// strandprobe's start, made to work with glibc older than 2.34.
//
// Since glibc 2.34 the start files pass no initialiser to
// __libc_start_main and bind it to the GLIBC_2.34 version, which expects to
// find the program's constructors itself; an older glibc refuses that
// version. The program is linked with --wrap=__libc_start_main, so the start
// files call the function below instead, which calls the baseline version
// with an initialiser that runs the constructors as the start files of old
// did (_init, then .init_array). Every glibc runs a given initialiser; the
// dynamic loader runs .preinit_array and, at exit, the destructors. Where
// glibc has no such baseline here, the wrapper passes the call on unchanged.

#include "glibc_baseline.h"

namespace {

using MainFunction = int (*)(int, char **, char **);
using Initialiser = void (*)(int, char **, char **);

} // namespace

extern "C" {

#ifdef GLIBC_BASELINE

// Marks the constructors of the program; provided by the linker.
extern Initialiser __init_array_start[] __attribute__((visibility("hidden")));
extern Initialiser __init_array_end[] __attribute__((visibility("hidden")));
// The .init section's function, from the C library's start files.
void _init();

int libc_start_main_baseline(MainFunction main, int argc, char **argv, Initialiser init,
                             void (*fini)(), void (*rtld_fini)(), void *stack_end);
__asm__(".symver libc_start_main_baseline,__libc_start_main@" GLIBC_BASELINE);

static void run_constructors(int argc, char **argv, char **envp)
{
    _init();
    for (Initialiser *constructor = __init_array_start; constructor != __init_array_end; ++constructor)
        (*constructor)(argc, argv, envp);
}

int __wrap___libc_start_main(MainFunction main, int argc, char **argv, Initialiser init,
                             void (*fini)(), void (*rtld_fini)(), void *stack_end)
{
    // Start files from before glibc 2.34 bring an initialiser of their own.
    return libc_start_main_baseline(main, argc, argv, init != nullptr ? init : run_constructors,
                                    fini, rtld_fini, stack_end);
}

#else

int __real___libc_start_main(MainFunction main, int argc, char **argv, Initialiser init,
                             void (*fini)(), void (*rtld_fini)(), void *stack_end);

int __wrap___libc_start_main(MainFunction main, int argc, char **argv, Initialiser init,
                             void (*fini)(), void (*rtld_fini)(), void *stack_end)
{
    return __real___libc_start_main(main, argc, argv, init, fini, rtld_fini, stack_end);
}

#endif

} // extern "C"
