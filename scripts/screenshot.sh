#!/usr/bin/env bash
# Takes a screenshot of the GUI, Halvane Stereo at the Large hall preset's
# settings, under a headless X server (Xvfb), in the test suite's own
# embedding host. Needs a build with the tests (ui_host).
# Usage: scripts/screenshot.sh [BUILD (default build)] [PNG (default docs/ui.png)]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-docs/ui.png}")
[ -x "$build/tests/ui/ui_host" ] || { echo "no $build/tests/ui/ui_host: build first (cmake --build $build)" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

export LV2_PATH=$build UI_HOST=$build/tests/ui/ui_host
HOST_TEST_WORK=$(mktemp -d)
export HOST_TEST_WORK
# shellcheck source=../tests/ui/ui_common.sh
source tests/ui/ui_common.sh
trap 'stop_started; rm -rf "$HOST_TEST_WORK"' EXIT
start_xvfb
# The preset's values as the bundle's presets.ttl gives them.
settings=()
for pair in $(bash scripts/preset_controls.sh "$build/halvane.lv2/presets.ttl" "$STEREO_URI" |
    awk -F'\t' '$1 ~ /\/large-hall$/ { print $4 }'); do
    settings+=(--set "$pair")
done
[ ${#settings[@]} -gt 0 ] || { echo "the bundle has no Large hall preset" >&2; exit 1; }
host_start "$STEREO_URI" "${settings[@]}"
host_send create show
settle ui
host_send cleanup
host_stop
cp "$work/ui.png" "$out"
echo "$out"
