#!/usr/bin/env bash
# Builds and tests everything under the sanitizers:
#   1. AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer:
#      the library, strandprobe and the whole test suite. Tests that drive
#      the plug-in through real host programs (lilv-utils, the demo) load the
#      sanitized halvane.so into an uninstrumented host, so the sanitizer
#      runtime is preloaded for them and leak checking is left to valgrind
#      (the host programs are not ours to fix). The GUI's tests run here
#      too: the project's own embedding host, instrumented itself, loads the
#      sanitized UI with leak checking on; jalv and the Gtk2 host (label
#      ui_hosts) load it like the other host programs.
#   2. ThreadSanitizer: the parallel-instances test.
# Usage: scripts/sanitize.sh [ASAN-BUILD (default build-asan)] [TSAN-BUILD (default build-tsan)]
set -euo pipefail
cd "$(dirname "$0")/.."
asan=${1:-build-asan}
tsan=${2:-build-tsan}
jobs=$(nproc)

bash scripts/setup.sh

# Left out of the sanitized run, each for its reason:
#   *_NOT_BUILT: test binaries that replace malloc and calloc themselves
#     (allocation-failure and allocation-counting tests); the sanitizers
#     must own the allocator, so these run in the normal build only;
#   the checks of what the shipped library and program link against: the
#     sanitized ones need the sanitizer runtimes, which shipped ones must not;
#   the Debian package and release tests (labels package, release): a
#     package or an archive holds the shipped, unsanitized library;
#   the GUI in jalv.gtk3: with the sanitizer runtime preloaded, jalv.gtk3
#     deadlocks in GTK's start-up (gettext's locale lock), before it loads
#     anything of ours, even for --help; jalv.qt5 and the Gtk2 host still
#     load the sanitized GUI;
#   the comparison under qemu's emulated CPU (label cpu_identity): it
#     checks the shipped library's arithmetic, which the normal run does;
#     the plug-in code it drives runs under the sanitizers in the other tests.
excluded='_NOT_BUILT$|^plugin_library_exports_only_lv2_descriptor$|^StrandprobeBinary\.NeedsOnlyTheCLibraryAndTheLoader$|^ui\.jalv_gtk3\.|^cpu_identity\.'
hosted_labels='hosts|presets|demo|ui_hosts'

echo "== sanitize: AddressSanitizer + UndefinedBehaviorSanitizer in $asan"
cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=Release -DHALVANE_SANITIZE=address,undefined \
    -DBUILD_BENCHMARKS=OFF
cmake --build "$asan" -j"$jobs"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
    ctest --test-dir "$asan" --output-on-failure -j"$jobs" -E "$excluded" -LE "$hosted_labels|package|release"

runtime="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
LD_PRELOAD=$runtime ASAN_OPTIONS=detect_leaks=0 \
    ctest --test-dir "$asan" --output-on-failure -j"$jobs" -E "$excluded" -L "$hosted_labels" -LE "package|release"

echo "== sanitize: ThreadSanitizer in $tsan"
cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=Release -DHALVANE_SANITIZE=thread -DBUILD_BENCHMARKS=OFF
cmake --build "$tsan" -j"$jobs" --target robustness_tests
TSAN_OPTIONS=halt_on_error=1 "$tsan/tests/robustness/robustness_tests" \
    --gtest_filter='ParallelInstances.*'

echo "== sanitize: no findings"
