#!/usr/bin/env bash
# Renders a demo sound through both halvane plug-ins in a real LV2 host.
#
#   scripts/demo.sh [BUILD_FOLDER [OUTPUT_FOLDER]]     (defaults: build, out/demo)
#
# Makes a short dry sound with sox (drum-like hits, then a plucked chord, then
# silence for the tail to ring into), runs it through the mono and the stereo
# plug-in with lv2apply at their default settings and through the stereo one
# again as a larger hall, and prints the paths of the files it wrote. Needs a
# finished build and the packages scripts/setup.sh installs.
set -euo pipefail

MONO_URI=https://halvane.example.org/lv2/halvane/mono
STEREO_URI=https://halvane.example.org/lv2/halvane/stereo
RATE=48000

fail() {
    echo "demo: $*" >&2
    exit 1
}

build=${1:-build}
out=${2:-out/demo}

for tool in sox lv2apply; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing; run: bash scripts/setup.sh"
done
[ -f "$build/halvane.lv2/halvane.so" ] ||
    fail "no plug-in in $build/halvane.lv2; build first: cmake -S . -B $build && cmake --build $build"

mkdir -p "$out"
build=$(realpath "$build")
out=$(realpath "$out")

# The host sees a folder that holds only the built bundle: pointed at the
# build folder itself, lilv would also report each of its other folders as a
# bundle it cannot read.
hosts_dir=$out/lv2
rm -rf "$hosts_dir"
mkdir -p "$hosts_dir"
ln -s "$build/halvane.lv2" "$hosts_dir/halvane.lv2"
export LV2_PATH=$hosts_dir

# The dry sound, 32-bit float at 48 kHz so nothing clips: kick, snare, hat,
# kick, snare on a half-second grid, then a plucked A major chord and silence
# for the tail. In the stereo version the first snare leans left and the
# second right.
parts=$out/parts
rm -rf "$parts"
mkdir -p "$parts"
piece() {  # piece NAME SECONDS sox-effects...: a mono sound cut or padded to SECONDS
    local name=$1 seconds=$2
    shift 2
    sox -V1 -n -r $RATE -b 32 -e floating-point -c 1 "$parts/$name.wav" "$@" pad 0 "$seconds" trim 0 "$seconds"
}
piece kick 0.5 synth 0.18 sine 110-40 fade q 0.002 0.18 0.17
piece snare 0.5 synth 0.12 pinknoise fade q 0.001 0.12 0.11
piece hat 0.25 synth 0.05 whitenoise vol 0.5 highpass 6000 fade q 0.001 0.05 0.045
sox -V1 -n -r $RATE -b 32 -e floating-point -c 4 "$parts/notes.wav" \
    synth 1.5 pluck A3 pluck C#4 pluck E4 pluck A4 fade q 0 1.5 0.4
sox -V1 "$parts/notes.wav" -c 1 "$parts/chord.wav" remix - pad 0 3

pan() {  # pan NAME LEFT RIGHT: stereo copy of a piece with the given channel gains
    sox -V1 "$parts/$1.wav" -c 2 "$parts/$1_$2_$3.wav" remix 1v"$2" 1v"$3"
}
for name in kick hat chord; do pan $name 1 1; done
pan snare 1 0.3
pan snare 0.3 1

sox -V1 "$parts/kick.wav" "$parts/snare.wav" "$parts/hat.wav" "$parts/kick.wav" "$parts/snare.wav" \
    "$parts/chord.wav" "$out/dry_mono.wav" gain -n -6
sox -V1 "$parts/kick_1_1.wav" "$parts/snare_1_0.3.wav" "$parts/hat_1_1.wav" "$parts/kick_1_1.wav" \
    "$parts/snare_0.3_1.wav" "$parts/chord_1_1.wav" "$out/dry_stereo.wav" gain -n -6
rm -rf "$parts"

render() {  # render URI IN OUT [-c SYMBOL VALUE]...
    local uri=$1 in=$2 result=$3
    shift 3
    lv2apply -i "$in" -o "$result" "$@" "$uri" || fail "lv2apply could not render $result"
}
render $MONO_URI "$out/dry_mono.wav" "$out/halvane_mono.wav"
render $STEREO_URI "$out/dry_stereo.wav" "$out/halvane_stereo.wav"
render $STEREO_URI "$out/dry_stereo.wav" "$out/halvane_stereo_hall.wav" \
    -c room_size 120 -c decay 4 -c predelay 40 -c mix 0.35 -c decay_tilt 0.3

echo "halvane demo, rendered by lv2apply at $RATE Hz (32-bit float WAV):"
echo "  dry mono:               $out/dry_mono.wav"
echo "  through Halvane Mono:   $out/halvane_mono.wav"
echo "  dry stereo:             $out/dry_stereo.wav"
echo "  through Halvane Stereo: $out/halvane_stereo.wav"
echo "  Stereo as a large hall: $out/halvane_stereo_hall.wav"
echo "    (room_size 120 m, decay 4 s, predelay 40 ms, mix 0.35, decay_tilt 0.3)"
