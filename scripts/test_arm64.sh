#!/usr/bin/env bash
# Cross-builds everything for aarch64 and runs its tests under qemu-aarch64:
# the engine, plug-in, GUI-model and robustness suites (the soak aside), the
# checks of both libraries, the aarch64 column of the CPU-identity scenarios
# against a native x86-64 build, and the GUI drawn in an aarch64 host.
# Usage: scripts/test_arm64.sh [arm64-build-folder] [native-build-folder]
#        (defaults build-arm64 and build; the native build must be built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-arm64}
native=$(realpath "${2:-build}")
root=$(realpath -m "${HALVANE_ARM64_ROOT:-build-arm64-root}")

start=$SECONDS
bash scripts/arm64_root.sh "$root"
echo "test_arm64: arm64 root ready in $((SECONDS - start)) s"
start=$SECONDS
cmake -S . -B "$build" --toolchain cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release \
      -DHALVANE_ARM64_ROOT="$root" -DHALVANE_NATIVE_BUILD="$native" -DBUILD_BENCHMARKS=OFF
cmake --build "$build" -j"$(nproc)"
echo "test_arm64: aarch64 build in $((SECONDS - start)) s"
start=$SECONDS
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE soak
echo "test_arm64: aarch64 tests under qemu in $((SECONDS - start)) s"
