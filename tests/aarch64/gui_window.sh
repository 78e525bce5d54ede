# shellcheck shell=bash
# The aarch64 GUI library in an aarch64 embedding host: the project's
# ui_host, built for aarch64, runs under qemu-aarch64 over the arm64 root
# and a headless X server, loads halvane_ui.so of this build through
# Debian's arm64 lilv, shows the stereo plug-in's UI and takes its picture
# (aarch64.png in the test's folder). The picture must be drawn (text,
# curves and knobs: many colours) and, where a native x86-64 build is at
# hand, be the x86-64 ui_host's picture of the same UI, pixel for pixel.
# Exits 77 (skipped) when the arm64 root is missing.
#
# Environment, besides ui_common.sh's: ROOT (scripts/arm64_root.sh),
# NATIVE_BUILD (a native x86-64 build folder, optional).
[ -x "$ROOT/usr/bin/lv2file" ] || { echo "SKIPPED: no arm64 root at $ROOT (make it with scripts/arm64_root.sh)"; exit 77; }
command -v qemu-aarch64 >/dev/null || { echo "SKIPPED: qemu-aarch64 is missing (package qemu-user)"; exit 77; }
# shellcheck source=../ui/ui_common.sh
source "$(dirname "$0")/../ui/ui_common.sh"
require_tools convert compare
start_xvfb

UI_HOST_WRAPPER="qemu-aarch64 -L $ROOT" make_reference "$STEREO_URI"
mv "$work/reference.png" "$work/aarch64.png"
grep -q "instantiate null" "$work/host.log" && fail "the aarch64 UI did not instantiate: $(cat "$work/host.err")"
n=$(colours "$work/aarch64.png")
echo "aarch64: $(identify -format '%wx%h' "$work/aarch64.png"), $n colours: $work/aarch64.png"
((n > 32)) || fail "the aarch64 UI's window is blank or nearly so ($n colours)"

native_host=${NATIVE_BUILD:-}/tests/ui/ui_host
if [ ! -x "$native_host" ]; then
    echo "no native x86-64 build at ${NATIVE_BUILD:-(none)}: the picture is not compared with x86-64's"
    exit 0
fi
use_clean_lv2_path "$NATIVE_BUILD"
UI_HOST=$native_host make_reference "$STEREO_URI"
mv "$work/reference.png" "$work/x86_64.png"
n=$(differing_pixels "$work/x86_64.png" "$work/aarch64.png")
[ "$n" = 0 ] || fail "$n pixels of the aarch64 UI's picture differ from x86-64's ($work/x86_64.png)"
echo "the aarch64 UI draws the x86-64 UI's picture, pixel for pixel"
