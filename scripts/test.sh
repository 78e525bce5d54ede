#!/usr/bin/env bash
# Sets up, builds and runs every test. Usage: scripts/test.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/setup.sh test
# Tests on, also in a folder first configured without them (the build and
# demo command does that, for a machine with only the build packages).
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
