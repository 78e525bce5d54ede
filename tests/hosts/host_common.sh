# shellcheck shell=bash disable=SC2154  # probe() assigns the probe_* variables
# Helpers shared by the host tests. Each test script sources this file.
#
# Environment, set by CTest:
#   LV2_PATH        the build folder, which holds halvane.lv2
#   WAV_PROBE       the wav_probe program
#   HOST_TEST_WORK  a scratch folder of this test's own
#   LV2_SPEC_DIR    where the LV2 specification bundles live (default /usr/lib/lv2)

set -u

MONO_URI=https://halvane.example.org/lv2/halvane/mono
STEREO_URI=https://halvane.example.org/lv2/halvane/stereo

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 ||
            fail "'$tool' is not installed (packages: lv2-dev lilv-utils sordi sox)"
    done
}

uri_of() {
    case "$1" in
        mono) echo "$MONO_URI" ;;
        stereo) echo "$STEREO_URI" ;;
        *) fail "unknown variant '$1'" ;;
    esac
}

# The build folder holds much besides the bundle, and lilv reports every
# folder there that is not a bundle. The tests point hosts at a folder that
# holds only the built bundle and the LV2 specification bundles the
# description refers to (so hosts know that a ReverbPlugin is a plug-in
# class, and know the units and port groups), never at installed plug-ins.
use_clean_lv2_path() {
    local build_dir=$1 spec_dir=${LV2_SPEC_DIR:-/usr/lib/lv2} host_dir=$HOST_TEST_WORK/lv2 spec
    [ -f "$build_dir/halvane.lv2/halvane.so" ] ||
        fail "no built plug-in at $build_dir/halvane.lv2/halvane.so"
    [ -d "$spec_dir/core.lv2" ] || fail "no LV2 specification bundles in $spec_dir"
    rm -rf "$host_dir"
    mkdir -p "$host_dir"
    ln -s "$build_dir/halvane.lv2" "$host_dir/halvane.lv2"
    for spec in core port-groups port-props units; do
        ln -s "$spec_dir/$spec.lv2" "$host_dir/$spec.lv2"
    done
    export LV2_PATH=$host_dir
}

# probe FILE [START END]: reads FILE with wav_probe into the variables
# probe_frames, probe_channels, probe_rate, probe_nonfinite, probe_peak and
# probe_rms_0, probe_rms_1, ... (RMS of each channel between START and END
# seconds, or over the whole file).
probe() {
    local key value output
    output=$("$WAV_PROBE" "$@") || fail "wav_probe could not read $1"
    while IFS='=' read -r key value; do
        printf -v "probe_$key" '%s' "$value"
    done <<<"$output"
}

# float_cmp A OP B: true when the comparison holds, with OP one of < > <= >=.
float_cmp() {
    awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN {
        if (op == "<") exit !(a < b); if (op == ">") exit !(a > b)
        if (op == "<=") exit !(a <= b); if (op == ">=") exit !(a >= b); exit 2 }'
}

# make_dry_sound FILE RATE CHANNELS: 0.3 s of a plucked four-note chord at
# -6 dBFS, then 2.2 s of silence in which only a reverb tail can sound. The
# stereo file carries the sound on the left channel only. 32-bit float, so
# hosts pass NaN and infinity through to the checks.
make_dry_sound() {
    local file=$1 rate=$2 channels=$3 remix=()
    [ "$channels" = 2 ] && remix=(remix 1 0)
    sox -q -n -r "$rate" -b 32 -e floating-point -c 4 "$HOST_TEST_WORK/notes.wav" \
        synth 0.3 pluck C4 pluck E4 pluck G4 pluck C5 ||
        fail "sox could not make the notes"
    sox -q "$HOST_TEST_WORK/notes.wav" -c 1 "$HOST_TEST_WORK/chord.wav" remix - gain -n -6 ||
        fail "sox could not mix the chord"
    sox -q "$HOST_TEST_WORK/chord.wav" -c "$channels" "$file" "${remix[@]}" pad 0 2.2 ||
        fail "sox could not make $file"
}

# render URI IN OUT [lv2apply options...]: runs the plug-in over IN and
# checks what any render must give: a file of the same length and channel
# count whose samples are all finite.
render() {
    local uri=$1 in=$2 out=$3
    shift 3
    rm -f "$out"
    lv2apply -i "$in" -o "$out" "$@" "$uri" || fail "lv2apply $* $uri exited with $?"
    probe "$in"
    local frames=$probe_frames channels=$probe_channels
    probe "$out"
    [ "$probe_nonfinite" = 0 ] || fail "$out ($*): $probe_nonfinite samples are NaN or infinite"
    [ "$probe_frames" = "$frames" ] || fail "$out ($*): $probe_frames frames, input has $frames"
    [ "$probe_channels" = "$channels" ] || fail "$out ($*): $probe_channels channels, input has $channels"
}
