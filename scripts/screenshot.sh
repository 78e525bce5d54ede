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
host_start "$STEREO_URI" --set mix=0.3 --set decay=3.5 --set damping=0.45 --set bandwidth=0.7 \
    --set room_size=120 --set tail_level=0.7 --set decay_tilt=0.2 --set high_band_freq=500 \
    --set low_band_freq=500 --set low_cut=40 --set predelay=35 --set wet_level=0
host_send create show
settle ui
host_send cleanup
host_stop
cp "$work/ui.png" "$out"
echo "$out"
